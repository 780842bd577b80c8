// Model drawing in the 13 render modes. Polygons are drawn in mesh and
// polygon order, as vertex-array batches (one per run of polygons that
// share a material or texture) or, with modelDrawImmediate, one glBegin /
// glEnd polygon each; both give OpenGL the same vertices in the same order.
#include <GL/glew.h>

#include <cmath>
#include <vector>

#include "graphics/camera.h"
#include "graphics/glsl.h"
#include "graphics/texture.h"
#include "kernel/demo.h"
#include "kernel/log.h"
#include "models/layers.h"
#include "models/model.h"

int modelDrawImmediate = 0;

// ---------------------------------------------------------------------------
// What a pass gives each corner, and how its polygons change state

enum NormalSource { NORMALS_NONE, NORMALS_POLYGON, NORMALS_VERTEX };
enum PolygonState { STATE_NONE, STATE_MATERIALS, STATE_TEXTURES };

struct Pass {
    NormalSource normals;
    bool texCoords;            // corner (u, v) as texture coordinate 0
    bool lightVectors;         // the vertex's bump vector as texture coordinate 1
    GLint binormalAttribute;   // generic attributes; -1 when not given
    GLint tangentAttribute;
    PolygonState state;
    bool transparent;          // a material change also sets the colour's alpha
};

// Carried across the polygons of one pass.
struct PassMemory {
    const ModelMaterial *material;   // applied last
    int texture;                     // bound last; 99999 before the first
};

// Corners of the batch being gathered, one entry per corner.
struct Batch {
    std::vector<float> positions, normals, texCoords, lightVectors, binormals, tangents;
    std::vector<GLint> firsts;       // first corner of each polygon
    std::vector<GLsizei> counts;     // corners of each polygon
    std::vector<GLuint> triangleCorners;  // filled polygons split in triangles
    GLsizei corners = 0;
    // Empties the batch but keeps the arrays' memory for the next one.
    void clear()
    {
        for (std::vector<float> *array : {&positions, &normals, &texCoords, &lightVectors, &binormals, &tangents})
            array->clear();
        firsts.clear();
        counts.clear();
        triangleCorners.clear();
        corners = 0;
    }
};

static Batch batch;

static void append(std::vector<float> &array, const float *values, int count)
{
    array.insert(array.end(), values, values + count);
}

static void gatherPolygon(const ModelMesh *mesh, const ModelPolygon *polygon, const Pass &pass)
{
    batch.firsts.push_back(batch.corners);
    batch.counts.push_back(polygon->cornerCount);
    batch.corners += polygon->cornerCount;
    for (uint16_t c = 0; c < polygon->cornerCount; c++) {
        const ModelCorner &corner = polygon->corners[c];
        const ModelVertex &vertex = mesh->vertices[corner.vertex];
        append(batch.positions, vertex.position, 3);
        if (pass.normals == NORMALS_POLYGON)
            append(batch.normals, polygon->normal, 3);
        else if (pass.normals == NORMALS_VERTEX)
            append(batch.normals, vertex.normal, 3);
        if (pass.texCoords) {
            const float uv[2] = {corner.u, corner.v};
            append(batch.texCoords, uv, 2);
        }
        if (pass.lightVectors)
            append(batch.lightVectors, vertex.light, 3);
        if (pass.binormalAttribute >= 0)
            append(batch.binormals, vertex.binormal, 3);
        if (pass.tangentAttribute >= 0)
            append(batch.tangents, vertex.tangent, 3);
    }
}

static void texCoordArray(GLenum unit, int size, const std::vector<float> &values, bool enable)
{
    glClientActiveTextureARB(unit);
    if (enable) {
        glTexCoordPointer(size, GL_FLOAT, 0, values.data());
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
}

static void attributeArray(GLint location, const std::vector<float> &values, bool enable)
{
    if (location < 0)
        return;
    if (enable) {
        glVertexAttribPointer(location, 3, GL_FLOAT, GL_FALSE, 0, values.data());
        glEnableVertexAttribArray(location);
    } else {
        glDisableVertexAttribArray(location);
    }
}

// Sets the arrays of the pass on (or off again).
static void passArrays(const Pass &pass, bool enable)
{
    if (enable) {
        glVertexPointer(3, GL_FLOAT, 0, batch.positions.data());
        glEnableClientState(GL_VERTEX_ARRAY);
    } else {
        glDisableClientState(GL_VERTEX_ARRAY);
    }
    if (pass.normals != NORMALS_NONE) {
        glNormalPointer(GL_FLOAT, 0, batch.normals.data());
        if (enable)
            glEnableClientState(GL_NORMAL_ARRAY);
        else
            glDisableClientState(GL_NORMAL_ARRAY);
    }
    if (pass.lightVectors)
        texCoordArray(GL_TEXTURE1_ARB, 3, batch.lightVectors, enable);
    if (pass.texCoords || pass.lightVectors)
        texCoordArray(GL_TEXTURE0_ARB, 2, batch.texCoords, enable && pass.texCoords);
    attributeArray(pass.binormalAttribute, batch.binormals, enable);
    attributeArray(pass.tangentAttribute, batch.tangents, enable);
}

// Whether polygons are filled on both sides (not drawn as lines or points).
static bool polygonsFilled()
{
    GLint modes[2];
    glGetIntegerv(GL_POLYGON_MODE, modes);
    return modes[0] == GL_FILL && modes[1] == GL_FILL;
}

// Draws the gathered polygons in one call. Filled, each polygon of n
// corners c0 .. cn-1 goes as the triangles (c[i+1], c[i+2], c0): a triangle
// takes its flat colour from its last corner and a polygon from its first,
// and this is the fan a polygon is split into, so the pixels are the same
// as glBegin(GL_POLYGON) gives. As lines or points the polygons stay
// polygons, so that no inner edge shows.
static void flushBatch(const Pass &pass)
{
    if (batch.counts.empty())
        return;
    passArrays(pass, true);
    if (polygonsFilled()) {
        std::vector<GLuint> &indices = batch.triangleCorners;
        for (size_t p = 0; p < batch.counts.size(); p++) {
            GLuint first = static_cast<GLuint>(batch.firsts[p]);
            for (GLsizei i = 0; i + 2 < batch.counts[p]; i++)
                indices.insert(indices.end(), {first + i + 1, first + i + 2, first});
        }
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, indices.data());
    } else {
        glMultiDrawArrays(GL_POLYGON, batch.firsts.data(), batch.counts.data(),
                          static_cast<GLsizei>(batch.counts.size()));
    }
    passArrays(pass, false);
    batch.clear();
}

static void emitPolygon(const ModelMesh *mesh, const ModelPolygon *polygon, const Pass &pass)
{
    glBegin(GL_POLYGON);
    if (pass.normals == NORMALS_POLYGON)
        glNormal3fv(polygon->normal);
    for (uint16_t c = 0; c < polygon->cornerCount; c++) {
        const ModelCorner &corner = polygon->corners[c];
        const ModelVertex &vertex = mesh->vertices[corner.vertex];
        if (pass.lightVectors) {
            glMultiTexCoord2fARB(GL_TEXTURE0_ARB, corner.u, corner.v);
            glMultiTexCoord3fvARB(GL_TEXTURE1_ARB, vertex.light);
        } else if (pass.texCoords) {
            glTexCoord2f(corner.u, corner.v);
        }
        if (pass.binormalAttribute >= 0)
            glVertexAttrib3fv(pass.binormalAttribute, vertex.binormal);
        if (pass.tangentAttribute >= 0)
            glVertexAttrib3fv(pass.tangentAttribute, vertex.tangent);
        if (pass.normals == NORMALS_VERTEX)
            glNormal3fv(vertex.normal);
        glVertex3fv(vertex.position);
    }
    glEnd();
}

// The three colours of a material with alpha 1 - transparency, so that the
// lit alpha of a transparent polygon follows its material.
static void applyMaterial(const ModelMaterial *material)
{
    float alpha = 1.0f - material->transparency;
    const float ambient[4] = {material->ambient[0], material->ambient[1], material->ambient[2], alpha};
    const float diffuse[4] = {material->diffuse[0], material->diffuse[1], material->diffuse[2], alpha};
    const float specular[4] = {material->specular[0], material->specular[1], material->specular[2], alpha};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, material->shininess);
}

// False when the polygon is not to be drawn. State changes end the batch
// gathered so far, since it was meant to be drawn under the old state.
static bool preparePolygon(const ModelPolygon *polygon, const Pass &pass, PassMemory *memory)
{
    const ModelMaterial *material = polygon->material;
    if (pass.state == STATE_MATERIALS && material && material != memory->material) {
        flushBatch(pass);
        if (pass.transparent)
            glColor4f(0, 0, 0, material->transparency);
        applyMaterial(material);
        memory->material = material;
    } else if (pass.state == STATE_TEXTURES && material) {
        if (material->texture == 0)
            return material->textureFile != nullptr;
        if (material->texture != memory->texture) {
            flushBatch(pass);
            tex_bind(material->texture);
            memory->texture = material->texture;
        }
    }
    return true;
}

static void drawPolygons(const ModelMesh *mesh, const ModelPolygon *polygons, int32_t count,
                         const Pass &pass, PassMemory *memory)
{
    for (int32_t i = 0; i < count; i++) {
        const ModelPolygon *polygon = &polygons[i];
        if (!preparePolygon(polygon, pass, memory))
            continue;
        if (modelDrawImmediate)
            emitPolygon(mesh, polygon, pass);
        else
            gatherPolygon(mesh, polygon, pass);
    }
}

static bool hasTexCoords(const ModelMesh &mesh)
{
    return mesh.uvMapCount > 0;
}

// The opaque polygons of every mesh (of those with texture coordinates when
// the pass gives them) in one pass.
static void drawOpaque(const Model3ds *model, const Pass &pass, PassMemory *memory)
{
    bool needTexCoords = pass.texCoords;
    for (int32_t m = 0; m < model->meshCount; m++) {
        const ModelMesh &mesh = model->meshes[m];
        if (!needTexCoords || hasTexCoords(mesh))
            drawPolygons(&mesh, mesh.polygons, mesh.polygonCount, pass, memory);
    }
    flushBatch(pass);
}

static void drawPass(const Model3ds *model, const Pass &pass)
{
    PassMemory memory = {nullptr, 99999};
    drawOpaque(model, pass, &memory);
}

static const Pass positionsOnly = {NORMALS_NONE, false, false, -1, -1, STATE_NONE, false};
static const Pass withVertexNormals = {NORMALS_VERTEX, false, false, -1, -1, STATE_NONE, false};

// ---------------------------------------------------------------------------
// Public drawing helpers

void drawModelPoints(const Model3ds *model)
{
    if (modelDrawImmediate) {
        glBegin(GL_POINTS);
        for (int32_t m = 0; m < model->meshCount; m++)
            for (int32_t i = 0; i < model->meshes[m].vertexCount; i++)
                glVertex3fv(model->meshes[m].vertices[i].position);
        glEnd();
        return;
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    for (int32_t m = 0; m < model->meshCount; m++) {
        const ModelMesh &mesh = model->meshes[m];
        if (mesh.vertexCount == 0)
            continue;
        glVertexPointer(3, GL_FLOAT, sizeof(ModelVertex), mesh.vertices[0].position);
        glDrawArrays(GL_POINTS, 0, mesh.vertexCount);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
}

void drawModelPolygons(const Model3ds *model)
{
    drawPass(model, positionsOnly);
}

// ---------------------------------------------------------------------------
// Modes

static void lightingSetUp(const Layer *layer)
{
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const float ambient[4] = {0, 0, 0, 1};
    const float light[4] = {layer->color[0], layer->color[1], layer->color[2], 1};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, light);
    glLightfv(GL_LIGHT0, GL_SPECULAR, light);
}

// Opaque polygons, then the transparent ones blended over them; the
// material applied last carries over.
static void drawLit(const Model3ds *model, NormalSource normals)
{
    Pass pass = {normals, false, false, -1, -1, STATE_MATERIALS, false};
    PassMemory memory = {nullptr, 99999};
    drawOpaque(model, pass, &memory);
    if (model->transparentMeshCount == 0)
        return;
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    pass.transparent = true;
    for (int32_t m = 0; m < model->meshCount; m++) {
        const ModelMesh &mesh = model->meshes[m];
        drawPolygons(&mesh, mesh.transparentPolygons, mesh.transparentCount, pass, &memory);
    }
    flushBatch(pass);
}

static void lightingEnd()
{
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
}

static void drawNormalLines(const Model3ds *model)
{
    std::vector<float> ends;
    for (int32_t m = 0; m < model->meshCount; m++) {
        const ModelMesh &mesh = model->meshes[m];
        for (int32_t i = 0; i < mesh.polygonCount; i++) {
            const ModelPolygon &polygon = mesh.polygons[i];
            if (polygon.cornerCount < 3)
                continue;
            float centre[3] = {0, 0, 0};
            for (uint16_t c = 0; c < polygon.cornerCount; c++)
                for (int k = 0; k < 3; k++)
                    centre[k] += mesh.vertices[polygon.corners[c].vertex].position[k];
            for (float &coordinate : centre)
                coordinate /= polygon.cornerCount;
            const float tip[3] = {centre[0] + 10 * polygon.normal[0], centre[1] + 10 * polygon.normal[1],
                                  centre[2] + 10 * polygon.normal[2]};
            append(ends, centre, 3);
            append(ends, tip, 3);
        }
    }
    if (modelDrawImmediate) {
        glBegin(GL_LINES);
        for (size_t i = 0; i < ends.size(); i += 3)
            glVertex3fv(&ends[i]);
        glEnd();
    } else if (!ends.empty()) {
        glVertexPointer(3, GL_FLOAT, 0, ends.data());
        glEnableClientState(GL_VERTEX_ARRAY);
        glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(ends.size() / 3));
        glDisableClientState(GL_VERTEX_ARRAY);
    }
}

static void sphereMapGeneration(GLenum coordinate, GLenum generation, bool enable)
{
    if (enable) {
        glTexGeni(coordinate, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glEnable(generation);
    } else {
        glDisable(generation);
    }
}

static void drawEnvironment(const Model3ds *model, const Layer *layer)
{
    if (layer->texture <= 0)
        return;
    tex_bind(layer->texture);
    sphereMapGeneration(GL_S, GL_TEXTURE_GEN_S, true);
    sphereMapGeneration(GL_T, GL_TEXTURE_GEN_T, true);
    drawPass(model, withVertexNormals);
    sphereMapGeneration(GL_S, GL_TEXTURE_GEN_S, false);
    sphereMapGeneration(GL_T, GL_TEXTURE_GEN_T, false);
}

// The ramp is looked up by the sphere-mapped s alone. A one-dimensional
// texture is drawn on GL_TEXTURE_1D; an image loaded by a "texture" line is
// two-dimensional and gives its middle row as the ramp.
static void drawCell(const Model3ds *model, const Layer *layer)
{
    const Texture *texture = tex_get(layer->texture);
    GLenum target = texture ? texture->target : GL_TEXTURE_1D;
    if (target == GL_TEXTURE_1D) {
        glDisable(GL_TEXTURE_2D);
        glEnable(GL_TEXTURE_1D);
    }
    tex_reset_cache();
    tex_bind(layer->texture);
    glTexCoord2f(0.0f, 0.5f);
    sphereMapGeneration(GL_S, GL_TEXTURE_GEN_S, true);
    drawPass(model, withVertexNormals);
    sphereMapGeneration(GL_S, GL_TEXTURE_GEN_S, false);
    tex_reset_cache();
    glDisable(GL_TEXTURE_1D);
    glEnable(GL_TEXTURE_2D);
}

// The light position in the model's space: the current camera's position
// turned by the transpose of the modelview rotation; without a camera, the
// eye itself.
static void bumpLightPosition(float *light)
{
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    float point[3];
    const Camera *camera = demoSystem.currentCamera;
    if (camera) {
        point[0] = camera->position.x;
        point[1] = camera->position.y;
        point[2] = camera->position.z;
    } else {
        for (int k = 0; k < 3; k++)
            point[k] = -m[12 + k];
    }
    // Column i of the rotation is m[4i .. 4i + 2]; the transpose's row i.
    for (int i = 0; i < 3; i++)
        light[i] = m[4 * i] * point[0] + m[4 * i + 1] * point[1] + m[4 * i + 2] * point[2];
}

static float dot(const float *a, const float *b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Each vertex's unit vector to the light in its tangent space.
static void computeLightVectors(Model3ds *model, const float *light)
{
    for (int32_t m = 0; m < model->meshCount; m++) {
        ModelMesh &mesh = model->meshes[m];
        for (int32_t i = 0; i < mesh.vertexCount; i++) {
            ModelVertex &vertex = mesh.vertices[i];
            float toLight[3] = {light[0] - vertex.position[0], light[1] - vertex.position[1],
                                light[2] - vertex.position[2]};
            float length = std::sqrt(dot(toLight, toLight));
            if (length != 0.0f)
                for (float &component : toLight)
                    component /= length;
            vertex.light[0] = dot(toLight, vertex.tangent);
            vertex.light[1] = dot(toLight, vertex.binormal);
            vertex.light[2] = dot(toLight, vertex.normal);
        }
    }
}

static void drawBump(Model3ds *model, const Layer *layer)
{
    if (textures.normalizationCube == -1)
        tex_normalization_cube();
    if (textures.normalizationCube == -1) {
        engineError("Unable to create cube map");
        return;
    }
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    float light[3];
    bumpLightPosition(light);
    computeLightVectors(model, light);

    const Texture *normalMap = tex_get(layer->texture);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glClientActiveTextureARB(GL_TEXTURE0_ARB);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, normalMap ? normalMap->glName : 0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glActiveTextureARB(GL_TEXTURE1_ARB);
    glEnable(GL_TEXTURE_CUBE_MAP_ARB);
    glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, textures.normalizationCube);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_PREVIOUS_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_DOT3_RGB_ARB);

    Pass pass = {NORMALS_NONE, true, true, -1, -1, STATE_NONE, false};
    drawPass(model, pass);

    glDisable(GL_TEXTURE_CUBE_MAP_ARB);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glClientActiveTextureARB(GL_TEXTURE0_ARB);
    glDisable(GL_TEXTURE_2D);
    // Bound directly, past the bind cache.
    tex_reset_cache();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

// Texture coordinates, vertex normals and positions for the GLSL program
// bound last, and with `tangents` its "rm_Binormal" and "rm_Tangent".
static void drawForProgram(const Model3ds *model, bool tangents)
{
    Pass pass = {NORMALS_VERTEX, true, false, -1, -1, STATE_NONE, false};
    int program = glslshad_current();
    if (tangents && program > 0) {
        pass.binormalAttribute = glGetAttribLocation(program, "rm_Binormal");
        pass.tangentAttribute = glGetAttribLocation(program, "rm_Tangent");
    }
    drawPass(model, pass);
}

static void drawLines(const Model3ds *model, const Layer *layer)
{
    glLineWidth(layer->lineWidth);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    drawModelPolygons(model);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glLineWidth(1);
}

static void drawMode(Model3ds *model, const Layer *layer)
{
    switch (layer->mode) {
    case RENDER_VERTEXES:
        glDisable(GL_TEXTURE_2D);
        glPointSize(layer->lineWidth);
        glPolygonMode(GL_FRONT_AND_BACK, GL_POINT);
        drawModelPoints(model);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glPointSize(1);
        glEnable(GL_TEXTURE_2D);
        break;
    case RENDER_WIREFRAME:
        glDisable(GL_TEXTURE_2D);
        drawLines(model, layer);
        glEnable(GL_TEXTURE_2D);
        break;
    case RENDER_COLOR:
        glDisable(GL_TEXTURE_2D);
        drawModelPolygons(model);
        glEnable(GL_TEXTURE_2D);
        break;
    case RENDER_FLAT:
        lightingSetUp(layer);
        glShadeModel(GL_FLAT);
        drawLit(model, NORMALS_POLYGON);
        lightingEnd();
        break;
    case RENDER_SHADED:
        lightingSetUp(layer);
        glShadeModel(GL_SMOOTH);
        drawLit(model, NORMALS_VERTEX);
        glShadeModel(GL_FLAT);
        lightingEnd();
        break;
    case RENDER_NORMALS:
        glDisable(GL_TEXTURE_2D);
        glLineWidth(layer->lineWidth);
        drawNormalLines(model);
        glLineWidth(1);
        glEnable(GL_TEXTURE_2D);
        break;
    case RENDER_TEXTURE: {
        Pass pass = {NORMALS_NONE, true, false, -1, -1, STATE_TEXTURES, false};
        drawPass(model, pass);
        break;
    }
    case RENDER_ENVIRONMENT:
        drawEnvironment(model, layer);
        break;
    case RENDER_CELL:
        drawCell(model, layer);
        break;
    case RENDER_OUTLINE:
        glDisable(GL_TEXTURE_2D);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_FRONT);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glLineWidth(layer->lineWidth);
        drawModelPolygons(model);
        glLineWidth(1);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glDisable(GL_CULL_FACE);
        glEnable(GL_TEXTURE_2D);
        break;
    case RENDER_BUMP:
        drawBump(model, layer);
        break;
    case RENDER_GLSL:
    case RENDER_BINORMAL:
        drawForProgram(model, layer->mode == RENDER_BINORMAL);
        break;
    default:
        break;
    }
}

void drawLayer(Model3ds *model, const Layer *layer)
{
    if (layer->cullEnabled) {
        glEnable(GL_CULL_FACE);
        // An invalid "cullface" value keeps the face culled before.
        if (layer->cullFace)
            glCullFace(layer->cullFace);
    }
    drawMode(model, layer);
    if (layer->cullEnabled)
        glDisable(GL_CULL_FACE);
}

void drawWithLayers(Model3ds *model, const Layer *layers, int clearFlag)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    glDepthFunc(GL_LEQUAL);
    for (const Layer *layer = layers; layer; layer = layer->next) {
        if (clearFlag == 1)
            glClear(GL_DEPTH_BUFFER_BIT);
        // A factor name that was not understood blends as if none was given.
        bool validBlend = layer->blendEnabled && layer->sfactor != static_cast<uint32_t>(-1) &&
                          layer->dfactor != static_cast<uint32_t>(-1);
        if (validBlend)
            glBlendFunc(layer->sfactor, layer->dfactor);
        else
            glBlendFunc(GL_ONE, GL_ZERO);
        glColor4f(layer->color[0], layer->color[1], layer->color[2], layer->color[3]);
        drawLayer(model, layer);
    }
    glDisable(GL_BLEND);
}

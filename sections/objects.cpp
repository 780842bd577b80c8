// Object sections: each loads its models and render-properties file at load
// and draws them with drawWithLayers under its own placement every frame.
// Models are private copies wherever a section moves their vertices.
#include "sections/objects.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "expr/driver.h"
#include "graphics/camera.h"
#include "graphics/fbo.h"
#include "graphics/particles.h"
#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/section.h"
#include "models/layers.h"
#include "models/model.h"
#include "sections/images.h"
#include "sections/section_vars.h"

// The section's private data, or null when its load stopped at a check.
template <typename Vars>
static Vars *sectionVars()
{
    return static_cast<Vars *>(currentSection->vars);
}

// String `index` of the current section, or null past its strings.
static const char *sectionString(int index)
{
    const Section *section = currentSection;
    return index < section->stringNum ? section->strings[index] : nullptr;
}

// The layer list of a render-properties file; none when the script names
// no file.
static Layer *sectionLayers(int index)
{
    const char *path = sectionString(index);
    return path ? loadLayers(path) : nullptr;
}

// Strings `first` and `first + 1` joined: a directory and a file in it.
static std::string joinedPath(int first)
{
    return std::string(sectionString(first)) + sectionString(first + 1);
}

// A model read from `path`; on failure `message` is reported with `path`.
static Model3ds *sectionModel(const char *path, int reuse, const char *message)
{
    Model3ds *model = loadModel(path, reuse);
    if (!model)
        sectionError(message, path);
    return model;
}

static void uploadTextures(Model3ds *model, const char *directory)
{
    if (model)
        model_upload_tex(model, directory);
}

// ---------------------------------------------------------------------------
// Morphing

static void lerp(float *out, const float *from, const float *to, double b, int count)
{
    for (int i = 0; i < count; i++)
        out[i] = static_cast<float>(from[i] + b * (to[i] - from[i]));
}

// Corners of one polygon array of each model, only those all three have.
static void morphCorners(ModelPolygon *current, const ModelPolygon *start, const ModelPolygon *end,
                         int count, double b)
{
    for (int p = 0; p < count; p++) {
        const int corners =
            std::min({current[p].cornerCount, start[p].cornerCount, end[p].cornerCount});
        for (int c = 0; c < corners; c++) {
            ModelCorner &m = current[p].corners[c];
            const ModelCorner &s = start[p].corners[c], &e = end[p].corners[c];
            m.u = static_cast<float>(s.u + b * (e.u - s.u));
            m.v = static_cast<float>(s.v + b * (e.v - s.v));
        }
    }
}

void objects_morph(Model3ds *current, const Model3ds *start, const Model3ds *end, double b)
{
    const int meshes = std::min({current->meshCount, start->meshCount, end->meshCount});
    for (int i = 0; i < meshes; i++) {
        ModelMesh &m = current->meshes[i];
        const ModelMesh &s = start->meshes[i], &e = end->meshes[i];
        const int vertices = std::min({m.vertexCount, s.vertexCount, e.vertexCount});
        for (int j = 0; j < vertices; j++)
            lerp(m.vertices[j].position, s.vertices[j].position, e.vertices[j].position, b, 3);
        if (m.uvMapCount <= 0)
            continue;
        morphCorners(m.polygons, s.polygons, e.polygons,
                     std::min({m.polygonCount, s.polygonCount, e.polygonCount}), b);
        morphCorners(m.transparentPolygons, s.transparentPolygons, e.transparentPolygons,
                     std::min({m.transparentCount, s.transparentCount, e.transparentCount}), b);
    }
}

// The three models of a morph, loaded privately: the current model is a
// second copy of the start model. Only the start model's failure is
// reported for the two.
static void loadMorphModels(Model3ds **start, Model3ds **current, Model3ds **end,
                            const char *startMessage, const char *endMessage)
{
    *current = loadModel(sectionString(0), 0);
    *start = sectionModel(sectionString(0), 0, startMessage);
    *end = sectionModel(sectionString(1), 0, endMessage);
}

static bool haveModels(const Model3ds *start, const Model3ds *current, const Model3ds *end)
{
    return start && current && end;
}

// ---------------------------------------------------------------------------
// objectMorph

void objectMorphLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 2, "2 params needed"))
        return;
    if (section->stringNum < 2) {
        sectionError("at least 2 strings needed");
        return;
    }
    ObjectMorphVars *vars = newSectionVars<ObjectMorphVars>();
    loadMorphModels(&vars->start, &vars->current, &vars->end,
                    "objectMorph: Error loading start object %s",
                    "objectMorph: Error loading end object %s");
    vars->layers = sectionLayers(2);
    if (section->stringNum == 4) {
        engineTrace("objectMorph: Base directory found in script. Loading textures...\n");
        uploadTextures(vars->current, section->strings[3]);
        engineTrace("done.\n");
    } else {
        engineTrace("objectMorph: No base directory found (String 4). Bypassing textures.\n");
    }
    vars->mode = wholeUnits(section->param[1]);
}

// Linear or smooth over the section; the end model in any other mode.
static double morphFactor(int mode)
{
    const Section *section = currentSection;
    const double t = section->duration > 0 ? section->elapsed / section->duration : 1.0;
    if (mode == 1)
        return t;
    if (mode == 2)
        return t * t * (3 - 2 * t);
    return 1.0;
}

void objectMorphExec()
{
    ObjectMorphVars *vars = sectionVars<ObjectMorphVars>();
    if (!vars || !haveModels(vars->start, vars->current, vars->end))
        return;
    objects_morph(vars->current, vars->start, vars->end, morphFactor(vars->mode));
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    // Each spline places inside the ones before it.
    for (int k = 0; k < currentSection->splineNum; k++)
        splinePlacement(k);
    recomputeNormals(vars->current);
    drawWithLayers(vars->current, vars->layers, 0);
    glPopMatrix();
}

// ---------------------------------------------------------------------------
// objectMorph2

void objectMorph2Load()
{
    const Section *section = currentSection;
    if (section->paramNum != 1) {
        sectionError("objectMorph2: 1 param needed (%d passed)", section->paramNum);
        return;
    }
    if (section->stringNum != 8) {
        sectionError("objectMorph2: 8 strings needed (%d passed)", section->stringNum);
        return;
    }
    ObjectMorph2Vars *vars = newSectionVars<ObjectMorph2Vars>();
    vars->clearFlag = wholeUnits(section->param[0]);
    loadMorphModels(&vars->start, &vars->current, &vars->end,
                    "ObjectMorph2: Error loading start object %s",
                    "ObjectMorph2: Error loading end object %s");
    vars->layers = sectionLayers(3);
    engineTrace("objectMorph2: Loading textures from the base directory...\n");
    for (Model3ds *model : {vars->start, vars->current, vars->end})
        uploadTextures(model, section->strings[2]);
    engineTrace("done.\n");
    initSectionFormula(&vars->formula, 4, 4);
}

void objectMorph2Exec()
{
    ObjectMorph2Vars *vars = sectionVars<ObjectMorph2Vars>();
    if (!vars || !haveModels(vars->start, vars->current, vars->end))
        return;
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    place_object(&vars->formula);
    // A formula that never sets the factor shows the end model, as
    // objectMorph does without a mode.
    objects_morph(vars->current, vars->start, vars->end, formulaValue(&vars->formula, "value", 1.0));
    recomputeNormals(vars->current);
    drawWithLayers(vars->current, vars->layers, vars->clearFlag);
    glPopMatrix();
}

// ---------------------------------------------------------------------------
// Placement by bound addresses, for formulas evaluated once per element

static const char *const placementNames[9] = {"tx", "ty", "tz", "rx", "ry", "rz", "sx", "sy", "sz"};

// Only the outputs the formula names: the others keep place_object's
// defaults.
static void bindPlacement(ExprDriver *driver, PlacementBinding *binding)
{
    for (int i = 0; i < 9; i++) {
        binding->outputs[i] = nullptr;
        if (driver->variables)
            getValueAddress(driver->variables, placementNames[i], &binding->outputs[i]);
    }
}

static double placementOutput(const PlacementBinding &binding, int i)
{
    return binding.outputs[i] ? *binding.outputs[i] : (i >= 6 ? 1.0 : 0.0);
}

// place_object without its update and name lookups: the owner updates the
// engine variables once per frame and sets its inputs before each call.
static void placeBound(ExprDriver *driver, const PlacementBinding &binding)
{
    const int code = evaluateDriver(driver);
    if (code != EXPR_OK)
        sectionError("place_object: Expression evaluation Error (%d): %s", code, driver->text);
    glTranslated(placementOutput(binding, 0), placementOutput(binding, 1), placementOutput(binding, 2));
    glRotated(placementOutput(binding, 3), 1, 0, 0);
    glRotated(placementOutput(binding, 4), 0, 1, 0);
    glRotated(placementOutput(binding, 5), 0, 0, 1);
    glScaled(placementOutput(binding, 6), placementOutput(binding, 7), placementOutput(binding, 8));
}

// The address of an input or output of a formula, or of `scratch` when the
// formula has no variable table (its evaluations then report an error).
static double *boundVariable(ExprDriver *driver, const char *name, double *scratch)
{
    double *address = driverVariable(driver, name);
    return address ? address : scratch;
}

// ---------------------------------------------------------------------------
// objectShader

void objectShaderLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 1, "1 param needed"))
        return;
    if (section->stringNum < 10) {
        sectionError("10 strings needed");
        return;
    }
    ObjectShaderVars *vars = newSectionVars<ObjectShaderVars>();
    vars->clearFlag = wholeUnits(section->param[0]);
    const std::string path = joinedPath(0);
    vars->drawn = sectionModel(path.c_str(), 1, "ObjectShader: Error loading object %s for drawing");
    uploadTextures(vars->drawn, section->strings[0]);
    vars->layers = sectionLayers(2);
    vars->sourceNamed = strcmp(section->strings[3], "default") != 0;
    if (vars->sourceNamed)
        vars->source = sectionModel(section->strings[3], 1,
                                    "ObjectShader: Error loading object %s for sources positioning");
    initSectionFormula(&vars->copy, 4, 3);
    initSectionFormula(&vars->group, 7, 3);
    double **inputs[] = {&vars->x, &vars->y, &vars->z, &vars->r, &vars->n};
    const char *const names[] = {"x", "y", "z", "r", "n"};
    for (int i = 0; i < 5; i++)
        *inputs[i] = boundVariable(&vars->copy, names[i], &vars->scratch[i]);
    bindPlacement(&vars->copy, &vars->copyPlacement);
}

// One copy of the drawn model at every vertex of every mesh of the source.
static void drawCopies(ObjectShaderVars *vars)
{
    const Model3ds *source = vars->source;
    if (demoSystem.timing) {
        glDisable(GL_TEXTURE_2D);
        glPolygonMode(GL_FRONT_AND_BACK, GL_POINT);
        drawModelPoints(source);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glEnable(GL_TEXTURE_2D);
    }
    glMatrixMode(GL_MODELVIEW);
    updateEngineVariables(&vars->copy);
    for (int m = 0; m < source->meshCount; m++) {
        const ModelMesh &mesh = source->meshes[m];
        for (int k = 0; k < mesh.vertexCount; k++) {
            const float *p = mesh.vertices[k].position;
            *vars->x = p[0], *vars->y = p[1], *vars->z = p[2];
            *vars->r = std::sqrt(static_cast<double>(p[0]) * p[0] + static_cast<double>(p[1]) * p[1] +
                                 static_cast<double>(p[2]) * p[2]);
            *vars->n = k + 1;
            glPushMatrix();
            glTranslatef(p[0], p[1], p[2]);
            placeBound(&vars->copy, vars->copyPlacement);
            drawWithLayers(vars->drawn, vars->layers, vars->clearFlag);
            glPopMatrix();
        }
    }
}

void objectShaderExec()
{
    ObjectShaderVars *vars = sectionVars<ObjectShaderVars>();
    // A named source that failed to load is not replaced by one copy.
    if (!vars || !vars->drawn || (vars->sourceNamed && !vars->source))
        return;
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    if (!vars->source) {
        place_object(&vars->copy);
        drawWithLayers(vars->drawn, vars->layers, vars->clearFlag);
    } else {
        place_object(&vars->group);
        drawCopies(vars);
    }
    glPopMatrix();
}

// ---------------------------------------------------------------------------
// objectShader2

static const char *const deformNames[DEFORM_VARIABLE_COUNT] = {
    "x0", "y0", "z0", "x", "y", "z", "r", "n", "n0", "u0", "v0", "u", "v"};

void objectShader2Load()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 1, "ObjectShader: 1 param needed") ||
        !requireCount(section->stringNum, 9, "ObjectShader: 9 strings needed"))
        return;
    ObjectShader2Vars *vars = newSectionVars<ObjectShader2Vars>();
    vars->clearFlag = wholeUnits(section->param[0]);
    const std::string path = joinedPath(0);
    vars->model = loadModel(path.c_str(), 1);
    vars->deformed = loadModel(path.c_str(), 0);
    for (const Model3ds *model : {vars->model, vars->deformed}) {
        if (!model)
            sectionError("ObjectShader2: Error loading %s%s", section->strings[0], section->strings[1]);
    }
    uploadTextures(vars->deformed, section->strings[0]);
    initSectionFormula(&vars->deformation, 3, 3);
    initSectionFormula(&vars->placement, 6, 3);
    for (int i = 0; i < DEFORM_VARIABLE_COUNT; i++)
        vars->variables[i] = boundVariable(&vars->deformation, deformNames[i], &vars->scratch[i]);
    vars->layers = sectionLayers(2);
}

// Pairs of meshes the model and its deformed copy both have, and within
// them what both have, so that no record outside either is touched.
static int commonMeshes(const ObjectShader2Vars *vars)
{
    return std::min(vars->model->meshCount, vars->deformed->meshCount);
}

void objectShader2Init()
{
    ObjectShader2Vars *vars = sectionVars<ObjectShader2Vars>();
    if (!vars || !vars->model || !vars->deformed)
        return;
    for (int m = 0; m < commonMeshes(vars); m++) {
        const ModelMesh &mesh = vars->model->meshes[m];
        ModelMesh &deformed = vars->deformed->meshes[m];
        for (int j = 0; j < std::min(mesh.vertexCount, deformed.vertexCount); j++)
            memcpy(deformed.vertices[j].position, mesh.vertices[j].position, 3 * sizeof(float));
    }
}

// Reports the first failed evaluation of a frame only: one formula runs
// for thousands of vertices, and one line says what all of them would.
static void evaluateDeformation(ObjectShader2Vars *vars, bool *reported)
{
    const int code = evaluateDriver(&vars->deformation);
    if (code != EXPR_OK && !*reported) {
        sectionError("objectShader2: prepare_object: Expression evaluation Error (%d): %s", code,
                     vars->deformation.text);
        *reported = true;
    }
}

static void deformVertices(ObjectShader2Vars *vars, const ModelMesh &mesh, ModelMesh &deformed,
                           bool *reported)
{
    double **v = vars->variables;
    const int count = std::min(mesh.vertexCount, deformed.vertexCount);
    for (int j = 0; j < count; j++) {
        const float *p0 = mesh.vertices[j].position;
        float *p = deformed.vertices[j].position;
        *v[DEFORM_X0] = p0[0], *v[DEFORM_Y0] = p0[1], *v[DEFORM_Z0] = p0[2];
        *v[DEFORM_X] = p[0], *v[DEFORM_Y] = p[1], *v[DEFORM_Z] = p[2];
        *v[DEFORM_R] = std::sqrt(static_cast<double>(p[0]) * p[0] +
                                 static_cast<double>(p[1]) * p[1] + static_cast<double>(p[2]) * p[2]);
        *v[DEFORM_N] = j;
        *v[DEFORM_N0] = mesh.vertexCount;
        evaluateDeformation(vars, reported);
        p[0] = static_cast<float>(*v[DEFORM_X]);
        p[1] = static_cast<float>(*v[DEFORM_Y]);
        p[2] = static_cast<float>(*v[DEFORM_Z]);
    }
}

static void deformCorners(ObjectShader2Vars *vars, const ModelMesh &mesh, ModelMesh &deformed,
                          bool *reported)
{
    double **v = vars->variables;
    const int polygons = std::min(mesh.polygonCount, deformed.polygonCount);
    for (int p = 0; p < polygons; p++) {
        const ModelPolygon &polygon = mesh.polygons[p];
        ModelPolygon &target = deformed.polygons[p];
        const int corners = std::min(polygon.cornerCount, target.cornerCount);
        for (int c = 0; c < corners; c++) {
            ModelCorner &corner = target.corners[c];
            // Readers keep only polygons whose vertices exist.
            const float *position = deformed.vertices[corner.vertex].position;
            *v[DEFORM_X] = position[0], *v[DEFORM_Y] = position[1], *v[DEFORM_Z] = position[2];
            *v[DEFORM_N] = c;
            *v[DEFORM_N0] = mesh.polygonCount;
            *v[DEFORM_U0] = polygon.corners[c].u, *v[DEFORM_V0] = polygon.corners[c].v;
            *v[DEFORM_U] = corner.u, *v[DEFORM_V] = corner.v;
            evaluateDeformation(vars, reported);
            corner.u = static_cast<float>(*v[DEFORM_U]);
            corner.v = static_cast<float>(*v[DEFORM_V]);
        }
    }
}

void objectShader2Exec()
{
    ObjectShader2Vars *vars = sectionVars<ObjectShader2Vars>();
    if (!vars || !vars->model || !vars->deformed)
        return;
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    place_object(&vars->placement);
    updateEngineVariables(&vars->deformation);
    bool reported = false;
    for (int m = 0; m < commonMeshes(vars); m++) {
        const ModelMesh &mesh = vars->model->meshes[m];
        ModelMesh &deformed = vars->deformed->meshes[m];
        deformVertices(vars, mesh, deformed, &reported);
        deformCorners(vars, mesh, deformed, &reported);
    }
    recomputeNormals(vars->deformed);
    drawWithLayers(vars->deformed, vars->layers, vars->clearFlag);
    glPopMatrix();
}

// ---------------------------------------------------------------------------
// objectMatrix

void objectMatrixLoad()
{
    const Section *section = currentSection;
    if (section->paramNum < 1) {
        sectionError("at least 1 param needed");
        return;
    }
    if (!requireCount(section->stringNum, 14, "14 strings needed"))
        return;
    ObjectMatrixVars *vars = newSectionVars<ObjectMatrixVars>();
    ParticleSystem *ps = vars->system = particle_system_new();
    vars->source = sectionModel(section->strings[0], 1, "objectMatrix: Error loading object sources: %s");
    vars->particle = sectionModel(section->strings[2], 1, "objectMatrix: Error loading particle object: %s");
    uploadTextures(vars->particle, section->strings[1]);
    vars->layers = sectionLayers(3);
    ps->depthOff = section->param[0] > 0 ? 1 : 0;
    // The emitters are the vertices of the source's first mesh, all white.
    const ModelMesh *mesh = vars->source && vars->source->meshCount > 0 ? &vars->source->meshes[0] : nullptr;
    const int count = mesh ? mesh->vertexCount : 0;
    const size_t points = static_cast<size_t>(std::max(count, 1)) * 3;
    ps->emitterPositions = static_cast<double *>(calloc(points, sizeof(double)));
    ps->emitterColours = static_cast<double *>(calloc(points, sizeof(double)));
    if (!ps->emitterPositions || !ps->emitterColours) {
        engineError("Out of memory for %d emitters", count);
        abort();
    }
    for (int v = 0; v < count; v++) {
        for (int axis = 0; axis < 3; axis++) {
            ps->emitterPositions[3 * v + axis] = mesh->vertices[v].position[axis];
            ps->emitterColours[3 * v + axis] = 1.0;
        }
    }
    ps->emitterCount = count;
    initSectionFormula(&ps->placement, 11, 3);
    initSectionFormula(&ps->update, 5, 6);
    initSectionFormula(&ps->generate, 4, 1);
}

void objectMatrixInit()
{
    if (ObjectMatrixVars *vars = sectionVars<ObjectMatrixVars>()) {
        vars->system->firstBurst = 1;
        particles_clear(vars->system);
    }
}

void objectMatrixEnd()
{
    if (ObjectMatrixVars *vars = sectionVars<ObjectMatrixVars>())
        particles_clear(vars->system);
}

// Every living particle as a copy of the particle model, in list order.
static void drawParticleModels(const ObjectMatrixVars *vars)
{
    const ParticleSystem *ps = vars->system;
    const Particle *p = ps->first;
    for (int i = 0; i < ps->particleCount; i++, p = p->next) {
        if (p->life <= 0)
            continue;
        glPushMatrix();
        glTranslated(p->position[0], p->position[1], p->position[2]);
        glRotated(p->rotation[0], 1, 0, 0);
        glRotated(p->rotation[1], 0, 1, 0);
        glRotated(p->rotation[2], 0, 0, 1);
        glScaled(p->scale[0] * p->size, p->scale[1] * p->size, p->scale[2] * p->size);
        drawWithLayers(vars->particle, vars->layers, ps->depthOff);
        glPopMatrix();
    }
}

void objectMatrixExec()
{
    ObjectMatrixVars *vars = sectionVars<ObjectMatrixVars>();
    if (!vars || !vars->source || !vars->particle)
        return;
    ParticleSystem *ps = vars->system;
    updateEngineVariables(&ps->update);
    updateEngineVariables(&ps->generate);
    particles_generate(ps);
    particles_update(ps);
    if (!ps->first)
        return;
    if (ps->depthOff)
        glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    place_object(&ps->placement);
    drawParticleModels(vars);
    if (ps->depthOff)
        glEnable(GL_DEPTH_TEST);
    glPopMatrix();
}

// ---------------------------------------------------------------------------
// macroBox and its skybox

static const float skyboxVertices[8][3] = {
    {10, -10, 10}, {10, -10, -10}, {-10, -10, -10}, {-10, -10, 10},
    {10, 10, 10},  {10, 10, -10},  {-10, 10, -10},  {-10, 10, 10},
};

// In drawing order.
static const int skyboxFaces[6][4] = {
    {2, 1, 0, 3}, {5, 6, 7, 4}, {6, 2, 3, 7}, {1, 5, 4, 0}, {0, 4, 7, 3}, {2, 6, 5, 1},
};

// The same at every face's corners; the outer hundredth of the image stays
// off the edges.
static const float skyboxTexCoords[4][2] = {{0.99f, 0.99f}, {0.01f, 0.99f}, {0.01f, 0.01f}, {0.99f, 0.01f}};

Skybox *skybox_load(const char *path)
{
    if (!path)
        return nullptr;
    const int texture = tex_load(path, 1);
    if (texture < 0)
        return nullptr;
    tex_properties(texture, TEX_NO_MIPMAPS | TEX_CLAMP);
    Skybox *sky = static_cast<Skybox *>(calloc(1, sizeof(Skybox)));
    if (!sky) {
        engineError("Out of memory for a skybox");
        abort();
    }
    memcpy(sky->vertices, skyboxVertices, sizeof skyboxVertices);
    memcpy(sky->faces, skyboxFaces, sizeof skyboxFaces);
    sky->texture = texture;
    return sky;
}

void skybox_upload(Skybox *sky)
{
    tex_properties(sky->texture, TEX_NO_MIPMAPS | TEX_CLAMP_TO_EDGE);
    tex_upload(sky->texture, 1);
}

void skybox_draw(const Skybox *sky, const Camera *camera, int rttIndex)
{
    const float scale = rttIndex >= 0 ? 1.0f / glConfig.aspectRatio : 1.0f;
    glDepthMask(GL_FALSE);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(camera->position.x, camera->position.y, camera->position.z);
    glRotatef(270, 1, 0, 0);
    tex_bind(sky->texture);
    for (const int *face : sky->faces) {
        if (rttIndex >= 0)
            tex_bind(fbos.rttBuffer[rttIndex]);
        glBegin(GL_QUADS);
        for (int corner = 0; corner < 4; corner++) {
            glTexCoord2f(skyboxTexCoords[corner][0] * scale, skyboxTexCoords[corner][1] * scale);
            glVertex3fv(sky->vertices[face[corner]]);
        }
        glEnd();
    }
    glPopMatrix();
    glDepthMask(GL_TRUE);
}

enum { MACROBOX_IMAGE = 1, MACROBOX_CAPTURE = 2 };

void macroBoxLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 6, "macrobox: 6 params needed") ||
        !requireCount(section->stringNum, 1, "macrobox: 1 string needed"))
        return;
    const bool capture = section->param[4] == MACROBOX_CAPTURE;
    if (capture && !checkCaptureBuffer(section->param[5]))
        return;
    MacroBoxVars *vars = newSectionVars<MacroBoxVars>();
    vars->skybox = skybox_load(section->strings[0]);
    if (vars->skybox && !capture)
        skybox_upload(vars->skybox);
    vars->copies = wholeUnits(section->param[0]);
    vars->alphaStart = section->param[1];
    vars->alphaEnd = section->param[2];
}

void macroBoxExec()
{
    MacroBoxVars *vars = sectionVars<MacroBoxVars>();
    if (!vars)
        return;
    Camera *camera = demoSystem.currentCamera;
    if (!camera) {
        engineTrace("macrobox: no camera is present");
        return;
    }
    if (!vars->skybox) {
        engineTrace("macrobox: skybox does not exist");
        return;
    }
    const Section *section = currentSection;
    if (section->blendEnabled) {
        glEnable(GL_BLEND);
        glBlendFunc(section->sfactor, section->dfactor);
    }
    const float progress = section->duration > 0 ? section->elapsed / section->duration : 1.0f;
    float alpha = vars->alphaStart + (vars->alphaEnd - vars->alphaStart) * progress;
    if (section->param[3] == 1)
        alpha *= demoSystem.beat;
    glColor4f(0, 0, 0, alpha);
    const float source = section->param[4];
    for (int i = 0; i < vars->copies; i++) {
        // Turning the projection turns each copy around the viewer.
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glRotatef(section->elapsed + 26.0f * i, 1, 2, 0);
        if (source == MACROBOX_IMAGE)
            skybox_draw(vars->skybox, camera, -1);
        else if (source == MACROBOX_CAPTURE)
            skybox_draw(vars->skybox, camera, wholeUnits(section->param[5]));
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
    }
    glColor4f(0, 0, 0, 1);
    camera_apply_projection(camera);
    camera_apply_view(camera);
    if (section->blendEnabled)
        glDisable(GL_BLEND);
}

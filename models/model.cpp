// The model table and loadModel, normals and tangents, the transparent
// split, and the record helpers both readers build models with.
#include "models/model.h"

#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/script.h"
#include "models/model_local.h"

ModelTable modelTable;

// ---------------------------------------------------------------------------
// Records

static char *copyString(const char *text)
{
    return text ? strdup(text) : nullptr;
}

bool sameName(const char *a, const char *b)
{
    return a && b && strcasecmp(a, b) == 0;
}

std::string lowerCase(const char *name)
{
    std::string lower = name ? name : "";
    for (char &c : lower)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return lower;
}

ModelMaterial *newMaterial(const char *name)
{
    ModelMaterial *material = static_cast<ModelMaterial *>(calloc(1, sizeof(ModelMaterial)));
    material->name = copyString(name ? name : "");
    for (float &component : material->diffuse)
        component = 0.7f;
    material->shininess = 1.0f;
    material->mapUScale = 1.0f;
    material->mapVScale = 1.0f;
    return material;
}

ModelMesh *appendMesh(Model3ds *model)
{
    // The array grows by doubling: a new one whenever the count reaches a
    // power of two.
    int32_t count = model->meshCount;
    if (count == 0 || (count & (count - 1)) == 0) {
        size_t capacity = count == 0 ? 1 : static_cast<size_t>(count) * 2;
        model->meshes = static_cast<ModelMesh *>(realloc(model->meshes, capacity * sizeof(ModelMesh)));
    }
    ModelMesh *mesh = &model->meshes[model->meshCount++];
    memset(mesh, 0, sizeof(*mesh));
    return mesh;
}

void setVertexCount(ModelMesh *mesh, int32_t count)
{
    free(mesh->vertices);
    mesh->vertices = count > 0 ? static_cast<ModelVertex *>(calloc(count, sizeof(ModelVertex))) : nullptr;
    mesh->vertexCount = count > 0 ? count : 0;
}

static void freePolygons(ModelPolygon *polygons, int32_t count)
{
    for (int32_t i = 0; i < count; i++)
        free(polygons[i].corners);
    free(polygons);
}

void setPolygonCount(ModelMesh *mesh, int32_t count)
{
    freePolygons(mesh->polygons, mesh->polygonCount);
    mesh->polygons = nullptr;
    mesh->polygonCount = 0;
    if (count <= 0)
        return;
    mesh->polygons = static_cast<ModelPolygon *>(calloc(count, sizeof(ModelPolygon)));
    mesh->polygonCount = count;
    for (int32_t i = 0; i < count; i++)
        mesh->polygons[i].surfaceTag = -1;
}

void setCornerCount(ModelPolygon *polygon, uint16_t count)
{
    free(polygon->corners);
    polygon->corners = count ? static_cast<ModelCorner *>(calloc(count, sizeof(ModelCorner))) : nullptr;
    polygon->cornerCount = count;
}

UvMap *pushUvMap(ModelMesh *mesh, int32_t count, int32_t perPolygon)
{
    UvMap *map = static_cast<UvMap *>(calloc(1, sizeof(UvMap)));
    map->count = count;
    map->perPolygon = perPolygon;
    map->entries = count > 0 ? static_cast<UvEntry *>(calloc(count, sizeof(UvEntry))) : nullptr;
    map->next = mesh->uvMaps;
    mesh->uvMaps = map;
    mesh->uvMapCount++;
    return map;
}

static bool hasAllVertices(const ModelPolygon *polygon, int32_t vertexCount)
{
    for (uint16_t i = 0; i < polygon->cornerCount; i++)
        if (polygon->corners[i].vertex >= vertexCount)
            return false;
    return true;
}

void dropPolygonsWithMissingVertices(Model3ds *model)
{
    for (int32_t m = 0; m < model->meshCount; m++) {
        ModelMesh *mesh = &model->meshes[m];
        int32_t kept = 0;
        for (int32_t i = 0; i < mesh->polygonCount; i++) {
            if (hasAllVertices(&mesh->polygons[i], mesh->vertexCount))
                mesh->polygons[kept++] = mesh->polygons[i];
            else
                free(mesh->polygons[i].corners);
        }
        mesh->polygonCount = kept;
    }
}

void freeModel(Model3ds *model)
{
    if (!model)
        return;
    for (int32_t m = 0; m < model->meshCount; m++) {
        ModelMesh *mesh = &model->meshes[m];
        free(mesh->name);
        free(mesh->vertices);
        freePolygons(mesh->polygons, mesh->polygonCount);
        freePolygons(mesh->transparentPolygons, mesh->transparentCount);
        for (UvMap *map = mesh->uvMaps, *next; map; map = next) {
            next = map->next;
            free(map->entries);
            free(map);
        }
    }
    free(model->meshes);
    for (ModelMaterial *material = model->materials, *next; material; material = next) {
        next = material->next;
        free(material->name);
        free(material->textureFile);
        free(material);
    }
    for (ModelTag *tag = model->tags, *next; tag; tag = next) {
        next = tag->next;
        free(tag->name);
        free(tag);
    }
    for (ModelClip *clip = model->clips, *next; clip; clip = next) {
        next = clip->next;
        free(clip->file);
        free(clip);
    }
    free(model);
}

// ---------------------------------------------------------------------------
// Normals and tangents

static void subtract(const float *a, const float *b, float *out)
{
    for (int k = 0; k < 3; k++)
        out[k] = a[k] - b[k];
}

static void cross(const float *a, const float *b, float *out)
{
    float x = a[1] * b[2] - a[2] * b[1];
    float y = a[2] * b[0] - a[0] * b[2];
    float z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

// In place, only when the length is not 0.
static void makeUnit(float *v)
{
    float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length != 0.0f)
        for (int k = 0; k < 3; k++)
            v[k] /= length;
}

static const float *cornerPosition(const ModelMesh *mesh, const ModelPolygon *polygon, int corner)
{
    return mesh->vertices[polygon->corners[corner].vertex].position;
}

// The polygon normal from its first three corners, added to the normal and
// count of every corner's vertex.
static void addPolygonNormal(ModelMesh *mesh, ModelPolygon *polygon)
{
    if (polygon->cornerCount < 3)
        return;
    float toFirst[3], toLast[3];
    subtract(cornerPosition(mesh, polygon, 2), cornerPosition(mesh, polygon, 1), toLast);
    subtract(cornerPosition(mesh, polygon, 0), cornerPosition(mesh, polygon, 1), toFirst);
    cross(toLast, toFirst, polygon->normal);
    makeUnit(polygon->normal);
    for (uint16_t c = 0; c < polygon->cornerCount; c++) {
        ModelVertex *vertex = &mesh->vertices[polygon->corners[c].vertex];
        for (int k = 0; k < 3; k++)
            vertex->normal[k] += polygon->normal[k];
        vertex->useCount += 1.0f;
    }
}

// The triangle's tangent and binormal replace those of its three vertices;
// a triangle whose texture mapping is degenerate leaves them as they are.
static void setTriangleTangents(ModelMesh *mesh, const ModelPolygon *polygon)
{
    if (polygon->cornerCount != 3)
        return;
    const ModelCorner *c = polygon->corners;
    float e1[3], e2[3];
    subtract(cornerPosition(mesh, polygon, 1), cornerPosition(mesh, polygon, 0), e1);
    subtract(cornerPosition(mesh, polygon, 2), cornerPosition(mesh, polygon, 0), e2);
    float du1 = c[1].u - c[0].u, dv1 = c[1].v - c[0].v;
    float du2 = c[2].u - c[0].u, dv2 = c[2].v - c[0].v;
    float det = du1 * dv2 - dv1 * du2;
    if (!(std::fabs(det) > 0.00001f))
        return;
    float tangent[3], binormal[3];
    for (int k = 0; k < 3; k++) {
        tangent[k] = (dv2 * e1[k] - dv1 * e2[k]) / det;
        binormal[k] = (du1 * e2[k] - du2 * e1[k]) / det;
    }
    for (int i = 0; i < 3; i++) {
        ModelVertex *vertex = &mesh->vertices[c[i].vertex];
        memcpy(vertex->tangent, tangent, sizeof(tangent));
        memcpy(vertex->binormal, binormal, sizeof(binormal));
    }
}

// Opaque polygons first, then the transparent ones: after the split both
// arrays together are the mesh's polygons in file order per array.
template <typename Step>
static void forEachPolygon(ModelMesh *mesh, Step step)
{
    for (int32_t i = 0; i < mesh->polygonCount; i++)
        step(mesh, &mesh->polygons[i]);
    for (int32_t i = 0; i < mesh->transparentCount; i++)
        step(mesh, &mesh->transparentPolygons[i]);
}

static void recomputeMeshNormals(ModelMesh *mesh)
{
    for (int32_t i = 0; i < mesh->vertexCount; i++) {
        ModelVertex *vertex = &mesh->vertices[i];
        memset(vertex->normal, 0, sizeof(vertex->normal));
        memset(vertex->tangent, 0, sizeof(vertex->tangent));
        memset(vertex->binormal, 0, sizeof(vertex->binormal));
        vertex->useCount = 0.0f;
    }
    forEachPolygon(mesh, addPolygonNormal);
    for (int32_t i = 0; i < mesh->vertexCount; i++) {
        ModelVertex *vertex = &mesh->vertices[i];
        if (vertex->useCount == 0.0f)
            continue;
        vertex->useCount = 1.0f / vertex->useCount;
        for (float &component : vertex->normal)
            component *= vertex->useCount;
    }
    if (mesh->uvMapCount <= 0)
        return;
    forEachPolygon(mesh, setTriangleTangents);
    for (int32_t i = 0; i < mesh->vertexCount; i++) {
        makeUnit(mesh->vertices[i].tangent);
        makeUnit(mesh->vertices[i].binormal);
    }
}

void recomputeNormals(Model3ds *model)
{
    for (int32_t m = 0; m < model->meshCount; m++)
        recomputeMeshNormals(&model->meshes[m]);
}

// ---------------------------------------------------------------------------
// Transparent polygons

static bool isTransparent(const ModelPolygon *polygon)
{
    return polygon->material && polygon->material->transparency != 0.0f;
}

void splitTransparentPolygons(Model3ds *model)
{
    for (int32_t m = 0; m < model->meshCount; m++) {
        ModelMesh *mesh = &model->meshes[m];
        int32_t transparent = 0;
        for (int32_t i = 0; i < mesh->polygonCount; i++)
            transparent += isTransparent(&mesh->polygons[i]);
        if (transparent == 0)
            continue;
        ModelPolygon *moved = static_cast<ModelPolygon *>(
            realloc(mesh->transparentPolygons,
                    (mesh->transparentCount + transparent) * sizeof(ModelPolygon)));
        int32_t opaque = 0;
        for (int32_t i = 0; i < mesh->polygonCount; i++) {
            if (isTransparent(&mesh->polygons[i]))
                moved[mesh->transparentCount++] = mesh->polygons[i];
            else
                mesh->polygons[opaque++] = mesh->polygons[i];
        }
        mesh->transparentPolygons = moved;
        mesh->polygonCount = opaque;
        model->transparentMeshCount++;
    }
}

// ---------------------------------------------------------------------------
// Loading

static Model3ds *findShared(const char *path)
{
    for (int32_t i = 0; i < modelTable.count; i++)
        if (sameName(modelTable.names[i], path))
            return modelTable.models[i];
    return nullptr;
}

static void share(const char *path, Model3ds *model)
{
    if (modelTable.count >= MAX_MODELS) {
        engineError("Too many 3ds scenes. Only %i simultaneous scenes are supported.", MAX_MODELS);
        return;
    }
    modelTable.names[modelTable.count] = strdup(path);
    modelTable.models[modelTable.count] = model;
    modelTable.count++;
}

Model3ds *loadModel(const char *path, int reuse)
{
    bool sharing = demoSystem.state == 0 && reuse == 1;
    if (sharing) {
        if (Model3ds *shared = findShared(path))
            return shared;
    }
    // A directory opens like a file; it is no model either.
    struct stat status;
    if (stat(path, &status) != 0 || S_ISDIR(status.st_mode))
        return nullptr;
    FILE *file = fopen(path, "rb");
    if (!file)
        return nullptr;
    size_t size = 0;
    uint8_t *bytes = reinterpret_cast<uint8_t *>(loadOpenFile(file, &size));
    if (!bytes)
        return nullptr;
    Model3ds *model = readModel3ds(bytes, size);
    if (!model)
        model = readModelLwo2(bytes, size);
    free(bytes);
    if (!model)
        return nullptr;
    recomputeNormals(model);
    splitTransparentPolygons(model);
    if (sharing)
        share(path, model);
    return model;
}

void resetModelTable()
{
    for (int32_t i = 0; i < modelTable.count; i++) {
        free(modelTable.names[i]);
        freeModel(modelTable.models[i]);
    }
    memset(&modelTable, 0, sizeof(modelTable));
}

// Models: the one in-memory form of a polygon model (shared by the 3DS and
// LWO2 readers), the table that shares models by file name while loading,
// and the normals, tangents and transparent split drawing needs.
#pragma once

#include <cstddef>
#include <cstdint>

enum { MAX_MODELS = 64 };

enum { MODEL_FORMAT_3DS = 1, MODEL_FORMAT_LWO2 = 2 };

struct ModelMaterial {
    ModelMaterial *next;
    char *name;                // owned
    char *textureFile;         // owned, or null
    int32_t texture;           // 0: none; 3DS 1 once a file was named, LWO2 the clip
                               // index; model_upload_tex puts the texture index here
    float ambient[3], diffuse[3], specular[3];
    float shininess;
    float shininessStrength;   // stored only
    float transparency;        // 0 is opaque
    uint8_t twoSided;
    uint16_t mapTiling;        // stored only, like the map placement below
    float mapUScale, mapVScale;
    float mapUOffset, mapVOffset, mapRotation;
};

// 16 floats, so drawing can hand positions, normals and tangents to OpenGL
// straight from the array.
struct ModelVertex {
    float position[3];
    float useCount;            // polygons using the vertex; its reciprocal afterwards
    float normal[3];
    float tangent[3];
    float binormal[3];
    float light[3];            // light vector of the bump mode, written while drawing
};
static_assert(sizeof(ModelVertex) == 16 * sizeof(float), "a vertex is 16 floats");

struct ModelCorner {
    uint16_t vertex;
    float u, v;
};

struct ModelPolygon {
    uint16_t cornerCount;      // 3 for every 3DS polygon
    ModelCorner *corners;      // owned
    uint16_t flags;            // 3DS face flags; stored only
    float normal[3];
    ModelMaterial *material;   // or null
    int32_t surfaceTag;        // LWO2 tag index; -1 when none
};

struct UvEntry {
    float u, v;
    int32_t vertex, polygon;   // LWO2 only
};

// A 3DS map holds one entry per vertex, indexed by vertex number.
struct UvMap {
    UvMap *next;
    int32_t count;
    int32_t perPolygon;        // LWO2 discontinuous map
    UvEntry *entries;          // owned
};

struct ModelMesh {
    char *name;                // 3DS object name (owned); null for LWO2 layers
    int32_t polygonCount;
    ModelPolygon *polygons;    // opaque polygons, in file order
    int32_t vertexCount;
    ModelVertex *vertices;
    int32_t uvMapCount;        // above 0: the mesh has texture coordinates
    UvMap *uvMaps;             // the most recent first
    int32_t transparentCount;
    ModelPolygon *transparentPolygons;
    uint8_t meshColor;         // stored only
    uint8_t nonFacePolygons;   // LWO2: a polygon chunk was not of faces
    uint8_t unsupportedUvMap;  // LWO2: a vertex map was not a 2D TXUV map
};

// LWO2 surface tags: tag index k (from 0 in file order) is the entry at
// position tagCount - 1 - k from the head.
struct ModelTag {
    ModelTag *next;
    char *name;                // owned
    ModelMaterial *material;   // the surface of that name, once resolved
};

struct ModelClip {
    ModelClip *next;
    int32_t index;
    char *file;                // owned
};

struct Model3ds {
    int32_t format;            // MODEL_FORMAT_3DS or MODEL_FORMAT_LWO2
    int32_t materialCount;
    ModelMaterial *materials;  // the most recently read first
    int32_t tagCount;
    ModelTag *tags;
    int32_t clipCount;
    ModelClip *clips;
    int32_t meshCount;
    ModelMesh *meshes;         // in file order
    int32_t transparentMeshCount;
};

// Models shared while loading; entries are appended and never freed.
struct ModelTable {
    char *names[MAX_MODELS];   // owned copies of the file names
    Model3ds *models[MAX_MODELS];
    int32_t count;
};

extern ModelTable modelTable;

// Reads a 3DS or LWO2 file. While loading, `reuse` 1 returns the model
// already read from the same file name (any letter case) and enters a new
// one in the table; otherwise the caller gets a private copy. Null when the
// file does not open or is neither format (the caller reports).
Model3ds *loadModel(const char *path, int reuse);

// The readers, over a whole file in memory. Null when the bytes do not begin
// with their format's header. Polygons that name a vertex the mesh does not
// have are left out; normals are not computed yet.
Model3ds *readModel3ds(const uint8_t *data, size_t size);
Model3ds *readModelLwo2(const uint8_t *data, size_t size);

// Polygon and averaged vertex normals, and tangents and binormals for
// meshes with texture coordinates.
void recomputeNormals(Model3ds *model);

// Moves the polygons with a transparent material of every mesh to its
// transparent array, both keeping file order.
void splitTransparentPolygons(Model3ds *model);

// Frees a model that is not in the table (tests, tools and fuzzers).
void freeModel(Model3ds *model);

// Empties the table, freeing its models.
void resetModelTable();

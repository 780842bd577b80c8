// The 3DS reader: a walk over little-endian chunks, each a 16-bit id and a
// 32-bit length that counts its own 6 header bytes. What follows a handled
// chunk's own data (the material groups after a face list) is read as if it
// were the chunk's sibling; unknown chunks are skipped.
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

#include "models/bytes.h"
#include "models/model_local.h"

enum : uint16_t {
    CHUNK_MAIN = 0x4D4D,
    CHUNK_EDITOR = 0x3D3D,
    CHUNK_OBJECT = 0x4000,
    CHUNK_TRIANGLES = 0x4100,
    CHUNK_VERTICES = 0x4110,
    CHUNK_FACES = 0x4120,
    CHUNK_FACE_MATERIAL = 0x4130,
    CHUNK_UV_MAP = 0x4140,
    CHUNK_MESH_COLOR = 0x4165,
    CHUNK_MATERIAL = 0xAFFF,
    CHUNK_MAT_NAME = 0xA000,
    CHUNK_MAT_AMBIENT = 0xA010,
    CHUNK_MAT_DIFFUSE = 0xA020,
    CHUNK_MAT_SPECULAR = 0xA030,
    CHUNK_MAT_SHININESS = 0xA040,
    CHUNK_MAT_SHININESS_STRENGTH = 0xA041,
    CHUNK_MAT_TRANSPARENCY = 0xA050,
    CHUNK_MAT_TWO_SIDED = 0xA081,
    CHUNK_MAT_TEXTURE_MAP = 0xA200,
    CHUNK_MAP_FILE = 0xA300,
    CHUNK_MAP_TILING = 0xA351,
    CHUNK_MAP_U_SCALE = 0xA354,
    CHUNK_MAP_V_SCALE = 0xA356,
    CHUNK_MAP_U_OFFSET = 0xA358,
    CHUNK_MAP_V_OFFSET = 0xA35A,
    CHUNK_MAP_ROTATION = 0xA35C,
    CHUNK_COLOR_FLOAT = 0x0010,
    CHUNK_COLOR_BYTES = 0x0011,
    CHUNK_COLOR_BYTES_GAMMA = 0x0012,
    CHUNK_COLOR_FLOAT_GAMMA = 0x0013,
    CHUNK_PERCENT_INT = 0x0030,
    CHUNK_PERCENT_FLOAT = 0x0031,
};

enum { CHUNK_HEADER_SIZE = 6, NAME_SIZE = 256, MAX_CHUNK_DEPTH = 32 };

struct Chunk {
    uint16_t id;
    size_t end;                // cut to the parent's end
};

// What a chunk handler works on.
struct Reader3ds {
    ByteReader bytes = {};
    Model3ds *model = nullptr;
    ModelMesh *mesh = nullptr;         // of the named object being read
    ModelMaterial *material = nullptr; // being read
    float *color = nullptr;            // of the colour chunk being read
    float *percent = nullptr;          // of the percentage chunk being read
    int depth = 0;                     // chunks being read, one inside the other
    // Materials read so far by lower-case name, the most recent of a name
    // (the first from the head of the list).
    std::unordered_map<std::string, ModelMaterial *> materialsByName;
};

// Returns false when the chunk was not handled, so that the caller skips it.
using ChunkHandler = bool (*)(Reader3ds *reader, const Chunk &chunk);

// Reads the children of a chunk ending at `end` with `handler`. Chunks
// nested deeper than any exporter writes are passed over whole, so that a
// file cannot exhaust the stack.
static void readChildren(Reader3ds *reader, size_t end, ChunkHandler handler)
{
    ByteReader *bytes = &reader->bytes;
    if (end > bytes->size)
        end = bytes->size;
    reader->depth++;
    while (reader->depth <= MAX_CHUNK_DEPTH && bytesLeft(bytes, end) >= CHUNK_HEADER_SIZE) {
        size_t start = bytes->position;
        Chunk chunk;
        chunk.id = readU16LE(bytes);
        uint32_t length = readU32LE(bytes);
        // A length shorter than a header counts as just the header; one
        // running past the parent is cut to it.
        size_t available = end - start;
        chunk.end = start + (length < CHUNK_HEADER_SIZE ? size_t(CHUNK_HEADER_SIZE)
                             : length > available  ? available
                                                   : length);
        if (!handler(reader, chunk))
            seekTo(bytes, chunk.end);
    }
    reader->depth--;
    // A piece too short for a header counts as consumed.
    if (bytes->position < end)
        seekTo(bytes, end);
}

// How many records of `recordSize` bytes a 16-bit count may claim: no more
// than the chunk still holds.
static int32_t readCount(Reader3ds *reader, const Chunk &chunk, size_t recordSize)
{
    uint16_t count = readU16LE(&reader->bytes);
    size_t fit = bytesLeft(&reader->bytes, chunk.end) / recordSize;
    return static_cast<int32_t>(count < fit ? count : fit);
}

// ---------------------------------------------------------------------------
// Colours and percentages: the last value read wins

static bool readColor(Reader3ds *reader, const Chunk &chunk)
{
    ByteReader *bytes = &reader->bytes;
    switch (chunk.id) {
    case CHUNK_COLOR_FLOAT:
    case CHUNK_COLOR_FLOAT_GAMMA:
        for (int k = 0; k < 3; k++)
            reader->color[k] = readFloatLE(bytes);
        return true;
    case CHUNK_COLOR_BYTES:
    case CHUNK_COLOR_BYTES_GAMMA:
        for (int k = 0; k < 3; k++)
            reader->color[k] = readU8(bytes) * (1.0f / 255.0f);
        return true;
    default:
        return false;
    }
}

static bool readPercent(Reader3ds *reader, const Chunk &chunk)
{
    switch (chunk.id) {
    case CHUNK_PERCENT_INT:
        *reader->percent = static_cast<int16_t>(readU16LE(&reader->bytes)) * 0.01f;
        return true;
    case CHUNK_PERCENT_FLOAT:
        *reader->percent = readFloatLE(&reader->bytes);
        return true;
    default:
        return false;
    }
}

static void readColorChunk(Reader3ds *reader, const Chunk &chunk, float *color)
{
    memset(color, 0, 3 * sizeof(float));
    reader->color = color;
    readChildren(reader, chunk.end, readColor);
}

static void readPercentChunk(Reader3ds *reader, const Chunk &chunk, float *percent)
{
    *percent = 0.0f;
    reader->percent = percent;
    readChildren(reader, chunk.end, readPercent);
}

// ---------------------------------------------------------------------------
// Materials

static bool readMaterialChunk(Reader3ds *reader, const Chunk &chunk)
{
    ByteReader *bytes = &reader->bytes;
    ModelMaterial *material = reader->material;
    char name[NAME_SIZE];
    switch (chunk.id) {
    case CHUNK_MAT_NAME:
        readString(bytes, chunk.end, name, sizeof(name));
        free(material->name);
        material->name = strdup(name);
        return true;
    case CHUNK_MAT_AMBIENT: readColorChunk(reader, chunk, material->ambient); return true;
    case CHUNK_MAT_DIFFUSE: readColorChunk(reader, chunk, material->diffuse); return true;
    case CHUNK_MAT_SPECULAR: readColorChunk(reader, chunk, material->specular); return true;
    case CHUNK_MAT_SHININESS: readPercentChunk(reader, chunk, &material->shininess); return true;
    case CHUNK_MAT_SHININESS_STRENGTH:
        readPercentChunk(reader, chunk, &material->shininessStrength);
        return true;
    case CHUNK_MAT_TRANSPARENCY: readPercentChunk(reader, chunk, &material->transparency); return true;
    case CHUNK_MAT_TWO_SIDED: material->twoSided = 1; return true;
    case CHUNK_MAT_TEXTURE_MAP: readChildren(reader, chunk.end, readMaterialChunk); return true;
    case CHUNK_MAP_FILE:
        readString(bytes, chunk.end, name, sizeof(name));
        free(material->textureFile);
        material->textureFile = strdup(name);
        material->texture = 1;
        return true;
    case CHUNK_MAP_TILING: material->mapTiling = readU16LE(bytes); return true;
    case CHUNK_MAP_U_SCALE: material->mapUScale = readFloatLE(bytes); return true;
    case CHUNK_MAP_V_SCALE: material->mapVScale = readFloatLE(bytes); return true;
    case CHUNK_MAP_U_OFFSET: material->mapUOffset = readFloatLE(bytes); return true;
    case CHUNK_MAP_V_OFFSET: material->mapVOffset = readFloatLE(bytes); return true;
    case CHUNK_MAP_ROTATION: material->mapRotation = readFloatLE(bytes); return true;
    default: return false;
    }
}

// ---------------------------------------------------------------------------
// Objects

static void readVertices(Reader3ds *reader, const Chunk &chunk)
{
    ModelMesh *mesh = reader->mesh;
    setVertexCount(mesh, readCount(reader, chunk, 12));
    for (int32_t i = 0; i < mesh->vertexCount; i++) {
        float x = readFloatLE(&reader->bytes);
        float y = readFloatLE(&reader->bytes);
        float z = readFloatLE(&reader->bytes);
        // The file's z axis is the model's y axis.
        float *position = mesh->vertices[i].position;
        position[0] = x;
        position[1] = z;
        position[2] = -y;
    }
}

static void readFaces(Reader3ds *reader, const Chunk &chunk)
{
    ModelMesh *mesh = reader->mesh;
    setPolygonCount(mesh, readCount(reader, chunk, 8));
    for (int32_t i = 0; i < mesh->polygonCount; i++) {
        ModelPolygon *polygon = &mesh->polygons[i];
        setCornerCount(polygon, 3);
        for (int c = 0; c < 3; c++)
            polygon->corners[c].vertex = readU16LE(&reader->bytes);
        polygon->flags = readU16LE(&reader->bytes);
    }
}

static ModelMaterial *findMaterial(const Reader3ds *reader, const char *name)
{
    auto found = reader->materialsByName.find(lowerCase(name));
    return found == reader->materialsByName.end() ? nullptr : found->second;
}

static void readFaceMaterial(Reader3ds *reader, const Chunk &chunk)
{
    char name[NAME_SIZE];
    readString(&reader->bytes, chunk.end, name, sizeof(name));
    ModelMaterial *material = findMaterial(reader, name);
    int32_t count = readCount(reader, chunk, 2);
    ModelMesh *mesh = reader->mesh;
    for (int32_t i = 0; i < count; i++) {
        uint16_t index = readU16LE(&reader->bytes);
        if (index < mesh->polygonCount)
            mesh->polygons[index].material = material;
    }
}

static void readUvMap(Reader3ds *reader, const Chunk &chunk)
{
    int32_t count = readCount(reader, chunk, 8);
    UvMap *map = pushUvMap(reader->mesh, count, 0);
    for (int32_t i = 0; i < count; i++) {
        map->entries[i].u = readFloatLE(&reader->bytes);
        map->entries[i].v = readFloatLE(&reader->bytes);
        map->entries[i].vertex = i;
    }
}

static bool readObjectChunk(Reader3ds *reader, const Chunk &chunk)
{
    switch (chunk.id) {
    case CHUNK_TRIANGLES: readChildren(reader, chunk.end, readObjectChunk); return true;
    case CHUNK_VERTICES: readVertices(reader, chunk); return true;
    case CHUNK_FACES: readFaces(reader, chunk); return true;
    case CHUNK_FACE_MATERIAL: readFaceMaterial(reader, chunk); return true;
    case CHUNK_UV_MAP: readUvMap(reader, chunk); return true;
    case CHUNK_MESH_COLOR: reader->mesh->meshColor = readU8(&reader->bytes); return true;
    default: return false;
    }
}

// ---------------------------------------------------------------------------
// Scene

static bool readSceneChunk(Reader3ds *reader, const Chunk &chunk)
{
    switch (chunk.id) {
    case CHUNK_EDITOR:
        readChildren(reader, chunk.end, readSceneChunk);
        return true;
    case CHUNK_OBJECT: {
        // Every named object gets a mesh, also a camera or a light.
        char name[NAME_SIZE];
        ModelMesh *mesh = appendMesh(reader->model);
        readString(&reader->bytes, chunk.end, name, sizeof(name));
        mesh->name = strdup(name);
        reader->mesh = mesh;
        readChildren(reader, chunk.end, readObjectChunk);
        return true;
    }
    case CHUNK_MATERIAL: {
        ModelMaterial *material = newMaterial("");
        reader->material = material;
        readChildren(reader, chunk.end, readMaterialChunk);
        material->next = reader->model->materials;
        reader->model->materials = material;
        reader->model->materialCount++;
        reader->materialsByName[lowerCase(material->name)] = material;
        return true;
    }
    default:
        return false;
    }
}

// Corner coordinates from the mesh's last map, v turned over; corners whose
// vertex the map does not reach keep (0, 0).
static void applyUvMaps(Model3ds *model)
{
    for (int32_t m = 0; m < model->meshCount; m++) {
        ModelMesh *mesh = &model->meshes[m];
        const UvMap *map = mesh->uvMaps;
        if (!map)
            continue;
        for (int32_t i = 0; i < mesh->polygonCount; i++) {
            ModelPolygon *polygon = &mesh->polygons[i];
            for (uint16_t c = 0; c < polygon->cornerCount; c++) {
                ModelCorner *corner = &polygon->corners[c];
                if (corner->vertex >= map->count)
                    continue;
                corner->u = map->entries[corner->vertex].u;
                corner->v = 1.0f - map->entries[corner->vertex].v;
            }
        }
    }
}

Model3ds *readModel3ds(const uint8_t *data, size_t size)
{
    Reader3ds reader;
    reader.bytes = byteReader(data, size);
    if (size < CHUNK_HEADER_SIZE || readU16LE(&reader.bytes) != CHUNK_MAIN)
        return nullptr;
    uint32_t length = readU32LE(&reader.bytes);
    size_t end = length < CHUNK_HEADER_SIZE || length > size ? size : length;
    reader.model = static_cast<Model3ds *>(calloc(1, sizeof(Model3ds)));
    readChildren(&reader, end, readSceneChunk);
    applyUvMaps(reader.model);
    dropPolygonsWithMissingVertices(reader.model);
    reader.model->format = MODEL_FORMAT_3DS;
    return reader.model;
}

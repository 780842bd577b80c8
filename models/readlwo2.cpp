// The LWO2 reader: an IFF "FORM" of type "LWO2" of big-endian chunks, each
// an ID4 tag and a U4 size, not padded. Layers become meshes; points, face
// polygons, surface tags, surfaces, still-image clips and 2D texture maps
// are read, everything else is skipped.
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "models/bytes.h"
#include "models/model_local.h"

enum { NAME_SIZE = 256, MAX_POLYGON_CORNERS = 1023 };

static constexpr uint32_t id4(const char (&tag)[5])
{
    return static_cast<uint32_t>(static_cast<uint8_t>(tag[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(tag[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(tag[2])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(tag[3]));
}

struct ReaderLwo2 {
    ByteReader bytes;
    Model3ds *model;
    int32_t mesh;              // index of the current layer; -1 before the first
};

// ---------------------------------------------------------------------------
// Primitives

// A variable-length index: two bytes, or 0xFF and three more. -1 when it
// does not fit before `end`.
static int32_t readVx(ByteReader *bytes, size_t end)
{
    if (bytesLeft(bytes, end) < 2)
        return -1;
    uint8_t first = readU8(bytes);
    if (first != 0xFF)
        return first << 8 | readU8(bytes);
    if (bytesLeft(bytes, end) < 3)
        return -1;
    int32_t index = readU8(bytes) << 16;
    index |= readU8(bytes) << 8;
    return index | readU8(bytes);
}

// A string and, when its length with the zero byte is odd, one padding byte.
static void readS0(ByteReader *bytes, size_t end, char *out, size_t capacity)
{
    size_t start = bytes->position;
    readString(bytes, end, out, capacity);
    if ((bytes->position - start) % 2 == 1)
        seekTo(bytes, bytes->position + 1);
}

// The layer chunks like points and polygons belong to. A file that has such
// chunks before its first layer gets a layer for them.
static ModelMesh *currentMesh(ReaderLwo2 *reader)
{
    if (reader->mesh < 0) {
        appendMesh(reader->model);
        reader->mesh = reader->model->meshCount - 1;
    }
    return &reader->model->meshes[reader->mesh];
}

// ---------------------------------------------------------------------------
// Geometry

// Corners hold 16-bit indices, and 0xFFFF stands for any index beyond: a
// layer keeps at most 65535 points, so that 0xFFFF names none of them.
static void readPoints(ReaderLwo2 *reader, size_t end)
{
    ModelMesh *mesh = currentMesh(reader);
    size_t count = bytesLeft(&reader->bytes, end) / 12;
    setVertexCount(mesh, static_cast<int32_t>(count < 0xFFFF ? count : 0xFFFF));
    for (int32_t i = 0; i < mesh->vertexCount; i++)
        for (float &coordinate : mesh->vertices[i].position)
            coordinate = readFloatBE(&reader->bytes);
}

// One polygon's corner count and vertex indices, or false when it does not
// fit before `end`. Indices beyond the 16 bits a corner holds become 0xFFFF,
// which no mesh reaches, so that the polygon is left out later.
static bool readPolygon(ByteReader *bytes, size_t end, ModelPolygon *polygon)
{
    if (bytesLeft(bytes, end) < 2)
        return false;
    uint16_t count = readU16BE(bytes) & MAX_POLYGON_CORNERS;
    if (polygon)
        setCornerCount(polygon, count);
    for (uint16_t c = 0; c < count; c++) {
        int32_t index = readVx(bytes, end);
        if (index < 0)
            return false;
        if (polygon)
            polygon->corners[c].vertex = static_cast<uint16_t>(index > 0xFFFF ? 0xFFFF : index);
    }
    return true;
}

static void readPolygons(ReaderLwo2 *reader, size_t end)
{
    ByteReader *bytes = &reader->bytes;
    ModelMesh *mesh = currentMesh(reader);
    if (readU32BE(bytes) != id4("FACE")) {
        mesh->nonFacePolygons = 1;
        return;
    }
    // Counted first, then read again into an array of that size; a polygon
    // cut short by the chunk's end is left out.
    size_t start = bytes->position;
    int32_t count = 0;
    while (readPolygon(bytes, end, nullptr))
        count++;
    seekTo(bytes, start);
    setPolygonCount(mesh, count);
    for (int32_t i = 0; i < count; i++)
        readPolygon(bytes, end, &mesh->polygons[i]);
}

static void readPolygonTags(ReaderLwo2 *reader, size_t end, uint32_t size)
{
    ByteReader *bytes = &reader->bytes;
    ModelMesh *mesh = currentMesh(reader);
    if (mesh->polygonCount == 0 || readU32BE(bytes) != id4("SURF") || size <= 4)
        return;
    for (;;) {
        int32_t polygon = readVx(bytes, end);
        int32_t tag = readVx(bytes, end);
        if (polygon < 0 || tag < 0)
            return;
        if (polygon < mesh->polygonCount)
            mesh->polygons[polygon].surfaceTag = tag;
    }
}

// ---------------------------------------------------------------------------
// Surfaces

// Sub-chunks of a surface or block: ID4 tag and U2 size.
struct SubChunk {
    uint32_t tag;
    size_t end;                // cut to the parent's end
};

static bool readSubChunk(ByteReader *bytes, size_t end, SubChunk *sub)
{
    if (bytesLeft(bytes, end) < 6)
        return false;
    sub->tag = readU32BE(bytes);
    size_t size = readU16BE(bytes);
    size_t available = end - bytes->position;
    sub->end = bytes->position + (size < available ? size : available);
    return true;
}

// The image of a texture block; the last IMAG of any block wins.
static void readBlock(ByteReader *bytes, size_t end, ModelMaterial *material)
{
    SubChunk sub;
    while (readSubChunk(bytes, end, &sub)) {
        if (sub.tag == id4("IMAG")) {
            int32_t clip = readVx(bytes, sub.end);
            if (clip >= 0)
                material->texture = clip;
        }
        seekTo(bytes, sub.end);
    }
}

// `factor` times the base colour read so far.
static void scaleBaseColor(ByteReader *bytes, const ModelMaterial *material, float *out)
{
    float factor = readFloatBE(bytes);
    for (int k = 0; k < 3; k++)
        out[k] = factor * material->ambient[k];
}

static void readSurface(ReaderLwo2 *reader, size_t end)
{
    ByteReader *bytes = &reader->bytes;
    char name[NAME_SIZE];
    readS0(bytes, end, name, sizeof(name));
    ModelMaterial *material = newMaterial(name);
    // The parent surface's name, then any stray zero bytes of a sloppy
    // writer, are passed over.
    char parent[NAME_SIZE];
    readS0(bytes, end, parent, sizeof(parent));
    while (bytesLeft(bytes, end) > 0 && bytes->data[bytes->position] == 0)
        seekTo(bytes, bytes->position + 1);
    SubChunk sub;
    while (readSubChunk(bytes, end, &sub)) {
        // Envelope indices after the values are not used.
        if (sub.tag == id4("COLR")) {
            for (float &component : material->ambient)
                component = readFloatBE(bytes);
        } else if (sub.tag == id4("DIFF")) {
            scaleBaseColor(bytes, material, material->diffuse);
        } else if (sub.tag == id4("GLOS")) {
            scaleBaseColor(bytes, material, material->specular);
        } else if (sub.tag == id4("BLOK") && sub.end - bytes->position > 4) {
            readBlock(bytes, sub.end, material);
        }
        seekTo(bytes, sub.end);
    }
    material->next = reader->model->materials;
    reader->model->materials = material;
    reader->model->materialCount++;
}

static void readTags(ReaderLwo2 *reader, size_t end)
{
    ByteReader *bytes = &reader->bytes;
    while (bytesLeft(bytes, end) > 0) {
        char name[NAME_SIZE];
        readS0(bytes, end, name, sizeof(name));
        ModelTag *tag = static_cast<ModelTag *>(calloc(1, sizeof(ModelTag)));
        tag->name = strdup(name);
        tag->next = reader->model->tags;
        reader->model->tags = tag;
        reader->model->tagCount++;
    }
}

// A still image's file name from its last slash or backslash on, that
// character kept.
static void readClip(ReaderLwo2 *reader, size_t end)
{
    ByteReader *bytes = &reader->bytes;
    int32_t index = static_cast<int32_t>(readU32BE(bytes));
    SubChunk sub;
    if (!readSubChunk(bytes, end, &sub) || sub.tag != id4("STIL"))
        return;
    char name[NAME_SIZE];
    readS0(bytes, sub.end, name, sizeof(name));
    const char *file = name;
    for (const char *c = name; *c; c++)
        if (*c == '/' || *c == '\\')
            file = c;
    ModelClip *clip = static_cast<ModelClip *>(calloc(1, sizeof(ModelClip)));
    clip->index = index;
    clip->file = strdup(file);
    clip->next = reader->model->clips;
    reader->model->clips = clip;
    reader->model->clipCount++;
}

// ---------------------------------------------------------------------------
// Texture coordinates

// One map entry, or false when it does not fit before `end`.
static bool readUvEntry(ByteReader *bytes, size_t end, bool perPolygon, UvEntry *entry)
{
    int32_t vertex = readVx(bytes, end);
    int32_t polygon = perPolygon ? readVx(bytes, end) : 0;
    if (vertex < 0 || polygon < 0 || bytesLeft(bytes, end) < 8)
        return false;
    entry->vertex = vertex;
    entry->polygon = perPolygon ? polygon : -1;
    entry->u = readFloatBE(bytes);
    entry->v = readFloatBE(bytes);
    return true;
}

static void readUvMap(ReaderLwo2 *reader, size_t end, bool perPolygon)
{
    ByteReader *bytes = &reader->bytes;
    ModelMesh *mesh = currentMesh(reader);
    uint32_t type = readU32BE(bytes);
    uint16_t dimension = readU16BE(bytes);
    if (type != id4("TXUV") || dimension != 2) {
        mesh->unsupportedUvMap = 1;
        return;
    }
    char name[NAME_SIZE];
    readS0(bytes, end, name, sizeof(name));
    size_t start = bytes->position;
    int32_t count = 0;
    UvEntry entry;
    while (readUvEntry(bytes, end, perPolygon, &entry))
        count++;
    seekTo(bytes, start);
    UvMap *map = pushUvMap(mesh, count, perPolygon);
    for (int32_t i = 0; i < count; i++)
        readUvEntry(bytes, end, perPolygon, &map->entries[i]);
}

// Per-vertex maps first, then per-polygon ones over them, so that a corner a
// polygon map covers takes its coordinates. Within each kind the first entry
// of the map nearest the head counts: entries are applied from the last map
// to the first and from the last entry to the first, each overwriting.
static void applyUvMaps(ModelMesh *mesh)
{
    std::vector<const UvEntry *> maps[2];
    for (const UvMap *map = mesh->uvMaps; map; map = map->next)
        for (int32_t i = 0; i < map->count; i++)
            maps[map->perPolygon ? 1 : 0].push_back(&map->entries[i]);
    std::vector<const UvEntry *> byVertex(mesh->vertexCount, nullptr);
    for (size_t i = maps[0].size(); i-- > 0;)
        if (maps[0][i]->vertex < mesh->vertexCount)
            byVertex[maps[0][i]->vertex] = maps[0][i];
    for (int32_t j = 0; j < mesh->polygonCount; j++) {
        ModelPolygon *polygon = &mesh->polygons[j];
        for (uint16_t c = 0; c < polygon->cornerCount; c++) {
            ModelCorner *corner = &polygon->corners[c];
            if (corner->vertex < mesh->vertexCount && byVertex[corner->vertex]) {
                corner->u = byVertex[corner->vertex]->u;
                corner->v = 1.0f - byVertex[corner->vertex]->v;
            }
        }
    }
    for (size_t i = maps[1].size(); i-- > 0;) {
        const UvEntry *entry = maps[1][i];
        if (entry->polygon >= mesh->polygonCount)
            continue;
        ModelPolygon *polygon = &mesh->polygons[entry->polygon];
        for (uint16_t c = 0; c < polygon->cornerCount; c++) {
            if (polygon->corners[c].vertex != entry->vertex)
                continue;
            polygon->corners[c].u = entry->u;
            polygon->corners[c].v = 1.0f - entry->v;
        }
    }
}

// ---------------------------------------------------------------------------
// Materials through tags and clips

static void resolveMaterials(Model3ds *model)
{
    // Names and clip indices are looked up in maps that keep the first entry
    // from the head, so that files of many tags and surfaces take linear time.
    std::unordered_map<std::string, ModelMaterial *> byName;
    for (ModelMaterial *material = model->materials; material; material = material->next)
        byName.emplace(lowerCase(material->name), material);
    for (ModelTag *tag = model->tags; tag; tag = tag->next) {
        auto found = byName.find(lowerCase(tag->name));
        tag->material = found == byName.end() ? nullptr : found->second;
    }
    // The material of each tag index, in one walk over the list: the
    // entry at position p from the head has index tagCount - 1 - p.
    std::vector<ModelMaterial *> tagMaterials(model->tagCount, nullptr);
    int32_t index = model->tagCount;
    for (const ModelTag *tag = model->tags; tag; tag = tag->next)
        tagMaterials[--index] = tag->material;
    for (int32_t m = 0; m < model->meshCount; m++) {
        ModelMesh *mesh = &model->meshes[m];
        for (int32_t j = 0; j < mesh->polygonCount; j++) {
            int32_t tag = mesh->polygons[j].surfaceTag;
            if (tag != -1)
                mesh->polygons[j].material = tag >= 0 && tag < model->tagCount ? tagMaterials[tag] : nullptr;
        }
    }
    std::unordered_map<int32_t, const ModelClip *> clips;
    for (const ModelClip *clip = model->clips; clip; clip = clip->next)
        clips.emplace(clip->index, clip);
    for (ModelMaterial *material = model->materials; material; material = material->next) {
        if (material->texture == 0)
            continue;
        auto clip = clips.find(material->texture);
        if (clip != clips.end())
            material->textureFile = strdup(clip->second->file);
        else
            material->texture = 0;
    }
}

// ---------------------------------------------------------------------------
// The chunk walk

static void readChunk(ReaderLwo2 *reader, uint32_t tag, uint32_t size, size_t end)
{
    if (tag == id4("LAYR")) {
        appendMesh(reader->model);
        reader->mesh = reader->model->meshCount - 1;
    } else if (tag == id4("PNTS")) {
        readPoints(reader, end);
    } else if (tag == id4("POLS")) {
        readPolygons(reader, end);
    } else if (tag == id4("PTAG")) {
        readPolygonTags(reader, end, size);
    } else if (tag == id4("SURF")) {
        readSurface(reader, end);
    } else if (tag == id4("TAGS")) {
        readTags(reader, end);
    } else if (tag == id4("CLIP")) {
        readClip(reader, end);
    } else if (tag == id4("VMAP") || tag == id4("VMAD")) {
        readUvMap(reader, end, tag == id4("VMAD"));
    }
}

Model3ds *readModelLwo2(const uint8_t *data, size_t size)
{
    ReaderLwo2 reader = {};
    reader.bytes = byteReader(data, size);
    ByteReader *bytes = &reader.bytes;
    if (size < 12 || readU32BE(bytes) != id4("FORM"))
        return nullptr;
    uint32_t formSize = readU32BE(bytes);
    if (readU32BE(bytes) != id4("LWO2"))
        return nullptr;
    size_t formEnd = static_cast<size_t>(formSize) + 8;
    if (formEnd > size)
        formEnd = size;
    reader.model = static_cast<Model3ds *>(calloc(1, sizeof(Model3ds)));
    reader.mesh = -1;
    while (bytesLeft(bytes, formEnd) >= 8) {
        uint32_t tag = readU32BE(bytes);
        uint32_t chunkSize = readU32BE(bytes);
        size_t start = bytes->position;
        size_t end = chunkSize < formEnd - start ? start + chunkSize : formEnd;
        readChunk(&reader, tag, chunkSize, end);
        seekTo(bytes, end);
    }
    Model3ds *model = reader.model;
    resolveMaterials(model);
    for (int32_t m = 0; m < model->meshCount; m++)
        applyUvMaps(&model->meshes[m]);
    dropPolygonsWithMissingVertices(model);
    model->format = MODEL_FORMAT_LWO2;
    return model;
}

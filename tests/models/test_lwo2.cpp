// The LWO2 reader: its primitives, every chunk it takes, materials through
// tags and clips, texture coordinates, and damaged files.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/models/model_fixture.h"

using namespace modelgen;
using namespace std::string_literals;

static std::string layer()
{
    return chunkLwo2("LAYR", be16(0) + be16(0) + beFloat(0) + beFloat(0) + beFloat(0) + s0(""));
}

// `count` points, point i at (i, 2i, 3i).
static std::string points(int count)
{
    std::string data;
    for (int i = 0; i < count; i++)
        data += beFloat(i) + beFloat(2.0f * i) + beFloat(3.0f * i);
    return chunkLwo2("PNTS", data);
}

static std::string faces(const std::vector<std::vector<uint32_t>> &polygons)
{
    std::string data = "FACE";
    for (const auto &polygon : polygons) {
        data += be16(static_cast<uint16_t>(polygon.size()));
        for (uint32_t index : polygon)
            data += vx(index);
    }
    return chunkLwo2("POLS", data);
}

static std::string surfaceTags(const std::vector<std::pair<uint32_t, uint32_t>> &pairs)
{
    std::string data = "SURF";
    for (const auto &pair : pairs)
        data += vx(pair.first) + vx(pair.second);
    return chunkLwo2("PTAG", data);
}

TEST(ReadLwo2, LayersPointsAndPolygonsOfAnyCornerCount)
{
    ReadModel read(formLwo2(layer() + points(6) + faces({{0, 1, 2, 3, 4}, {5, 4, 3}}) +
                            layer() + points(2)));
    ASSERT_NE(read.model, nullptr);
    EXPECT_EQ(read.model->format, MODEL_FORMAT_LWO2);
    ASSERT_EQ(read.model->meshCount, 2);
    const ModelMesh &mesh = read.mesh();
    EXPECT_EQ(mesh.name, nullptr);
    ASSERT_EQ(mesh.vertexCount, 6);
    EXPECT_EQ(mesh.vertices[5].position[2], 15.0f);    // no axis swap
    ASSERT_EQ(mesh.polygonCount, 2);
    EXPECT_EQ(mesh.polygons[0].cornerCount, 5);
    EXPECT_EQ(mesh.polygons[0].corners[4].vertex, 4);
    EXPECT_EQ(mesh.polygons[0].surfaceTag, -1);
    EXPECT_EQ(read.mesh(1).vertexCount, 2);
}

TEST(ReadLwo2, VariableLengthIndices)
{
    // Map entries keep their full vertex index; 01 02 is 258 and FF 01 02 03
    // is 66051.
    std::string map = "TXUV" + be16(2) + s0("uv") + "\x01\x02"s + beFloat(0.5f) + beFloat(0) +
                      "\xFF\x01\x02\x03"s + beFloat(0) + beFloat(0);
    ReadModel read(formLwo2(layer() + chunkLwo2("VMAP", map)));
    ASSERT_NE(read.model, nullptr);
    const UvMap *uv = read.mesh().uvMaps;
    ASSERT_NE(uv, nullptr);
    ASSERT_EQ(uv->count, 2);
    EXPECT_EQ(uv->entries[0].vertex, 258);
    EXPECT_EQ(uv->entries[1].vertex, 66051);
}

TEST(ReadLwo2, SurfacesResolveThroughTagsAndClips)
{
    std::string surface = s0("Wood") + s0("") +
                          subChunkLwo2("COLR", beFloat(1) + beFloat(0.5f) + beFloat(0) + vx(0)) +
                          subChunkLwo2("DIFF", beFloat(0.8f) + vx(0)) +
                          subChunkLwo2("GLOS", beFloat(0.4f) + vx(0)) +
                          subChunkLwo2("BLOK", subChunkLwo2("IMAP", s0("\x80") + subChunkLwo2("CHAN", "COLR")) +
                                                   subChunkLwo2("IMAG", vx(7)));
    std::string chunks = chunkLwo2("TAGS", s0("wood") + s0("Stone") + s0("Nothing")) +
                         chunkLwo2("CLIP", be32(7) + subChunkLwo2("STIL", s0("C:\\maps\\wood.tga"))) +
                         chunkLwo2("CLIP", be32(8) + subChunkLwo2("STIL", s0("stone.tga"))) +
                         chunkLwo2("SURF", surface) +
                         chunkLwo2("SURF", s0("stone") + s0("") +
                                               subChunkLwo2("BLOK", subChunkLwo2("IMAG", vx(9)))) +
                         layer() + points(3) + faces({{0, 1, 2}, {0, 1, 2}, {0, 1, 2}, {0, 1, 2}}) +
                         surfaceTags({{0, 0}, {1, 1}, {2, 2}, {3, 5}, {40, 0}});
    ReadModel read(formLwo2(chunks));
    ASSERT_NE(read.model, nullptr);
    EXPECT_EQ(read.model->tagCount, 3);
    EXPECT_EQ(read.model->clipCount, 2);
    EXPECT_STREQ(read.model->clips->next->file, "\\wood.tga");
    EXPECT_STREQ(read.model->clips->file, "stone.tga");
    const ModelPolygon *polygons = read.mesh().polygons;
    ASSERT_EQ(read.mesh().polygonCount, 4);
    ASSERT_NE(polygons[0].material, nullptr);
    const ModelMaterial &wood = *polygons[0].material;
    EXPECT_STREQ(wood.name, "Wood");
    EXPECT_EQ(polygons[0].surfaceTag, 0);
    const float ambient[3] = {1, 0.5f, 0}, diffuse[3] = {0.8f, 0.4f, 0}, specular[3] = {0.4f, 0.2f, 0};
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(wood.ambient[k], ambient[k]);
        EXPECT_EQ(wood.diffuse[k], diffuse[k]);
        EXPECT_EQ(wood.specular[k], specular[k]);
    }
    EXPECT_EQ(wood.texture, 7);
    EXPECT_STREQ(wood.textureFile, "\\wood.tga");
    ASSERT_NE(polygons[1].material, nullptr);
    // A clip index no clip has drops the texture.
    EXPECT_EQ(polygons[1].material->texture, 0);
    EXPECT_EQ(polygons[1].material->textureFile, nullptr);
    EXPECT_EQ(polygons[2].material, nullptr);     // a tag without a surface
    EXPECT_EQ(polygons[3].material, nullptr);     // a tag index beyond the tags
    EXPECT_EQ(polygons[3].surfaceTag, 5);
}

TEST(ReadLwo2, PolygonMapsComeBeforeVertexMaps)
{
    std::string vmap = "TXUV" + be16(2) + s0("uv") + vx(0) + beFloat(0.1f) + beFloat(0.2f) +
                       vx(1) + beFloat(0.3f) + beFloat(0.4f) + vx(0) + beFloat(9) + beFloat(9);
    std::string vmad = "TXUV" + be16(2) + s0("seam") + vx(0) + vx(1) + beFloat(0.7f) + beFloat(0.25f);
    ReadModel read(formLwo2(layer() + points(3) + faces({{0, 1, 2}, {0, 2, 1}}) +
                            chunkLwo2("VMAP", vmap) + chunkLwo2("VMAD", vmad)));
    ASSERT_NE(read.model, nullptr);
    const ModelMesh &mesh = read.mesh();
    EXPECT_EQ(mesh.uvMapCount, 2);
    ASSERT_TRUE(mesh.uvMaps->perPolygon);
    const ModelCorner *first = mesh.polygons[0].corners, *second = mesh.polygons[1].corners;
    EXPECT_EQ(first[0].u, 0.1f);          // the first entry of a vertex counts
    EXPECT_EQ(first[0].v, 1 - 0.2f);
    EXPECT_EQ(first[1].u, 0.3f);
    EXPECT_EQ(first[2].u, 0.0f);          // no entry: (0, 0)
    EXPECT_EQ(first[2].v, 0.0f);
    EXPECT_EQ(second[0].u, 0.7f);         // the polygon's own entry
    EXPECT_EQ(second[0].v, 0.75f);
}

TEST(ReadLwo2, OtherPolygonAndMapTypesSetFlags)
{
    ReadModel read(formLwo2(layer() + points(3) + chunkLwo2("POLS", "PTCH" + be16(3) + vx(0) + vx(1) + vx(2)) +
                            chunkLwo2("VMAP", "RGB " + be16(3) + s0("c") + vx(0) + beFloat(1) + beFloat(1) + beFloat(1)) +
                            chunkLwo2("VMAP", "TXUV" + be16(3) + s0("w"))));
    ASSERT_NE(read.model, nullptr);
    EXPECT_TRUE(read.mesh().nonFacePolygons);
    EXPECT_TRUE(read.mesh().unsupportedUvMap);
    EXPECT_EQ(read.mesh().polygonCount, 0);
    EXPECT_EQ(read.mesh().uvMapCount, 0);
}

TEST(ReadLwo2, OnlyFormsOfTypeLwo2)
{
    for (const std::string &bytes : {"FORM" + be32(4) + "LWOB"s, "FARM" + be32(4) + "LWO2"s,
                                     std::string("FORM"), std::string()}) {
        EXPECT_EQ(readModelLwo2(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()),
                  nullptr);
    }
}

// Damaged or unusual files keep what can be read and never read outside an
// array.
TEST(ReadLwo2, DamagedFilesKeepWhatIsThere)
{
    std::string triangle = faces({{0, 1, 2}});
    std::string cut = formLwo2(layer() + points(3) + triangle);
    struct Case {
        const char *what;
        std::string bytes;
        int meshes, vertices, polygons;
    } cases[] = {
        {"points before the first layer", formLwo2(points(3) + triangle), 1, 3, 1},
        {"a corner beyond the points", formLwo2(layer() + points(3) + faces({{0, 1, 3}, {2, 1, 0}})), 1, 3, 1},
        {"an index beyond 16 bits", formLwo2(layer() + points(3) + faces({{0, 1, 70000}})), 1, 3, 0},
        {"the file cut inside the polygons", cut.substr(0, cut.size() - 1), 1, 3, 0},
        {"a form size beyond the file",
         "FORM" + be32(100000) + "LWO2" + layer() + points(3) + triangle, 1, 3, 1},
        {"a chunk size beyond the form", formLwo2(layer() + chunkLwo2("PNTS", beFloat(1)).replace(4, 4, be32(99999))),
         1, 0, 0},
        {"tags for polygons of no layer", formLwo2(surfaceTags({{0, 0}})), 1, 0, 0},
        {"a surface sub-chunk cut short",
         formLwo2(chunkLwo2("SURF", s0("s") + s0("") + "COLR" + be16(4000) + beFloat(1))), 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ReadModel read(c.bytes);
        ASSERT_NE(read.model, nullptr);
        ASSERT_EQ(read.model->meshCount, c.meshes);
        if (c.meshes == 0)
            continue;
        EXPECT_EQ(read.mesh().vertexCount, c.vertices);
        EXPECT_EQ(read.mesh().polygonCount, c.polygons);
    }
}

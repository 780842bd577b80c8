// The 3DS reader: axes, texture coordinates, the chunk walk with its
// siblings after handled data, materials, and files cut short or lying
// about their sizes.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/models/model_fixture.h"

using namespace modelgen;
using namespace std::string_literals;

static const std::vector<float> triangle = {1, 2, 3, 4, 5, 6, 7, 8, 9};

TEST(Read3ds, SwapsAxesAndTurnsTextureCoordinatesOver)
{
    std::string uvs = chunk3ds(0x4140, le16(3) + leFloat(0.25f) + leFloat(0.25f) + leFloat(1) +
                                           leFloat(0) + leFloat(0) + leFloat(1));
    ReadModel read(file3ds(object3ds("tri", vertices3ds(triangle) + faces3ds({0, 1, 2}) + uvs)));
    ASSERT_NE(read.model, nullptr);
    EXPECT_EQ(read.model->format, MODEL_FORMAT_3DS);
    ASSERT_EQ(read.model->meshCount, 1);
    const ModelMesh &mesh = read.mesh();
    EXPECT_STREQ(mesh.name, "tri");
    ASSERT_EQ(mesh.vertexCount, 3);
    const float *p = mesh.vertices[0].position;
    EXPECT_EQ(p[0], 1.0f);
    EXPECT_EQ(p[1], 3.0f);
    EXPECT_EQ(p[2], -2.0f);
    ASSERT_EQ(mesh.polygonCount, 1);
    const ModelCorner *corners = mesh.polygons[0].corners;
    EXPECT_EQ(corners[0].u, 0.25f);
    EXPECT_EQ(corners[0].v, 0.75f);
    EXPECT_EQ(corners[1].v, 1.0f);
    EXPECT_EQ(corners[2].v, 0.0f);
    EXPECT_EQ(mesh.uvMapCount, 1);
}

TEST(Read3ds, MaterialGroupsAfterAFaceListAreReadAndSmoothingGroupsSkipped)
{
    // Two materials of the same name ignoring case: the later one wins.
    std::string materials = material3ds("Red") + material3ds("RED", chunk3ds(0xA081, ""));
    std::string groups = chunk3ds(0x4150, le32(1) + le32(1)) +
                         chunk3ds(0x4130, cString("red") + le16(2) + le16(1) + le16(9)) +
                         chunk3ds(0x4130, cString("absent") + le16(1) + le16(0));
    std::string mesh = vertices3ds({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}) +
                       faces3ds({0, 1, 2, 1, 3, 2}, groups);
    ReadModel read(file3ds(materials + object3ds("box", mesh) + chunk3ds(0x4000, cString("light"))));
    ASSERT_NE(read.model, nullptr);
    ASSERT_EQ(read.model->meshCount, 2);     // the light has a mesh too
    EXPECT_STREQ(read.mesh(1).name, "light");
    EXPECT_EQ(read.model->materialCount, 2);
    const ModelMesh &box = read.mesh();
    ASSERT_EQ(box.polygonCount, 2);
    EXPECT_EQ(box.polygons[0].material, nullptr);
    ASSERT_NE(box.polygons[1].material, nullptr);
    EXPECT_STREQ(box.polygons[1].material->name, "RED");
    EXPECT_EQ(box.polygons[1].material, read.model->materials);
}

TEST(Read3ds, MaterialPropertiesColoursAndPercentages)
{
    auto colour = [](uint16_t id, const std::string &children) { return chunk3ds(id, children); };
    std::string chunks =
        colour(0xA010, chunk3ds(0x0011, "\xFF\x00\x33"s)) +
        // Two colour forms: the last one read wins.
        colour(0xA020, chunk3ds(0x0012, "\x01\x02\x03"s) +
                           chunk3ds(0x0010, leFloat(0.5f) + leFloat(0.25f) + leFloat(1))) +
        colour(0xA030, chunk3ds(0x0013, leFloat(0.1f) + leFloat(0.2f) + leFloat(0.3f))) +
        chunk3ds(0xA040, chunk3ds(0x0030, le16(40))) + chunk3ds(0xA041, chunk3ds(0x0031, leFloat(0.3f))) +
        chunk3ds(0xA050, chunk3ds(0x0030, le16(50))) +
        chunk3ds(0xA200, chunk3ds(0xA300, cString("wood.jpg")) + chunk3ds(0xA351, le16(0x10)) +
                             chunk3ds(0xA354, leFloat(2)) + chunk3ds(0xA35C, leFloat(45)));
    ReadModel read(file3ds(material3ds("m", chunks)));
    ASSERT_NE(read.model, nullptr);
    const ModelMaterial *m = read.model->materials;
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->name, "m");
    EXPECT_EQ(m->ambient[0], 1.0f);
    EXPECT_EQ(m->ambient[1], 0.0f);
    EXPECT_EQ(m->ambient[2], 0x33 * (1.0f / 255.0f));
    EXPECT_EQ(m->diffuse[0], 0.5f);
    EXPECT_EQ(m->diffuse[2], 1.0f);
    EXPECT_EQ(m->specular[2], 0.3f);
    EXPECT_EQ(m->shininess, 40 * 0.01f);
    EXPECT_EQ(m->shininessStrength, 0.3f);
    EXPECT_EQ(m->transparency, 50 * 0.01f);
    EXPECT_STREQ(m->textureFile, "wood.jpg");
    EXPECT_EQ(m->texture, 1);
    EXPECT_EQ(m->mapTiling, 0x10);
    EXPECT_EQ(m->mapUScale, 2.0f);
    EXPECT_EQ(m->mapVScale, 1.0f);
    EXPECT_EQ(m->mapRotation, 45.0f);
    EXPECT_EQ(m->twoSided, 0);
}

TEST(Read3ds, MaterialDefaults)
{
    ReadModel read(file3ds(material3ds("plain")));
    ASSERT_NE(read.model, nullptr);
    const ModelMaterial *m = read.model->materials;
    EXPECT_EQ(m->diffuse[1], 0.7f);
    EXPECT_EQ(m->specular[0], 0.0f);
    EXPECT_EQ(m->shininess, 1.0f);
    EXPECT_EQ(m->mapUScale, 1.0f);
    EXPECT_EQ(m->textureFile, nullptr);
    EXPECT_EQ(m->texture, 0);
}

TEST(Read3ds, OnlyFilesBeginningWithTheMainChunk)
{
    std::string good = file3ds(object3ds("a", vertices3ds(triangle)));
    std::string other = good;
    other[0] = 0x4E;
    for (const std::string &bytes : {other, std::string(), std::string("\x4D\x4D\x06", 3)}) {
        EXPECT_EQ(readModel3ds(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()),
                  nullptr);
    }
}

// Damaged files keep what can be read and never read outside an array.
TEST(Read3ds, DamagedFilesKeepWhatIsThere)
{
    std::string longName(300, 'n');
    std::string valid = vertices3ds(triangle) + faces3ds({0, 1, 2});
    std::string counts = chunk3ds(0x4110, le16(500) + leFloat(1) + leFloat(2) + leFloat(3)) +
                         chunk3ds(0x4120, le16(900) + le16(0) + le16(0) + le16(0) + le16(0));
    std::string badIndex = vertices3ds(triangle) + faces3ds({0, 1, 2, 0, 1, 3, 2, 1, 0});
    std::string shortMap = vertices3ds(triangle) + faces3ds({0, 1, 2}) +
                           chunk3ds(0x4140, le16(1) + leFloat(0.5f) + leFloat(0.5f));
    struct Case {
        const char *what;
        std::string bytes;
        int vertices, polygons;
        size_t nameLength;
    } cases[] = {
        {"name over 255 bytes", file3ds(object3ds(longName, valid)), 3, 1, 255},
        {"counts beyond the chunk", file3ds(object3ds("c", counts)), 1, 1, 1},
        {"a vertex index beyond the list", file3ds(object3ds("i", badIndex)), 3, 2, 1},
        {"a map shorter than the indices", file3ds(object3ds("m", shortMap)), 3, 1, 1},
        {"the file cut inside the faces",
         file3ds(object3ds("t", valid)).substr(0, file3ds(object3ds("t", valid)).size() - 4), 3, 0, 1},
        {"a zero chunk length", file3ds(chunk3ds(0x1234, "").replace(2, 4, le32(0)) + object3ds("z", valid)),
         3, 1, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ReadModel read(c.bytes);
        ASSERT_NE(read.model, nullptr);
        ASSERT_EQ(read.model->meshCount, 1);
        EXPECT_EQ(read.mesh().vertexCount, c.vertices);
        EXPECT_EQ(read.mesh().polygonCount, c.polygons);
        EXPECT_EQ(strlen(read.mesh().name), c.nameLength);
    }
    // The corner beyond the short map keeps (0, 0); the first takes (0.5, 0.5).
    ReadModel read(file3ds(object3ds("m", shortMap)));
    const ModelCorner *corners = read.mesh().polygons[0].corners;
    EXPECT_EQ(corners[0].u, 0.5f);
    EXPECT_EQ(corners[1].u, 0.0f);
    EXPECT_EQ(corners[1].v, 0.0f);
}

TEST(Read3ds, DeepNestingIsPassedOver)
{
    // 100 000 editor chunks one inside the other, the object innermost.
    std::string inner = object3ds("deep", vertices3ds(triangle));
    const int depth = 100000;
    std::string headers;
    for (int level = depth; level > 0; level--)
        headers += le16(0x3D3D) + le32(static_cast<uint32_t>(inner.size() + 6 * level));
    ReadModel read(chunk3ds(0x4D4D, headers + inner));
    ASSERT_NE(read.model, nullptr);
    EXPECT_EQ(read.model->meshCount, 0);
}

// The model writer and its shapes.
#include "tools/modelgen/modelgen.h"

#include <cmath>
#include <cstring>

namespace modelgen {

static std::string bytesOf(uint32_t value, int count, bool bigEndian)
{
    std::string out(count, '\0');
    for (int i = 0; i < count; i++) {
        int shift = bigEndian ? (count - 1 - i) * 8 : i * 8;
        out[i] = static_cast<char>((value >> shift) & 0xFF);
    }
    return out;
}

static uint32_t floatBits(float value)
{
    uint32_t bits;
    memcpy(&bits, &value, sizeof(bits));
    return bits;
}

std::string le16(uint16_t value) { return bytesOf(value, 2, false); }
std::string le32(uint32_t value) { return bytesOf(value, 4, false); }
std::string leFloat(float value) { return le32(floatBits(value)); }
std::string be16(uint16_t value) { return bytesOf(value, 2, true); }
std::string be32(uint32_t value) { return bytesOf(value, 4, true); }
std::string beFloat(float value) { return be32(floatBits(value)); }

std::string chunk3ds(uint16_t id, const std::string &data)
{
    return le16(id) + le32(static_cast<uint32_t>(data.size() + 6)) + data;
}

std::string cString(const std::string &text)
{
    return text + std::string(1, '\0');
}

std::string vx(uint32_t index)
{
    if (index < 0xFF00)
        return be16(static_cast<uint16_t>(index));
    return std::string(1, '\xFF') + bytesOf(index, 3, true);
}

std::string s0(const std::string &text)
{
    std::string out = cString(text);
    if (out.size() % 2)
        out += '\0';
    return out;
}

std::string chunkLwo2(const char *tag, const std::string &data)
{
    return std::string(tag, 4) + be32(static_cast<uint32_t>(data.size())) + data;
}

std::string subChunkLwo2(const char *tag, const std::string &data)
{
    return std::string(tag, 4) + be16(static_cast<uint16_t>(data.size())) + data;
}

std::string formLwo2(const std::string &chunks)
{
    return "FORM" + be32(static_cast<uint32_t>(chunks.size() + 4)) + "LWO2" + chunks;
}

static int materialOf(const Shape &shape, size_t triangle)
{
    return shape.triangleMaterials.empty() ? 0 : shape.triangleMaterials[triangle];
}

// ---------------------------------------------------------------------------
// 3DS

static std::string colorChunk(uint16_t id, const float *rgb)
{
    return chunk3ds(id, chunk3ds(0x0010, leFloat(rgb[0]) + leFloat(rgb[1]) + leFloat(rgb[2])));
}

static std::string material3ds(const Material &material)
{
    static const float black[3] = {0, 0, 0};
    std::string data = chunk3ds(0xA000, cString(material.name));
    data += colorChunk(0xA010, black);
    data += colorChunk(0xA020, material.diffuse);
    data += colorChunk(0xA030, black);
    data += chunk3ds(0xA050, chunk3ds(0x0030, le16(static_cast<uint16_t>(
                                                   std::lround(material.transparency * 100)))));
    if (!material.textureFile.empty())
        data += chunk3ds(0xA200, chunk3ds(0xA300, cString(material.textureFile)));
    return chunk3ds(0xAFFF, data);
}

std::string write3ds(const Shape &shape, const std::string &objectName)
{
    size_t vertexCount = shape.positions.size() / 3;
    std::string vertices = le16(static_cast<uint16_t>(vertexCount));
    for (size_t i = 0; i < vertexCount; i++) {
        // Model (x, y, z) is file (x, -z, y).
        const float *p = &shape.positions[3 * i];
        vertices += leFloat(p[0]) + leFloat(-p[2]) + leFloat(p[1]);
    }
    size_t triangleCount = shape.triangles.size() / 3;
    std::string faces = le16(static_cast<uint16_t>(triangleCount));
    for (size_t i = 0; i < 3 * triangleCount; i += 3)
        faces += le16(shape.triangles[i]) + le16(shape.triangles[i + 1]) +
                 le16(shape.triangles[i + 2]) + le16(7);
    for (size_t m = 0; m < shape.materials.size(); m++) {
        std::string indices;
        uint16_t count = 0;
        for (size_t t = 0; t < triangleCount; t++)
            if (materialOf(shape, t) == static_cast<int>(m)) {
                indices += le16(static_cast<uint16_t>(t));
                count++;
            }
        faces += chunk3ds(0x4130, cString(shape.materials[m].name) + le16(count) + indices);
    }
    std::string mesh = chunk3ds(0x4110, vertices) + chunk3ds(0x4120, faces);
    if (!shape.uvs.empty()) {
        std::string uvs = le16(static_cast<uint16_t>(vertexCount));
        for (size_t i = 0; i < vertexCount; i++)
            uvs += leFloat(shape.uvs[2 * i]) + leFloat(shape.uvs[2 * i + 1]);
        mesh += chunk3ds(0x4140, uvs);
    }
    std::string editor;
    for (const Material &material : shape.materials)
        editor += material3ds(material);
    editor += chunk3ds(0x4000, cString(objectName) + chunk3ds(0x4100, mesh));
    return chunk3ds(0x4D4D, chunk3ds(0x0002, le32(3)) + chunk3ds(0x3D3D, editor));
}

// ---------------------------------------------------------------------------
// LWO2

static std::string surfaceLwo2(const Material &material, uint32_t clip)
{
    std::string data = s0(material.name) + s0("");
    data += subChunkLwo2("COLR", beFloat(material.diffuse[0]) + beFloat(material.diffuse[1]) +
                                     beFloat(material.diffuse[2]) + vx(0));
    data += subChunkLwo2("DIFF", beFloat(1.0f) + vx(0));
    data += subChunkLwo2("TRAN", beFloat(material.transparency) + vx(0));
    if (clip) {
        std::string header = subChunkLwo2("IMAP", s0("\x80") + subChunkLwo2("CHAN", "COLR"));
        data += subChunkLwo2("BLOK", header + subChunkLwo2("PROJ", be16(5)) +
                                         subChunkLwo2("IMAG", vx(clip)));
    }
    return chunkLwo2("SURF", data);
}

std::string writeLwo2(const Shape &shape)
{
    std::string tags, surfaces, clips;
    uint32_t clipCount = 0;
    for (const Material &material : shape.materials) {
        tags += s0(material.name);
        uint32_t clip = 0;
        if (!material.textureFile.empty()) {
            clip = ++clipCount;
            clips += chunkLwo2("CLIP", be32(clip) + subChunkLwo2("STIL", s0(material.textureFile)));
        }
        surfaces += surfaceLwo2(material, clip);
    }
    std::string points;
    for (float coordinate : shape.positions)
        points += beFloat(coordinate);
    std::string polygons = "FACE", polygonTags = "SURF";
    size_t triangleCount = shape.triangles.size() / 3;
    for (size_t t = 0; t < triangleCount; t++) {
        polygons += be16(3);
        for (int c = 0; c < 3; c++)
            polygons += vx(shape.triangles[3 * t + c]);
        polygonTags += vx(static_cast<uint32_t>(t)) + vx(static_cast<uint32_t>(materialOf(shape, t)));
    }
    std::string chunks = chunkLwo2("TAGS", tags) + clips;
    chunks += chunkLwo2("LAYR", be16(0) + be16(0) + beFloat(0) + beFloat(0) + beFloat(0) + s0("layer"));
    chunks += chunkLwo2("PNTS", points);
    if (!shape.uvs.empty()) {
        std::string map = "TXUV" + be16(2) + s0("uv");
        for (size_t i = 0; i < shape.uvs.size() / 2; i++)
            map += vx(static_cast<uint32_t>(i)) + beFloat(shape.uvs[2 * i]) + beFloat(shape.uvs[2 * i + 1]);
        chunks += chunkLwo2("VMAP", map);
    }
    chunks += chunkLwo2("POLS", polygons);
    if (!shape.materials.empty())
        chunks += chunkLwo2("PTAG", polygonTags);
    return formLwo2(chunks + surfaces);
}

// ---------------------------------------------------------------------------
// Shapes

static const float pi = 3.14159265f;

static void addVertex(Shape &shape, float x, float y, float z, float u, float v)
{
    shape.positions.insert(shape.positions.end(), {x, y, z});
    shape.uvs.insert(shape.uvs.end(), {u, v});
}

// Two triangles over a grid cell of `columns` + 1 vertices per row, facing
// out for the surfaces below.
static void addGridCell(Shape &shape, uint32_t row, uint32_t column, uint32_t columns)
{
    uint32_t a = row * (columns + 1) + column, b = a + 1;
    uint32_t c = a + columns + 1, d = c + 1;
    shape.triangles.insert(shape.triangles.end(), {a, c, b, b, c, d});
}

static Material plain(const std::string &name, float r, float g, float b, const std::string &texture)
{
    return Material{name, {r, g, b}, 0.0f, texture};
}

Shape torus(float radius, float tubeRadius, int rings, int sides)
{
    Shape shape;
    for (int i = 0; i <= rings; i++) {
        float around = 2 * pi * i / rings;
        for (int j = 0; j <= sides; j++) {
            float tube = 2 * pi * j / sides;
            float distance = radius + tubeRadius * std::cos(tube);
            addVertex(shape, distance * std::cos(around), tubeRadius * std::sin(tube),
                      -distance * std::sin(around), static_cast<float>(i) / rings,
                      static_cast<float>(j) / sides);
        }
    }
    for (int i = 0; i < rings; i++)
        for (int j = 0; j < sides; j++)
            addGridCell(shape, i, j, sides);
    shape.materials.push_back(plain("torus", 0.8f, 0.6f, 0.2f, "torus.tga"));
    return shape;
}

Shape sphere(float radius, int stacks, int slices)
{
    Shape shape;
    for (int i = 0; i <= stacks; i++) {
        float polar = pi * i / stacks;
        for (int j = 0; j <= slices; j++) {
            float azimuth = 2 * pi * j / slices;
            addVertex(shape, radius * std::sin(polar) * std::cos(azimuth), radius * std::cos(polar),
                      -radius * std::sin(polar) * std::sin(azimuth),
                      static_cast<float>(j) / slices, 1.0f - static_cast<float>(i) / stacks);
        }
    }
    for (int i = 0; i < stacks; i++)
        for (int j = 0; j < slices; j++)
            addGridCell(shape, i, j, slices);
    shape.materials.push_back(plain("sphere", 0.9f, 0.9f, 0.9f, "sphere.tga"));
    return shape;
}

Shape cube()
{
    Shape shape;
    for (int i = 0; i < 8; i++)
        addVertex(shape, i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f,
                  i & 1 ? 1.0f : 0.0f, i & 2 ? 1.0f : 0.0f);
    // Faces counter-clockwise seen from outside: -x, +x, -y, +y, -z, +z.
    static const uint32_t faces[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4},
                                         {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};
    for (int f = 0; f < 6; f++) {
        const uint32_t *q = faces[f];
        shape.triangles.insert(shape.triangles.end(), {q[0], q[1], q[2], q[0], q[2], q[3]});
        int material = f == 3 ? 1 : 0;
        shape.triangleMaterials.insert(shape.triangleMaterials.end(), {material, material});
    }
    shape.materials.push_back(plain("body", 0.2f, 0.4f, 0.9f, ""));
    Material glass = plain("glass", 0.9f, 0.9f, 0.9f, "");
    glass.transparency = 0.5f;
    shape.materials.push_back(glass);
    return shape;
}

Shape logo(float depth)
{
    // The cells of a "G" on a 5 x 5 grid, top row first.
    static const char *const rows[5] = {"#####", "#....", "#.###", "#...#", "#####"};
    Shape shape;
    auto quad = [&shape](const float (*corners)[3]) {
        uint32_t first = static_cast<uint32_t>(shape.positions.size() / 3);
        for (int k = 0; k < 4; k++)
            addVertex(shape, corners[k][0], corners[k][1], corners[k][2], k == 1 || k == 2, k >= 2);
        shape.triangles.insert(shape.triangles.end(),
                               {first, first + 1, first + 2, first, first + 2, first + 3});
    };
    for (int row = 0; row < 5; row++) {
        for (int column = 0; column < 5; column++) {
            if (rows[row][column] != '#')
                continue;
            float x0 = column - 2.5f, x1 = x0 + 1, y1 = 2.5f - row, y0 = y1 - 1, z = depth / 2;
            const float front[4][3] = {{x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {x0, y1, z}};
            const float back[4][3] = {{x1, y0, -z}, {x0, y0, -z}, {x0, y1, -z}, {x1, y1, -z}};
            quad(front);
            quad(back);
            // Sides toward empty neighbours.
            auto empty = [&](int r, int c) {
                return r < 0 || r > 4 || c < 0 || c > 4 || rows[r][c] != '#';
            };
            if (empty(row, column - 1)) {
                const float side[4][3] = {{x0, y0, -z}, {x0, y0, z}, {x0, y1, z}, {x0, y1, -z}};
                quad(side);
            }
            if (empty(row, column + 1)) {
                const float side[4][3] = {{x1, y0, z}, {x1, y0, -z}, {x1, y1, -z}, {x1, y1, z}};
                quad(side);
            }
            if (empty(row - 1, column)) {
                const float side[4][3] = {{x0, y1, z}, {x1, y1, z}, {x1, y1, -z}, {x0, y1, -z}};
                quad(side);
            }
            if (empty(row + 1, column)) {
                const float side[4][3] = {{x0, y0, -z}, {x1, y0, -z}, {x1, y0, z}, {x0, y0, z}};
                quad(side);
            }
        }
    }
    shape.materials.push_back(plain("logo", 0.9f, 0.3f, 0.1f, ""));
    return shape;
}

}  // namespace modelgen

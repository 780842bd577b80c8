// Our own writer of 3DS and LWO2 model files: the byte-level pieces of both
// formats (which tests use to build exact and deliberately broken files) and
// a few generated shapes for the tests, the benchmark and the example demo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace modelgen {

// Little-endian pieces of 3DS files.
std::string le16(uint16_t value);
std::string le32(uint32_t value);
std::string leFloat(float value);
// A chunk: id, length counting its 6 header bytes, data.
std::string chunk3ds(uint16_t id, const std::string &data);
// A zero-terminated string.
std::string cString(const std::string &text);

// Big-endian pieces of LWO2 files.
std::string be16(uint16_t value);
std::string be32(uint32_t value);
std::string beFloat(float value);
// A variable-length index: 2 bytes below 0xFF00, else 0xFF and 3 bytes.
std::string vx(uint32_t index);
// A zero-terminated string padded to an even length.
std::string s0(const std::string &text);
// A chunk (U4 size) and a sub-chunk (U2 size).
std::string chunkLwo2(const char *tag, const std::string &data);
std::string subChunkLwo2(const char *tag, const std::string &data);
// "FORM", its size and "LWO2" before `chunks`.
std::string formLwo2(const std::string &chunks);

struct Material {
    std::string name;
    float diffuse[3];
    float transparency;        // 0 opaque to 1
    std::string textureFile;   // empty: none
};

// Positions and texture coordinates in the model's axes (y up); a 3DS
// writer turns them back into the file's z-up axes.
struct Shape {
    std::vector<float> positions;  // x, y, z per vertex
    std::vector<float> uvs;        // u, v per vertex (v as the image's rows go
                                   // up), or empty
    std::vector<uint32_t> triangles;  // three vertex indices each
    std::vector<int> triangleMaterials;  // material per triangle, or empty
    std::vector<Material> materials;
};

std::string write3ds(const Shape &shape, const std::string &objectName);
std::string writeLwo2(const Shape &shape);

// A torus around the y axis: `rings` around the tube's axis, `sides`
// around the tube; 2 * rings * sides triangles with texture coordinates.
Shape torus(float radius, float tubeRadius, int rings, int sides);
// A sphere of `stacks` x `slices` quads split in triangles, with texture
// coordinates.
Shape sphere(float radius, int stacks, int slices);
// A cube of side 2 around the origin; the +y face has the second, transparent
// material, the rest the first.
Shape cube();
// The letter "G" on a 5 x 5 grid, extruded by `depth` along z.
Shape logo(float depth);

}  // namespace modelgen

// Test support for models.
#include "tests/models/model_fixture.h"

using namespace modelgen;

ReadModel::ReadModel(const std::string &bytes)
{
    const uint8_t *data = reinterpret_cast<const uint8_t *>(bytes.data());
    model = readModel3ds(data, bytes.size());
    if (!model)
        model = readModelLwo2(data, bytes.size());
    if (model) {
        recomputeNormals(model);
        splitTransparentPolygons(model);
    }
}

ReadModel::~ReadModel()
{
    freeModel(model);
}

std::string file3ds(const std::string &editor)
{
    return chunk3ds(0x4D4D, chunk3ds(0x3D3D, editor));
}

std::string object3ds(const std::string &name, const std::string &mesh)
{
    return chunk3ds(0x4000, cString(name) + chunk3ds(0x4100, mesh));
}

std::string vertices3ds(const std::vector<float> &xyz)
{
    std::string data = le16(static_cast<uint16_t>(xyz.size() / 3));
    for (float value : xyz)
        data += leFloat(value);
    return chunk3ds(0x4110, data);
}

std::string faces3ds(const std::vector<uint16_t> &indices, const std::string &after)
{
    std::string data = le16(static_cast<uint16_t>(indices.size() / 3));
    for (size_t i = 0; i < indices.size(); i += 3)
        data += le16(indices[i]) + le16(indices[i + 1]) + le16(indices[i + 2]) + le16(0);
    return chunk3ds(0x4120, data + after);
}

std::string material3ds(const std::string &name, const std::string &chunks)
{
    return chunk3ds(0xAFFF, chunk3ds(0xA000, cString(name)) + chunks);
}

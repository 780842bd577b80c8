// Test support for models: reading bytes built in the test, and the pieces
// of small 3DS files the reader tests put together.
#pragma once

#include <string>

#include "models/model.h"
#include "tools/modelgen/modelgen.h"

// Owns a model read from bytes by either reader, as loadModel would.
struct ReadModel {
    explicit ReadModel(const std::string &bytes);
    ~ReadModel();
    ReadModel(const ReadModel &) = delete;
    ReadModel &operator=(const ReadModel &) = delete;
    Model3ds *model;
    const ModelMesh &mesh(int index = 0) const { return model->meshes[index]; }
};

// A 3DS file with one editor chunk holding `editor`.
std::string file3ds(const std::string &editor);
// A named object holding a triangle mesh of `mesh` chunks.
std::string object3ds(const std::string &name, const std::string &mesh);
// A vertex list of (x, y, z) file coordinates.
std::string vertices3ds(const std::vector<float> &xyz);
// A face list of three indices per face, then `after` (material groups).
std::string faces3ds(const std::vector<uint16_t> &indices, const std::string &after = "");
// A material with `chunks` after its name.
std::string material3ds(const std::string &name, const std::string &chunks = "");

// glimra-model FILE...: loads each model as the engine does and prints what
// is in it as one JSON document, so that an author can see why a model is
// black, invisible or too small. Exits 1 unless every file loaded.
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "kernel/demo.h"
#include "models/model.h"

using json = nlohmann::ordered_json;

// The shortest decimal text that reads back as the same float, so that 0.7f
// prints as 0.7 rather than as the double nearest to it.
static json number(float value)
{
    char text[32];
    for (int precision = 1; precision <= 9; precision++) {
        snprintf(text, sizeof(text), "%.*g", precision, value);
        if (strtof(text, nullptr) == value)
            break;
    }
    return json(strtod(text, nullptr));
}

static json triple(const float *values)
{
    return json::array({number(values[0]), number(values[1]), number(values[2])});
}

static json stringOrNull(const char *text)
{
    return text ? json(text) : json(nullptr);
}

static json boundsOf(const ModelMesh &mesh)
{
    if (mesh.vertexCount == 0)
        return nullptr;
    float low[3], high[3];
    for (int k = 0; k < 3; k++)
        low[k] = high[k] = mesh.vertices[0].position[k];
    for (int32_t i = 1; i < mesh.vertexCount; i++)
        for (int k = 0; k < 3; k++) {
            float value = mesh.vertices[i].position[k];
            low[k] = value < low[k] ? value : low[k];
            high[k] = value > high[k] ? value : high[k];
        }
    return json::array({triple(low), triple(high)});
}

static json polygonDocument(const ModelPolygon &polygon)
{
    json corners = json::array();
    for (uint16_t c = 0; c < polygon.cornerCount; c++) {
        const ModelCorner &corner = polygon.corners[c];
        corners.push_back(json::array({corner.vertex, number(corner.u), number(corner.v)}));
    }
    return {{"corners", corners},
            {"normal", triple(polygon.normal)},
            {"material", polygon.material ? json(polygon.material->name) : json(nullptr)}};
}

static int32_t cornerCount(const ModelPolygon *polygons, int32_t count)
{
    int32_t corners = 0;
    for (int32_t i = 0; i < count; i++)
        corners += polygons[i].cornerCount;
    return corners;
}

static json meshDocument(const ModelMesh &mesh)
{
    json firstVertex = nullptr, firstPolygon = nullptr;
    if (mesh.vertexCount > 0)
        firstVertex = {{"position", triple(mesh.vertices[0].position)},
                       {"normal", triple(mesh.vertices[0].normal)}};
    if (mesh.polygonCount > 0)
        firstPolygon = polygonDocument(mesh.polygons[0]);
    else if (mesh.transparentCount > 0)
        firstPolygon = polygonDocument(mesh.transparentPolygons[0]);
    return {{"name", stringOrNull(mesh.name)},
            {"vertices", mesh.vertexCount},
            {"polygons", mesh.polygonCount},
            {"transparentPolygons", mesh.transparentCount},
            {"corners", cornerCount(mesh.polygons, mesh.polygonCount) +
                            cornerCount(mesh.transparentPolygons, mesh.transparentCount)},
            {"uvMaps", mesh.uvMapCount},
            {"nonFacePolygons", mesh.nonFacePolygons != 0},
            {"unsupportedUvMap", mesh.unsupportedUvMap != 0},
            {"bounds", boundsOf(mesh)},
            {"firstVertex", firstVertex},
            {"firstPolygon", firstPolygon}};
}

static json materialDocument(const ModelMaterial &material)
{
    return {{"name", stringOrNull(material.name)},
            {"textureFile", stringOrNull(material.textureFile)},
            {"texture", material.texture},
            {"ambient", triple(material.ambient)},
            {"diffuse", triple(material.diffuse)},
            {"specular", triple(material.specular)},
            {"shininess", number(material.shininess)},
            {"transparency", number(material.transparency)},
            {"twoSided", material.twoSided}};
}

static json modelDocument(const char *file, const Model3ds *model)
{
    json document = {{"file", file}, {"loaded", model != nullptr}};
    if (!model)
        return document;
    json meshes = json::array(), materials = json::array();
    for (int32_t m = 0; m < model->meshCount; m++)
        meshes.push_back(meshDocument(model->meshes[m]));
    for (const ModelMaterial *material = model->materials; material; material = material->next)
        materials.push_back(materialDocument(*material));
    document["format"] = model->format;
    document["meshes"] = meshes;
    document["materials"] = materials;
    document["transparentMeshCount"] = model->transparentMeshCount;
    return document;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: glimra-model FILE...\n");
        return 2;
    }
    // A file too large to read is reported, not fatal, so that every file
    // gets its entry.
    demoSystem.debug = 1;
    json models = json::array();
    bool allLoaded = true;
    for (int i = 1; i < argc; i++) {
        Model3ds *model = loadModel(argv[i], 0);
        models.push_back(modelDocument(argv[i], model));
        allLoaded = allLoaded && model;
        freeModel(model);
    }
    json document = {{"models", models}};
    printf("%s\n", document.dump(2, ' ', false, json::error_handler_t::replace).c_str());
    return allLoaded ? 0 : 1;
}

// The object extruder: the first mesh of a model with every triangle given
// its own three vertices, grown outwards eight times along the triangles'
// normals and drawn turning about the vertical axis. It is written as
// classes: a base for class-based section types, handles on meshes and
// models, and the extruder itself.
#pragma once

#include "expr/driver.h"
#include "models/model.h"

struct Layer;

// The base of section types written as classes. The constructor reports
// (and goes on) when the section's params or strings are not as many as
// required.
class SectionObject {
public:
    SectionObject(int params, int strings);
    virtual ~SectionObject();
    virtual void load();
    virtual void init();
    virtual void exec(float elapsed);  // seconds since the section's start
    virtual void end();
};

// A handle on one mesh: a view of a model's mesh, or a mesh of its own
// whose arrays grow by doubling.
class proxy_3ds_mesh {
public:
    proxy_3ds_mesh();                       // its own empty mesh
    explicit proxy_3ds_mesh(ModelMesh *view);
    proxy_3ds_mesh(const proxy_3ds_mesh &) = delete;
    proxy_3ds_mesh &operator=(const proxy_3ds_mesh &) = delete;

    void setVertexCount(int count);
    // New polygons get three fresh corners.
    void setPolygonCount(int count);
    ModelVertex &vertex(int index) { return mesh->vertices[index]; }
    ModelPolygon &polygon(int index) { return mesh->polygons[index]; }
    // The (u, v) of the first corner (polygon by polygon, corners 0 to 2)
    // that uses the vertex; (0, 0) after reporting when none does.
    void GetUV(int vertexIndex, float *u, float *v) const;
    // The target gets three vertices and one polygon per polygon of this
    // mesh (its first three corners), each with the triangle's normal.
    void unweld(proxy_3ds_mesh &target) const;

    ModelMesh *mesh;
    int vertexCapacity, polygonCapacity;
private:
    ModelMesh own = {};
};

// A model read privately, with a view of each of its meshes.
class proxy_3ds_scene {
public:
    proxy_3ds_scene() = default;             // no model until a mesh is set
    explicit proxy_3ds_scene(const char *path);
    ~proxy_3ds_scene();
    proxy_3ds_scene(const proxy_3ds_scene &) = delete;
    proxy_3ds_scene &operator=(const proxy_3ds_scene &) = delete;

    // Throws std::runtime_error("invalid index in GetMesh") past the meshes.
    proxy_3ds_mesh &GetMesh(int index);
    // Mesh slot `index` (the scene grows to hold it) shares the proxy's
    // record and arrays.
    void SetMesh(int index, const proxy_3ds_mesh &mesh);
    Model3ds *model = nullptr;
private:
    proxy_3ds_mesh **views = nullptr;
    int viewCount = 0;
};

// Eight layers of copies; the k-th stands 0.3 k further out than the one
// before it.
enum { EXTRUSION_STEPS = 8 };

// objectExtruder: params [0] clear flag, [4] 1 = no extrusion ([1] to [3]
// and [5] unused); strings [0] directory, [1] model file, [2]
// render-properties file, [3] to [6] formula (sets step from length).
class ObjectExtruder : public SectionObject {
public:
    ObjectExtruder();
    void load() override;
    void exec(float elapsed) override;

    int clearFlag = 0;
    bool noExtrusion = false;
    bool loaded = false;                    // the model gave a mesh to extrude
    proxy_3ds_scene drawing;                // mesh 0 is the working mesh
    proxy_3ds_mesh working;
    Layer *layers = nullptr;
    evaluator::Solver *solver = nullptr;    // built at load, after the layers
private:
    void extrude();
};

// Section operations: load creates the object in the section's vars;
// preload does nothing.
void objectExtruderLoad();
void objectExtruderInit();
void objectExtruderExec();
void objectExtruderEnd();

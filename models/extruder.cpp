// The object extruder and the classes it is built from. The mesh is built
// once at load; every frame only turns and draws it.
#include "models/extruder.h"

#include <GL/glew.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "kernel/log.h"
#include "kernel/section.h"
#include "models/layers.h"
#include "models/model_local.h"

// ---------------------------------------------------------------------------
// SectionObject

SectionObject::SectionObject(int params, int strings)
{
    const Section *section = currentSection;
    if (section->paramNum != params)
        sectionError("%d param needed, %d provided", params, section->paramNum);
    if (section->stringNum != strings)
        sectionError("%d strings needed, %d provided", strings, section->stringNum);
}

SectionObject::~SectionObject() = default;
void SectionObject::load() {}
void SectionObject::init() {}
void SectionObject::exec(float) {}
void SectionObject::end() {}

// ---------------------------------------------------------------------------
// proxy_3ds_mesh

// A vertex index of a mesh is 16 bits wide.
enum { MAX_MESH_VERTICES = 65536 };

proxy_3ds_mesh::proxy_3ds_mesh() : mesh(&own), vertexCapacity(0), polygonCapacity(0) {}

proxy_3ds_mesh::proxy_3ds_mesh(ModelMesh *view)
    : mesh(view), vertexCapacity(view->vertexCount), polygonCapacity(view->polygonCount)
{
}

// A zeroed array of `count` records with the first `kept` copied from `old`.
template <typename Record>
static Record *grown(Record *old, int kept, int count)
{
    Record *array = static_cast<Record *>(calloc(static_cast<size_t>(count), sizeof(Record)));
    if (!array) {
        engineError("Out of memory for a mesh of %d records", count);
        abort();
    }
    if (kept > 0)
        memcpy(array, old, static_cast<size_t>(kept) * sizeof(Record));
    return array;
}

void proxy_3ds_mesh::setVertexCount(int count)
{
    if (count > vertexCapacity) {
        ModelVertex *array = grown(mesh->vertices, mesh->vertexCount, 2 * count);
        free(mesh->vertices);
        mesh->vertices = array;
        vertexCapacity = 2 * count;
    }
    mesh->vertexCount = count;
}

void proxy_3ds_mesh::setPolygonCount(int count)
{
    const int old = mesh->polygonCount;
    if (count > polygonCapacity) {
        ModelPolygon *array = grown(mesh->polygons, old, 2 * count);
        free(mesh->polygons);
        mesh->polygons = array;
        polygonCapacity = 2 * count;
    }
    for (int i = old; i < count; i++) {
        ModelPolygon &polygon = mesh->polygons[i];
        // A polygon given up by a smaller count keeps its corners.
        if (!polygon.corners) {
            setCornerCount(&polygon, 3);
            polygon.surfaceTag = -1;
        }
    }
    mesh->polygonCount = count;
}

void proxy_3ds_mesh::GetUV(int vertexIndex, float *u, float *v) const
{
    for (int p = 0; p < mesh->polygonCount; p++) {
        const ModelPolygon &polygon = mesh->polygons[p];
        for (int c = 0; c < 3 && c < polygon.cornerCount; c++) {
            if (polygon.corners[c].vertex == vertexIndex) {
                *u = polygon.corners[c].u;
                *v = polygon.corners[c].v;
                return;
            }
        }
    }
    engineError("proxy_3ds_mesh::GetUV : Invalid index");
    *u = *v = 0;
}

static void subtract(const float *a, const float *b, float *out)
{
    for (int i = 0; i < 3; i++)
        out[i] = a[i] - b[i];
}

// The unit vector of a cross b; zero for parallel edges.
static void unitCross(const float *a, const float *b, float *out)
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
    const float length = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
    if (length > 0) {
        for (int i = 0; i < 3; i++)
            out[i] /= length;
    }
}

// Polygons of fewer than three corners (lines and points of LWO2 files)
// have no triangle to give and are left out.
void proxy_3ds_mesh::unweld(proxy_3ds_mesh &target) const
{
    int count = 0;
    for (int p = 0; p < mesh->polygonCount; p++)
        count += mesh->polygons[p].cornerCount >= 3;
    target.setPolygonCount(count);
    target.setVertexCount(3 * count);
    int i = 0;
    for (int p = 0; p < mesh->polygonCount; p++) {
        const ModelPolygon &source = mesh->polygons[p];
        if (source.cornerCount < 3)
            continue;
        ModelPolygon &copy = target.polygon(i);
        ModelCorner *corners = copy.corners;
        const uint16_t cornerCount = copy.cornerCount;
        copy = source;
        copy.corners = corners;
        copy.cornerCount = cornerCount;
        for (int c = 0; c < 3; c++) {
            copy.corners[c] = source.corners[c];
            copy.corners[c].vertex = static_cast<uint16_t>(3 * i + c);
            target.vertex(3 * i + c) = mesh->vertices[source.corners[c].vertex];
        }
        const float *pa = target.vertex(3 * i).position, *pb = target.vertex(3 * i + 1).position,
                    *pc = target.vertex(3 * i + 2).position;
        float ca[3], cb[3];
        subtract(pc, pa, ca);
        subtract(pc, pb, cb);
        unitCross(ca, cb, copy.normal);
        for (int c = 0; c < 3; c++)
            memcpy(target.vertex(3 * i + c).normal, copy.normal, sizeof copy.normal);
        i++;
    }
}

// ---------------------------------------------------------------------------
// proxy_3ds_scene

proxy_3ds_scene::proxy_3ds_scene(const char *path) : model(loadModel(path, 0))
{
    if (!model)
        return;
    viewCount = model->meshCount;
    views = new proxy_3ds_mesh *[viewCount];
    for (int i = 0; i < viewCount; i++)
        views[i] = new proxy_3ds_mesh(&model->meshes[i]);
}

// The model stays: its records may be shared with the proxies that were set.
proxy_3ds_scene::~proxy_3ds_scene()
{
    for (int i = 0; i < viewCount; i++)
        delete views[i];
    delete[] views;
}

proxy_3ds_mesh &proxy_3ds_scene::GetMesh(int index)
{
    if (!model || index < 0 || index >= model->meshCount || index >= viewCount)
        throw std::runtime_error("invalid index in GetMesh");
    return *views[index];
}

void proxy_3ds_scene::SetMesh(int index, const proxy_3ds_mesh &mesh)
{
    if (!model) {
        model = static_cast<Model3ds *>(calloc(1, sizeof(Model3ds)));
        if (!model) {
            engineError("Out of memory for a model");
            abort();
        }
        model->format = MODEL_FORMAT_3DS;
    }
    while (model->meshCount <= index)
        appendMesh(model);
    model->meshes[index] = *mesh.mesh;
}

// ---------------------------------------------------------------------------
// ObjectExtruder

ObjectExtruder::ObjectExtruder() : SectionObject(6, 7) {}

// String `index` of the current section, or "" past its strings.
static const char *stringOrEmpty(int index)
{
    const Section *section = currentSection;
    return index < section->stringNum ? section->strings[index] : "";
}

void ObjectExtruder::load()
{
    const Section *section = currentSection;
    clearFlag = section->param[0] == 1;
    noExtrusion = section->param[4] == 1;
    if (section->stringNum > 2)
        layers = loadLayers(section->strings[2]);
    solver = new evaluator::Solver(3, 4, 5, 6);
    const std::string path = std::string(stringOrEmpty(0)) + stringOrEmpty(1);
    // A missing model, or one without a first mesh, leaves the section
    // without anything to draw instead of ending the program.
    try {
        proxy_3ds_scene scene(path.c_str());
        scene.GetMesh(0).unweld(working);
    } catch (const std::runtime_error &) {
        sectionError("objectExtruder: Error loading %s", path.c_str());
        return;
    }
    const int triangles = working.mesh->polygonCount;
    const int layersOfCopies = noExtrusion ? 0 : EXTRUSION_STEPS;
    const long vertices = 3L * triangles * (1 + layersOfCopies);
    if (vertices > MAX_MESH_VERTICES) {
        sectionError("objectExtruder: %s has %d triangles, more than %ld can be extruded",
                     path.c_str(), triangles, MAX_MESH_VERTICES / (3L * (1 + layersOfCopies)));
        return;
    }
    loaded = true;
    if (!noExtrusion)
        extrude();
}

// Every written triangle: flags 0, the material of polygon 0, and texture
// coordinates (x, y + z) from its corners' positions.
static void writeTriangle(proxy_3ds_mesh &mesh, int index, int a, int b, int c)
{
    ModelPolygon &polygon = mesh.polygon(index);
    const ModelPolygon &first = mesh.polygon(0);
    polygon.flags = 0;
    polygon.material = first.material;
    polygon.surfaceTag = first.surfaceTag;
    const int corners[3] = {a, b, c};
    for (int k = 0; k < 3; k++) {
        ModelCorner &corner = polygon.corners[k];
        corner.vertex = static_cast<uint16_t>(corners[k]);
        const float *p = mesh.vertex(corners[k]).position;
        corner.u = p[0];
        corner.v = p[1] + p[2];
    }
}

void ObjectExtruder::extrude()
{
    const int n = working.mesh->polygonCount;
    int next = n;                  // the next polygon index
    int firstSource = 0;           // the source polygons are firstSource to + n - 1
    double length = 0;
    for (int k = 1; k <= EXTRUSION_STEPS; k++) {
        solver->set("length", length);
        solver->evaluate();
        const int firstVertex = working.mesh->vertexCount;
        working.setVertexCount(firstVertex + 3 * n);
        working.setPolygonCount(next + 7 * n);
        for (int s = 0; s < n; s++) {
            const ModelPolygon &source = working.polygon(firstSource + s);
            const int a = source.corners[0].vertex, b = source.corners[1].vertex,
                      c = source.corners[2].vertex;
            const float *pa = working.vertex(a).position, *pb = working.vertex(b).position,
                        *pc = working.vertex(c).position;
            float ac[3], bc[3], offset[3];
            subtract(pa, pc, ac);
            subtract(pb, pc, bc);
            unitCross(ac, bc, offset);
            const int i = firstVertex + 3 * s;
            for (int axis = 0; axis < 3; axis++) {
                offset[axis] *= 0.3f * k;
                working.vertex(i + 2).position[axis] = pa[axis] + offset[axis];
                working.vertex(i + 1).position[axis] = pb[axis] + offset[axis];
                working.vertex(i).position[axis] = pc[axis] + offset[axis];
            }
            writeTriangle(working, next, c, i + 2, a);
            writeTriangle(working, next + 1, a, i + 2, i);
            writeTriangle(working, next + 2, a, i, b);
            writeTriangle(working, next + 3, b, i, i + 1);
            writeTriangle(working, next + 4, c, i + 2, b);
            writeTriangle(working, next + 5, b, i + 2, i + 1);
            next += 6;
            length += solver->value("step");
        }
        // The caps of this layer are the sources of the next.
        firstSource = next;
        for (int s = 0; s < n; s++) {
            const int i = firstVertex + 3 * s;
            writeTriangle(working, next++, i + 2, i + 1, i);
        }
    }
}

void ObjectExtruder::exec(float elapsed)
{
    solver->evaluate();
    if (!loaded)
        return;
    drawing.SetMesh(0, working);
    recomputeNormals(drawing.model);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_BLEND);
    glCullFace(GL_FRONT_AND_BACK);
    glPushMatrix();
    glRotatef(elapsed * 10.5f, 0, 1, 0);
    drawWithLayers(drawing.model, layers, clearFlag);
    glPopMatrix();
}

// ---------------------------------------------------------------------------
// The section type

// The section's vars hold the object; the kernel frees only the holder.
struct ExtruderHolder {
    SectionObject *object;
};

void objectExtruderLoad()
{
    ExtruderHolder *holder = static_cast<ExtruderHolder *>(calloc(1, sizeof(ExtruderHolder)));
    if (!holder) {
        engineError("Out of memory for the data of a section");
        abort();
    }
    currentSection->vars = holder;
    holder->object = new ObjectExtruder;
    holder->object->load();
}

static SectionObject *sectionObject()
{
    const ExtruderHolder *holder = static_cast<const ExtruderHolder *>(currentSection->vars);
    return holder ? holder->object : nullptr;
}

void objectExtruderInit()
{
    if (SectionObject *object = sectionObject())
        object->init();
}

void objectExtruderExec()
{
    if (SectionObject *object = sectionObject())
        object->exec(currentSection->elapsed);
}

void objectExtruderEnd()
{
    if (SectionObject *object = sectionObject())
        object->end();
}

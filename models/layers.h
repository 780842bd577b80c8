// Model drawing: render-properties files (lists of layers), drawing a model
// once per layer in one of 13 render modes, and uploading the textures a
// model's materials name.
#pragma once

#include <cstdint>

struct Model3ds;

// Render modes; 0 (no "mode" line) and -1 (an unknown name) draw nothing.
enum RenderMode {
    RENDER_NONE = 0,
    RENDER_VERTEXES = 1,
    RENDER_WIREFRAME = 2,
    RENDER_COLOR = 3,
    RENDER_FLAT = 4,
    RENDER_SHADED = 5,
    RENDER_NORMALS = 6,
    RENDER_TEXTURE = 7,
    RENDER_ENVIRONMENT = 8,
    RENDER_CELL = 9,
    RENDER_OUTLINE = 10,
    RENDER_BUMP = 11,
    RENDER_GLSL = 12,
    RENDER_BINORMAL = 13,
};

// One drawing pass; a list in file order.
struct Layer {
    Layer *next;
    char *node;                // owned; stored only
    int32_t mode;              // RenderMode, or -1
    int32_t blendEnabled;
    uint32_t sfactor, dfactor; // GL blend factors (-1 for an unknown name)
    int32_t alphaEnabled;      // the alpha test fields are stored only
    uint32_t alphaFunc;
    float alpha1, alpha2;
    float color[4];            // red, green, blue, alpha
    float lineWidth;           // also the point size of "vertexes"
    uint32_t cullFace;         // GL_FRONT or GL_BACK
    int32_t cullEnabled;
    int32_t texture;           // texture index; 0 none
};

// Reads a render-properties file; errors go through scriptError with the
// file and line. An empty list when the file does not open.
Layer *loadLayers(const char *path);

// Frees a list (tests and fuzzers; the engine keeps its lists).
void freeLayers(Layer *layers);

// Draws the model once per layer, blending each as it says; `clearFlag` 1
// clears the depth buffer before every layer. Leaves blending off, the
// depth function GL_LEQUAL, polygons filled, line width and point size 1
// and, unless the last layer was "bump", GL_TEXTURE_2D on.
void drawWithLayers(Model3ds *model, const Layer *layers, int clearFlag);

// One pass in the layer's mode.
void drawLayer(Model3ds *model, const Layer *layer);

// Every vertex position of every mesh as points.
void drawModelPoints(const Model3ds *model);

// Every opaque polygon of every mesh, positions only.
void drawModelPolygons(const Model3ds *model);

// Loads and uploads (mipmapped, repeat, replace) the texture of every
// material that names one, from `directory` followed directly by the file
// name; the material's texture becomes the texture index.
void model_upload_tex(Model3ds *model, const char *directory);

// Polygons go to OpenGL as vertex arrays, one batch per run that shares a
// material and texture; 1 sends each polygon with glBegin/glEnd instead,
// which gives the same pixels (the benchmark compares the two).
extern int modelDrawImmediate;

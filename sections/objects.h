// Object sections: models morphing between two files, copies of a model
// placed by a formula at the vertices of another, a model deformed vertex by
// vertex, models as particles, and a one-image box drawn around the camera.
// Every exec pushes and pops the modelview matrix it draws in.
#pragma once

#include "expr/driver.h"

struct Camera;
struct Layer;
struct Model3ds;
struct ParticleSystem;

// The private data of each type. Models that failed to load are null, and a
// section missing a model it needs draws nothing.
struct ObjectMorphVars {
    Model3ds *start, *current, *end;   // current: a private copy of start
    Layer *layers;
    int mode;                          // 1 linear, 2 smooth, else the end model
};

struct ObjectMorph2Vars {
    Model3ds *start, *current, *end;
    Layer *layers;
    int clearFlag;
    ExprDriver formula;
};

// The nine outputs of a placement formula, bound once; null for those the
// formula never names (0, or 1 for a scale).
struct PlacementBinding {
    double *outputs[9];                // tx, ty, tz, rx, ry, rz, sx, sy, sz
};

struct ObjectShaderVars {
    Model3ds *drawn;
    Model3ds *source;                  // null for "default" or a failed load
    bool sourceNamed;                  // strings[3] is not "default"
    Layer *layers;
    int clearFlag;
    ExprDriver copy, group;
    double *x, *y, *z, *r, *n;         // copy formula inputs
    PlacementBinding copyPlacement;
    double scratch[5];                 // inputs of a formula without variables
};

// Inputs and outputs of the deformation formula, in this order.
enum {
    DEFORM_X0, DEFORM_Y0, DEFORM_Z0, DEFORM_X, DEFORM_Y, DEFORM_Z, DEFORM_R, DEFORM_N, DEFORM_N0,
    DEFORM_U0, DEFORM_V0, DEFORM_U, DEFORM_V, DEFORM_VARIABLE_COUNT
};

struct ObjectShader2Vars {
    Model3ds *model;                   // shared
    Model3ds *deformed;                // private copy, kept from frame to frame
    Layer *layers;
    int clearFlag;
    ExprDriver deformation, placement;
    double *variables[DEFORM_VARIABLE_COUNT];
    double scratch[DEFORM_VARIABLE_COUNT];
};

struct ObjectMatrixVars {
    Layer *layers;
    Model3ds *source, *particle;
    ParticleSystem *system;
};

// Eight corners, six quads and the one texture they all show.
struct Skybox {
    float vertices[8][3];
    int faces[6][4];
    int texture;
};

struct MacroBoxVars {
    Skybox *skybox;                    // null when the image did not load
    float alphaStart, alphaEnd;
    int copies;
};

// Morphs every vertex and corner the three models all have: current =
// start + b (end - start), b not clamped.
void objects_morph(Model3ds *current, const Model3ds *start, const Model3ds *end, double b);

// Null for a null path or an image that does not load.
Skybox *skybox_load(const char *path);
void skybox_upload(Skybox *sky);
// Around the camera's position, without writing depth; rttIndex >= 0
// shows capture buffer rttIndex on every face instead of the image.
void skybox_draw(const Skybox *sky, const Camera *camera, int rttIndex);

// Section operations; preload does nothing, and so do init and end where
// they are not listed.
void objectMorphLoad();
void objectMorphExec();
void objectMorph2Load();
void objectMorph2Exec();
void objectShaderLoad();
void objectShaderExec();
void objectShader2Load();
void objectShader2Init();  // the deformation starts again from the model
void objectShader2Exec();
void objectMatrixLoad();
void objectMatrixInit();   // arms the initial burst and empties the system
void objectMatrixExec();
void objectMatrixEnd();
void macroBoxLoad();
void macroBoxExec();

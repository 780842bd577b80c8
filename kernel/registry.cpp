// The registry of section types. A row's index is the typeIndex stored in
// sections, so rows are never reordered; "loading" must stay first.
#include "kernel/section.h"

#include "kernel/loading.h"
#include "models/extruder.h"
#include "sections/cameras.h"
#include "sections/images.h"
#include "sections/objects.h"
#include "sections/particles.h"
#include "sound/music.h"

// Operations a type does not need, and those of types not built yet.
static void noOperation() {}

#define TYPE(name) {name, noOperation, noOperation, noOperation, noOperation, noOperation}

const SectionType sectionTypes[] = {
    {"loading", noOperation, loadingLoad, noOperation, loadingExec, noOperation},
    TYPE("efxRepeat"),           // runs another type periodically
    TYPE("efxAccum"),            // post-effects on the frame
    TYPE("efxBlackWhite"),
    TYPE("efxBoxBlur"),
    TYPE("efxColor"),
    TYPE("efxDeform"),           // screen deformation grids
    TYPE("efxFader"),
    TYPE("efxFog"),
    TYPE("efxGlow"),             // glow and radial blur
    TYPE("efxGlow2"),
    TYPE("efxHighPassFilter"),
    TYPE("efxInverse"),
    TYPE("efxMotionBlur"),
    TYPE("efxMotionBlurAccum"),
    TYPE("efxRadialBlur"),
    TYPE("efxRadialBlur2"),
    TYPE("efxRadialGlow"),
    TYPE("efxRenderMesh"),
    TYPE("efxRenderMesh2"),
    TYPE("efxSwirl"),
    TYPE("efxViewport"),
    // image layers
    {"background", noOperation, backgroundLoad, noOperation, backgroundExec, noOperation},
    // cameras and lights
    {"camera", noOperation, cameraLoad, noOperation, cameraExec, noOperation},
    {"camera2", noOperation, camera2Load, noOperation, camera2Exec, noOperation},
    {"camera3", noOperation, camera3Load, noOperation, camera3Exec, noOperation},
    {"image", noOperation, imageLoad, noOperation, imageExec, noOperation},
    {"image2", noOperation, image2Load, noOperation, image2Exec, noOperation},
    {"image2D", noOperation, image2DLoad, noOperation, image2DExec, noOperation},
    {"imageMatrix", noOperation, imageMatrixLoad, noOperation, imageMatrixExec, noOperation},
    {"imagePart", noOperation, imagePartLoad, noOperation, imagePartExec, noOperation},
    {"light", noOperation, lightLoad, noOperation, lightExec, lightEnd},
    // 3D objects
    {"macroBox", noOperation, macroBoxLoad, noOperation, macroBoxExec, noOperation},
    {"objectExtruder", noOperation, objectExtruderLoad, objectExtruderInit, objectExtruderExec,
     objectExtruderEnd},
    {"objectMorph", noOperation, objectMorphLoad, noOperation, objectMorphExec, noOperation},
    {"objectMorph2", noOperation, objectMorph2Load, noOperation, objectMorph2Exec, noOperation},
    {"objectShader", noOperation, objectShaderLoad, noOperation, objectShaderExec, noOperation},
    {"objectShader2", noOperation, objectShader2Load, objectShader2Init, objectShader2Exec,
     noOperation},
    {"objectMatrix", noOperation, objectMatrixLoad, objectMatrixInit, objectMatrixExec,
     objectMatrixEnd},
    // particles and rays
    {"particleMatrix2", noOperation, particleMatrix2Load, particleMatrix2Init, particleMatrix2Exec,
     particleMatrix2End},
    {"particleTex2", noOperation, particleTex2Load, particleTex2Init, particleTex2Exec,
     particleTex2End},
    {"ray", noOperation, rayLoad, noOperation, rayExec, noOperation},
    {"rayMatrix", noOperation, rayMatrixLoad, rayMatrixInit, rayMatrixExec, rayMatrixEnd},
    {"sound", noOperation, soundLoad, soundInit, soundExec, soundEnd},   // music and beat
    TYPE("saveBuffer"),          // capture buffers, FBOs and GLSL programs
    TYPE("renderBuffer"),
    TYPE("fbobind"),
    TYPE("fbounbind"),
    TYPE("renderFbo"),
    TYPE("glslshaderbind"),
    TYPE("glslshaderunbind"),
};
static_assert(sizeof(sectionTypes) / sizeof(sectionTypes[0]) == SECTION_TYPE_COUNT,
              "the registry has exactly one row per section type");

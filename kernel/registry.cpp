// The registry of section types. A row's index is the typeIndex stored in
// sections, so rows are never reordered; "loading" must stay first.
#include "kernel/section.h"

#include <cstdlib>

#include "kernel/loading.h"
#include "models/extruder.h"
#include "sections/buffers.h"
#include "sections/cameras.h"
#include "sections/glow.h"
#include "sections/grids.h"
#include "sections/images.h"
#include "sections/postfx.h"
#include "sections/objects.h"
#include "sections/repeat.h"
#include "sections/particles.h"
#include "sound/music.h"

// Operations a type does not need, and those of types not built yet.
static void noOperation() {}

#define TYPE(name) {name, noOperation, noOperation, noOperation, noOperation, noOperation}

const SectionType sectionTypes[] = {
    {"loading", noOperation, loadingLoad, noOperation, loadingExec, noOperation},
    // runs another type periodically
    {"efxRepeat", noOperation, efxRepeatLoad, efxRepeatInit, efxRepeatExec, efxRepeatEnd},
    // post-effects on the frame
    {"efxAccum", noOperation, efxAccumLoad, efxAccumInit, efxAccumExec, noOperation},
    {"efxBlackWhite", noOperation, efxBlackWhiteLoad, noOperation, efxBlackWhiteExec, noOperation},
    {"efxBoxBlur", noOperation, efxBoxBlurLoad, noOperation, efxBoxBlurExec, noOperation},
    {"efxColor", noOperation, efxColorLoad, noOperation, efxColorExec, noOperation},
    // screen deformation grids
    {"efxDeform", efxDeformPreload, efxDeformLoad, noOperation, efxDeformExec, noOperation},
    {"efxFader", noOperation, efxFaderLoad, noOperation, efxFaderExec, noOperation},
    {"efxFog", noOperation, efxFogLoad, efxFogInit, noOperation, efxFogEnd},
    // glow and radial blur
    {"efxGlow", noOperation, efxGlowLoad, noOperation, efxGlowExec, noOperation},
    {"efxGlow2", noOperation, efxGlow2Load, noOperation, efxGlow2Exec, noOperation},
    {"efxHighPassFilter", noOperation, efxHighPassFilterLoad, noOperation, efxHighPassFilterExec, noOperation},
    {"efxInverse", noOperation, noOperation, noOperation, efxInverseExec, noOperation},
    {"efxMotionBlur", noOperation, efxMotionBlurLoad, efxMotionBlurInit, efxMotionBlurExec, noOperation},
    {"efxMotionBlurAccum", noOperation, efxMotionBlurAccumLoad, efxMotionBlurAccumInit, efxMotionBlurAccumExec, noOperation},
    {"efxRadialBlur", noOperation, efxRadialBlurLoad, noOperation, efxRadialBlurExec, noOperation},
    {"efxRadialBlur2", noOperation, efxRadialBlur2Load, noOperation, efxRadialBlur2Exec, noOperation},
    {"efxRadialGlow", noOperation, efxRadialGlowLoad, noOperation, efxRadialGlowExec, noOperation},
    {"efxRenderMesh", noOperation, efxRenderMeshLoad, noOperation, efxRenderMeshExec, noOperation},
    {"efxRenderMesh2", noOperation, efxRenderMesh2Load, noOperation, efxRenderMesh2Exec, noOperation},
    {"efxSwirl", noOperation, efxSwirlLoad, noOperation, efxSwirlExec, noOperation},
    {"efxViewport", noOperation, efxViewportLoad, noOperation, efxViewportExec, noOperation},
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
    // capture buffers, FBOs and GLSL programs
    {"saveBuffer", noOperation, saveBufferLoad, noOperation, saveBufferExec, noOperation},
    {"renderBuffer", noOperation, renderBufferLoad, noOperation, renderBufferExec, noOperation},
    {"fbobind", noOperation, fbobindLoad, noOperation, fbobindExec, noOperation},
    {"fbounbind", noOperation, fbounbindLoad, noOperation, fbounbindExec, noOperation},
    {"renderFbo", noOperation, renderFboLoad, noOperation, renderFboExec, noOperation},
    {"glslshaderbind", noOperation, glslshaderbindLoad, noOperation, glslshaderbindExec,
     noOperation},
    {"glslshaderunbind", noOperation, noOperation, noOperation, glslshaderunbindExec, noOperation},
};
static_assert(sizeof(sectionTypes) / sizeof(sectionTypes[0]) == SECTION_TYPE_COUNT,
              "the registry has exactly one row per section type");

void freeSectionVars(Section *section)
{
    if (section->typeIndex == findSectionType("efxRepeat"))
        efxRepeatFreeInner(section);
    free(section->vars);
    section->vars = nullptr;
}

// Post-effects on the frame. Each sees what sections of lower layers drew
// in the same frame; those that copy the screen work on the drawing
// rectangle through the capture textures.
#include "sections/postfx.h"

#include <GL/glew.h>

#include <algorithm>

#include "graphics/draw2d.h"
#include "graphics/fbo.h"
#include "graphics/spline.h"
#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/log.h"
#include "kernel/section.h"
#include "sections/screen_passes.h"
#include "sections/section_vars.h"

struct efxAccum_vars {
    int passes;
    float alphaStart, alphaEnd;
};

struct efxBoxBlur_vars {
    float radius;              // texels
};

struct efxMotionBlur_vars {
    int history;               // texture index of the previous frames' picture
    float alphaStart, alphaEnd;
    int skip;                  // 1: the history holds no picture of this run yet
};

struct efxMotionBlurAccum_vars {
    float factor;              // share of the accumulated past kept each frame
};

struct efxFog_vars {
    GLenum mode;               // 0 when the script's mode was rejected: no fog
    float density;
    float start, end;          // linear fog, eye distances
    float colour[4];
};

struct efxViewport_vars {
    int x, y, width, height;   // window pixels from the lower left
    int coloured;              // 1: fill the new viewport with `colour`
    float colour[4];
};

// Types without private data check their params again before drawing.
static bool paramCountIs(int count)
{
    return currentSection->paramNum == count;
}

// An empty RGB texture of the capture size with these flags.
static int newCaptureTexture(int flags)
{
    int texture = tex_create(glConfig.gl_rttWidth, glConfig.gl_rttHeight, GL_RGB, 3);
    tex_properties(texture, flags);
    tex_upload(texture, 0);
    return texture;
}

// ---------------------------------------------------------------------------
// efxAccum: the screen drawn over itself `passes` times with an alpha that
// moves over the section.

void efxAccumLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 3, "3 params needed"))
        return;
    efxAccum_vars *vars = newSectionVars<efxAccum_vars>();
    vars->passes = wholeUnits(section->param[0]);
    vars->alphaStart = section->param[1];
    vars->alphaEnd = section->param[2];
}

// Every start gives the effect a blank, freshly made screen texture. It is
// made again under its own table index rather than a new one: the table
// never reuses an index, so a section that starts again and again would
// otherwise use it up, and sections holding the index keep a live texture.
static void renewScreenTexture()
{
    const int index = fbos.screenTexture;
    const Texture *screen = tex_get(index);
    if (!screen)
        return;
    GLuint name = static_cast<GLuint>(screen->glName);
    glDeleteTextures(1, &name);
    tex_properties(index, TEX_NO_MIPMAPS | TEX_CLAMP_TO_EDGE);
    tex_properties(index, TEX_NO_MIPMAPS);
    tex_upload(index, 0);
}

void efxAccumInit()
{
    if (currentVars<efxAccum_vars>())
        renewScreenTexture();
}

void efxAccumExec()
{
    const efxAccum_vars *vars = currentVars<const efxAccum_vars>();
    if (!vars)
        return;
    glClear(GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    section_blend_begin();
    ortho_begin();
    glColor4f(1, 1, 1, sectionLerp(vars->alphaStart, vars->alphaEnd));
    screen_copy(fbos.screenTexture);
    for (int pass = 0; pass < vars->passes; pass++)
        quad_rtt();
    ortho_end();
    section_blend_end();
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// efxBlackWhite: a grey version of the screen over it, its alpha moving
// over the section. The grey is the luminance of each pixel: a copy into a
// luminance texture would keep only the red channel, as OpenGL converts.

void efxBlackWhiteLoad()
{
    requireCount(currentSection->paramNum, 2, "2 params needed");
}

void efxBlackWhiteExec()
{
    const Section *section = currentSection;
    if (!paramCountIs(2))
        return;
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ortho_begin();
    screen_copy(fbos.screenTexture);
    glColor4f(1, 1, 1, sectionLerp(section->param[0], section->param[1]));
    grey_pass(fbos.screenTexture);
    ortho_end();
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// efxBoxBlur: the blur pass with a fixed radius or one from a spline.

void efxBoxBlurLoad()
{
    const Section *section = currentSection;
    if (section->paramNum != 1 && section->splineNum != 1) {
        sectionError("1 param or spline needed");
        return;
    }
    efxBoxBlur_vars *vars = newSectionVars<efxBoxBlur_vars>();
    if (section->paramNum == 1)
        vars->radius = section->param[0];
}

void efxBoxBlurExec()
{
    efxBoxBlur_vars *vars = currentVars<efxBoxBlur_vars>();
    if (!vars)
        return;
    const Section *section = currentSection;
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ortho_begin();
    // A param wins over a spline.
    if (section->paramNum != 1) {
        float v[MAX_SPLINE_CHANNELS] = {};
        sectionSpline(0, section->elapsed, v);
        vars->radius = v[0];
    }
    blur_pass(vars->radius);
    ortho_end();
    glClear(GL_DEPTH_BUFFER_BIT);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// efxColor: the current colour for the sections after it; draws nothing.

void efxColorLoad()
{
    if (!paramCountIs(3) && !paramCountIs(4))
        sectionError("3 or 4 params needed");
}

void efxColorExec()
{
    const float *p = currentSection->param;
    if (paramCountIs(3))
        glColor3f(p[0], p[1], p[2]);
    else if (paramCountIs(4))
        glColor4f(p[0], p[1], p[2], p[3]);
}

// ---------------------------------------------------------------------------
// efxFader: the viewport covered by a colour whose four components move
// from the first four params to the last four over the section.

void efxFaderLoad()
{
    requireCount(currentSection->paramNum, 8, "8 params needed");
}

void efxFaderExec()
{
    const float *p = currentSection->param;
    if (!paramCountIs(8))
        return;
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ortho_begin();
    glColor4f(sectionLerp(p[0], p[4]), sectionLerp(p[1], p[5]), sectionLerp(p[2], p[6]),
              sectionLerp(p[3], p[7]));
    quad_fullscreen();
    ortho_end();
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// efxFog: OpenGL fog from the section's start to its end.

enum FogMode { FOG_LINEAR = 0, FOG_EXPONENTIAL = 1, FOG_SQUARED_EXPONENTIAL = 2 };

void efxFogLoad()
{
    const Section *section = currentSection;
    if (!paramCountIs(6) && !paramCountIs(7)) {
        sectionError("invalid number of params");
        return;
    }
    efxFog_vars *vars = newSectionVars<efxFog_vars>();
    std::copy(section->param, section->param + 4, vars->colour);
    // Params the script leaves out are 0: six params give linear fog an
    // end of 0.
    const float mode = section->param[4];
    if (mode == FOG_LINEAR) {
        vars->mode = GL_LINEAR;
        vars->start = section->param[5];
        vars->end = section->param[6];
    } else if (mode == FOG_EXPONENTIAL || mode == FOG_SQUARED_EXPONENTIAL) {
        vars->mode = mode == FOG_EXPONENTIAL ? GL_EXP : GL_EXP2;
        vars->density = section->param[5];
    } else {
        sectionError("invalid fog mode");
    }
}

void efxFogInit()
{
    const efxFog_vars *vars = currentVars<const efxFog_vars>();
    if (!vars || !vars->mode)
        return;
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, static_cast<GLint>(vars->mode));
    glFogfv(GL_FOG_COLOR, vars->colour);
    if (vars->mode == GL_LINEAR) {
        glFogf(GL_FOG_START, vars->start);
        glFogf(GL_FOG_END, vars->end);
    } else {
        glFogf(GL_FOG_DENSITY, vars->density);
    }
}

void efxFogEnd()
{
    const efxFog_vars *vars = currentVars<const efxFog_vars>();
    if (vars && vars->mode)
        glDisable(GL_FOG);
}

// ---------------------------------------------------------------------------
// efxInverse: every pixel of the viewport becomes one minus itself.

void efxInverseExec()
{
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ZERO);
    glColor4f(1, 1, 1, 1);
    ortho_begin();
    quad_fullscreen();
    ortho_end();
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// efxMotionBlur: the picture of earlier frames, kept in a history texture,
// drawn over the current one.

void efxMotionBlurLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 2, "2 params needed"))
        return;
    efxMotionBlur_vars *vars = newSectionVars<efxMotionBlur_vars>();
    vars->history = newCaptureTexture(TEX_NO_MIPMAPS | TEX_CLAMP | TEX_MODULATE);
    vars->alphaStart = section->param[0];
    vars->alphaEnd = section->param[1];
}

void efxMotionBlurInit()
{
    if (efxMotionBlur_vars *vars = currentVars<efxMotionBlur_vars>())
        vars->skip = 1;
}

// The history is not refreshed on frames whose elapsed time falls on a
// multiple of a quarter second (to the hundredth), which keeps an older
// picture in the trail.
static bool refreshesHistory(float elapsed)
{
    return wholeUnits(elapsed * 100.0f) % 25 > 0;
}

void efxMotionBlurExec()
{
    efxMotionBlur_vars *vars = currentVars<efxMotionBlur_vars>();
    if (!vars)
        return;
    glClear(GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    section_blend_begin();
    ortho_begin();
    glColor4f(1, 1, 1, sectionLerp(vars->alphaStart, vars->alphaEnd));
    tex_bind(vars->history);
    // The first frame of a run has no history of this run to show (an
    // earlier run's last picture at best), so it draws nothing and always
    // fills the history, whatever its time.
    const bool first = vars->skip;
    if (first)
        vars->skip = 0;
    else
        quad_rtt();
    ortho_end();
    if (first || refreshesHistory(currentSection->elapsed))
        copy_to_texture();
    section_blend_end();
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// efxMotionBlurAccum: a trail through the accumulation buffer. Each frame
// keeps `factor` of the accumulated picture and adds the rest from the
// current one.

void efxMotionBlurAccumLoad()
{
    const Section *section = currentSection;
    if (!glConfig.gl_accum) {
        sectionError("accum buffer is not active");
        return;
    }
    if (!requireCount(section->paramNum, 1, "1 param needed"))
        return;
    newSectionVars<efxMotionBlurAccum_vars>()->factor = section->param[0];
}

void efxMotionBlurAccumInit()
{
    if (currentVars<efxMotionBlurAccum_vars>())
        glClear(GL_ACCUM_BUFFER_BIT);
}

void efxMotionBlurAccumExec()
{
    const efxMotionBlurAccum_vars *vars = currentVars<const efxMotionBlurAccum_vars>();
    if (!vars)
        return;
    glAccum(GL_MULT, vars->factor);
    glAccum(GL_ACCUM, 1 - vars->factor);
    glAccum(GL_RETURN, 1);
}

// ---------------------------------------------------------------------------
// efxViewport: a smaller drawing rectangle for the sections after it in
// the frame; the next frame starts with the default one again.

void efxViewportLoad()
{
    const Section *section = currentSection;
    if (section->splineNum != 1 && section->splineNum != 2) {
        sectionError("1 or 2 splines needed");
        return;
    }
    newSectionVars<efxViewport_vars>()->coloured = section->splineNum == 2;
}

// Spline 0 gives the rectangle as fractions of the window: x, y, width,
// height. The rectangle set is one pixel narrower and shorter than that
// (never below 0, which GL would reject).
static void setDrawingRectangle(efxViewport_vars *vars)
{
    const Section *section = currentSection;
    GlConfig &config = glConfig;
    float v[MAX_SPLINE_CHANNELS] = {};
    sectionSpline(0, section->elapsed, v);
    vars->x = wholeUnits(static_cast<double>(config.gl_width) * v[0]);
    vars->y = wholeUnits(static_cast<double>(config.gl_height) * v[1]);
    vars->width = wholeUnits(static_cast<double>(config.gl_width) * v[2]);
    vars->height = wholeUnits(static_cast<double>(config.gl_height) * v[3]);
    config.vpX = vars->x;
    config.vpY = vars->y;
    config.vpWidth = std::max(vars->width - 1, 0);
    config.vpHeight = std::max(vars->height - 1, 0);
    config.rttScaleU = static_cast<float>(config.vpWidth) / config.gl_rttWidth;
    config.rttScaleV = static_cast<float>(config.vpHeight) / config.gl_rttHeight;
    glViewport(config.vpX, config.vpY, config.vpWidth, config.vpHeight);
}

void efxViewportExec()
{
    efxViewport_vars *vars = currentVars<efxViewport_vars>();
    if (!vars)
        return;
    setDrawingRectangle(vars);
    if (vars->coloured) {
        float v[MAX_SPLINE_CHANNELS] = {};
        sectionSpline(1, currentSection->elapsed, v);
        std::copy(v, v + 4, vars->colour);
        glColor4fv(vars->colour);
        glDisable(GL_TEXTURE_2D);
        ortho_begin();
        quad_fullscreen();
        ortho_end();
        glEnable(GL_TEXTURE_2D);
    }
    glClear(GL_DEPTH_BUFFER_BIT);
}

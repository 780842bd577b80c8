// The shared post-effect steps. Texture coordinates of a capture texture
// run from 0 to rttScaleU across and 0 to rttScaleV up: one copy of the
// drawing rectangle fills only that part.
#include "sections/screen_passes.h"

#include <GL/glew.h>

#include <algorithm>

#include "graphics/draw2d.h"
#include "graphics/fbo.h"
#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/section.h"

float sectionProgress()
{
    const Section *section = currentSection;
    return section->duration > 0 ? section->elapsed / section->duration : 0.0f;
}

float sectionLerp(float start, float end)
{
    return start + (end - start) * sectionProgress();
}

void screen_copy(int texture)
{
    tex_bind(texture);
    copy_to_texture();
}

void screen_draw(int texture)
{
    tex_bind(texture);
    quad_rtt();
}

void section_blend_begin()
{
    const Section *section = currentSection;
    if (!section->blendEnabled)
        return;
    glEnable(GL_BLEND);
    glBlendFunc(section->sfactor, section->dfactor);
}

void section_blend_end()
{
    if (currentSection->blendEnabled)
        glDisable(GL_BLEND);
}

// ---------------------------------------------------------------------------
// Two texture units over the same capture texture

// The GL name of a texture index, 0 (no texture) when there is none.
static GLuint glNameOf(int texture)
{
    const Texture *entry = tex_get(texture);
    return entry ? static_cast<GLuint>(entry->glName) : 0;
}

// Binds the texture on units 0 (replacing the colour) and 1, leaving unit
// 1 active for its combiner settings. Called after multitexture_begin,
// which forgot the bind cache, so the binds go to GL directly.
static void bindOnUnits01(GLuint name)
{
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glActiveTextureARB(GL_TEXTURE1_ARB);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
}

struct UnitCorner {
    float u0, v0;              // unit 0
    float u1, v1;              // unit 1
    float x, y;
};

static void drawUnitQuad(const UnitCorner (&corners)[4])
{
    for (const UnitCorner &corner : corners) {
        glMultiTexCoord2fARB(GL_TEXTURE0_ARB, corner.u0, corner.v0);
        glMultiTexCoord2fARB(GL_TEXTURE1_ARB, corner.u1, corner.v1);
        glVertex2f(corner.x, corner.y);
    }
}

// `copies` times the unit square showing one copied frame on both units,
// in one GL_QUADS primitive.
static void frameQuads(int copies)
{
    const float u = glConfig.rttScaleU, v = glConfig.rttScaleV;
    const UnitCorner corners[4] = {
        {0, 0, 0, 0, 0, 0}, {u, 0, u, 0, 1, 0}, {u, v, u, v, 1, 1}, {0, v, 0, v, 0, 1}};
    glBegin(GL_QUADS);
    for (int copy = 0; copy < copies; copy++)
        drawUnitQuad(corners);
    glEnd();
}

// ---------------------------------------------------------------------------
// Blur pass

// The unit square sampled shifted by (a, b) on unit 0 and by (-a, -b) on
// unit 1, so their average spreads each texel both ways.
static void offsetQuad(float a, float b)
{
    const float u = glConfig.rttScaleU, v = glConfig.rttScaleV;
    const UnitCorner corners[4] = {
        {a, b, -a, -b, 0, 0},
        {u, b, u - a, -b, 1, 0},
        {u, v, u - a, v - b, 1, 1},
        {a, v, -a, v - b, 0, 1},
    };
    glBegin(GL_QUADS);
    drawUnitQuad(corners);
    glEnd();
}

void blur_pass(float radius)
{
    static const GLfloat half[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    multitexture_begin();
    bindOnUnits01(glNameOf(fbos.screenTexture));
    // Unit 1 interpolates halfway between unit 0's sample and its own and
    // gives alpha 0.5, so each quad mixes half the average into the frame.
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, half);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_PREVIOUS);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, GL_CONSTANT);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE2_RGB, GL_CONSTANT);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_INTERPOLATE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
    glColor4f(1, 1, 1, 0.33f);
    // Steps 1, 2, 4, ... and last the radius itself. The loop goes on only
    // while the radius is beyond the step, so a radius that is not a
    // number stops after the first step instead of never.
    float step = 1;
    for (;;) {
        copy_to_texture();
        offsetQuad(step / glConfig.gl_rttWidth, 0);
        copy_to_texture();
        offsetQuad(0, step / glConfig.gl_rttHeight);
        if (!(radius > step))
            break;
        step = std::min(2 * step, radius);
    }
    multitexture_end();
}

// ---------------------------------------------------------------------------
// Bright pass

void bright_pass(int texture, float red, float green, float blue, int passes)
{
    // Subtracting the threshold from every pixel clamps what is darker to 0.
    glDisable(GL_TEXTURE_2D);
    glBlendFunc(GL_ONE, GL_ONE);
    glBlendEquation(GL_FUNC_REVERSE_SUBTRACT);
    glColor4f(red, green, blue, 0);
    quad_fullscreen();
    glBlendEquation(GL_FUNC_ADD);

    multitexture_begin();
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, glNameOf(texture));
    copy_to_texture();
    bindOnUnits01(glNameOf(texture));
    // Unit 1 adds its sample to unit 0's: twice the thresholded picture.
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_PREVIOUS);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_ADD);
    glBlendFunc(GL_ONE, GL_ONE);
    glColor4f(1, 1, 1, 1);
    frameQuads(passes / 2);
    multitexture_end();
}

// ---------------------------------------------------------------------------
// Grey pass

// Luminance weights of red, green and blue.
static const float LUMA_RED = 0.299f, LUMA_GREEN = 0.587f, LUMA_BLUE = 0.114f;

void grey_pass(int texture)
{
    // Unit 0 moves each texel halfway to white, y = (x + 1) / 2. Unit 1's
    // dot product 4 * sum((y - 0.5) * (k - 0.5)) with k = 0.5 + w / 2 is
    // then sum(w * x), the luminance, in every channel. Alpha is the
    // current colour's.
    static const GLfloat halfToWhite[4] = {1, 1, 1, 0.5f};
    static const GLfloat weights[4] = {0.5f + LUMA_RED / 2, 0.5f + LUMA_GREEN / 2,
                                       0.5f + LUMA_BLUE / 2, 1};
    multitexture_begin();
    bindOnUnits01(glNameOf(texture));
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, halfToWhite);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_INTERPOLATE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_CONSTANT);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE2_RGB, GL_CONSTANT);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_RGB, GL_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, GL_PRIMARY_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
    glActiveTextureARB(GL_TEXTURE1_ARB);
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, weights);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_DOT3_RGB);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_PREVIOUS);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_CONSTANT);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, GL_PREVIOUS);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
    frameQuads(1);
    multitexture_end();
}

// ---------------------------------------------------------------------------
// Radial passes

void radial_quad(float spread, float offsetX, float offsetY)
{
    const float s = spread, u = glConfig.rttScaleU, v = glConfig.rttScaleV;
    const float du = offsetX * s, dv = offsetY * s;
    glTexCoord2f(du, v + dv);
    glVertex2f(-s, 1 + s);
    glTexCoord2f(du, dv);
    glVertex2f(-s, -s);
    glTexCoord2f(u + du, dv);
    glVertex2f(1 + s, -s);
    glTexCoord2f(u + du, v + dv);
    glVertex2f(1 + s, 1 + s);
}

void radial_iteration(int iterations, float spread, float centreX, float centreY,
                      bool separateCopies)
{
    const float offsetX = centreX - 0.5f, offsetY = 0.5f - centreY;
    if (!separateCopies && iterations > 0) {
        copy_to_texture();
        glBegin(GL_QUADS);
    }
    for (int i = 0; i < iterations; i++) {
        // Quadratic growth: the first copy is unscaled.
        const float s = spread * i * i / iterations;
        if (separateCopies) {
            copy_to_texture();
            glBegin(GL_QUADS);
        }
        radial_quad(s, offsetX, offsetY);
        if (separateCopies)
            glEnd();
    }
    if (!separateCopies && iterations > 0)
        glEnd();
}

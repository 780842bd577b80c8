// Glow and radial blur. The glows save the untouched frame in
// screenTexture2, reduce the frame to its bright parts with the bright
// pass, spread those (blur pass or radial zoom) and add the saved frame
// back on top. None of them uses the section's alpha test.
#include "sections/glow.h"

#include <GL/glew.h>

#include "expr/driver.h"
#include "graphics/draw2d.h"
#include "graphics/fbo.h"
#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/log.h"
#include "kernel/section.h"
#include "sections/screen_passes.h"
#include "sections/section_vars.h"

struct efxGlow_vars {
    float red, green, blue;    // threshold
    int passes;                // bright pass amplification
    float radius;              // blur radius in texels
};

struct efxRadialBlur_vars {
    int iterations;
    float alphaStart, alphaEnd;
    float spreadStart, spreadEnd;
    float centreXStart, centreXEnd;    // unit view, 0.5 the middle
    float centreYStart, centreYEnd;
};

struct efxRadialGlow_vars {
    float red, green, blue;    // threshold
    int passes;
    int iterations;
    int separateCopies;        // 1: a new copy of the frame for every radial step
    float alphaStart, alphaEnd;
    float spreadStart, spreadEnd;
    float centreXStart, centreXEnd;
    float centreYStart, centreYEnd;
};

enum { MAX_FORMULA_OUTPUTS = 5 };

// The formula of efxGlow2, efxHighPassFilter or efxRadialBlur2 and the
// addresses of the variables read after each evaluation, bound at load. An
// output the formula never names is 0.
struct FormulaEffect_vars {
    ExprDriver formula;
    double *outputs[MAX_FORMULA_OUTPUTS];      // null without a variable table
};

// What one formula type reads, in the order of its outputs.
struct FormulaOutputs {
    const char *names[MAX_FORMULA_OUTPUTS];
    int count;
    const char *evaluationMessage;             // code, then formula text
};

enum { OUT_RED, OUT_GREEN, OUT_BLUE, OUT_PASSES, OUT_RADIUS };
static const FormulaOutputs glow2Outputs = {
    {"red", "green", "blue", "accumulation", "radius"}, 5,
    "efxGlow2: render_efxGlow2: Expression evaluation Error (%d): %s"};
static const FormulaOutputs highPassOutputs = {
    {"red", "green", "blue", "accum"}, 4,
    "efxHighPassFilter: render_efxHighPassFilter: Expression evaluation Error (%d): %s"};

enum { OUT_ITERATIONS, OUT_ALPHA, OUT_SEPARATION, OUT_ORIGIN_X, OUT_ORIGIN_Y };
static const FormulaOutputs radialBlur2Outputs = {
    {"iterations", "alpha", "separation", "originX", "originY"}, 5,
    "efxRadialBlur2: render_efxRadialBlur2: Expression evaluation Error (%d): %s"};

// ---------------------------------------------------------------------------
// Formulas

// Builds the formula from all `stringCount` strings of the section and
// binds its outputs.
static void loadFormulaEffect(int stringCount, const char *countMessage,
                              const FormulaOutputs &outputs)
{
    if (!requireCount(currentSection->stringNum, stringCount, countMessage))
        return;
    FormulaEffect_vars *vars = newSectionVars<FormulaEffect_vars>();
    initSectionFormula(&vars->formula, 0, stringCount);
    for (int i = 0; i < outputs.count; i++)
        vars->outputs[i] = driverVariable(&vars->formula, outputs.names[i]);
}

// Evaluates the formula for this frame into `values`; false when the
// section has no formula (its load failed). A failed evaluation is
// reported and the values are what the formula left in its variables.
static bool evaluateFormulaEffect(const FormulaOutputs &outputs,
                                  double (&values)[MAX_FORMULA_OUTPUTS])
{
    FormulaEffect_vars *vars = currentVars<FormulaEffect_vars>();
    if (!vars)
        return false;
    ExprDriver *formula = &vars->formula;
    updateEngineVariables(formula);
    int code = evaluateDriver(formula);
    if (code != 0)
        sectionError(outputs.evaluationMessage, code, formula->text);
    for (int i = 0; i < outputs.count; i++)
        values[i] = vars->outputs[i] ? *vars->outputs[i] : 0.0;
    return true;
}

// ---------------------------------------------------------------------------
// Glow steps

// Saves the untouched frame, then, blending on in the unit view, leaves
// only the bright parts of the frame and blurs them.
static void glowPasses(float red, float green, float blue, int passes, float radius)
{
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    ortho_begin();
    bright_pass(fbos.screenTexture, red, green, blue, passes);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    blur_pass(radius);
}

// Draws the saved frame onto what the passes made, with the blend function
// the caller set.
static void addSavedFrame()
{
    glColor4f(1, 1, 1, 1);
    screen_draw(fbos.screenTexture2);
}

static void glowEnd()
{
    glClear(GL_DEPTH_BUFFER_BIT);
    ortho_end();
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// efxGlow: threshold, passes and blur radius from params.

void efxGlowLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 5, "5 params needed"))
        return;
    efxGlow_vars *vars = newSectionVars<efxGlow_vars>();
    vars->red = section->param[0];
    vars->green = section->param[1];
    vars->blue = section->param[2];
    vars->passes = wholeUnits(section->param[3]);
    vars->radius = section->param[4];
}

void efxGlowExec()
{
    const efxGlow_vars *vars = currentVars<const efxGlow_vars>();
    if (!vars)
        return;
    screen_copy(fbos.screenTexture2);
    glowPasses(vars->red, vars->green, vars->blue, vars->passes, vars->radius);
    glBlendFunc(GL_ONE, GL_ONE);
    addSavedFrame();
    glowEnd();
}

// ---------------------------------------------------------------------------
// efxGlow2: the same with the values from a formula, the saved frame added
// with the section's blend factors when it has them.

void efxGlow2Load()
{
    loadFormulaEffect(5, "5 strings needed", glow2Outputs);
}

void efxGlow2Exec()
{
    double v[MAX_FORMULA_OUTPUTS] = {};
    if (!evaluateFormulaEffect(glow2Outputs, v))
        return;
    screen_copy(fbos.screenTexture2);
    glowPasses(static_cast<float>(v[OUT_RED]), static_cast<float>(v[OUT_GREEN]),
               static_cast<float>(v[OUT_BLUE]), wholeUnits(v[OUT_PASSES]),
               static_cast<float>(v[OUT_RADIUS]));
    if (currentSection->blendEnabled)
        section_blend_begin();
    else
        glBlendFunc(GL_ONE, GL_ONE);
    addSavedFrame();
    glowEnd();
}

// ---------------------------------------------------------------------------
// efxHighPassFilter: the bright pass alone, from a formula.

void efxHighPassFilterLoad()
{
    loadFormulaEffect(2, "2 strings needed", highPassOutputs);
}

void efxHighPassFilterExec()
{
    double v[MAX_FORMULA_OUTPUTS] = {};
    if (!evaluateFormulaEffect(highPassOutputs, v))
        return;
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    ortho_begin();
    bright_pass(fbos.screenTexture, static_cast<float>(v[OUT_RED]),
                static_cast<float>(v[OUT_GREEN]), static_cast<float>(v[OUT_BLUE]),
                wholeUnits(v[OUT_PASSES]));
    ortho_end();
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// efxRadialBlur: copies of the frame zoomed toward a centre, each copying
// the ones before; alpha, spread and centre move over the section.

void efxRadialBlurLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 10, "10 params needed"))
        return;
    const float *p = section->param;
    efxRadialBlur_vars *vars = newSectionVars<efxRadialBlur_vars>();
    // param[1] is not read.
    *vars = {wholeUnits(p[0]), p[2], p[3], p[4], p[5], p[6], p[8], p[7], p[9]};
}

void efxRadialBlurExec()
{
    const efxRadialBlur_vars *vars = currentVars<const efxRadialBlur_vars>();
    if (!vars)
        return;
    glDisable(GL_DEPTH_TEST);
    section_blend_begin();
    ortho_begin();
    tex_bind(fbos.screenTexture);
    glColor4f(1, 1, 1, sectionLerp(vars->alphaStart, vars->alphaEnd));
    radial_iteration(vars->iterations, sectionLerp(vars->spreadStart, vars->spreadEnd),
                     sectionLerp(vars->centreXStart, vars->centreXEnd),
                     sectionLerp(vars->centreYStart, vars->centreYEnd), true);
    ortho_end();
    glClear(GL_DEPTH_BUFFER_BIT);
    section_blend_end();
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// efxRadialBlur2: copies of the frame growing linearly, from a formula; the
// origin moves the quads themselves rather than their texture window.

void efxRadialBlur2Load()
{
    loadFormulaEffect(5, "5 strings needed", radialBlur2Outputs);
}

// The copied frame enlarged by `e` on every side and moved by (-ex, -ey).
static void shiftedQuad(double e, double ex, double ey)
{
    const double u = glConfig.rttScaleU, v = glConfig.rttScaleV;
    glBegin(GL_QUADS);
    glTexCoord2d(0, v);
    glVertex2d(-e - ex, 1 + e - ey);
    glTexCoord2d(0, 0);
    glVertex2d(-e - ex, -e - ey);
    glTexCoord2d(u, 0);
    glVertex2d(1 + e - ex, -e - ey);
    glTexCoord2d(u, v);
    glVertex2d(1 + e - ex, 1 + e - ey);
    glEnd();
}

void efxRadialBlur2Exec()
{
    double v[MAX_FORMULA_OUTPUTS] = {};
    if (!evaluateFormulaEffect(radialBlur2Outputs, v))
        return;
    const int iterations = wholeUnits(v[OUT_ITERATIONS]);
    glDisable(GL_DEPTH_TEST);
    section_blend_begin();
    ortho_begin();
    tex_bind(fbos.screenTexture);
    glColor4d(1, 1, 1, v[OUT_ALPHA]);
    for (int i = 0; i < iterations; i++) {
        copy_to_texture();
        const double e = static_cast<double>(i) / iterations * v[OUT_SEPARATION];
        shiftedQuad(e, v[OUT_ORIGIN_X] * e, v[OUT_ORIGIN_Y] * e);
    }
    ortho_end();
    glClear(GL_DEPTH_BUFFER_BIT);
    section_blend_end();
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// efxRadialGlow: the bright parts zoomed toward a centre and the saved
// frame added on top.

void efxRadialGlowLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 14, "14 params needed"))
        return;
    const float *p = section->param;
    efxRadialGlow_vars *vars = newSectionVars<efxRadialGlow_vars>();
    *vars = {p[0],  p[1], p[2],  wholeUnits(p[3]), wholeUnits(p[4]), p[5] == 1.0f,
             p[6],  p[7], p[8],  p[9],             p[10],            p[12],
             p[11], p[13]};
}

void efxRadialGlowExec()
{
    const Section *section = currentSection;
    const efxRadialGlow_vars *vars = currentVars<const efxRadialGlow_vars>();
    if (!vars)
        return;
    screen_copy(fbos.screenTexture2);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    ortho_begin();
    // Leaves screenTexture bound on unit 0 for the radial quads.
    bright_pass(fbos.screenTexture, vars->red, vars->green, vars->blue, vars->passes);
    if (section->blendEnabled)
        glBlendFunc(section->sfactor, section->dfactor);
    else
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, sectionLerp(vars->alphaStart, vars->alphaEnd));
    radial_iteration(vars->iterations, sectionLerp(vars->spreadStart, vars->spreadEnd),
                     sectionLerp(vars->centreXStart, vars->centreXEnd),
                     sectionLerp(vars->centreYStart, vars->centreYEnd), vars->separateCopies);
    glBlendFunc(GL_ONE, GL_ONE);
    addSavedFrame();
    glowEnd();
}

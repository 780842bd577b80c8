// Screen deformation grids: each type builds its grid's rest data at load
// and every frame copies the frame, deforms the grid afresh and draws the
// copy back through it.
#include "sections/grids.h"

#include <GL/gl.h>

#include <cfloat>
#include <initializer_list>
#include <cmath>

#include "expr/driver.h"
#include "graphics/camera.h"
#include "graphics/draw2d.h"
#include "graphics/fbo.h"
#include "graphics/spline.h"
#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/section.h"
#include "sections/screen_passes.h"
#include "sections/section_vars.h"

// One point of a grid: where it samples the copy and where it is drawn.
struct GridPoint {
    float u, v;                // texture coordinate in the screen texture
    float x, y;                // position in the grid's view
};

enum {
    DEFORM_GRID_CAPACITY = 32, // control points a side at most, whatever the driver offers
    DEFORM_MIN_ORDER = 8,      // the evaluator order every OpenGL driver offers
    SWIRL_SIZE = 40,
    RENDER_MESH2_SIZE = 41,
};

// The control points of efxDeform, (i, j) at i * n + j: i along x, j along y.
struct DeformVars {
    int gridSize;              // n control points a side
    int uSteps, vSteps;        // mesh steps along the first (y) and second (x) parameter
    GLenum polygonMode;
    float rest[DEFORM_GRID_CAPACITY * DEFORM_GRID_CAPACITY][3];
    float current[DEFORM_GRID_CAPACITY * DEFORM_GRID_CAPACITY][3];
};

// Point (i, j) at i * SWIRL_SIZE + j: i along x, j along y.
struct SwirlVars {
    GridPoint points[SWIRL_SIZE * SWIRL_SIZE];
    int clear;                 // non-zero: only the swirled copy remains
    float alphaStart, alphaEnd;
    float centreX, centreY, radius, strength;   // from the spline, each frame
};

// Point (i, j) at i * RENDER_MESH_SIZE + j: i along x, j along y.
struct RenderMeshVars {
    GridPoint points[RENDER_MESH_SIZE * RENDER_MESH_SIZE];
    int mode;
    float alphaStart, alphaEnd;
};

// Where a formula reads its inputs and writes its outputs; null when the
// formula has no variable table.
struct DeformationBindings {
    double *x, *y, *r, *p;
    double *u, *v;
};

enum { COLOUR_RED, COLOUR_GREEN, COLOUR_BLUE, COLOUR_ALPHA, COLOUR_CHANNELS };

// Point (i, j) at i * RENDER_MESH2_SIZE + j: i down the y axis, j along x.
struct RenderMesh2Vars {
    GridPoint points[RENDER_MESH2_SIZE * RENDER_MESH2_SIZE];
    double colour[COLOUR_CHANNELS];   // kept from frame to frame
    ExprDriver deformation, colouring;
    DeformationBindings inputs;
    double *colourOutputs[COLOUR_CHANNELS];
};

// The view every efxDeform section draws in, set up by the preload.
static Camera *deformCamera;

// The largest control grid the driver evaluates; read by the preload, the
// guaranteed minimum until then.
static int deformOrderLimit = DEFORM_MIN_ORDER;

// ---------------------------------------------------------------------------
// Shared steps

// A double for a float slot: values beyond float's range are clamped so
// that the conversion stays defined (not a number stays one).
static float toFloat(double value)
{
    if (value > FLT_MAX)
        return FLT_MAX;
    if (value < -FLT_MAX)
        return -FLT_MAX;
    return static_cast<float>(value);
}

static void gridVertex(const GridPoint &point)
{
    glTexCoord2f(point.u, point.v);
    glVertex2f(point.x, point.y);
}

// One GL_QUADS primitive over the cells of a size x size grid stored
// row i at i * size: corners (i, j), (i + 1, j), (i + 1, j + 1), (i, j + 1).
static void drawGridQuads(const GridPoint *points, int size)
{
    glBegin(GL_QUADS);
    for (int i = 0; i + 1 < size; i++) {
        for (int j = 0; j + 1 < size; j++) {
            gridVertex(points[i * size + j]);
            gridVertex(points[(i + 1) * size + j]);
            gridVertex(points[(i + 1) * size + j + 1]);
            gridVertex(points[i * size + j + 1]);
        }
    }
    glEnd();
}

// ---------------------------------------------------------------------------
// efxDeform: a Bezier patch over the screen whose control points splines
// move. Spline channels: control point i, j (truncated), then the offset
// x, y, z from its rest position in window pixels.

enum { DEFORM_INDEX_I, DEFORM_INDEX_J, DEFORM_OFFSET_X, DEFORM_OFFSET_Y, DEFORM_OFFSET_Z };

// The camera looks straight at a window-sized rectangle at z = 0, which
// then fills the view exactly.
void efxDeformPreload()
{
    const float width = glConfig.gl_width, height = glConfig.gl_height;
    // One camera serves every section and every reload by the editor.
    if (!deformCamera)
        deformCamera = camera_new();
    camera_set_position(deformCamera, width / 2, height / 2, height / 2);
    camera_set_target(deformCamera, width / 2, height / 2, 0);
    camera_set_angles(deformCamera, 0, 0, 0);
    camera_set_roll(deformCamera, 0);
    camera_set_fov(deformCamera, 90, height > 0 ? width / height : 1.0f);
    camera_set_clipping(deformCamera, 0.1f, 500);
    GLint order = 0;
    glGetIntegerv(GL_MAX_EVAL_ORDER, &order);
    deformOrderLimit = order < DEFORM_MIN_ORDER ? DEFORM_MIN_ORDER : order;
}

// The control-point index a spline value names (truncated toward zero),
// or false when it lies outside a grid of n points a side.
static bool controlIndex(float value, int n, int *index)
{
    if (!(value > -1.0f && value < n))
        return false;
    *index = static_cast<int>(value);
    return true;
}

// Every key of every loaded spline must name a control point of the grid;
// the first that does not is reported.
static bool splinesInsideGrid(int n)
{
    const Section *section = currentSection;
    for (int k = 0; k < section->splineNum; k++) {
        const Spline *spline = section->splines[k];
        if (!spline)
            continue;
        for (int key = 0; key < spline->keyCount; key++) {
            const float *values = spline->keys[key].values;
            int i, j;
            if (!controlIndex(values[DEFORM_INDEX_I], n, &i) ||
                !controlIndex(values[DEFORM_INDEX_J], n, &j)) {
                sectionError("spline %d moves control point (%g, %g) outside the %d x %d grid", k,
                             values[DEFORM_INDEX_I], values[DEFORM_INDEX_J], n, n);
                return false;
            }
        }
    }
    return true;
}

// Mesh steps are bytes: truncated and kept within 0 to 255.
static int meshSteps(float value)
{
    int steps = wholeUnits(value);
    return steps < 0 ? 0 : steps > 255 ? 255 : steps;
}

void efxDeformLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 3, "3 params needed"))
        return;
    const int limit = deformOrderLimit < DEFORM_GRID_CAPACITY ? deformOrderLimit
                                                                : DEFORM_GRID_CAPACITY;
    const int n = wholeUnits(section->param[0]);
    if (n < 2 || n > limit) {
        sectionError("grid size %d outside 2 to %d (the evaluator order limit)", n, limit);
        return;
    }
    if (!splinesInsideGrid(n))
        return;
    DeformVars *vars = newSectionVars<DeformVars>();
    vars->gridSize = n;
    vars->uSteps = meshSteps(section->param[1]);
    vars->vSteps = meshSteps(section->param[2]);
    vars->polygonMode = GL_FILL;
    const float stepX = static_cast<float>(glConfig.gl_width) / (n - 1);
    const float stepY = static_cast<float>(glConfig.gl_height) / (n - 1);
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++) {
            float *rest = vars->rest[i * n + j], *current = vars->current[i * n + j];
            rest[0] = current[0] = i * stepX;
            rest[1] = current[1] = j * stepY;
            rest[2] = current[2] = 0.0f;
        }
    }
}

// Each spline moves the control point it names at the section's time. The
// keys were checked at load, but a curve between them may overshoot the
// grid: such a sample moves nothing.
static void moveControlPoints(DeformVars *vars)
{
    const Section *section = currentSection;
    const int n = vars->gridSize;
    for (int k = 0; k < section->splineNum; k++) {
        float v[MAX_SPLINE_CHANNELS] = {};
        sectionSpline(k, section->elapsed, v);
        int i, j;
        if (!controlIndex(v[DEFORM_INDEX_I], n, &i) || !controlIndex(v[DEFORM_INDEX_J], n, &j))
            continue;
        const float *rest = vars->rest[i * n + j];
        float *current = vars->current[i * n + j];
        current[0] = rest[0] + v[DEFORM_OFFSET_X];
        current[1] = rest[1] + v[DEFORM_OFFSET_Y];
        current[2] = rest[2] + v[DEFORM_OFFSET_Z];
    }
}

// The grid runs over parameters 0 to 1 while the vertex map spans 0 to
// rttScaleV (first parameter, along y) and 0 to rttScaleU (second, along
// x): at parameter t the texture coordinate is t and the vertex lies at
// t / rttScale of the patch, so the copied part of the texture lands on the
// window and the rest of the mesh beyond it.
void efxDeformExec()
{
    DeformVars *vars = static_cast<DeformVars *>(currentSection->vars);
    if (!vars || !deformCamera)
        return;
    const int n = vars->gridSize;
    section_blend_begin();
    screen_copy(fbos.screenTexture);
    // The deform view stays in force for the sections after this one.
    camera_apply_projection(deformCamera);
    camera_apply_view(deformCamera);
    moveControlPoints(vars);
    glMap2f(GL_MAP2_VERTEX_3, 0, glConfig.rttScaleV, 3, n, 0, glConfig.rttScaleU, 3 * n, n,
            &vars->current[0][0]);
    // Bilinear: the first parameter drives t, the second s.
    static const GLfloat corners[] = {0, 0, 0, 1, 1, 0, 1, 1};
    glMap2f(GL_MAP2_TEXTURE_COORD_2, 0, 1, 2, 2, 0, 1, 4, 2, corners);
    glEnable(GL_MAP2_TEXTURE_COORD_2);
    glEnable(GL_MAP2_VERTEX_3);
    glMapGrid2f(vars->uSteps, 0, 1, vars->vSteps, 0, 1);
    glEvalMesh2(vars->polygonMode, 0, vars->uSteps, 0, vars->vSteps);
    glDisable(GL_MAP2_TEXTURE_COORD_2);
    glDisable(GL_MAP2_VERTEX_3);
    section_blend_end();
}

// ---------------------------------------------------------------------------
// efxSwirl: the picture whirled about a point. Spline channels: centre x,
// centre y, radius (fractions of the window) and strength (radians per
// unit of distance inside the radius).

enum { SWIRL_CENTRE_X, SWIRL_CENTRE_Y, SWIRL_RADIUS, SWIRL_STRENGTH };

void efxSwirlLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 3, "3 params needed") ||
        !requireCount(section->splineNum, 1, "1 spline needed"))
        return;
    SwirlVars *vars = newSectionVars<SwirlVars>();
    const int last = SWIRL_SIZE - 1;
    for (int i = 0; i < SWIRL_SIZE; i++) {
        for (int j = 0; j < SWIRL_SIZE; j++) {
            GridPoint &point = vars->points[i * SWIRL_SIZE + j];
            point.u = static_cast<float>(i) / last * glConfig.rttScaleU;
            point.v = static_cast<float>(j) / last * glConfig.rttScaleV;
        }
    }
    vars->clear = wholeUnits(section->param[0]);
    vars->alphaStart = section->param[1];
    vars->alphaEnd = section->param[2];
}

// Points within the radius turn about the centre, more the nearer they
// are; the border stays on the window's edges.
static void swirlPositions(SwirlVars *vars)
{
    const float step = 1.0f / (SWIRL_SIZE - 1);
    float x0 = 0.0f;
    for (int i = 0; i < SWIRL_SIZE; i++, x0 += step) {
        float y0 = 0.0f;
        for (int j = 0; j < SWIRL_SIZE; j++, y0 += step) {
            GridPoint &point = vars->points[i * SWIRL_SIZE + j];
            const float dx = x0 - vars->centreX, dy = y0 - vars->centreY;
            const float d = std::sqrt(dx * dx + dy * dy);
            point.x = x0;
            point.y = y0;
            if (d < vars->radius) {
                const float angle = std::atan2(dy, dx) + vars->strength * (vars->radius - d);
                point.x = vars->centreX + d * std::cos(angle);
                point.y = vars->centreY + d * std::sin(angle);
            }
        }
    }
    const int last = SWIRL_SIZE - 1;
    for (int n = 0; n < SWIRL_SIZE; n++) {
        vars->points[n * SWIRL_SIZE].y = 0.0f;
        vars->points[n * SWIRL_SIZE + last].y = 1.0f;
        vars->points[n].x = 0.0f;
        vars->points[last * SWIRL_SIZE + n].x = 1.0f;
    }
}

void efxSwirlExec()
{
    SwirlVars *vars = static_cast<SwirlVars *>(currentSection->vars);
    if (!vars)
        return;
    float v[MAX_SPLINE_CHANNELS] = {};
    sectionSpline(0, currentSection->elapsed, v);
    vars->centreX = v[SWIRL_CENTRE_X];
    vars->centreY = v[SWIRL_CENTRE_Y];
    vars->radius = v[SWIRL_RADIUS];
    vars->strength = v[SWIRL_STRENGTH];
    swirlPositions(vars);

    glDisable(GL_DEPTH_TEST);
    section_blend_begin();
    screen_copy(fbos.screenTexture);
    glClear(vars->clear ? GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT : GL_DEPTH_BUFFER_BIT);
    glColor4f(1, 1, 1, sectionLerp(vars->alphaStart, vars->alphaEnd));
    ortho_begin();
    // One strip per column j, along i.
    for (int j = 0; j + 1 < SWIRL_SIZE; j++) {
        glBegin(GL_TRIANGLE_STRIP);
        for (int i = 0; i + 1 < SWIRL_SIZE; i++) {
            gridVertex(vars->points[i * SWIRL_SIZE + j]);
            gridVertex(vars->points[i * SWIRL_SIZE + j + 1]);
            gridVertex(vars->points[(i + 1) * SWIRL_SIZE + j]);
            gridVertex(vars->points[(i + 1) * SWIRL_SIZE + j + 1]);
        }
        glEnd();
    }
    ortho_end();
    section_blend_end();
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// efxRenderMesh: nine fixed distortions of the copy. Mode 1 zooms slightly
// about the centre, 2 bends, 3 rotates, 4 twists with the distance from the
// centre, 5 to 8 wobble with time; any other mode leaves the copy as it is.

void renderMeshCoordinate(int mode, int i, int j, double seconds, double bpm, double *u,
                          double *v)
{
    const int size = RENDER_MESH_SIZE, half = RENDER_MESH_SIZE / 2;
    const double a = i / 20.0, b = j / 20.0, c = size / 2.0, o = i * j;
    const double inversePi = 0.318309886183791;
    switch (mode) {
    case 0:
        *u = a + 0.01;
        *v = b + 0.01;
        return;
    case 1:
        *u = a + 0.001 * (i - c);
        *v = b + 0.001 * (j - c);
        return;
    case 2:
        *u = a * std::cos((i + j - size) * 0.0628318530717959);
        *v = b * std::cos((i - j) * 0.0314159265358979);
        return;
    case 3: {
        const double w = a + 0.003 * (i - c) - 0.5, z = b + 0.003 * (j - c) - 0.5;
        const double k = std::cos((i - half + 1) * 0.0981747704246810);
        const double s = std::sin((j - half + 1) * 0.0981747704246810);
        *u = w * k - z * s + 0.5;
        *v = w * s + z * k + 0.5;
        return;
    }
    case 4: {
        const double theta = 0.0490873852123405 * std::sqrt((i - c) * (i - c) + (j - c) * (j - c));
        *u = (a - 0.5) * std::cos(theta) - (b - 0.5) * std::sin(theta) + 0.5;
        *v = (a - 0.5) * std::sin(theta) + (b - 0.5) * std::cos(theta) + 0.5;
        return;
    }
    case 5: {
        const double w = bpm * 0.008333334 * seconds + 100;
        *u = a + 0.02 * std::sin(w * size * i * j * inversePi);
        *v = b + 0.02 * std::tan(w * o * 0.01);
        return;
    }
    case 6: {
        const double phi = bpm * seconds * 0.0261799387799149;
        *u = a + 0.02 * std::sin(i * std::sin(phi) * 0.31415927);
        *v = b + 0.02 * std::cos(j * std::cos(phi) * 0.31415927);
        return;
    }
    case 7: {
        const double phi = bpm * 0.008333334 * seconds;
        *u = a + 0.001 * std::cos((phi + 100) * size * i * j * inversePi);
        // The sine can reach 0 or below, where the logarithm has no finite
        // value: the rows then stay where they are rather than fly off.
        const double wave = std::sin(std::cos(std::tan(phi)));
        *v = wave > 0 ? b + 0.01 * std::log(wave) : b;
        return;
    }
    case 8:
        *u = a + 0.01 * std::cos((seconds + 100) * size * i * j * inversePi);
        *v = b + 0.01 * std::cos((seconds + 100) * std::log(o + 2) * 0.01);
        return;
    default:
        *u = a;
        *v = b;
        return;
    }
}

void efxRenderMeshLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 3, "3 params needed"))
        return;
    RenderMeshVars *vars = newSectionVars<RenderMeshVars>();
    const int last = RENDER_MESH_SIZE - 1;
    for (int i = 0; i < RENDER_MESH_SIZE; i++) {
        for (int j = 0; j < RENDER_MESH_SIZE; j++) {
            GridPoint &point = vars->points[i * RENDER_MESH_SIZE + j];
            point.x = 0.05f * i;
            point.y = 0.05f * j;
        }
    }
    // The border lies beyond the window, so no edge pixel is missed.
    for (int n = 0; n < RENDER_MESH_SIZE; n++) {
        vars->points[n * RENDER_MESH_SIZE].y = -0.05f;
        vars->points[n * RENDER_MESH_SIZE + last].y = 1.05f;
        vars->points[n].x = -0.05f;
        vars->points[last * RENDER_MESH_SIZE + n].x = 1.05f;
    }
    vars->mode = wholeUnits(section->param[0]);
    vars->alphaStart = section->param[1];
    vars->alphaEnd = section->param[2];
}

void efxRenderMeshExec()
{
    RenderMeshVars *vars = static_cast<RenderMeshVars *>(currentSection->vars);
    if (!vars)
        return;
    const double seconds = currentSection->elapsed, bpm = demoSystem.bpm;
    for (int i = 0; i < RENDER_MESH_SIZE; i++) {
        for (int j = 0; j < RENDER_MESH_SIZE; j++) {
            double u, v;
            renderMeshCoordinate(vars->mode, i, j, seconds, bpm, &u, &v);
            GridPoint &point = vars->points[i * RENDER_MESH_SIZE + j];
            point.u = toFloat(u * glConfig.rttScaleU);
            point.v = toFloat(v * glConfig.rttScaleV);
        }
    }
    screen_copy(fbos.screenTexture);
    glDisable(GL_DEPTH_TEST);
    section_blend_begin();
    ortho_begin();
    glColor4f(1, 1, 1, sectionLerp(vars->alphaStart, vars->alphaEnd));
    drawGridQuads(vars->points, RENDER_MESH_SIZE);
    ortho_end();
    section_blend_end();
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// efxRenderMesh2: texture coordinates from a formula of each point's
// position (x, y from -1 to 1, its distance r from the centre and its angle
// p = arctan(y / x)), and a colour from a second formula.

static const char *const colourNames[COLOUR_CHANNELS] = {"red", "green", "blue", "alpha"};

void efxRenderMesh2Load()
{
    const Section *section = currentSection;
    if (!requireCount(section->stringNum, 2,
                      "2 strings needed (equation for deformation and RGBA variation)"))
        return;
    RenderMesh2Vars *vars = newSectionVars<RenderMesh2Vars>();
    for (int i = 0; i < RENDER_MESH2_SIZE; i++) {
        for (int j = 0; j < RENDER_MESH2_SIZE; j++) {
            GridPoint &point = vars->points[i * RENDER_MESH2_SIZE + j];
            point.x = static_cast<float>(0.05 * j - 1.0);
            point.y = static_cast<float>(1.0 - 0.05 * i);
        }
    }
    initSectionFormula(&vars->deformation, 0, 1);
    initSectionFormula(&vars->colouring, 1, 1);
    DeformationBindings &inputs = vars->inputs;
    ExprDriver *deformation = &vars->deformation;
    inputs = {driverVariable(deformation, "x"), driverVariable(deformation, "y"),
              driverVariable(deformation, "r"), driverVariable(deformation, "p"),
              driverVariable(deformation, "u"), driverVariable(deformation, "v")};
    for (int c = 0; c < COLOUR_CHANNELS; c++) {
        vars->colour[c] = 1.0;
        vars->colourOutputs[c] = driverVariable(&vars->colouring, colourNames[c]);
    }
}

// The angle of (x, y) as arctan(y / x), from -pi/2 to pi/2: +-pi/2 on the
// y axis, and not a number at the centre, where no direction exists. The
// quotient's infinity is taken without dividing by zero.
static double pointAngle(double x, double y)
{
    if (x != 0.0)
        return std::atan(y / x);
    if (y == 0.0)
        return NAN;
    return y > 0.0 ? M_PI / 2 : -M_PI / 2;
}

// Texture coordinates of every point from the deformation formula, one
// evaluation per point. A formula that never assigns u or v leaves the copy
// undistorted in that direction. A failing formula is reported once a
// frame.
static void deformationCoordinates(RenderMesh2Vars *vars)
{
    ExprDriver *formula = &vars->deformation;
    const DeformationBindings &bound = vars->inputs;
    if (!bound.x) {
        sectionError("efxRenderMesh2: Expression Evaluation Error for deformation (%d)",
                     evaluateDriver(formula));
        return;
    }
    bool reported = false;
    for (GridPoint &point : vars->points) {
        updateEngineVariables(formula);
        const double x = point.x, y = point.y;
        *bound.x = x;
        *bound.y = y;
        *bound.r = std::sqrt(x * x + y * y);
        *bound.p = pointAngle(x, y);
        *bound.u = (x + 1.0) / 2.0;
        *bound.v = (y + 1.0) / 2.0;
        int code = evaluateDriver(formula);
        if (code != EXPR_OK && !reported) {
            sectionError("efxRenderMesh2: Expression Evaluation Error for deformation (%d)", code);
            reported = true;
        }
        point.u = toFloat(*bound.u * glConfig.rttScaleU);
        point.v = toFloat(*bound.v * glConfig.rttScaleV);
    }
}

// The colour formula's red, green, blue and alpha; one it never assigns
// keeps its value (1 at first).
static void evaluateColour(RenderMesh2Vars *vars)
{
    ExprDriver *formula = &vars->colouring;
    updateEngineVariables(formula);
    for (int c = 0; c < COLOUR_CHANNELS; c++) {
        if (vars->colourOutputs[c])
            *vars->colourOutputs[c] = vars->colour[c];
    }
    int code = evaluateDriver(formula);
    if (code != EXPR_OK)
        sectionError("efxRenderMesh2: Expression Evaluation Error for RGBA (%d)", code);
    for (int c = 0; c < COLOUR_CHANNELS; c++) {
        if (vars->colourOutputs[c])
            vars->colour[c] = *vars->colourOutputs[c];
    }
}

// Debug runs with timing show the texture-coordinate field: every cell's
// four texture coordinates drawn as points.
static void drawCoordinateField(const RenderMesh2Vars *vars)
{
    if (!(demoSystem.debug && demoSystem.timing))
        return;
    const int size = RENDER_MESH2_SIZE;
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_POINTS);
    for (int i = 0; i + 1 < size; i++) {
        for (int j = 0; j + 1 < size; j++) {
            for (int corner : {i * size + j, (i + 1) * size + j, (i + 1) * size + j + 1,
                               i * size + j + 1})
                glVertex2f(vars->points[corner].u, vars->points[corner].v);
        }
    }
    glEnd();
    glEnable(GL_TEXTURE_2D);
}

void efxRenderMesh2Exec()
{
    RenderMesh2Vars *vars = static_cast<RenderMesh2Vars *>(currentSection->vars);
    if (!vars)
        return;
    screen_copy(fbos.screenTexture);
    deformationCoordinates(vars);
    glDisable(GL_DEPTH_TEST);
    section_blend_begin();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    evaluateColour(vars);
    glColor4d(vars->colour[COLOUR_RED], vars->colour[COLOUR_GREEN], vars->colour[COLOUR_BLUE],
              vars->colour[COLOUR_ALPHA]);
    drawGridQuads(vars->points, RENDER_MESH2_SIZE);
    section_blend_end();
    drawCoordinateField(vars);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_DEPTH_TEST);
}

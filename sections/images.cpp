// Image layers: each type loads its picture and builds its quad at load
// time, and draws it every frame with its own placement.
#include "sections/images.h"

#include <GL/gl.h>
#include <SDL/SDL_keysym.h>

#include <algorithm>
#include <cstdint>

#include "expr/driver.h"
#include "graphics/draw2d.h"
#include "graphics/fbo.h"
#include "graphics/spline.h"
#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/section.h"
#include "sections/section_vars.h"

// A quad drawn in a 2D view with float corners, the picture upright.
struct FlatQuad {
    float corners[IMAGE_CORNERS][2];      // x, y from the bottom-left, counter-clockwise
    float texCoords[IMAGE_CORNERS][2];    // u, v
};

struct BackgroundVars {
    FlatQuad quad;             // the unit square of ortho_begin
    int texture;
};

struct ImageVars {
    ImageQuad quad;
    int texture;
};

struct Image2Vars {
    ImageQuad quad;            // rebuilt every frame from the formula's w and h
    int texture;
    ExprDriver formula;
};

struct Image2DVars {
    FlatQuad quad;             // one unit high, centred
    int texture;
    // Keyboard placement, kept across frames and runs of the section.
    float scaleX, scaleY;
    float rotation;            // degrees
    float translateX, translateY;
};

// The offsets the tweak keys add to the step spline's channels, in channel
// order; the digit keys '1' to '9' move them in this order.
enum TweakOffset {
    TWEAK_SCALE_X, TWEAK_SCALE_Y, TWEAK_SCALE_Z,
    TWEAK_ROTATE_X, TWEAK_ROTATE_Y, TWEAK_ROTATE_Z,
    TWEAK_TRANSLATE_X, TWEAK_TRANSLATE_Y, TWEAK_TRANSLATE_Z,
    TWEAK_COUNT
};

struct ImageMatrixVars {
    ImageQuad quad;
    int texture;
    uint8_t tweak;             // param[4] == 1: debug runs let the keys move the step
    float offsets[TWEAK_COUNT];
};

struct ImagePartVars {
    ImageQuad left, right;     // the revealed part and the stretched column after it
    int texture;
    GLenum wrapS, wrapT;
    float startFraction, endFraction;   // revealed fraction of the width at start and end
};

// Channels of the spline that places image and imagePart: scale, rotation
// (degrees) and translation, each x, y, z.
enum { PLACEMENT_CHANNELS = 9 };

// A texture flag word that leaves a newly loaded texture's flags as they are.
static const int KEEP_FLAGS = -1;

// ---------------------------------------------------------------------------
// Quads

void image_quad_init(ImageQuad *quad, int texture, int width, int height)
{
    const double w = width, h = height;
    quad->texture = texture;
    quad->corners[IMAGE_TOP_LEFT] = {0.01, 0.01, -w / 2, h / 2, 0};
    quad->corners[IMAGE_TOP_RIGHT] = {0.99, 0.01, w / 2, h / 2, 0};
    quad->corners[IMAGE_BOTTOM_RIGHT] = {0.99, 0.99, w / 2, -h / 2, 0};
    quad->corners[IMAGE_BOTTOM_LEFT] = {0.01, 0.99, -w / 2, -h / 2, 0};
}

void image_quad_draw(const ImageQuad *quad)
{
    tex_bind(quad->texture);
    glBegin(GL_QUADS);
    for (const ImageCorner &corner : quad->corners) {
        glTexCoord2d(corner.u, corner.v);
        glVertex3d(corner.x, corner.y, corner.z);
    }
    glEnd();
}

// The rectangle from (left, bottom) to (right, top) showing the whole
// picture upright.
static void flatQuadInit(FlatQuad *quad, float left, float bottom, float right, float top)
{
    const float corners[IMAGE_CORNERS][2] = {{left, bottom}, {right, bottom}, {right, top}, {left, top}};
    const float texCoords[IMAGE_CORNERS][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    std::copy(&corners[0][0], &corners[0][0] + 2 * IMAGE_CORNERS, &quad->corners[0][0]);
    std::copy(&texCoords[0][0], &texCoords[0][0] + 2 * IMAGE_CORNERS, &quad->texCoords[0][0]);
}

static void flatQuadDraw(const FlatQuad *quad, int texture)
{
    tex_bind(texture);
    glBegin(GL_QUADS);
    for (int i = 0; i < IMAGE_CORNERS; i++) {
        glTexCoord2f(quad->texCoords[i][0], quad->texCoords[i][1]);
        glVertex2f(quad->corners[i][0], quad->corners[i][1]);
    }
    glEnd();
}

// ---------------------------------------------------------------------------
// Pictures

// Loads and uploads the section's image file (shared with every section
// that names the same file), giving it `flags` first unless KEEP_FLAGS.
static int loadPicture(int flags)
{
    int texture = tex_load(currentSection->strings[0], 1);
    if (flags != KEEP_FLAGS)
        tex_properties(texture, flags);
    tex_upload(texture, 1);
    return texture;
}

// image and image2: exactly two params whose first is 1 select the capture
// buffer named by the second; otherwise the image file is shown.
static int imagePicture()
{
    const Section *section = currentSection;
    if (section->paramNum == 2 && section->param[0] == 1.0f)
        return captureBuffer(section->param[1]);
    return loadPicture(KEEP_FLAGS);
}

// A quad of the picture's size, as its file had it or after reduction to
// the detail limit; an empty one when the picture failed to load.
static void pictureQuadInit(ImageQuad *quad, int texture, bool fileSize)
{
    const Texture *picture = tex_get(texture);
    if (!picture)
        image_quad_init(quad, texture, 0, 0);
    else if (fileSize)
        image_quad_init(quad, texture, picture->fileWidth, picture->fileHeight);
    else
        image_quad_init(quad, texture, picture->width, picture->height);
}

// The section's private data when it has a picture to draw. A section whose
// load reported an error has no data or no texture, and debug runs go on
// past such errors, so every exec asks first.
template <typename Vars>
static Vars *drawableVars()
{
    Vars *vars = static_cast<Vars *>(currentSection->vars);
    return vars && tex_get(vars->texture) ? vars : nullptr;
}

// ---------------------------------------------------------------------------
// Validation

// Reports `message` when `count` exceeds `limit`.
static bool countAtMost(int count, int limit, const char *message)
{
    if (count <= limit)
        return true;
    sectionError("%s", message);
    return false;
}

// ---------------------------------------------------------------------------
// Placement

// Opens the section's blend/alpha bracket around a placement of its own in
// the current (camera) view.
static void beginPlacement()
{
    blendAlphaBegin(currentSection);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
}

static void endPlacement()
{
    glPopMatrix();
    blendAlphaEnd(currentSection);
}

void splinePlacement(int index)
{
    float v[MAX_SPLINE_CHANNELS] = {};
    sectionSpline(index, currentSection->elapsed, v);
    glScalef(v[0], v[1], v[2]);
    glRotatef(v[3], 1, 0, 0);
    glRotatef(v[4], 0, 1, 0);
    glRotatef(v[5], 0, 0, 1);
    glTranslatef(v[6], v[7], v[8]);
}

// ---------------------------------------------------------------------------
// background: the picture over the whole drawing rectangle.

void backgroundLoad()
{
    if (!requireCount(currentSection->stringNum, 1, "1 string needed"))
        return;
    BackgroundVars *vars = newSectionVars<BackgroundVars>();
    vars->texture = loadPicture(TEX_CLAMP);
    flatQuadInit(&vars->quad, 0, 0, 1, 1);
}

void backgroundExec()
{
    const BackgroundVars *vars = drawableVars<const BackgroundVars>();
    if (!vars)
        return;
    glDisable(GL_DEPTH_TEST);
    blendAlphaBegin(currentSection);
    ortho_begin();
    flatQuadDraw(&vars->quad, vars->texture);
    ortho_end();
    blendAlphaEnd(currentSection);
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// image: placed by a spline in the camera's view, one unit per texel.

void imageLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->stringNum, 1, "image: 1 string needed") ||
        !requireCount(section->splineNum, 1, "image: 1 spline needed"))
        return;
    ImageVars *vars = newSectionVars<ImageVars>();
    vars->texture = imagePicture();
    pictureQuadInit(&vars->quad, vars->texture, false);
}

void imageExec()
{
    const ImageVars *vars = drawableVars<const ImageVars>();
    if (!vars)
        return;
    glDisable(GL_DEPTH_TEST);
    beginPlacement();
    splinePlacement(0);
    tex_properties(vars->texture, TEX_NO_MIPMAPS);
    image_quad_draw(&vars->quad);
    endPlacement();
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// image2: placed and sized by a formula, depth-tested against the scene.

void image2Load()
{
    const Section *section = currentSection;
    if (!requireCount(section->stringNum, 5, "image2: 5 strings needed") ||
        !countAtMost(section->paramNum, 2, "image2: up to 2 params needed"))
        return;
    Image2Vars *vars = newSectionVars<Image2Vars>();
    vars->texture = imagePicture();
    pictureQuadInit(&vars->quad, vars->texture, false);
    // Without a picture the section never draws, so it needs no formula.
    if (tex_get(vars->texture))
        initSectionFormula(&vars->formula, 1, 4);
}

static void setFormulaInput(ExprDriver *driver, const char *name, double value)
{
    if (double *variable = driverVariable(driver, name))
        *variable = value;
}

void image2Exec()
{
    Image2Vars *vars = drawableVars<Image2Vars>();
    if (!vars)
        return;
    const Texture *picture = tex_get(vars->texture);
    ExprDriver *formula = &vars->formula;
    setFormulaInput(formula, "w0", picture->width);
    setFormulaInput(formula, "h0", picture->height);
    beginPlacement();
    place_object(formula);
    // A formula that never sizes the picture keeps the texture's size.
    image_quad_init(&vars->quad, vars->texture,
                    wholeUnits(formulaValue(formula, "w", picture->width)),
                    wholeUnits(formulaValue(formula, "h", picture->height)));
    tex_properties(vars->texture, TEX_NO_MIPMAPS);
    image_quad_draw(&vars->quad);
    endPlacement();
}

// ---------------------------------------------------------------------------
// image2D: a 2D view two units high, placed by a spline or the keyboard.

void image2DLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->stringNum, 1, "1 string needed"))
        return;
    if (section->splineNum > 1) {
        sectionError("Found %i splines, but only needed 1", section->splineNum);
        return;
    }
    Image2DVars *vars = newSectionVars<Image2DVars>();
    vars->scaleX = vars->scaleY = 1.0f;
    vars->texture = loadPicture(TEX_NO_MIPMAPS);
    const Texture *picture = tex_get(vars->texture);
    float aspect = picture && picture->fileHeight > 0
                       ? static_cast<float>(picture->fileWidth) / picture->fileHeight
                       : 1.0f;
    flatQuadInit(&vars->quad, -aspect / 2, -0.5f, aspect / 2, 0.5f);
}

// The keys move, turn and scale the picture while held, in steps of five
// pixels, one degree and one percent; 'r' puts it back and 'c' prints the
// placement once per press, for copying into a spline.
static void keyboardPlacement(Image2DVars *vars)
{
    int32_t *keys = demoSystem.keys;
    float stepY = 5.0f / (glConfig.vpHeight * vars->scaleY);
    float stepX = 5.0f / (glConfig.vpWidth * vars->scaleX);
    if (keys[SDLK_h])
        vars->translateY += stepY;
    if (keys[SDLK_n])
        vars->translateY -= stepY;
    if (keys[SDLK_b])
        vars->translateX -= stepX;
    if (keys[SDLK_m])
        vars->translateX += stepX;
    if (keys[SDLK_i])
        vars->rotation += 1.0f;
    if (keys[SDLK_k])
        vars->rotation -= 1.0f;
    if (keys[SDLK_u]) {
        vars->scaleX += 0.01f;
        vars->scaleY += 0.01f;
    }
    if (keys[SDLK_j]) {
        vars->scaleX -= 0.01f;
        vars->scaleY -= 0.01f;
    }
    if (keys[SDLK_r]) {
        vars->scaleX = vars->scaleY = 1.0f;
        vars->rotation = vars->translateX = vars->translateY = 0.0f;
    }
    if (keys[SDLK_c]) {
        engineOutput("%f %f %f %f %f\n", vars->scaleX, vars->scaleY, vars->rotation,
                     vars->translateX, vars->translateY);
        keys[SDLK_c] = 0;
    }
}

// Spline channels: scale x, scale y, rotation, translation x, y.
static void image2DPlacement(Image2DVars *vars)
{
    if (currentSection->splineNum >= 1) {
        float v[MAX_SPLINE_CHANNELS] = {};
        sectionSpline(0, currentSection->elapsed, v);
        glTranslatef(v[3], v[4], 0);
        glRotatef(v[2], 0, 0, 1);
        glScalef(v[0], v[1], 0);
        return;
    }
    keyboardPlacement(vars);
    glTranslatef(vars->translateX, vars->translateY, 0);
    glRotatef(vars->rotation, 0, 0, 1);
    glScalef(vars->scaleX, vars->scaleY, 0);
}

void image2DExec()
{
    Image2DVars *vars = drawableVars<Image2DVars>();
    if (!vars)
        return;
    glDisable(GL_DEPTH_TEST);
    blendAlphaBegin(currentSection);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-glConfig.aspectRatio, glConfig.aspectRatio, -1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    image2DPlacement(vars);
    flatQuadDraw(&vars->quad, vars->texture);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    blendAlphaEnd(currentSection);
    glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// imageMatrix: copies of the picture, each one step further than the last.

enum ImageSource { SOURCE_FILE = 0, SOURCE_CAPTURE_BUFFER = 1 };

void imageMatrixLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 5, "imageMatrix: 5 params needed") ||
        !requireCount(section->stringNum, 1, "imageMatrix: 1 string needed") ||
        !requireCount(section->splineNum, 2, "imageMatrix: 2 splines needed"))
        return;
    ImageMatrixVars *vars = newSectionVars<ImageMatrixVars>();
    vars->texture = -1;
    if (section->param[1] == SOURCE_FILE) {
        vars->texture = loadPicture(TEX_NO_MIPMAPS | TEX_CLAMP);
        pictureQuadInit(&vars->quad, vars->texture, true);
    } else if (section->param[1] == SOURCE_CAPTURE_BUFFER) {
        vars->texture = captureBuffer(section->param[2]);
        pictureQuadInit(&vars->quad, vars->texture, false);
    } else {
        sectionError("imageMatrix: Invalid value for texture or buffer usage selection");
    }
    vars->tweak = section->param[4] == 1.0f;
}

// A capture buffer is larger than a frame: show only the part one frame
// fills.
static void frameTexCoords(ImageMatrixVars *vars)
{
    const Texture *buffer = tex_get(vars->texture);
    ImageCorner *corners = vars->quad.corners;
    corners[IMAGE_TOP_RIGHT].u = corners[IMAGE_BOTTOM_RIGHT].u =
        static_cast<double>(glConfig.vpWidth) / buffer->width;
    corners[IMAGE_BOTTOM_RIGHT].v = corners[IMAGE_BOTTOM_LEFT].v =
        static_cast<double>(glConfig.vpHeight) / buffer->height;
}

// Digit keys choose an offset, 'q' raises and 'a' lowers it, 'r' clears
// all. Without left Alt one press of 'q' or 'a' counts once; with it held
// the offsets move on every step.
static void tweakKeys(ImageMatrixVars *vars)
{
    int32_t *keys = demoSystem.keys;
    for (int i = 0; i < TWEAK_COUNT; i++) {
        if (!keys[SDLK_1 + i])
            continue;
        float step = i < TWEAK_ROTATE_X ? 0.1f : 0.5f;
        if (keys[SDLK_q])
            vars->offsets[i] += step;
        else if (keys[SDLK_a])
            vars->offsets[i] -= step;
    }
    if (keys[SDLK_r])
        std::fill(vars->offsets, vars->offsets + TWEAK_COUNT, 0.0f);
    if (!keys[SDLK_LALT])
        keys[SDLK_q] = keys[SDLK_a] = 0;
}

// Multiplies on the placement of spline 0 (the first copy) or of spline 1
// (from one copy to the next, with the tweak offsets): translation, then
// rotation, then scale.
static void matrixStep(ImageMatrixVars *vars, int spline)
{
    const Section *section = currentSection;
    if (section->param[1] == SOURCE_CAPTURE_BUFFER)
        frameTexCoords(vars);
    const bool tweaking = demoSystem.debug && vars->tweak;
    if (tweaking)
        tweakKeys(vars);
    float v[MAX_SPLINE_CHANNELS] = {};
    sectionSpline(spline, section->elapsed, v);
    if (spline == 1) {
        for (int i = 0; i < TWEAK_COUNT; i++)
            v[i] += vars->offsets[i];
    }
    glTranslatef(v[6], v[7], v[8]);
    glRotatef(v[3], 1, 0, 0);
    glRotatef(v[4], 0, 1, 0);
    glRotatef(v[5], 0, 0, 1);
    glScalef(v[0], v[1], v[2]);
    if (spline == 1 && tweaking && demoSystem.keys[SDLK_d]) {
        engineOutput(";ScaleX ScaleY ScaleZ RotateX RotateY RotateZ TranslateX TranslateY TranslateZ\n");
        engineOutput("%f %f %f %f %f %f %f %f %F\n", v[0], v[1], v[2], v[3], v[4], v[5], v[6],
                     v[7], v[8]);
        demoSystem.keys[SDLK_d] = 0;
    }
}

void imageMatrixExec()
{
    ImageMatrixVars *vars = drawableVars<ImageMatrixVars>();
    if (!vars)
        return;
    const Section *section = currentSection;
    const bool overlay = section->param[3] == 1.0f;
    if (overlay)
        glDisable(GL_DEPTH_TEST);
    // Blending only: this type has no alpha test.
    if (section->blendEnabled) {
        glEnable(GL_BLEND);
        glBlendFunc(section->sfactor, section->dfactor);
    }
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    matrixStep(vars, 0);
    // A double counter keeps counting where a float one would stall at 2^24
    // and never reach a large copy count.
    for (double copy = 0; copy < section->param[0]; copy++) {
        axes_marker();
        image_quad_draw(&vars->quad);
        matrixStep(vars, 1);
    }
    glPopMatrix();
    if (section->blendEnabled)
        glDisable(GL_BLEND);
    if (overlay)
        glEnable(GL_DEPTH_TEST);
}

// ---------------------------------------------------------------------------
// imagePart: the picture revealed from its left edge up to a fraction that
// moves over the section's time; the rest of its area repeats the texel
// column at the fraction.

void imagePartLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 2, "2 params needed") ||
        !requireCount(section->stringNum, 1, "1 string needed") ||
        !requireCount(section->splineNum, 1, "1 spline needed"))
        return;
    ImagePartVars *vars = newSectionVars<ImagePartVars>();
    vars->texture = loadPicture(TEX_CLAMP);
    vars->wrapS = vars->wrapT = tex_flag_wrap(TEX_CLAMP);
    vars->startFraction = section->param[0];
    vars->endFraction = section->param[1];
    pictureQuadInit(&vars->left, vars->texture, true);
    pictureQuadInit(&vars->right, vars->texture, true);
}

// Splits the picture's area at fraction f of its width: the left quad shows
// the picture up to f, the right one stretches the column at f.
static void splitAt(ImagePartVars *vars, double f, int fileWidth)
{
    const double s = (f - 0.5) * fileWidth;
    ImageCorner *left = vars->left.corners, *right = vars->right.corners;
    left[IMAGE_TOP_RIGHT].x = left[IMAGE_BOTTOM_RIGHT].x = s;
    right[IMAGE_TOP_LEFT].x = right[IMAGE_BOTTOM_LEFT].x = s;
    const double leftUV[IMAGE_CORNERS][2] = {{0, 0}, {f, 0}, {f, 1}, {0, 1}};
    const double rightUV[IMAGE_CORNERS][2] = {{f, 0}, {f, 0}, {f, 1}, {f, 1}};
    for (int i = 0; i < IMAGE_CORNERS; i++) {
        left[i].u = leftUV[i][0];
        left[i].v = leftUV[i][1];
        right[i].u = rightUV[i][0];
        right[i].v = rightUV[i][1];
    }
}

void imagePartExec()
{
    ImagePartVars *vars = drawableVars<ImagePartVars>();
    if (!vars)
        return;
    const Section *section = currentSection;
    const double f = vars->startFraction +
                     (vars->endFraction - vars->startFraction) / section->duration * section->elapsed;
    glDisable(GL_DEPTH_TEST);
    beginPlacement();
    splinePlacement(0);
    splitAt(vars, f, tex_get(vars->texture)->fileWidth);
    tex_bind(vars->texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, vars->wrapS);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, vars->wrapT);
    image_quad_draw(&vars->left);
    image_quad_draw(&vars->right);
    glPopMatrix();
    axes_marker();
    blendAlphaEnd(section);
    glEnable(GL_DEPTH_TEST);
}

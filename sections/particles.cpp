// Particle and ray sections: each builds its system (emitters and three
// formulas) at load and runs a frame of it in every exec; the lightning
// bolts of `ray` are drawn directly as glowing line segments.
#include "sections/particles.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "expr/driver.h"
#include "graphics/fbo.h"
#include "graphics/particles.h"
#include "graphics/spline.h"
#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/log.h"
#include "kernel/section.h"
#include "models/layers.h"
#include "models/model.h"
#include "sections/section_vars.h"

struct ParticleMatrix2Vars {
    Model3ds *model;           // null when the file did not load
    ParticleSystem *system;
};

struct ParticleTex2Vars {
    ParticleSystem *system;
    int source;                // texture index of the picture or the capture buffer
    int threshold;             // brightness a pixel must exceed to emit
    int live;                  // 1: emitters from the capture buffer, every frame
    uint8_t *livePixels;       // live mode: the buffer read back, RGB rows bottom first
    int emitterCapacity;       // emitters the arrays have room for
};

struct RayVars {
    float start[3], end[3], colour[3];   // from the splines, every frame
    int segmentCount;
    float amplitude, lineWidth;
    uint8_t anchored;          // nonzero: the bolt ends exactly at the end point
    float regeneration;        // chance per bolt of new offsets, 0 to 1
    float *offsets;            // x, y, z per segment, owned
    int boltCount;
};

struct RayMatrixVars {
    Model3ds *startModel, *endModel;   // null when a file did not load
    RaySystem *system;
};

// Most segments one bolt may have; a count past it is refused at load.
enum { MAX_RAY_SEGMENTS = 65536 };

// The section's private data, or null when its load stopped at a check
// (debug runs go on past such errors, so every operation asks first).
template <typename Vars>
static Vars *sectionVars()
{
    return static_cast<Vars *>(currentSection->vars);
}

// ---------------------------------------------------------------------------
// Systems

// The formulas of a particle or ray section, from string `first` on: one
// string of generate formula, five of update formula, three of placement.
static void initSystemFormulas(ExprDriver *placement, ExprDriver *update, ExprDriver *generate,
                               int first)
{
    initSectionFormula(placement, first + 6, 3);
    initSectionFormula(update, first + 1, 5);
    initSectionFormula(generate, first, 1);
}

// A param's depth-off flag; 1 (no depth test) when the script gives fewer
// than two params.
static int depthOffParam()
{
    const Section *section = currentSection;
    return section->paramNum < 2 ? 1 : wholeUnits(section->param[1]);
}

// A particle system drawing with capture buffer `buffer`, whose sprites
// show the part of the buffer one frame fills.
static ParticleSystem *newParticleSystem(int buffer)
{
    ParticleSystem *ps = particle_system_new();
    ps->buffer = buffer;
    ps->texU = glConfig.rttScaleU;
    ps->texV = glConfig.rttScaleV;
    return ps;
}

// Arms the initial burst and empties the system: every start of the
// section begins with the burst alone.
static void restartParticles(ParticleSystem *ps)
{
    ps->firstBurst = 1;
    particles_clear(ps);
}

// One frame of the system in the current modelview space: emit, place,
// move and draw.
static void particleFrame(ParticleSystem *ps)
{
    updateEngineVariables(&ps->update);
    updateEngineVariables(&ps->generate);
    particles_generate(ps);
    place_object(&ps->placement);
    particles_update(ps);
    particles_draw(ps);
}

// Arrays of three doubles a point for `count` points, for positions and
// for colours, in place of the given ones.
static void resizePoints(int count, double **positions, double **colours)
{
    // Room for one point at least, so that no size is zero.
    const size_t bytes = static_cast<size_t>(std::max(count, 1)) * 3 * sizeof(double);
    double *newPositions = static_cast<double *>(realloc(*positions, bytes));
    double *newColours = newPositions ? static_cast<double *>(realloc(*colours, bytes)) : nullptr;
    if (!newPositions || !newColours) {
        engineError("Out of memory for %d emitters", count);
        abort();
    }
    *positions = newPositions;
    *colours = newColours;
}

// Room for `count` emitters, keeping arrays that are large enough.
static void reserveEmitters(ParticleSystem *ps, int count, int *capacity)
{
    if (count <= *capacity)
        return;
    resizePoints(count, &ps->emitterPositions, &ps->emitterColours);
    *capacity = count;
}

// The vertex positions of the first `meshLimit` meshes of a model, meshes
// and vertices in order, as new arrays of points and of their colours (all
// white); none without a model.
static int modelPoints(const Model3ds *model, int meshLimit, double **positions, double **colours)
{
    int count = 0;
    const int meshes = model ? std::min(model->meshCount, meshLimit) : 0;
    for (int m = 0; m < meshes; m++)
        count += model->meshes[m].vertexCount;
    *positions = *colours = nullptr;
    resizePoints(count, positions, colours);
    double *position = *positions, *colour = *colours;
    for (int m = 0; m < meshes; m++) {
        const ModelMesh &mesh = model->meshes[m];
        for (int v = 0; v < mesh.vertexCount; v++) {
            for (int axis = 0; axis < 3; axis++) {
                *position++ = mesh.vertices[v].position[axis];
                *colour++ = 1.0;
            }
        }
    }
    return count;
}

// A model shared with the other sections that name the same file; null
// after reporting "<type>: Error loading <file>".
static Model3ds *sectionModel(const char *type, const char *path)
{
    Model3ds *model = loadModel(path, 1);
    if (!model)
        sectionError("%s: Error loading %s", type, path);
    return model;
}

// Reports unless the section has at least `needed` params.
static bool paramsAtLeast(int needed, const char *message)
{
    if (currentSection->paramNum >= needed)
        return true;
    sectionError("%s", message);
    return false;
}

// ---------------------------------------------------------------------------
// particleMatrix2

void particleMatrix2Load()
{
    const Section *section = currentSection;
    if (!paramsAtLeast(1, "at least 1 param needed") ||
        !requireCount(section->stringNum, 10, "10 strings needed") ||
        !checkCaptureBuffer(section->param[0]))
        return;
    ParticleMatrix2Vars *vars = newSectionVars<ParticleMatrix2Vars>();
    ParticleSystem *ps = vars->system = newParticleSystem(wholeUnits(section->param[0]));
    vars->model = sectionModel("particleMatrix2", section->strings[0]);
    ps->depthOff = section->param[1] > 0 ? 1 : 0;
    ps->emitterCount = modelPoints(vars->model, vars->model ? vars->model->meshCount : 0,
                                   &ps->emitterPositions, &ps->emitterColours);
    initSystemFormulas(&ps->placement, &ps->update, &ps->generate, 1);
}

void particleMatrix2Init()
{
    if (ParticleMatrix2Vars *vars = sectionVars<ParticleMatrix2Vars>())
        restartParticles(vars->system);
}

void particleMatrix2Exec()
{
    ParticleMatrix2Vars *vars = sectionVars<ParticleMatrix2Vars>();
    if (!vars)
        return;
    blendAlphaBegin(currentSection);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    particleFrame(vars->system);
    glPopMatrix();
    blendAlphaEnd(currentSection);
}

void particleMatrix2End()
{
    if (ParticleMatrix2Vars *vars = sectionVars<ParticleMatrix2Vars>())
        particles_clear(vars->system);
}

// ---------------------------------------------------------------------------
// particleTex2

// A picture as the emitters see it: `height` rows of `width` pixels, the
// first row first, each pixel `components` bytes of which the first three
// are its colour.
struct EmitterPicture {
    const uint8_t *pixels;
    int width, height;
    int components;            // 3 or 4
    int redByte;               // 0 when the bytes are red first, 2 when blue first
};

static bool isBright(const uint8_t *pixel, int threshold)
{
    return (pixel[0] + pixel[1] + pixel[2]) / 3 > threshold;
}

// One emitter per pixel brighter than the threshold, row by row: centred
// and upright in image mode, at its pixel coordinates in live mode.
static void buildEmitters(ParticleSystem *ps, const EmitterPicture &picture, int threshold,
                          bool live, int *capacity)
{
    const size_t pixelCount = static_cast<size_t>(picture.width) * picture.height;
    int count = 0;
    for (size_t i = 0; i < pixelCount; i++)
        count += isBright(picture.pixels + i * picture.components, threshold);
    reserveEmitters(ps, count, capacity);
    int e = 0;
    for (int j = 0; j < picture.height; j++) {
        for (int k = 0; k < picture.width; k++) {
            const uint8_t *pixel =
                picture.pixels + (static_cast<size_t>(j) * picture.width + k) * picture.components;
            if (!isBright(pixel, threshold))
                continue;
            double *position = &ps->emitterPositions[3 * e];
            double *colour = &ps->emitterColours[3 * e];
            position[0] = live ? k : k - picture.width * 0.5;
            position[1] = live ? j : -(j - picture.height * 0.5);
            position[2] = 0;
            colour[0] = pixel[picture.redByte] / 255.0;
            colour[1] = pixel[1] / 255.0;
            colour[2] = pixel[2 - picture.redByte] / 255.0;
            e++;
        }
    }
    ps->emitterCount = count;
}

// The picture of a loaded image file, as its decoder left the bytes.
static bool filePicture(int texture, EmitterPicture *picture)
{
    const Texture *image = tex_get(texture);
    if (!image || !image->pixels || image->components < 3)
        return false;
    const bool blueFirst = image->format == GL_BGR_EXT || image->format == GL_BGRA_EXT;
    *picture = {image->pixels, image->width, image->height, image->components, blueFirst ? 2 : 0};
    return true;
}

void particleTex2Load()
{
    const Section *section = currentSection;
    if (!paramsAtLeast(3, "at least 3 params needed") ||
        !requireCount(section->stringNum, 10, "10 strings needed"))
        return;
    const bool live = section->param[3] > 0;
    if (!checkCaptureBuffer(section->param[0]) || (live && !checkCaptureBuffer(section->param[4])))
        return;
    ParticleTex2Vars *vars = newSectionVars<ParticleTex2Vars>();
    ParticleSystem *ps = vars->system = newParticleSystem(wholeUnits(section->param[0]));
    ps->depthOff = depthOffParam();
    vars->threshold = wholeUnits(section->param[2]);
    if (live) {
        vars->live = 1;
        vars->source = captureBuffer(section->param[4]);
        if (const Texture *buffer = tex_get(vars->source)) {
            // Read back as RGB: three bytes a pixel whatever the buffer holds.
            vars->livePixels = static_cast<uint8_t *>(
                calloc(static_cast<size_t>(buffer->width) * buffer->height, 3));
            if (!vars->livePixels) {
                engineError("Out of memory for a capture buffer copy");
                abort();
            }
        }
    } else {
        // A private entry, never uploaded: only its pixels are used.
        vars->source = tex_load(section->strings[0], 0);
        EmitterPicture picture;
        if (filePicture(vars->source, &picture))
            buildEmitters(ps, picture, vars->threshold, false, &vars->emitterCapacity);
    }
    initSystemFormulas(&ps->placement, &ps->update, &ps->generate, 1);
}

void particleTex2Init()
{
    if (ParticleTex2Vars *vars = sectionVars<ParticleTex2Vars>())
        restartParticles(vars->system);
}

void particleTex2End()
{
    if (ParticleTex2Vars *vars = sectionVars<ParticleTex2Vars>())
        particles_clear(vars->system);
}

// Live mode: this frame's emitters from the capture buffer as it is now.
static void readLiveEmitters(ParticleTex2Vars *vars)
{
    const Texture *buffer = tex_get(vars->source);
    if (!buffer || !vars->livePixels)
        return;
    tex_bind(vars->source);
    // Rows of three bytes are packed without padding, as the copy is sized.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, vars->livePixels);
    const EmitterPicture picture = {vars->livePixels, buffer->width, buffer->height, 3, 0};
    buildEmitters(vars->system, picture, vars->threshold, true, &vars->emitterCapacity);
}

void particleTex2Exec()
{
    ParticleTex2Vars *vars = sectionVars<ParticleTex2Vars>();
    if (!vars)
        return;
    blendAlphaBegin(currentSection);
    if (vars->live) {
        readLiveEmitters(vars);
        // One unit is one pixel of the capture buffer.
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0, glConfig.gl_rttWidth, 0, glConfig.gl_rttHeight, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
    } else {
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
    }
    particleFrame(vars->system);
    glPopMatrix();
    if (vars->live) {
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        // The emitters are rebuilt from the next frame's picture; the
        // arrays are kept for it.
        vars->system->emitterCount = 0;
    }
    blendAlphaEnd(currentSection);
}

// ---------------------------------------------------------------------------
// rayMatrix

void rayMatrixLoad()
{
    const Section *section = currentSection;
    if (!paramsAtLeast(1, "at least 1 param needed") ||
        !requireCount(section->stringNum, 11, "11 strings needed") ||
        !checkCaptureBuffer(section->param[0]))
        return;
    RayMatrixVars *vars = newSectionVars<RayMatrixVars>();
    RaySystem *rs = vars->system = ray_system_new();
    rs->buffer = wholeUnits(section->param[0]);
    vars->startModel = sectionModel("rayMatrix", section->strings[0]);
    vars->endModel = sectionModel("rayMatrix", section->strings[1]);
    rs->depthOff = depthOffParam();
    // Rays join the vertices of the first mesh of each model.
    rs->startCount = modelPoints(vars->startModel, 1, &rs->startPoints, &rs->startColours);
    rs->endCount = modelPoints(vars->endModel, 1, &rs->endPoints, &rs->endColours);
    initSystemFormulas(&rs->placement, &rs->update, &rs->generate, 2);
}

void rayMatrixInit()
{
    if (RayMatrixVars *vars = sectionVars<RayMatrixVars>()) {
        vars->system->firstBurst = 1;
        rays_clear(vars->system);
    }
}

void rayMatrixEnd()
{
    if (RayMatrixVars *vars = sectionVars<RayMatrixVars>())
        rays_clear(vars->system);
}

// Both models' vertices as 10-pixel points, untextured; the point size
// stays 10.
static void drawModelsAsPoints(const RayMatrixVars *vars)
{
    glDisable(GL_TEXTURE_2D);
    glPointSize(10);
    glPolygonMode(GL_FRONT_AND_BACK, GL_POINT);
    for (const Model3ds *model : {vars->startModel, vars->endModel}) {
        if (model)
            drawModelPolygons(model);
    }
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_TEXTURE_2D);
}

void rayMatrixExec()
{
    RayMatrixVars *vars = sectionVars<RayMatrixVars>();
    if (!vars)
        return;
    RaySystem *rs = vars->system;
    blendAlphaBegin(currentSection);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    updateEngineVariables(&rs->update);
    updateEngineVariables(&rs->generate);
    rays_generate(rs);
    place_object(&rs->placement);
    drawModelsAsPoints(vars);
    rays_update(rs);
    rays_draw(rs);
    glPopMatrix();
    blendAlphaEnd(currentSection);
}

// ---------------------------------------------------------------------------
// ray

// -1 or +1, from the parity of the next number of the generator.
static float randomSign()
{
    return mwc_random() % 2 ? -1.0f : 1.0f;
}

// An offset of up to `amplitude` (in `steps` thousandths of it) either way.
static float randomOffset(float amplitude, uint32_t steps)
{
    const float sign = randomSign();
    return static_cast<float>((mwc_random() % steps) * amplitude * sign * 0.001);
}

// New offsets of every segment from its straight course, up to the
// amplitude either way on each axis.
static void regenerateOffsets(RayVars *vars)
{
    for (int i = 0; i < vars->segmentCount; i++) {
        for (int axis = 0; axis < 3; axis++)
            vars->offsets[3 * i + axis] = randomOffset(vars->amplitude, 1000);
    }
}

void rayLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 2, "2 params needed") ||
        !requireCount(section->splineNum, 2, "2 splines needed"))
        return;
    const int segmentCount = wholeUnits(section->param[1]);
    if (segmentCount > MAX_RAY_SEGMENTS) {
        sectionError("more than %d segments", MAX_RAY_SEGMENTS);
        return;
    }
    RayVars *vars = newSectionVars<RayVars>();
    vars->anchored = static_cast<uint8_t>(wholeUnits(section->param[0]) & 0xff);
    vars->segmentCount = segmentCount;
    const size_t triples = segmentCount > 0 ? segmentCount + 1 : 1;
    vars->offsets = static_cast<float *>(calloc(triples * 3, sizeof(float)));
    if (!vars->offsets) {
        engineError("Out of memory for the segments of a ray");
        abort();
    }
    // No spline has been sampled yet: the amplitude is 0 and so are the
    // offsets, but the generator moves on as it will for every later set.
    regenerateOffsets(vars);
}

// Glow: lines from the widest and faintest down to the thinnest and most
// opaque, one pixel narrower each.
static void glowSegment(const RayVars *vars, const float *from, const float *to)
{
    const float width = vars->lineWidth;
    for (double k = 0; k < width; k++) {
        glLineWidth(static_cast<float>(width - k));
        glColor4f(vars->colour[0], vars->colour[1], vars->colour[2], static_cast<float>((k + 1) / width));
        glBegin(GL_LINES);
        glVertex3fv(from);
        glVertex3fv(to);
        glEnd();
    }
}

// One bolt from start to end: each segment's end moves by its offset,
// which wanders by a jitter every time it is drawn. Anchored bolts keep
// every joint on the straight line plus its offset and end exactly at the
// end point; free bolts add up steps and offsets from the start.
static void drawBolt(RayVars *vars)
{
    const int count = vars->segmentCount;
    float step[3], from[3], to[3];
    for (int axis = 0; axis < 3; axis++) {
        step[axis] = (vars->end[axis] - vars->start[axis]) / count;
        from[axis] = vars->start[axis];
    }
    for (int j = 1; j <= count; j++) {
        float *offset = &vars->offsets[3 * (j - 1)];
        for (int axis = 0; axis < 3; axis++)
            offset[axis] += randomOffset(vars->amplitude, 100);
        for (int axis = 0; axis < 3; axis++) {
            if (!vars->anchored)
                to[axis] = from[axis] + step[axis] + offset[axis];
            else if (j == count)
                to[axis] = vars->end[axis];
            else
                to[axis] = vars->start[axis] + (vars->end[axis] - vars->start[axis]) * j / count +
                           offset[axis];
        }
        glowSegment(vars, from, to);
        for (int axis = 0; axis < 3; axis++)
            from[axis] = to[axis];
    }
}

// Spline 0: start and end point, amplitude, line width, regeneration
// chance and bolt count; spline 1: the colour.
static void sampleBolt(RayVars *vars)
{
    const float elapsed = currentSection->elapsed;
    float v[MAX_SPLINE_CHANNELS] = {};
    sectionSpline(0, elapsed, v);
    for (int axis = 0; axis < 3; axis++) {
        vars->start[axis] = v[axis];
        vars->end[axis] = v[3 + axis];
    }
    vars->amplitude = v[6];
    vars->lineWidth = v[7];
    vars->regeneration = v[8];
    vars->boltCount = wholeUnits(v[9]);
    float c[MAX_SPLINE_CHANNELS] = {};
    sectionSpline(1, elapsed, c);
    for (int i = 0; i < 3; i++)
        vars->colour[i] = c[i];
}

// Additive glow, untextured; the section's own blend settings are not used.
void rayExec()
{
    RayVars *vars = sectionVars<RayVars>();
    if (!vars)
        return;
    sampleBolt(vars);
    glDisable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_BLEND);
    for (int bolt = 0; bolt < vars->boltCount; bolt++) {
        const uint32_t r = mwc_random() % 1000;
        if (vars->regeneration > r * 0.001)
            regenerateOffsets(vars);
        drawBolt(vars);
    }
    glLineWidth(1);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
}

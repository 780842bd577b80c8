// Particle and ray engines: emission from emitter points, one formula
// evaluation per element and frame, and drawing as sorted sprites or lines.
#include "graphics/particles.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "expr/expr.h"
#include "graphics/fbo.h"
#include "graphics/math.h"
#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/section.h"

// ---------------------------------------------------------------------------
// Memory

// An exhausted heap ends the program: a system cannot run on without its
// elements.
static void *checkedAllocation(void *memory)
{
    if (!memory) {
        engineError("Out of memory for particles or rays");
        abort();
    }
    return memory;
}

ParticleSystem *particle_system_new()
{
    ParticleSystem *ps = static_cast<ParticleSystem *>(checkedAllocation(calloc(1, sizeof(ParticleSystem))));
    ps->firstBurst = 1;
    return ps;
}

RaySystem *ray_system_new()
{
    RaySystem *rs = static_cast<RaySystem *>(checkedAllocation(calloc(1, sizeof(RaySystem))));
    rs->firstBurst = 1;
    return rs;
}

// The zero-filled slot of element `index` (the list's count before the
// append), taking a new block when the last one is full. Blocks are
// allocated once per ELEMENT_BLOCK elements, never per element.
static void *blockSlot(ElementBlocks *storage, int index, size_t elementSize)
{
    const int block = index / ELEMENT_BLOCK;
    if (block == storage->blockCount) {
        if (storage->blockCount == storage->blockCapacity) {
            int capacity = storage->blockCapacity ? storage->blockCapacity * 2 : 16;
            storage->blocks = static_cast<void **>(
                checkedAllocation(realloc(storage->blocks, capacity * sizeof(void *))));
            storage->blockCapacity = capacity;
        }
        storage->blocks[storage->blockCount++] = checkedAllocation(calloc(ELEMENT_BLOCK, elementSize));
    }
    return static_cast<char *>(storage->blocks[block]) + (index % ELEMENT_BLOCK) * elementSize;
}

static void freeBlocks(ElementBlocks *storage)
{
    for (int i = 0; i < storage->blockCount; i++)
        free(storage->blocks[i]);
    storage->blockCount = 0;
}

// A new zero-filled element at the end of a circular list in birth order.
template <typename Element>
static Element *appendElement(ElementBlocks *storage, Element **first, int32_t *count)
{
    Element *element = static_cast<Element *>(blockSlot(storage, *count, sizeof(Element)));
    if (!*first) {
        element->next = element->prev = element;
        *first = element;
    } else {
        Element *last = (*first)->prev;
        element->prev = last;
        element->next = *first;
        last->next = element;
        (*first)->prev = element;
    }
    (*count)++;
    return element;
}

Particle *particle_at(const ParticleSystem *ps, int n)
{
    if (n < 0 || n >= ps->particleCount)
        return nullptr;
    return static_cast<Particle *>(ps->storage.blocks[n / ELEMENT_BLOCK]) + n % ELEMENT_BLOCK;
}

void particles_clear(ParticleSystem *ps)
{
    freeBlocks(&ps->storage);
    ps->first = nullptr;
    ps->particleCount = 0;
}

void rays_clear(RaySystem *rs)
{
    freeBlocks(&rs->storage);
    rs->first = nullptr;
    rs->rayCount = 0;
}

// ---------------------------------------------------------------------------
// Formula outputs and inputs

static double sectionElapsed()
{
    return currentSection ? currentSection->elapsed : 0.0;
}

// The address of a variable the formula names, or null when it never does.
static double *formulaOutput(ExprDriver *driver, const char *name)
{
    double *address = nullptr;
    if (driver->variables && getValueAddress(driver->variables, name, &address) != EXPR_OK)
        address = nullptr;
    return address;
}

// An update output and the element field it is read into.
struct OutputField {
    const char *name;
    size_t offset;             // bytes into the element
};

#define PARTICLE_FIELD(name, field, k) {name, offsetof(Particle, field) + (k) * sizeof(double)}

static const OutputField particleOutputs[PARTICLE_OUTPUT_COUNT] = {
    PARTICLE_FIELD("red", colour, 0),    PARTICLE_FIELD("green", colour, 1),
    PARTICLE_FIELD("blue", colour, 2),   PARTICLE_FIELD("alpha", colour, 3),
    PARTICLE_FIELD("x", position, 0),    PARTICLE_FIELD("y", position, 1),
    PARTICLE_FIELD("z", position, 2),    PARTICLE_FIELD("rx", rotation, 0),
    PARTICLE_FIELD("ry", rotation, 1),   PARTICLE_FIELD("rz", rotation, 2),
    PARTICLE_FIELD("sx", scale, 0),      PARTICLE_FIELD("sy", scale, 1),
    PARTICLE_FIELD("sz", scale, 2),      PARTICLE_FIELD("size", size, 0),
    PARTICLE_FIELD("life", life, 0),     PARTICLE_FIELD("ratio", ratio, 0),
};

static const OutputField rayOutputs[] = {
    {"size", offsetof(Ray, size)},
    {"life", offsetof(Ray, life)},
};

// Inputs in the order they are written; `count` first, once per frame.
enum ParticleInput {
    IN_COUNT, IN_PX, IN_PY, IN_PZ, IN_PX0, IN_PY0, IN_PZ0, IN_R0, IN_G0, IN_B0, IN_N, IN_R, IN_AGE
};
static const char *const particleInputs[PARTICLE_INPUT_COUNT] = {
    "count", "px", "py", "pz", "px0", "py0", "pz0", "r0", "g0", "b0", "n", "r", "age",
};

enum RayInput { RAY_COUNT, RAY_SX, RAY_SY, RAY_SZ, RAY_DX, RAY_DY, RAY_DZ, RAY_N, RAY_AGE };
static const char *const rayInputs[] = {"count", "sx", "sy", "sz", "dx", "dy", "dz", "n", "age"};

// Binds once, by address: the outputs the formula has (looked up before
// any input is created, so that only the formula's own names count), then
// the inputs, which a driver without variables writes to scratch.
static void bindUpdate(ExprDriver *driver, UpdateBinding *binding, const char *const *inputs,
                       int inputCount, const OutputField *outputs, int outputCount)
{
    binding->outputCount = 0;
    for (int i = 0; i < outputCount; i++) {
        if (double *address = formulaOutput(driver, outputs[i].name)) {
            binding->outputs[binding->outputCount] = address;
            binding->outputFields[binding->outputCount++] = static_cast<uint32_t>(outputs[i].offset);
        }
    }
    for (int i = 0; i < inputCount; i++) {
        double *address = driverVariable(driver, inputs[i]);
        binding->inputs[i] = address ? address : &binding->scratch[i];
    }
    binding->bound = true;
}

// One evaluation of the update formula per element that is not dead (life
// >= 0) and already born (age >= 0), in list order; `writeInputs` sets the
// element's inputs, and the formula's outputs are read back into it.
template <typename Element, typename InputWriter>
static void updateElements(ExprDriver *driver, const UpdateBinding *binding, Element *first,
                           int count, const char *operation, InputWriter writeInputs)
{
    const double now = sectionElapsed();
    Element *element = first;
    for (int n = 0; n < count; n++, element = element->next) {
        const double age = now - element->birthTime;
        if (!(element->life >= 0 && age >= 0))
            continue;
        writeInputs(binding->inputs, element, n, age);
        int code = evaluateDriver(driver);
        if (code != EXPR_OK)
            sectionError("%s Expression evaluation Error (%d): %s", operation, code, driver->text);
        char *fields = reinterpret_cast<char *>(element);
        for (int i = 0; i < binding->outputCount; i++)
            *reinterpret_cast<double *>(fields + binding->outputFields[i]) = *binding->outputs[i];
    }
}

void particles_update(ParticleSystem *ps)
{
    if (ps->particleCount <= 0)
        return;
    UpdateBinding *binding = &ps->binding;
    if (!binding->bound)
        bindUpdate(&ps->update, binding, particleInputs, PARTICLE_INPUT_COUNT, particleOutputs,
                   PARTICLE_OUTPUT_COUNT);
    *binding->inputs[IN_COUNT] = ps->particleCount;
    updateElements(&ps->update, binding, ps->first, ps->particleCount,
                   "particleEngine:particles_update:",
                   [](double *const *in, const Particle *p, int n, double age) {
                       const double *at = p->position;
                       *in[IN_PX] = at[0];
                       *in[IN_PY] = at[1];
                       *in[IN_PZ] = at[2];
                       *in[IN_PX0] = p->birthPosition[0];
                       *in[IN_PY0] = p->birthPosition[1];
                       *in[IN_PZ0] = p->birthPosition[2];
                       *in[IN_R0] = p->birthColour[0];
                       *in[IN_G0] = p->birthColour[1];
                       *in[IN_B0] = p->birthColour[2];
                       *in[IN_N] = n;
                       *in[IN_R] = std::sqrt(at[0] * at[0] + at[1] * at[1] + at[2] * at[2]);
                       *in[IN_AGE] = age;
                   });
}

void rays_update(RaySystem *rs)
{
    if (rs->rayCount <= 0)
        return;
    UpdateBinding *binding = &rs->binding;
    if (!binding->bound)
        bindUpdate(&rs->update, binding, rayInputs, sizeof rayInputs / sizeof rayInputs[0],
                   rayOutputs, sizeof rayOutputs / sizeof rayOutputs[0]);
    *binding->inputs[RAY_COUNT] = rs->rayCount;
    updateElements(&rs->update, binding, rs->first, rs->rayCount, "ray:rays_update:",
                   [](double *const *in, const Ray *ray, int n, double age) {
                       *in[RAY_SX] = ray->start[0];
                       *in[RAY_SY] = ray->start[1];
                       *in[RAY_SZ] = ray->start[2];
                       *in[RAY_DX] = ray->end[0];
                       *in[RAY_DY] = ray->end[1];
                       *in[RAY_DZ] = ray->end[2];
                       *in[RAY_N] = n;
                       *in[RAY_AGE] = age;
                   });
}

// ---------------------------------------------------------------------------
// Emission

// How many elements to emit this frame: the initial burst on the first
// emission after a start, otherwise the rate times the seconds the demo
// advanced (none while paused), with the fraction left over carried to
// the next frame. A failed evaluation counts as a rate and burst of 0.
static int emissionCount(ExprDriver *generate, EmissionBinding *binding, const char *initialName,
                         int32_t *firstBurst, float *carry, int count, const char *operation,
                         const char *elementName)
{
    if (!binding->bound) {
        binding->rate = formulaOutput(generate, "rate");
        binding->initial = formulaOutput(generate, initialName);
        binding->bound = true;
    }
    double rate = 0, initial = 0;
    int code = evaluateDriver(generate);
    if (code != EXPR_OK) {
        sectionError("%s Expression evaluation Error (%d): %s", operation, code, generate->text);
    } else {
        rate = binding->rate ? *binding->rate : 0;
        initial = binding->initial ? *binding->initial : 0;
    }
    double n = *firstBurst ? initial : demoSystem.timeStep * rate;
    *firstBurst = 0;
    n += *carry;
    // A formula that yields no number (or an endless rate) emits nothing
    // rather than carrying a fraction that would poison every later frame.
    if (!std::isfinite(n)) {
        *carry = 0;
        return 0;
    }
    const int room = MAX_SYSTEM_ELEMENTS - count;
    if (n >= room + 1.0) {
        sectionError("%s more than %d %s in one system", operation, MAX_SYSTEM_ELEMENTS, elementName);
        *carry = 0;
        return room;
    }
    const double whole = std::trunc(n);
    *carry = static_cast<float>(n - whole);
    return n > 0 ? static_cast<int>(whole) : 0;
}

// An index from 0 to count - 1 from the formulas' 15-bit generator; sets
// of more than 32768 points take two draws so that every point is reached.
static int randomIndex(int count)
{
    long value = exprRandom();
    if (count > 32768)
        value = value * 32768 + exprRandom();
    return static_cast<int>(value % count);
}

static void copy3(double *to, const double *from)
{
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
}

void particles_generate(ParticleSystem *ps)
{
    const int k = emissionCount(&ps->generate, &ps->emission, "initialParticles", &ps->firstBurst,
                                &ps->carry, ps->particleCount, "particleEngine: particles_generate:",
                                "particles");
    if (ps->emitterCount <= 0)
        return;
    const double now = sectionElapsed();
    for (int i = 0; i < k; i++) {
        const int e = randomIndex(ps->emitterCount);
        Particle *p = appendElement(&ps->storage, &ps->first, &ps->particleCount);
        copy3(p->position, &ps->emitterPositions[3 * e]);
        copy3(p->birthPosition, &ps->emitterPositions[3 * e]);
        copy3(p->birthColour, &ps->emitterColours[3 * e]);
        p->birthTime = now;
        p->size = 1;
        p->life = 1;
    }
}

void rays_generate(RaySystem *rs)
{
    const int k = emissionCount(&rs->generate, &rs->emission, "initialRays", &rs->firstBurst,
                                &rs->carry, rs->rayCount, "ray:rays_generate:", "rays");
    // A ray needs both ends.
    if (rs->startCount <= 0 || rs->endCount <= 0)
        return;
    const double now = sectionElapsed();
    for (int i = 0; i < k; i++) {
        const int s = randomIndex(rs->startCount);
        const int d = randomIndex(rs->endCount);
        Ray *ray = appendElement(&rs->storage, &rs->first, &rs->rayCount);
        copy3(ray->start, &rs->startPoints[3 * s]);
        copy3(ray->end, &rs->endPoints[3 * d]);
        ray->birthTime = now;
        ray->size = 1;
        ray->life = 1;
    }
}

// ---------------------------------------------------------------------------
// Drawing

// The texture of capture buffer `buffer`, or -1 (nothing bound) for a
// number that names none of them.
static int bufferTexture(int buffer)
{
    return buffer >= 0 && buffer < RTT_BUFFER_COUNT ? fbos.rttBuffer[buffer] : -1;
}

// Binds the capture buffer in modulate mode and, when asked, turns the
// depth test off; drawEnd undoes both.
static void drawBegin(int texture, int depthOff)
{
    tex_properties(texture, TEX_MODULATE);
    tex_bind(texture);
    if (depthOff == 1)
        glDisable(GL_DEPTH_TEST);
}

static void drawEnd(int texture, int depthOff)
{
    tex_properties(texture, 0);
    if (depthOff == 1)
        glEnable(GL_DEPTH_TEST);
}

// Farthest is lowest eye z: the eye looks down -z.
int particles_depth_order(ParticleSystem *ps, const float *modelview)
{
    if (ps->depthCapacity < ps->particleCount) {
        int capacity = std::max(ps->particleCount, ps->depthCapacity * 2);
        ps->depthOrder = static_cast<DepthEntry *>(
            checkedAllocation(realloc(ps->depthOrder, capacity * sizeof(DepthEntry))));
        ps->depthCapacity = capacity;
    }
    int living = 0;
    const Particle *p = ps->first;
    for (int n = 0; n < ps->particleCount; n++, p = p->next) {
        if (!(p->life > 0))
            continue;
        Vector3 eye = {static_cast<float>(p->position[0]), static_cast<float>(p->position[1]),
                       static_cast<float>(p->position[2])};
        vec_transform(&eye, modelview);
        // A position that is not a number has no depth; it goes first so
        // that the comparison below stays a strict order.
        float depth = std::isnan(eye.z) ? -std::numeric_limits<float>::infinity() : eye.z;
        ps->depthOrder[living++] = {depth, n};
    }
    std::sort(ps->depthOrder, ps->depthOrder + living,
              [](const DepthEntry &a, const DepthEntry &b) { return a.depth < b.depth; });
    return living;
}

// The turn glRotated about X, then Y, then Z would apply, as a row-major
// 3 x 3 matrix, so that turned sprites need no matrix of their own and all
// sprites share one glBegin.
static void turnMatrix(const double *degrees, double *turn)
{
    double c[3], s[3];
    for (int axis = 0; axis < 3; axis++) {
        const double radians = degrees[axis] * (M_PI / 180.0);
        c[axis] = std::cos(radians);
        s[axis] = std::sin(radians);
    }
    // Rx * Ry * Rz
    const double m[9] = {
        c[1] * c[2],                       -c[1] * s[2],                      s[1],
        s[0] * s[1] * c[2] + c[0] * s[2],  -s[0] * s[1] * s[2] + c[0] * c[2], -s[0] * c[1],
        -c[0] * s[1] * c[2] + s[0] * s[2], c[0] * s[1] * s[2] + s[0] * c[2],  c[0] * c[1],
    };
    std::copy(m, m + 9, turn);
}

// One camera-facing quad around `at`: half-width `right`, half-height
// `up`, turned by `turn` (null: unturned) about the system's origin.
static void spriteQuad(const double *at, const double *right, const double *up, const double *turn,
                       float texU, float texV)
{
    const float texCoords[4][2] = {{0, texV}, {texU, texV}, {texU, 0}, {0, 0}};
    const double signs[4][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};
    for (int corner = 0; corner < 4; corner++) {
        double p[3];
        for (int axis = 0; axis < 3; axis++)
            p[axis] = at[axis] + signs[corner][0] * right[axis] + signs[corner][1] * up[axis];
        if (turn) {
            const double q[3] = {p[0], p[1], p[2]};
            for (int row = 0; row < 3; row++)
                p[row] = turn[3 * row] * q[0] + turn[3 * row + 1] * q[1] + turn[3 * row + 2] * q[2];
        }
        glTexCoord2f(texCoords[corner][0], texCoords[corner][1]);
        glVertex3d(p[0], p[1], p[2]);
    }
}

void particles_draw(ParticleSystem *ps)
{
    if (ps->particleCount <= 0)
        return;
    const int texture = bufferTexture(ps->buffer);
    drawBegin(texture, ps->depthOff);
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    const double right[3] = {m[0], m[4], m[8]};
    const double up[3] = {m[1], m[5], m[9]};
    const int living = particles_depth_order(ps, m);
    glBegin(GL_QUADS);
    for (int i = 0; i < living; i++) {
        const Particle *p = particle_at(ps, ps->depthOrder[i].index);
        double width;
        if (p->ratio > 0) {
            width = p->ratio * p->size;
            ps->texU = ps->texV = 1.0f;
        } else {
            width = p->size * glConfig.aspectRatio;
        }
        const double R[3] = {right[0] * width, right[1] * width, right[2] * width};
        const double U[3] = {up[0] * p->size, up[1] * p->size, up[2] * p->size};
        const double *degrees = p->rotation;
        double turn[9];
        const bool turned = degrees[0] != 0 || degrees[1] != 0 || degrees[2] != 0;
        if (turned)
            turnMatrix(degrees, turn);
        glColor4dv(p->colour);
        spriteQuad(p->position, R, U, turned ? turn : nullptr, ps->texU, ps->texV);
    }
    glEnd();
    drawEnd(texture, ps->depthOff);
}

void rays_draw(RaySystem *rs)
{
    if (rs->rayCount <= 0)
        return;
    const int texture = bufferTexture(rs->buffer);
    drawBegin(texture, rs->depthOff);
    // Rays of one width share one glBegin; the width cannot change inside.
    bool open = false;
    double width = 0;
    const Ray *ray = rs->first;
    for (int n = 0; n < rs->rayCount; n++, ray = ray->next) {
        if (!(ray->life > 0))
            continue;
        if (open && ray->size != width) {
            glEnd();
            open = false;
        }
        if (!open) {
            width = ray->size;
            glLineWidth(static_cast<float>(width));
            glBegin(GL_LINES);
            open = true;
        }
        glColor4f(1, 1, 1, 1);
        glVertex3d(ray->start[0], ray->start[1], ray->start[2]);
        glVertex3d(ray->end[0], ray->end[1], ray->end[2]);
    }
    if (open)
        glEnd();
    drawEnd(texture, rs->depthOff);
}

// ---------------------------------------------------------------------------
// Multiply-with-carry generator

static const uint32_t MWC_DEFAULT_Z = 521288629u;
static const uint32_t MWC_DEFAULT_W = 362436069u;

static uint32_t mwcZ = MWC_DEFAULT_Z;
static uint32_t mwcW = MWC_DEFAULT_W;

uint32_t mwc_random()
{
    mwcZ = 23553u * (mwcZ & 0xffffu) + (mwcZ >> 16);
    mwcW = 24699u * (mwcW & 0xffffu) + (mwcW >> 16);
    return (mwcZ << 16) + (mwcW & 0xffffu);
}

void mwc_seed(uint32_t z, uint32_t w)
{
    mwcZ = z ? z : MWC_DEFAULT_Z;
    mwcW = w ? w : MWC_DEFAULT_W;
}

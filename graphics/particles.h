// Particle and ray engines, and the multiply-with-carry generator they and
// some sections draw random numbers from.
//
// A particle system emits particles from a fixed set of emitter points at a
// rate its generate formula gives, moves, colours, sizes and ages each one
// with its update formula every frame, and draws the living ones as
// camera-facing sprites, back to front, textured with a capture buffer. A
// ray system does the same for line segments between two point sets. The
// owner sets the formula texts, runs initExpression on them and feeds them
// the engine variables each frame; the usual frame is generate,
// place_object(placement), update, draw.
#pragma once

#include <cstdint>

#include "expr/driver.h"

// Elements are kept in blocks of this many, appended in birth order and
// never removed while the system runs, so element n of the list lives in
// slot n % ELEMENT_BLOCK of block n / ELEMENT_BLOCK.
enum { ELEMENT_BLOCK = 4096 };

// Most elements one system holds (dead ones count); emission past it is a
// fatal error naming the limit.
enum { MAX_SYSTEM_ELEMENTS = 1 << 22 };

struct Particle {
    double birthPosition[3];   // emitter position at birth
    double birthColour[3];     // emitter colour at birth
    double position[3];        // in the system's coordinates
    double rotation[3];        // degrees about X, Y, Z, turning the sprite about the origin
    double scale[3];           // the formula's sx, sy, sz; kept, not drawn
    double colour[4];          // red, green, blue, alpha; 0 at birth
    double size;               // half-height of the sprite; 1 at birth
    double life;               // drawn while > 0, updated while >= 0; 1 at birth
    double birthTime;          // the owning section's elapsed seconds at birth
    Particle *next, *prev;     // circular list in birth order
    double ratio;              // > 0: sprite half-width = ratio * size
};

struct Ray {
    double start[3], end[3];
    Ray *next, *prev;          // circular list in birth order
    double size;               // line width; 1 at birth
    double life;               // drawn while > 0; 1 at birth
    double birthTime;
};

// Block storage of a system's list.
struct ElementBlocks {
    void **blocks;             // owned, each ELEMENT_BLOCK elements
    int32_t blockCount, blockCapacity;
};

// Addresses of the generate formula's two outputs, found once; null when
// the formula never names one (it then counts as 0).
struct EmissionBinding {
    bool bound;
    double *rate, *initial;
};

enum { PARTICLE_INPUT_COUNT = 13, PARTICLE_OUTPUT_COUNT = 16 };

// Where the update formula's inputs and outputs live, found once: inputs
// in input order (count, px ... age), and only the outputs the formula has,
// each with the offset of the element field it is read into.
struct UpdateBinding {
    bool bound;
    double *inputs[PARTICLE_INPUT_COUNT];
    int32_t outputCount;
    double *outputs[PARTICLE_OUTPUT_COUNT];
    uint32_t outputFields[PARTICLE_OUTPUT_COUNT]; // byte offsets into the element
    double scratch[PARTICLE_INPUT_COUNT];        // inputs of a driver without variables
};

// One living particle's eye-space depth, sorted farthest first.
struct DepthEntry {
    float depth;
    int32_t index;             // the particle's n
};

// Allocated zero-filled by particle_system_new and owned by its section.
struct ParticleSystem {
    double *emitterPositions;  // 3 per emitter, owned
    double *emitterColours;    // red, green, blue per emitter, owned
    int32_t emitterCount;
    Particle *first;           // null when empty
    int32_t particleCount;     // dead ones included
    int32_t depthOff;          // 1: no depth test while drawing
    ExprDriver placement, update, generate;
    float carry;               // fraction of a particle left from the last emission
    float texU, texV;          // upper texture coordinates of the sprites
    int32_t firstBurst;        // 1: the next emission uses initialParticles
    int32_t buffer;            // capture buffer 0 to 9 used as sprite texture
    // Written by the engine only:
    ElementBlocks storage;
    EmissionBinding emission;
    UpdateBinding binding;
    DepthEntry *depthOrder;    // reused from frame to frame
    int32_t depthCapacity;
};

struct RaySystem {
    double *startPoints, *startColours;   // 3 per point, owned; colours unused
    int32_t startCount;
    double *endPoints, *endColours;
    int32_t endCount;
    Ray *first;
    int32_t rayCount;          // dead ones included
    int32_t depthOff;
    ExprDriver placement, update, generate;
    float carry;
    int32_t firstBurst;        // 1: the next emission uses initialRays
    int32_t buffer;            // capture buffer bound while drawing
    // Written by the engine only:
    ElementBlocks storage;
    EmissionBinding emission;
    UpdateBinding binding;
};

// Zero-filled systems; a ray system starts with firstBurst 1, a particle
// system with firstBurst 1 as well. An exhausted heap ends the program.
ParticleSystem *particle_system_new();
RaySystem *ray_system_new();

// Emits this frame's share of the rate (or the initial burst) from
// randomly picked emitters.
void particles_generate(ParticleSystem *ps);
// Runs the update formula once per particle that is not dead.
void particles_update(ParticleSystem *ps);
// Draws the living particles as camera-facing quads, back to front.
void particles_draw(ParticleSystem *ps);
// The first step of drawing: fills ps->depthOrder with the living
// particles seen through `modelview` (column-major), farthest first, and
// returns how many there are.
int particles_depth_order(ParticleSystem *ps, const float *modelview);
// Frees every particle.
void particles_clear(ParticleSystem *ps);

void rays_generate(RaySystem *rs);
void rays_update(RaySystem *rs);
void rays_draw(RaySystem *rs);
void rays_clear(RaySystem *rs);

// The particle at list position n (0 for first), or null past the end.
Particle *particle_at(const ParticleSystem *ps, int n);

uint32_t mwc_random();

// A zero argument selects that state's default seed.
void mwc_seed(uint32_t z, uint32_t w);

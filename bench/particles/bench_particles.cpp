// Per-particle cost of the particle engine's frame for 1 000, 10 000 and
// 100 000 living particles running the particle formula of bench/expr:
// the update (inputs, evaluation, outputs), the depth sort and the draw
// submission, each in nanoseconds per particle, and the update's cost as a
// multiple of one bare evaluation of the same formula measured in the same
// run. Then the memory a system holds after emitting 1 000 000 particles.
//
// Drawing needs a window: run under a display (Xvfb will do); without one
// the draw column is left out. Run a build without sanitizers for
// meaningful numbers and memory.
#include <malloc.h>

#include <GL/gl.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <functional>

#include "bench/expr/particle_formula.h"
#include "expr/driver.h"
#include "graphics/particles.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/section.h"
#include "platform/platform.h"

static void quiet(PlatformChannel, const char *) {}

// CPU nanoseconds of this thread: the machine may be shared, and the GL
// driver's own threads (which fill the pixels) are not the submission.
static double threadNanoseconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e9 + now.tv_nsec;
}

// Nanoseconds per item of the fastest of several runs of `work`, each
// repeated until it has taken at least a tenth of a second.
static double nanosecondsPerItem(long itemsPerCall, const std::function<void()> &work)
{
    double best = 1e300;
    for (int run = 0; run < 5; run++) {
        long calls = 0;
        const double start = threadNanoseconds();
        double elapsed;
        do {
            work();
            calls++;
            elapsed = threadNanoseconds() - start;
        } while (elapsed < 1e8);
        best = std::min(best, elapsed / (calls * static_cast<double>(itemsPerCall)));
    }
    return best;
}

static void setFormula(ExprDriver *driver, const char *text)
{
    driver->text = strdup(text);
    initExpression(driver);
}

// The baseline: the formula alone, its eight inputs written by address
// from precomputed values, as bench/expr measures it.
static double bareEvaluation()
{
    ExprDriver driver = {};
    setFormula(&driver, PARTICLE_FORMULA);
    const char *const names[] = {"age", "n", "px", "py", "pz", "r0", "g0", "b0"};
    double *inputs[8];
    for (int i = 0; i < 8; i++)
        inputs[i] = driverVariable(&driver, names[i]);
    enum { ROWS = 4096 };
    static double rows[ROWS][8];
    for (int i = 0; i < ROWS; i++) {
        rows[i][0] = 0.5 + (i % 1000) * 0.001;
        rows[i][1] = i;
        for (int k = 2; k < 8; k++)
            rows[i][k] = 0.25;
    }
    return nanosecondsPerItem(ROWS, [&] {
        for (int i = 0; i < ROWS; i++) {
            for (int k = 0; k < 8; k++)
                *inputs[k] = rows[i][k];
            evaluateDriver(&driver);
        }
    });
}

// A system of `count` particles born over the last second from a few
// emitters, all alive (the formula gives them four seconds).
static ParticleSystem *livingSystem(int count)
{
    ParticleSystem *ps = particle_system_new();
    char burst[64];
    snprintf(burst, sizeof burst, "rate=0; initialParticles=%d;", count);
    setFormula(&ps->generate, burst);
    setFormula(&ps->update, PARTICLE_FORMULA);
    static double positions[] = {0, 0, -10, 1, 0, -12, -1, 0, -14, 0, 1, -16};
    static double colours[] = {1, 1, 1, 1, 0.5, 0.25, 0.25, 0.5, 1, 0.5, 0.5, 0.5};
    ps->emitterPositions = positions;
    ps->emitterColours = colours;
    ps->emitterCount = 4;
    currentSection->elapsed = 0;
    particles_generate(ps);
    for (int n = 0; n < ps->particleCount; n++)
        particle_at(ps, n)->birthTime = -static_cast<double>(n) / count;
    currentSection->elapsed = 0.5f;
    updateEngineVariables(&ps->update);
    return ps;
}

// Particles in the window are tiny, so that what is timed is the
// submission rather than the filling of pixels.
static bool openWindow()
{
    gl_defaults();
    glConfig.gl_width = 320;
    glConfig.gl_height = 240;
    if (!gl_init())
        return false;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-1, 1, -1, 1, 1, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return true;
}

static size_t heapInUse()
{
    return mallinfo2().uordblks;
}

int main()
{
    platformSetTap(quiet);
    static Section section = {};
    currentSection = &section;
    demoSystem.debug = 1;
    const bool window = openWindow();

    const double bare = bareEvaluation();
    std::printf("bare evaluation of the particle formula: %.1f ns\n\n", bare);
    std::printf("%10s %12s %10s %12s %10s\n", "particles", "update ns", "ratio", "sort ns",
                "draw ns");
    for (int count : {1000, 10000, 100000}) {
        ParticleSystem *ps = livingSystem(count);
        const double update = nanosecondsPerItem(count, [&] { particles_update(ps); });
        // Sizes are set small after the updates, which grow them.
        for (int n = 0; n < ps->particleCount; n++)
            particle_at(ps, n)->size = 0.001;
        float modelview[16];
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        std::copy(identity, identity + 16, modelview);
        const double sort = nanosecondsPerItem(count, [&] {
            // Each frame's positions differ: shift them so the order is
            // never the last frame's.
            modelview[14] += 0.001f;
            particles_depth_order(ps, modelview);
        });
        char draw[32] = "-";
        if (window) {
            const double drawn = nanosecondsPerItem(count, [&] {
                particles_draw(ps);
                glFinish();
            });
            snprintf(draw, sizeof draw, "%.1f", std::max(0.0, drawn - sort));
        }
        std::printf("%10d %12.1f %10.2f %12.1f %10s\n", count, update, update / bare, sort, draw);
        particles_clear(ps);
    }

    // Memory: the list after emitting a million particles, and the sort
    // array one drawing of them fills.
    ParticleSystem *big = particle_system_new();
    setFormula(&big->generate, "rate=0; initialParticles=1000000;");
    static double origin[3] = {0, 0, -10};
    big->emitterPositions = big->emitterColours = origin;
    big->emitterCount = 1;
    const size_t before = heapInUse();
    particles_generate(big);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    particles_depth_order(big, identity);
    const size_t used = heapInUse() - before;
    std::printf("\nmemory after emitting %d particles: %.1f MB (%.1f bytes a particle; "
                "a particle is %zu bytes)\n",
                big->particleCount, used / 1e6, static_cast<double>(used) / big->particleCount,
                sizeof(Particle));
    return 0;
}

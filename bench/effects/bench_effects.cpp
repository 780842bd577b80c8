// What each post-effect costs per frame: the frame of a full-window
// background drawn with the effect after it, against the same frame without
// it, measured in turn in one run in the engine's own 640 x 480 window.
// A frame ends with a swap and glFinish, so the driver's work is counted.
//
//   bench_effects [FRAMES]      (needs a display, e.g. Xvfb)
//
// Each line gives the best of three alternating rounds of FRAMES frames
// with and without the effect, and their ratio.
#include <GL/glew.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/script.h"
#include "kernel/section.h"
#include "platform/platform.h"

static const std::string data = GLIMRA_SOURCE_DIR "/examples/effects/data/";

struct EffectCase {
    const char *type;
    const char *lines;
};

// Inputs like those of the effects example.
static const EffectCase effectCases[] = {
    {"efxAccum", "param 2 0.5 0.5\nblend SRC_ALPHA ONE\n"},
    {"efxBlackWhite", "param 1 1\n"},
    {"efxBoxBlur", "param 8\n"},
    {"efxColor", "param 1 0.6 0.3\n"},
    {"efxFader", "param 1 1 1 1 1 1 1 0\n"},
    {"efxFog", "param 0.35 0.1 0.3 1 0 5 16\n"},
    {"efxInverse", ""},
    {"efxMotionBlur", "param 0.8 0.8\nblend SRC_ALPHA ONE_MINUS_SRC_ALPHA\n"},
    {"efxMotionBlurAccum", "param 0.85\n"},
    {"efxViewport", "spline VIEWPORT_SPLINE\n"},
    {"efxGlow", "param 0.55 0.55 0.55 4 8\n"},
    {"efxGlow2", "string red=0.55;\nstring green=0.55;\nstring blue=0.55;\n"
                 "string accumulation=4;\nstring radius=8;\n"},
    {"efxHighPassFilter", "string red=0.4;green=0.4;blue=0.4;\nstring accum=2;\n"},
    {"efxRadialBlur", "param 8 0 0.5 0.5 0 0.04 0.3 0.6 0.7 0.4\n"
                      "blend SRC_ALPHA ONE_MINUS_SRC_ALPHA\n"},
    {"efxRadialBlur2", "string iterations=6;\nstring alpha=0.4;\nstring separation=0.1;\n"
                       "string originX=0.2;\nstring originY=0;\n"
                       "blend SRC_ALPHA ONE_MINUS_SRC_ALPHA\n"},
    {"efxRadialGlow", "param 0.6 0.6 0.6 2 12 0 0.08 0.08 0.05 0.3 0.5 0.5 0.6 0.45\n"
                      "blend SRC_ALPHA ONE\n"},
};

enum { EFFECT_COUNT = sizeof(effectCases) / sizeof(effectCases[0]), ROUNDS = 3 };

static void quiet(PlatformChannel, const char *) {}

// The section with this identifier in sectionList.
static Section *findSection(const char *identifier)
{
    for (Section *section = demoSystem.sectionList; section; section = section->next) {
        if (strcmp(section->identifier, identifier) == 0)
            return section;
    }
    fprintf(stderr, "no section '%s'\n", identifier);
    exit(1);
}

static std::string sectionText(const char *type, const char *identifier, const char *lines,
                               int layer)
{
    std::string text = std::string("[") + type + "]\nid " + identifier +
                       "\nstart 0\nend 1000\nlayer " + std::to_string(layer) + "\n" + lines;
    const std::string marker = "VIEWPORT_SPLINE";
    size_t at = text.find(marker);
    if (at != std::string::npos)
        text.replace(at, marker.size(), data + "splines/viewport_rect.spl");
    return text;
}

static void loadSection(Section *section)
{
    setupSplines(section);
    callOperation(section, &SectionType::load);
}

// Milliseconds per frame over `frames` frames of the background and, when
// given, the effect; the section times advance at 60 frames a second.
static double millisecondsPerFrame(Section *background, Section *effect, int frames)
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point start = Clock::now();
    for (int frame = 0; frame < frames; frame++) {
        const float elapsed = static_cast<float>(frame % 600) / 60.0f;
        gl_frame_begin(1);
        background->elapsed = elapsed;
        callOperation(background, &SectionType::exec);
        if (effect) {
            effect->elapsed = elapsed;
            callOperation(effect, &SectionType::exec);
        }
        gl_frame_begin(0);
        gl_swap();
        glFinish();
    }
    std::chrono::duration<double, std::milli> total = Clock::now() - start;
    return total.count() / frames;
}

int main(int argc, char **argv)
{
    const int frames = argc > 1 ? atoi(argv[1]) : 200;
    if (frames < 1) {
        fprintf(stderr, "usage: %s [FRAMES]\n", argv[0]);
        return 2;
    }
    platformSetTap(quiet);
    gl_defaults();
    glConfig.gl_panoramic = 0;
    glConfig.gl_accum = 1;
    demoSystem.debug = 0;
    if (!gl_init())
        return 1;

    std::string script = sectionText("background", "backdrop",
                                     ("string " + data + "images/backdrop.jpg\n").c_str(), 1);
    for (int i = 0; i < EFFECT_COUNT; i++) {
        script += sectionText(effectCases[i].type, ("effect" + std::to_string(i)).c_str(),
                              effectCases[i].lines, 10);
    }
    parseScript(script.c_str(), "bench.glm");
    Section *background = findSection("backdrop");
    loadSection(background);
    demoSystem.state = 1;

    printf("%-20s %10s %12s %8s\n", "effect", "ms/frame", "without ms", "ratio");
    for (int i = 0; i < EFFECT_COUNT; i++) {
        Section *effect = findSection(("effect" + std::to_string(i)).c_str());
        loadSection(effect);
        // The best of a few alternating rounds: other processes on the
        // machine only ever add time.
        double without = 1e30, with = 1e30;
        for (int round = 0; round < ROUNDS; round++) {
            without = std::min(without, millisecondsPerFrame(background, nullptr, frames));
            callOperation(effect, &SectionType::init);
            millisecondsPerFrame(background, effect, frames / 10 + 1);     // warm-up
            with = std::min(with, millisecondsPerFrame(background, effect, frames));
            callOperation(effect, &SectionType::end);
        }
        printf("%-20s %10.3f %12.3f %8.2f\n", effectCases[i].type, with, without, with / without);
        fflush(stdout);
    }
    gl_shutdown();
    return 0;
}

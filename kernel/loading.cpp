// Engine initialisation and the loading sequence, with the progress screen
// of the loading section redrawn after every step.
#include "kernel/loading.h"

#include <GL/gl.h>
#include <SDL/SDL.h>

#include <cstdlib>
#include <cstring>

#include "graphics/draw2d.h"
#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/section.h"
#include "kernel/timeline.h"
#include "net/editor.h"
#include "net/events.h"
#include "sound/music.h"

const char *const bannerLine = "============================================================";

enum { LOADING_PARAMS = 17, LOADING_STRINGS = 2 };

// The loading section's private data; rectangles are x1, y1, x2, y2 in the
// unit square, 0 at the bottom left.
struct LoadingVars {
    int backImage;
    int frontImage;
    float barColor[4];
    float barRect[4];
    float barWidth;
    float frameColor[4];
    float frameRect[4];
    float frameWidth;          // fraction of the window width
};

static const float quadCorners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
static const float quadTexCoords[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};

static Section *loadingSection;
static Uint32 loadingStartTicks;

static float secondsLoading()
{
    return (SDL_GetTicks() - loadingStartTicks) * 0.001f;
}

// ---------------------------------------------------------------------------
// The loading section type

static int loadClampedImage(const char *name)
{
    int index = tex_load(name, 1);
    if (index < 0)
        return index;
    tex_properties(index, TEX_CLAMP_TO_EDGE);
    tex_upload(index, 1);
    return index;
}

void loadingLoad()
{
    Section *section = currentSection;
    if (section->paramNum != LOADING_PARAMS) {
        sectionError("17 params needed");
        return;
    }
    if (section->stringNum != LOADING_STRINGS) {
        sectionError("2 strings needed");
        return;
    }
    // The loading section is loaded again when it is also played.
    free(section->vars);
    LoadingVars *vars = static_cast<LoadingVars *>(calloc(1, sizeof(LoadingVars)));
    section->vars = vars;
    vars->backImage = loadClampedImage(section->strings[0]);
    vars->frontImage = loadClampedImage(section->strings[1]);
    const float *param = section->param;
    memcpy(vars->barColor, param + 0, sizeof(vars->barColor));
    memcpy(vars->barRect, param + 4, sizeof(vars->barRect));
    memcpy(vars->frameColor, param + 8, sizeof(vars->frameColor));
    memcpy(vars->frameRect, param + 12, sizeof(vars->frameRect));
    vars->frameWidth = param[16];
    vars->barWidth = vars->barRect[2] - vars->barRect[0];
}

static void drawImageQuad(int image, float opacity)
{
    glColor4f(1, 1, 1, opacity);
    tex_bind(image);
    glBegin(GL_QUADS);
    for (int corner = 0; corner < 4; corner++) {
        glTexCoord2fv(quadTexCoords[corner]);
        glVertex2fv(quadCorners[corner]);
    }
    glEnd();
}

static float loadingProgress()
{
    if (demoSystem.loadDoneCount == 0)
        return 0.0f;
    return static_cast<float>(demoSystem.loadDoneCount) /
           (demoSystem.loadTypeCount + demoSystem.loadSectionCount);
}

void loadingExec()
{
    const LoadingVars *vars = static_cast<const LoadingVars *>(currentSection->vars);
    // Without its data (its load reported an error) there is nothing to draw.
    if (!vars)
        return;
    float progress = loadingProgress();

    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ortho_begin();

    drawImageQuad(vars->backImage, 1.0f);
    drawImageQuad(vars->frontImage, progress);

    glDisable(GL_TEXTURE_2D);
    const float *frame = vars->frameRect;
    glColor4fv(vars->frameColor);
    glLineWidth(glConfig.gl_width * vars->frameWidth);
    glBegin(GL_LINE_LOOP);
    glVertex2f(frame[0], frame[1]);
    glVertex2f(frame[0], frame[3]);
    glVertex2f(frame[2], frame[3]);
    glVertex2f(frame[2], frame[1]);
    glEnd();
    glLineWidth(1.0f);

    const float *bar = vars->barRect;
    glColor4fv(vars->barColor);
    glRectf(bar[0], bar[1], bar[0] + progress * vars->barWidth, bar[3]);

    glEnable(GL_TEXTURE_2D);
    ortho_end();
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    gl_swap();
}

// ---------------------------------------------------------------------------
// The loading sequence

// Redraws the progress screen and lets the user quit between steps.
static void stepDone()
{
    demoSystem.loadDoneCount++;
    currentSection = loadingSection;
    sectionType(0).exec();
    SDL_Event event;
    if (FE_Poll(&event))
        handleEvent(event);
    if (demoSystem.quit) {
        engineShutdown();
        exit(0);
    }
}

static Section *findLoadingSection()
{
    for (Section *section = demoSystem.sectionList; section; section = section->next) {
        if (section->typeIndex == 0)
            return section;
    }
    return nullptr;
}

// Sections that can be played are loaded; in slave mode (1 exactly) all of
// them, since the editor may move any of them into the played range.
static bool loadable(const Section *section)
{
    if (!sectionHasType(section))
        return false;
    return demoSystem.slave == 1 || playableFrom(section, demoSystem.demo_start);
}

static void buildReadyQueue()
{
    for (Section *section = demoSystem.sectionList; section; section = section->next) {
        if (!loadable(section))
            continue;
        demoSystem.loadSectionCount++;
        setupSplines(section);
        enqueueReady(section);
    }
}

void loadDemo()
{
    demoSystem.state = STATE_LOADING;
    if (demoSystem.debug) {
        engineOutput("\n%s\nloading: start\n", bannerLine);
        loadingStartTicks = SDL_GetTicks();
    }
    loadingSection = findLoadingSection();
    if (!loadingSection) {
        engineError("Loading section not found.");
        return;
    }

    demoSystem.loadTypeCount = 0;
    demoSystem.loadSectionCount = 0;
    demoSystem.loadDoneCount = 0;
    const SectionType &loading = sectionType(0);
    currentSection = loadingSection;
    loading.preload();
    loading.load();
    loading.init();
    loading.exec();

    demoSystem.readyQueue = nullptr;
    demoSystem.runQueue = nullptr;
    if (demoSystem.debug)
        engineOutput("loading: section setup complete, %.2f seconds\n", secondsLoading());

    buildReadyQueue();
    demoSystem.loadTypeCount += SECTION_TYPE_COUNT - 1;
    if (demoSystem.debug) {
        engineOutput("loading: build ready queue, %.2f seconds\n", secondsLoading());
        engineOutput("loading: %d sections to be preloaded\n", demoSystem.loadTypeCount);
    }

    for (int type = 1; type < SECTION_TYPE_COUNT; type++) {
        currentSection = loadingSection;
        sectionType(type).preload();
        stepDone();
    }
    if (demoSystem.debug) {
        engineOutput("loading: sections preloaded, %.2f seconds\n", secondsLoading());
        engineOutput("loading: %d sections to be loaded\n", demoSystem.loadSectionCount);
    }

    for (Section *section = demoSystem.readyQueue; section; section = section->readyNext) {
        callOperation(section, &SectionType::load);
        stepDone();
    }
    if (demoSystem.debug)
        engineOutput("\nloading: sections loaded, %.2f seconds\n", secondsLoading());
    currentSection = loadingSection;
    loading.end();
}

void initEngine()
{
    // Nothing can be drawn without a window, so even a debug run, which
    // goes on after other errors, ends here after the error was shown.
    if (!gl_init()) {
        engineShutdown();
        exit(1);
    }
    if (FE_Start() < 0)
        engineError("%s", FE_LastError());
    if (demoSystem.sound)
        startSound();
    if (demoSystem.slave)
        startNetwork();
    resetTime();
    loadDemo();
    font_load(&font, fontCharset, FONT_GRID_SIZE, FONT_GRID_SIZE, "data/fonts/font.tga");
    resetTimer();
}

// The timeline: the clock, the play states, the two queues that move
// sections from waiting to running, and the main loop around them.
#include "kernel/timeline.h"

#include <GL/gl.h>

#include <algorithm>

#include "graphics/draw2d.h"
#include "graphics/particles.h"
#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/capture.h"
#include "kernel/demo.h"
#include "kernel/loading.h"
#include "kernel/log.h"
#include "kernel/reload.h"
#include "kernel/section.h"
#include "net/editor.h"
#include "net/events.h"
#include "sound/music.h"

// ---------------------------------------------------------------------------
// Queues

// The two queues are doubly linked lists through their own pair of links,
// each ordered by a key: a section joins in front of the first one whose
// key is equal or greater.
struct Queue {
    Section **head;
    Section *Section::*next;
    Section *Section::*prev;
    double (*key)(const Section *);
};

static double startKey(const Section *section) { return section->startTime; }
static double layerKey(const Section *section) { return section->layer; }

// Ordered by start time; equal starts keep the order of sectionList walks.
static const Queue readyQueue = {&demoSystem.readyQueue, &Section::readyNext,
                                 &Section::readyPrev, startKey};
// Ordered by layer; the section activated last is drawn first in its layer.
static const Queue runQueue = {&demoSystem.runQueue, &Section::runNext, &Section::runPrev,
                               layerKey};

static void enqueue(const Queue &queue, Section *section)
{
    Section **link = queue.head;
    Section *previous = nullptr;
    double key = queue.key(section);
    while (*link && queue.key(*link) < key) {
        previous = *link;
        link = &((*link)->*queue.next);
    }
    section->*queue.prev = previous;
    section->*queue.next = *link;
    if (*link)
        (*link)->*queue.prev = section;
    *link = section;
}

static void dequeue(const Queue &queue, Section *section)
{
    Section *previous = section->*queue.prev, *next = section->*queue.next;
    if (previous)
        previous->*queue.next = next;
    else
        *queue.head = next;
    if (next)
        next->*queue.prev = previous;
    section->*queue.next = section->*queue.prev = nullptr;
}

void enqueueReady(Section *section)
{
    enqueue(readyQueue, section);
}

bool playableFrom(const Section *section, float time)
{
    return (demoSystem.demo_end > section->startTime || demoSystem.demo_end == 0.0f) &&
           time < section->endTime;
}

void rebuildQueues()
{
    Section *running = demoSystem.runQueue;
    demoSystem.readyQueue = nullptr;
    demoSystem.runQueue = nullptr;
    while (running) {
        Section *next = running->runNext;
        callOperation(running, &SectionType::end);
        running = next;
    }
    for (Section *section = demoSystem.sectionList; section; section = section->next) {
        section->elapsed = 0.0f;
        section->readyNext = section->readyPrev = nullptr;
        section->runNext = section->runPrev = nullptr;
        if (sectionHasType(section) && playableFrom(section, demoSystem.currentTime))
            enqueueReady(section);
    }
}

void retireSections()
{
    float time = demoSystem.currentTime;
    Section *section = demoSystem.runQueue;
    while (section) {
        Section *next = section->runNext;
        if (time >= section->endTime) {
            dequeue(runQueue, section);
            callOperation(section, &SectionType::end);
        }
        section = next;
    }
}

void activateSections()
{
    float time = demoSystem.currentTime;
    while (Section *section = demoSystem.readyQueue) {
        if (time < section->startTime)
            break;
        dequeue(readyQueue, section);
        // A window that passed entirely between two frames is never run.
        if (time < section->endTime) {
            section->elapsed = time - section->startTime;
            callOperation(section, &SectionType::init);
            enqueue(runQueue, section);
        }
    }
}

void executeSections()
{
    float time = demoSystem.currentTime;
    for (Section *section = demoSystem.runQueue; section; section = section->runNext) {
        if (time >= section->endTime) {
            engineWarning("Finished section not detected");
            continue;
        }
        tex_reset_cache();
        if (section->enabled)
            callOperation(section, &SectionType::exec);
        section->elapsed = time - section->startTime;
    }
}

// ---------------------------------------------------------------------------
// Clock

static float wallClock()
{
    return SDL_GetTicks() * 0.001f;
}

void resetTime()
{
    demoSystem.currentTime = demoSystem.demo_start;
    demoSystem.timeStep = 0.0f;
    demoSystem.frameTime = 0.0f;
    demoSystem.fpsTime = 0.0f;
    demoSystem.fpsValue = 0.0f;
    demoSystem.frameCount = 0;
    demoSystem.fpsFrames = 0;
    demoSystem.quit = 0;
    mwc_seed(0, 0);
}

void resetTimer()
{
    demoSystem.lastTicks = wallClock();
}

void updateFps(float step)
{
    demoSystem.fpsFrames++;
    demoSystem.fpsTime += step;
    if (demoSystem.fpsTime > 0.3f) {
        demoSystem.fpsValue = demoSystem.fpsFrames / demoSystem.fpsTime;
        demoSystem.fpsFrames = 0;
        demoSystem.fpsTime = 0.0f;
    }
}

// Measures the wall-clock length of the frame just drawn.
static void measureFrame()
{
    demoSystem.nowTicks = wallClock();
    demoSystem.frameTime = demoSystem.nowTicks - demoSystem.lastTicks;
    demoSystem.lastTicks = demoSystem.nowTicks;
}

void advanceTime()
{
    // A recording advances by a fixed step so that its frames form a video
    // at record_fps, however long each frame took to draw and write.
    if (demoSystem.record)
        demoSystem.frameTime = 1.0f / demoSystem.record_fps;
    else
        measureFrame();
    demoSystem.frameCount++;
    demoSystem.timeStep = demoSystem.frameTime;
    demoSystem.currentTime += demoSystem.frameTime;
    updateFps(demoSystem.frameTime);
}

void idleTime()
{
    measureFrame();
    demoSystem.frameCount++;
    demoSystem.timeStep = 0.0f;
    updateFps(demoSystem.frameTime);
}

// ---------------------------------------------------------------------------
// Play states

namespace timeline {

void pause()
{
    demoSystem.timeStep = 0.0f;
    demoSystem.state = STATE_PAUSED;
    if (demoSystem.sound)
        pauseAllSound();
}

void play()
{
    if (demoSystem.state == STATE_PLAYING)
        return;
    demoSystem.state = STATE_PLAYING;
    rebuildQueues();
    if (demoSystem.sound)
        resumeAllSound();
}

// Winding remembers whether it was entered from the paused state.
static void wind(int direction)
{
    demoSystem.state = (demoSystem.state & STATE_PAUSED) | direction;
    if (demoSystem.sound)
        pauseAllSound();
}

void rewind()
{
    wind(STATE_REWIND);
}

void fastForward()
{
    wind(STATE_FORWARD);
}

void restart()
{
    demoSystem.state = STATE_PLAYING;
    if (demoSystem.sound) {
        stopSound();
        startSound();
    }
    resetTime();
    rebuildQueues();
    resetTimer();
}

} // namespace timeline

void setDemoStart(float seconds)
{
    // A demo without an end (demo_end 0) may start anywhere.
    bool pastEnd = demoSystem.demo_end > 0.0f && seconds > demoSystem.demo_end;
    demoSystem.demo_start = seconds < 0.0f ? 0.0f : pastEnd ? demoSystem.demo_end : seconds;
}

void setDemoEnd(float seconds)
{
    demoSystem.demo_end = seconds < 0.0f ? 0.0f
                          : seconds > demoSystem.demo_start ? seconds : demoSystem.demo_start;
}

void setCurrentTime(float seconds)
{
    demoSystem.currentTime = seconds < 0.0f ? 0.0f : seconds;
}

const char *stateText(int state)
{
    bool paused = state & STATE_PAUSED;
    if (state & STATE_REWIND)
        return paused ? "paused - RW" : "play - RW";
    if (state & STATE_FORWARD)
        return paused ? "paused - FF" : "play - FF";
    return paused ? "paused" : "play";
}

// ---------------------------------------------------------------------------
// Events

// The loading sequence hands events here between its steps. Until the main
// loop starts, the state stays "loading", which texture sharing relies on,
// and the ready queue stays as the sequence walks it: the keys that change
// the play state have no effect yet.
static bool playStateKeyWhileLoading(SDLKey key)
{
    return demoSystem.state == STATE_LOADING &&
           (key == SDLK_SPACE || key == SDLK_F1 || key == SDLK_F2 || key == SDLK_F3);
}

static void handleDebugKey(SDLKey key)
{
    if (playStateKeyWhileLoading(key))
        return;
    switch (key) {
    case SDLK_f:
        demoSystem.fps = !demoSystem.fps;
        demoSystem.timing = 0;
        break;
    case SDLK_t:
        demoSystem.fps = 0;
        demoSystem.timing = !demoSystem.timing;
        break;
    case SDLK_RETURN:
        engineOutput("%f\n", demoSystem.currentTime);
        break;
    case SDLK_SPACE:
        if (demoSystem.state == STATE_PLAYING)
            timeline::pause();
        else
            timeline::play();
        break;
    case SDLK_F1: timeline::restart(); break;
    case SDLK_F2: timeline::rewind(); break;
    case SDLK_F3: timeline::fastForward(); break;
    default: break;
    }
}

static void setKey(SDLKey key, int down)
{
    int code = key;
    if (code >= 0 && code < KEY_COUNT)
        demoSystem.keys[code] = down;
}

void handleEvent(const SDL_Event &event)
{
    switch (event.type) {
    case SDL_KEYDOWN: {
        SDLKey key = event.key.keysym.sym;
        if (key == SDLK_ESCAPE) {
            demoSystem.quit = 1;
        } else if (key == SDLK_s) {
            takeScreenshot();
        } else {
            if (demoSystem.debug)
                handleDebugKey(key);
            setKey(key, 1);
        }
        break;
    }
    case SDL_KEYUP: {
        SDLKey key = event.key.keysym.sym;
        // Winding lasts while its key is held, then returns to where it came from.
        if ((key == SDLK_F2 || key == SDLK_F3) && !playStateKeyWhileLoading(key)) {
            if (demoSystem.state & STATE_PAUSED)
                timeline::pause();
            else
                timeline::play();
        }
        setKey(key, 0);
        break;
    }
    case SDL_QUIT:
        demoSystem.quit = 1;
        break;
    case SDL_USEREVENT:
        handleNetworkEvent(event);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// Frames

static void readMouse()
{
    int x, y;
    demoSystem.mouseButtons = SDL_GetMouseState(&x, &y);
    demoSystem.mouseX = x;
    demoSystem.mouseY = y;
    int centreX = glConfig.gl_width / 2, centreY = glConfig.gl_height / 2;
    demoSystem.mouseDeltaX = centreX - x;
    demoSystem.mouseDeltaY = centreY - y;
    // Dragging with the left button steers the free camera from the centre.
    if (demoSystem.mouseButtons & SDL_BUTTON(SDL_BUTTON_LEFT)) {
        SDL_ShowCursor(0);
        SDL_WarpMouse(centreX, centreY);
    } else if (demoSystem.debug) {
        SDL_ShowCursor(1);
    }
}

static void drawOverlay()
{
    if (demoSystem.fps) {
        font_print(font, "fps %.0f", demoSystem.fpsValue);
    } else if (demoSystem.timing) {
        font_print(font, "fps %.0f\n%d - %.1f/%.1f\nsound %0.1f%% chan %d\ntexmem %.2fM\n%s",
                   demoSystem.fpsValue, demoSystem.frameCount, demoSystem.currentTime,
                   demoSystem.demo_end, soundCpuUsage(), soundChannelsPlaying(),
                   tex_memory() / 1048576.0, stateText(demoSystem.state));
    }
}

void drawFrame()
{
    retireSections();
    activateSections();
    gl_frame_begin(1);
    demoSystem.currentCamera = nullptr;
    executeSections();
    gl_frame_begin(0);
    // Recorded frames never show the overlays.
    if (demoSystem.record)
        recordFrame();
    gl_frame_end();
    drawOverlay();
    gl_swap();
}

// Winding moves the time at ten times the wall-clock speed and stops, paused,
// at the ends of the played range.
static void windTime()
{
    float step = demoSystem.frameTime * 10.0f;
    if (demoSystem.state & STATE_REWIND) {
        demoSystem.currentTime -= step;
        if (demoSystem.currentTime < demoSystem.demo_start) {
            demoSystem.currentTime = demoSystem.demo_start;
            timeline::pause();
        }
    } else if (demoSystem.state & STATE_FORWARD) {
        demoSystem.currentTime += step;
        if (demoSystem.demo_end > 0.0f && demoSystem.currentTime > demoSystem.demo_end) {
            demoSystem.currentTime = demoSystem.demo_end;
            timeline::pause();
        }
    }
}

// True when the frame must not be drawn because the demo is over.
static bool reachEnd()
{
    if (demoSystem.demo_end <= 0.0f || demoSystem.currentTime <= demoSystem.demo_end)
        return false;
    if (demoSystem.loop) {
        timeline::restart();
    } else if (demoSystem.debug) {
        demoSystem.currentTime = demoSystem.demo_end;
        timeline::pause();
    } else {
        demoSystem.quit = 1;
        return true;
    }
    return false;
}

void runFrame()
{
    reload_poll();
    readMouse();
    if (reachEnd())
        return;
    drawFrame();
    if (demoSystem.state == STATE_PLAYING) {
        advanceTime();
    } else {
        idleTime();
        windTime();
        rebuildQueues();
    }
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    if (demoSystem.sound)
        updateSound();
}

void mainLoop()
{
    if (demoSystem.debug)
        engineOutput("\n%s\nmain demo loop!\n\n%s\n", bannerLine, bannerLine);
    demoSystem.state = STATE_PLAYING;
    SDL_Event event;
    // Pending events are handled before the next frame is drawn; but a
    // stream of them (editors that poll without a pause) holds the frame
    // back only as long as the last frame took, so the demo plays on at
    // half its rate at worst.
    Uint32 frameEnded = SDL_GetTicks(), frameTook = 1;
    while (!demoSystem.quit) {
        if (SDL_GetTicks() - frameEnded <= frameTook && FE_Poll(&event)) {
            handleEvent(event);
        } else {
            Uint32 frameStarted = SDL_GetTicks();
            runFrame();
            frameEnded = SDL_GetTicks();
            frameTook = std::max<Uint32>(frameEnded - frameStarted, 1);
        }
    }
}

// The demo time, the play states and the main loop: which sections run,
// in which order, and when.
#pragma once

#include <SDL/SDL.h>

struct Section;

// Play states (demoSystem.state); bit 4 = paused, 8 = rewinding,
// 16 = fast-forwarding.
enum PlayState {
    STATE_LOADING = 0,
    STATE_PLAYING = 2,
    STATE_PAUSED = 4,
    STATE_REWIND = 8,
    STATE_FORWARD = 16,
};

// Runs until demoSystem.quit is set.
void mainLoop();

// One window, key or network event.
void handleEvent(const SDL_Event &event);

// One iteration of the loop without a pending event.
void runFrame();

// The section pass of one frame.
void drawFrame();

// The section steps of drawFrame: retire the sections whose window ended,
// activate those whose window began, run exec in layer order.
void retireSections();
void activateSections();
void executeSections();

// Whether a section's window reaches into the played range from `time` on.
bool playableFrom(const Section *section, float time);

// Ends every running section and requeues the sections for currentTime.
void rebuildQueues();

// Puts a section into the ready queue, ordered by start time.
void enqueueReady(Section *section);

// The play-state operations, in a namespace of their own because the C
// library already has a pause() and a rewind().
namespace timeline {
void pause();
void play();
void rewind();
void fastForward();
void restart();
} // namespace timeline

void setDemoStart(float seconds);
void setDemoEnd(float seconds);
void setCurrentTime(float seconds);

void resetTime();
void resetTimer();
void advanceTime();
void idleTime();
void updateFps(float step);

// "play", "paused", with " - RW" or " - FF" while winding.
const char *stateText(int state);

// The thread-safe event queue through which every window and network event
// reaches the main thread. Started in every mode.
#pragma once

#include <SDL/SDL.h>

// 0, or -1 with the reason in FE_LastError. Starting a running queue
// changes nothing.
int FE_Start();

// Queues an event, waiting while the queue is full; 1 once queued, 0 when
// the queue is not running (the event is dropped).
int FE_Push(SDL_Event *event);

// Queues an event only if there is room at once; 1 if queued, else 0. For
// the thread that polls, which would wait forever for room only it can make.
int FE_TryPush(SDL_Event *event);

// Takes one pending event; 1 if there was one, else 0.
int FE_Poll(SDL_Event *event);

// Releases the queue's mutex, condition and timer. Safe when never started.
void FE_Stop();

const char *FE_LastError();

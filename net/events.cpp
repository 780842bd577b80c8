// The event queue: SDL's own queue guarded by a mutex, with a condition that
// pushers wait on while the queue is full. A 10 ms timer broadcasts the
// condition so that a waiting pusher retries even when nobody polls.
#include "net/events.h"

static SDL_mutex *queueLock;
static SDL_cond *queueCondition;
static SDL_TimerID retryTimer;
static const char *lastError = "";

static Uint32 broadcastRetry(Uint32 interval, void *)
{
    SDL_CondBroadcast(queueCondition);
    return interval;
}

static int fail(const char *reason)
{
    lastError = reason;
    FE_Stop();
    return -1;
}

int FE_Start()
{
    if (queueLock)
        return 0;
    if (!SDL_WasInit(SDL_INIT_TIMER) && SDL_InitSubSystem(SDL_INIT_TIMER) < 0)
        return fail("FE: can't add a timer");
    if (!(queueLock = SDL_CreateMutex()))
        return fail("FE: can't create a mutex");
    if (!(queueCondition = SDL_CreateCond()))
        return fail("FE: can't create a condition variable");
    if (!(retryTimer = SDL_AddTimer(10, broadcastRetry, nullptr)))
        return fail("FE: can't add a timer");
    return 0;
}

int FE_Push(SDL_Event *event)
{
    if (!queueLock)
        return 0;
    SDL_mutexP(queueLock);
    int added;
    // 0 means the queue is full; -1 means it is not running at all, and
    // waiting for room would then never end.
    while ((added = SDL_PeepEvents(event, 1, SDL_ADDEVENT, 0)) == 0)
        SDL_CondWait(queueCondition, queueLock);
    SDL_mutexV(queueLock);
    SDL_CondSignal(queueCondition);
    return added > 0 ? 1 : 0;
}

int FE_TryPush(SDL_Event *event)
{
    if (!queueLock)
        return 0;
    SDL_mutexP(queueLock);
    int added = SDL_PeepEvents(event, 1, SDL_ADDEVENT, 0);
    SDL_mutexV(queueLock);
    return added > 0 ? 1 : 0;
}

int FE_Poll(SDL_Event *event)
{
    if (!queueLock)
        return 0;
    SDL_mutexP(queueLock);
    int taken = SDL_PollEvent(event);
    SDL_mutexV(queueLock);
    if (taken)
        SDL_CondSignal(queueCondition);
    return taken;
}

void FE_Stop()
{
    if (retryTimer) {
        SDL_RemoveTimer(retryTimer);
        retryTimer = nullptr;
    }
    if (queueCondition) {
        SDL_DestroyCond(queueCondition);
        queueCondition = nullptr;
    }
    if (queueLock) {
        SDL_DestroyMutex(queueLock);
        queueLock = nullptr;
    }
}

const char *FE_LastError()
{
    return lastError;
}

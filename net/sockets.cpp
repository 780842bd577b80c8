// The socket layer: a table of sockets served by one network thread.
//
// Locks, always taken in this order: the data lock (the table, every
// buffer, bufferFull, lastError), then the SDL_net lock (every SDL_net call,
// since SDL_net is not thread-safe). The event queue's own lock is never
// held together with the data lock: events are pushed only after the data
// lock has been released.
//
// The thread sleeps in the socket wait; a pipe in its socket set wakes it
// whenever the table changes, so new and closed sockets are served at once
// rather than after the wait runs out.
#include "net/sockets.h"

#include <SDL/SDL_net.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/events.h"
#include "platform/platform.h"

enum SocketKind : uint8_t { KIND_FREE = 0, KIND_LISTENER = 1, KIND_CONNECTION = 2 };

enum SocketStatus : uint8_t {
    STATUS_ALLOCATED = 1,
    STATUS_ACTIVE = 2,       // in the socket set
    STATUS_CLOSED = 4,       // the peer closed it or a send failed; no more reading
    STATUS_TO_ADD = 8,       // the thread adds it to the socket set
    STATUS_TO_REMOVE = 16,   // the thread removes and closes it
    STATUS_DRAINING = 32,    // closed by the application: half-closed, input dropped
};

// One entry of the socket table; entries are reused, never freed before
// the layer stops.
struct NetSocket {
    SocketKind kind;
    SocketStatus status;
    int port;                          // listeners
    TCPsocket socket;
    int buffered;                      // bytes waiting in data, oldest first
    char data[NET2_BUFFER_SIZE];
    Uint32 drainDeadline;              // draining: ticks when it is closed anyway
    int drained;                       // draining: bytes dropped so far
};

enum {
    WAIT_MILLISECONDS = 10,
    // How long and how much a closed connection's peer may still send
    // before the connection is closed under it.
    DRAIN_MILLISECONDS = 2000,
    DRAIN_BYTES = 1 << 20,
};

// SDL_net offers no way to half-close a connection or to deepen a
// listener's queue, and its socket set takes only its own sockets. Every
// socket it makes starts with the two fields its socket sets rely on, the
// ready flag and the descriptor; this is that shared head.
struct SocketHead {
    int ready;
    int channel;
};

// The thread and the main thread share everything below; the data lock
// guards the table, socketCount, nextFree, bufferFull and lastError.
static NetSocket socketTable[NET2_MAX_SOCKETS];
static int socketCount;              // entries ever created
static int nextFree;                 // where the search for a free entry starts
static SDLNet_SocketSet socketSet;   // the sockets of all active entries
static SDL_mutex *dataLock;
static SDL_mutex *netLock;
static SDL_cond *dataCondition;
static SDL_Thread *networkThread;
static bool bufferFull;              // a connection's buffer is full: wait for a read
static const char *lastError = "";
static std::atomic<bool> stopping;   // set by the main thread, read every round
static bool started;                 // main thread only
// A byte in the pipe wakes the thread from its socket wait; the read end
// sits in the socket set behind a head of its own.
static int wakePipe[2] = {-1, -1};
static SocketHead wakeHead;

// ---------------------------------------------------------------------------
// Events

static SDL_Event netEvent(int kind, int socket, intptr_t data2)
{
    SDL_Event event = {};
    event.type = SDL_USEREVENT;
    event.user.code = kind;
    event.user.data1 = reinterpret_cast<void *>(static_cast<intptr_t>(socket));
    event.user.data2 = reinterpret_cast<void *>(data2);
    return event;
}

// Called with the data lock held. FE_Push may wait for room in the queue,
// so the lock is released around it. Once stopping, events are dropped:
// the queue is being emptied and nobody would handle them.
static void pushEvent(int kind, int socket, intptr_t data2)
{
    SDL_Event event = netEvent(kind, socket, data2);
    SDL_mutexV(dataLock);
    if (!stopping)
        FE_Push(&event);
    SDL_mutexP(dataLock);
}

static void pushError(const char *text, int socket)
{
    pushEvent(NET2_ERROREVENT, socket, reinterpret_cast<intptr_t>(text));
}

int NET2_EventKind(const SDL_Event &event)
{
    return event.user.code;
}

int NET2_EventSocket(const SDL_Event &event)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(event.user.data1));
}

const char *NET2_EventText(const SDL_Event &event)
{
    if (NET2_EventKind(event) != NET2_ERROREVENT)
        return nullptr;
    return static_cast<const char *>(event.user.data2);
}

int NET2_EventPort(const SDL_Event &event)
{
    if (NET2_EventKind(event) != NET2_ACCEPTEVENT)
        return -1;
    return static_cast<int>(reinterpret_cast<intptr_t>(event.user.data2));
}

void printNetEvent(const SDL_Event &event)
{
    char line[256];
    int socket = NET2_EventSocket(event);
    switch (NET2_EventKind(event)) {
    case NET2_ERROREVENT:
        snprintf(line, sizeof(line), "NET2_ERROREVENT socket %d: %s\n", socket,
                 NET2_EventText(event));
        break;
    case NET2_ACCEPTEVENT:
        snprintf(line, sizeof(line), "NET2_ACCEPTEVENT socket %d port %d\n", socket,
                 NET2_EventPort(event));
        break;
    case NET2_TCPRECEIVEEVENT:
        snprintf(line, sizeof(line), "NET2_TCPRECEIVEEVENT socket %d\n", socket);
        break;
    case NET2_TCPCLOSEEVENT:
        snprintf(line, sizeof(line), "NET2_TCPCLOSEEVENT socket %d\n", socket);
        break;
    default:
        snprintf(line, sizeof(line), "unknown network event %d socket %d\n",
                 NET2_EventKind(event), socket);
        break;
    }
    platformWrite(CHANNEL_STDOUT, line);
}

// ---------------------------------------------------------------------------
// Descriptors and waking

// The descriptor of an SDL_net TCP socket, or -1 if what its head holds is
// no stream socket.
static int descriptorOf(TCPsocket socket)
{
    int descriptor = reinterpret_cast<const SocketHead *>(socket)->channel;
    int type = 0;
    socklen_t length = sizeof(type);
    if (getsockopt(descriptor, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM)
        return -1;
    return descriptor;
}

// Any thread, any lock. A full pipe already holds a wake-up.
static void wakeNetworkThread()
{
    char byte = 0;
    if (write(wakePipe[1], &byte, 1) < 0) {
    }
}

// The network thread holds the SDL_net lock while it waits on the sockets.
// The main thread wakes it rather than waiting the wait out; the byte stays
// in the pipe until the thread's next pass, which needs the data lock the
// caller holds, so every wait in between returns at once.
static void interruptAndLockNet()
{
    wakeNetworkThread();
    SDL_mutexP(netLock);
}

static void emptyWakePipe()
{
    char bytes[64];
    while (read(wakePipe[0], bytes, sizeof(bytes)) > 0) {
    }
    wakeHead.ready = 0;
}

// ---------------------------------------------------------------------------
// The table (data lock held)

// The entry an index names, or null when the index names none.
static NetSocket *entryAt(int socket)
{
    if (socket < 0 || socket >= socketCount)
        return nullptr;
    return &socketTable[socket];
}

static NetSocket *connectionAt(int socket)
{
    NetSocket *entry = entryAt(socket);
    return entry && entry->kind == KIND_CONNECTION ? entry : nullptr;
}

static void resetEntry(NetSocket *entry, SocketKind kind)
{
    entry->kind = kind;
    entry->status = STATUS_ALLOCATED;
    entry->port = 0;
    entry->socket = nullptr;
    entry->buffered = 0;
    entry->drainDeadline = 0;
    entry->drained = 0;
}

// Reuses the first free entry from nextFree on, or creates one; -1 when
// the table is full.
static int allocateEntry(SocketKind kind)
{
    for (int looked = 0; looked < socketCount; looked++) {
        int index = nextFree;
        nextFree = (nextFree + 1) % socketCount;
        if (socketTable[index].kind == KIND_FREE) {
            resetEntry(&socketTable[index], kind);
            return index;
        }
    }
    if (socketCount >= NET2_MAX_SOCKETS)
        return -1;
    resetEntry(&socketTable[socketCount], kind);
    return socketCount++;
}

static void freeEntry(NetSocket *entry)
{
    resetEntry(entry, KIND_FREE);
}

// ---------------------------------------------------------------------------
// The network thread (data lock held unless said otherwise)

static void addToSet(int index)
{
    NetSocket *entry = &socketTable[index];
    if (entry->kind == KIND_FREE) {
        pushError("NET2: trying to add an unused socket", index);
        return;
    }
    if (entry->kind != KIND_LISTENER && entry->kind != KIND_CONNECTION) {
        pushError("NET2: invalid socket type, this should never happen", index);
        return;
    }
    SDL_mutexP(netLock);
    int added = SDLNet_TCP_AddSocket(socketSet, entry->socket);
    SDL_mutexV(netLock);
    if (added < 0) {
        entry->status = STATUS_TO_REMOVE;
        pushError("NET2: can't add a TCP socket to the socket set", index);
        return;
    }
    entry->status = STATUS_ACTIVE;
}

static void removeAndClose(int index)
{
    NetSocket *entry = &socketTable[index];
    if (entry->kind == KIND_FREE) {
        pushError("NET2: trying to delete an unused socket", index);
        return;
    }
    if (entry->kind != KIND_LISTENER && entry->kind != KIND_CONNECTION) {
        pushError("NET2: invalid socket type, this should never happen", index);
        return;
    }
    SDL_mutexP(netLock);
    int removed = SDLNet_TCP_DelSocket(socketSet, entry->socket);
    SDLNet_TCP_Close(entry->socket);
    SDL_mutexV(netLock);
    bool wasInSet = removed >= 0;
    freeEntry(entry);
    if (!wasInSet)
        pushError("NET2: can't delete a TCP socket from the socket set", index);
}

static void acceptConnection(int listenerIndex)
{
    SDL_mutexP(netLock);
    TCPsocket connection = SDLNet_TCP_Accept(socketTable[listenerIndex].socket);
    SDL_mutexV(netLock);
    if (!connection)
        return;
    int index = allocateEntry(KIND_CONNECTION);
    if (index < 0) {
        SDL_mutexP(netLock);
        SDLNet_TCP_Close(connection);
        SDL_mutexV(netLock);
        pushError("NET2: a TCP accept failed", listenerIndex);
        return;
    }
    socketTable[index].socket = connection;
    socketTable[index].status = STATUS_TO_ADD;
    // An entry before the listener in the table would wait a whole round.
    wakeNetworkThread();
    pushEvent(NET2_ACCEPTEVENT, index, socketTable[listenerIndex].port);
}

static void receiveData(int index)
{
    NetSocket *entry = &socketTable[index];
    if (entry->buffered >= NET2_BUFFER_SIZE) {
        // Flow control: nothing is served until the main thread reads.
        bufferFull = true;
        return;
    }
    SDL_mutexP(netLock);
    int received = SDLNet_TCP_Recv(entry->socket, entry->data + entry->buffered,
                                   NET2_BUFFER_SIZE - entry->buffered);
    SDL_mutexV(netLock);
    if (received <= 0) {
        entry->status = STATUS_CLOSED;
        pushEvent(NET2_TCPCLOSEEVENT, index, -1);
        return;
    }
    bool wasEmpty = entry->buffered == 0;
    entry->buffered += received;
    // One event per message: bytes that join unread ones need no new event.
    if (wasEmpty)
        pushEvent(NET2_TCPRECEIVEEVENT, index, -1);
}

// What still arrives on a connection the application closed is dropped,
// until its peer closes, or for a bounded time and amount; closing it with
// input unread would answer with a reset, which may make the peer's stack
// throw the reply away.
static void drainConnection(int index)
{
    static char dropped[16384];    // network thread only
    NetSocket *entry = &socketTable[index];
    bool done = static_cast<Sint32>(SDL_GetTicks() - entry->drainDeadline) >= 0;
    if (!done && SDLNet_SocketReady(entry->socket)) {
        SDL_mutexP(netLock);
        int received = SDLNet_TCP_Recv(entry->socket, dropped, sizeof(dropped));
        SDL_mutexV(netLock);
        entry->drained += received > 0 ? received : 0;
        done = received <= 0 || entry->drained > DRAIN_BYTES;
    }
    if (done)
        removeAndClose(index);
}

static void serveEntry(int index)
{
    NetSocket *entry = &socketTable[index];
    switch (entry->status) {
    case STATUS_TO_ADD:
        addToSet(index);
        break;
    case STATUS_TO_REMOVE:
        removeAndClose(index);
        break;
    case STATUS_DRAINING:
        drainConnection(index);
        break;
    case STATUS_ACTIVE:
        if (!SDLNet_SocketReady(entry->socket))
            break;
        if (entry->kind == KIND_LISTENER)
            acceptConnection(index);
        else if (entry->kind == KIND_CONNECTION)
            receiveData(index);
        break;
    default:
        break;
    }
}

// Waits up to WAIT_MILLISECONDS for activity; false if the wait failed.
// Runs without the data lock.
static bool waitForActivity()
{
    SDL_mutexP(netLock);
    int ready = SDLNet_CheckSockets(socketSet, WAIT_MILLISECONDS);
    SDL_mutexV(netLock);
    return ready >= 0;
}

static int serveSockets(void *)
{
    while (!stopping) {
        bool waited = waitForActivity();
        SDL_mutexP(dataLock);
        if (!waited)
            lastError = "NET2: the CheckSockets call failed";
        while (bufferFull && !stopping)
            SDL_CondWait(dataCondition, dataLock);
        // Every change the table had so far is served in this pass; one made
        // after it wakes the next wait again.
        if (wakeHead.ready)
            emptyWakePipe();
        for (int index = 0; index < socketCount && !stopping; index++)
            serveEntry(index);
        SDL_mutexV(dataLock);
        // A failed wait returns at once; do not let it spin the thread.
        if (!waited)
            SDL_Delay(WAIT_MILLISECONDS);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Start and stop

static void destroyPrimitives()
{
    if (socketSet)
        SDLNet_FreeSocketSet(socketSet);
    for (int &end : wakePipe) {
        if (end >= 0)
            close(end);
        end = -1;
    }
    if (dataCondition)
        SDL_DestroyCond(dataCondition);
    if (netLock)
        SDL_DestroyMutex(netLock);
    if (dataLock)
        SDL_DestroyMutex(dataLock);
    socketSet = nullptr;
    dataCondition = nullptr;
    netLock = dataLock = nullptr;
}

static int startFailed(const char *reason)
{
    destroyPrimitives();
    started = false;
    lastError = reason;
    return -1;
}

// SDL_net waits with select(), which can only watch descriptors below
// FD_SETSIZE; a higher one would be written past the end of its set. Keep
// the process below that: an accept beyond it fails and is retried later.
static void limitDescriptors()
{
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur > FD_SETSIZE) {
        limit.rlim_cur = FD_SETSIZE;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int NET2_Start()
{
    if (started)
        return 0;
    lastError = "";
    stopping = false;
    bufferFull = false;
    // A peer that goes away before its reply would otherwise end the
    // process with SIGPIPE on the send.
    signal(SIGPIPE, SIG_IGN);
    limitDescriptors();
    if (!(dataLock = SDL_CreateMutex()) || !(netLock = SDL_CreateMutex()))
        return startFailed("NET2: can't create a mutex");
    if (!(dataCondition = SDL_CreateCond()))
        return startFailed("NET2: can't create a condition variable");
    socketCount = 0;
    nextFree = 0;
    // One more place in the set for the wake-up pipe.
    if (!(socketSet = SDLNet_AllocSocketSet(NET2_MAX_SOCKETS + 1)))
        return startFailed("NET2: out of memory");
    if (pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return startFailed("NET2: can't create the wake-up pipe");
    wakeHead = {0, wakePipe[0]};
    SDLNet_AddSocket(socketSet, reinterpret_cast<SDLNet_GenericSocket>(&wakeHead));
    if (!(networkThread = SDL_CreateThread(serveSockets, nullptr)))
        return startFailed("NET2: can't start the network thread");
    started = true;
    return 0;
}

static void discardPendingEvents()
{
    SDL_Event event;
    while (FE_Poll(&event)) {
    }
}

void NET2_Stop()
{
    if (!started)
        return;
    if (networkThread) {
        SDL_mutexP(dataLock);
        stopping = true;
        SDL_CondSignal(dataCondition);
        SDL_mutexV(dataLock);
        wakeNetworkThread();
        // The thread may be waiting for room in the queue: make some.
        discardPendingEvents();
        SDL_WaitThread(networkThread, nullptr);
        networkThread = nullptr;
    }
    discardPendingEvents();
    for (int index = 0; index < socketCount; index++) {
        if (socketTable[index].socket)
            SDLNet_TCP_Close(socketTable[index].socket);
        freeEntry(&socketTable[index]);
    }
    socketCount = 0;
    nextFree = 0;
    bufferFull = false;
    destroyPrimitives();
    lastError = "";
    started = false;
}

// ---------------------------------------------------------------------------
// The main thread's operations

// SDL_net listens with a queue of five; editors connecting in a burst
// would find it full and wait for their connection attempts to be retried.
static void deepenQueue(TCPsocket listener)
{
    int descriptor = descriptorOf(listener);
    if (descriptor >= 0)
        listen(descriptor, SOMAXCONN);
}

int NET2_ListenTCP(uint16_t port)
{
    if (!started)
        return -1;
    SDL_mutexP(dataLock);
    int index = -1;
    IPaddress address;
    interruptAndLockNet();
    int resolved = SDLNet_ResolveHost(&address, nullptr, port);
    SDL_mutexV(netLock);
    if (resolved < 0) {
        lastError = "NET2: can't resolve that host name or address";
    } else if ((index = allocateEntry(KIND_LISTENER)) < 0) {
        lastError = "NET2: out of memory";
    } else {
        interruptAndLockNet();
        TCPsocket listener = SDLNet_TCP_Open(&address);
        SDL_mutexV(netLock);
        if (!listener) {
            lastError = "NET2: can't open a socket";
            freeEntry(&socketTable[index]);
            index = -1;
        } else {
            deepenQueue(listener);
            socketTable[index].socket = listener;
            socketTable[index].port = port;
            socketTable[index].status = STATUS_TO_ADD;
            wakeNetworkThread();
        }
    }
    SDL_mutexV(dataLock);
    return index;
}

int NET2_ReadTCP(int socket, char *buffer, int length)
{
    if (!started)
        return 0;
    SDL_mutexP(dataLock);
    int taken = 0;
    NetSocket *entry = connectionAt(socket);
    if (length > 0 && entry) {
        taken = entry->buffered < length ? entry->buffered : length;
        memcpy(buffer, entry->data, taken);
        memmove(entry->data, entry->data + taken, entry->buffered - taken);
        entry->buffered -= taken;
    }
    bufferFull = false;
    SDL_CondSignal(dataCondition);
    SDL_mutexV(dataLock);
    return taken;
}

// Replies may still go to a peer that only closed its sending side.
static bool canSend(const NetSocket *entry)
{
    return entry && (entry->status == STATUS_ACTIVE || entry->status == STATUS_TO_ADD ||
                     entry->status == STATUS_CLOSED);
}

int NET2_TCPSend(int socket, const char *bytes, int length)
{
    if (!started)
        return -1;
    SDL_mutexP(dataLock);
    NetSocket *entry = connectionAt(socket);
    int result = length;
    if (!canSend(entry)) {
        lastError = "NET2: you can't do a TCP send on that socket";
        result = -1;
    } else if (length <= 0) {
        result = 0;
    } else {
        interruptAndLockNet();
        int sent = SDLNet_TCP_Send(entry->socket, bytes, length);
        SDL_mutexV(netLock);
        if (sent < length) {
            entry->status = STATUS_CLOSED;
            lastError = "NET2: can't send TCP data, expect a close event";
            result = -1;
        }
    }
    SDL_mutexV(dataLock);
    if (result < 0 && entry) {
        // Only the main thread sends, and only it makes room in the queue:
        // it must not wait for room here.
        SDL_Event event = netEvent(NET2_TCPCLOSEEVENT, socket, -1);
        FE_TryPush(&event);
    }
    return result;
}

// Stops the sending side of an active connection, so that the peer reads
// the end of what was sent; false if it cannot be done.
static bool halfClose(const NetSocket *entry)
{
    if (entry->kind != KIND_CONNECTION || entry->status != STATUS_ACTIVE)
        return false;
    int descriptor = descriptorOf(entry->socket);
    return descriptor >= 0 && shutdown(descriptor, SHUT_WR) == 0;
}

void NET2_CloseTCP(int socket)
{
    if (!started)
        return;
    SDL_mutexP(dataLock);
    NetSocket *entry = entryAt(socket);
    if (entry && (entry->kind == KIND_LISTENER || entry->kind == KIND_CONNECTION)) {
        // A peer that may still be sending is heard out before the close.
        interruptAndLockNet();
        bool draining = halfClose(entry);
        SDL_mutexV(netLock);
        if (draining) {
            entry->status = STATUS_DRAINING;
            entry->drainDeadline = SDL_GetTicks() + DRAIN_MILLISECONDS;
            entry->drained = 0;
        } else {
            entry->status = STATUS_TO_REMOVE;
        }
        wakeNetworkThread();
        // Unread bytes go with the connection; if they filled its buffer the
        // thread would otherwise wait for a read that never comes.
        entry->buffered = 0;
        bufferFull = false;
        SDL_CondSignal(dataCondition);
    }
    SDL_mutexV(dataLock);
}

bool NET2_PeerClosed(int socket)
{
    if (!started)
        return false;
    SDL_mutexP(dataLock);
    const NetSocket *entry = connectionAt(socket);
    bool closed = entry && entry->status == STATUS_CLOSED && entry->buffered == 0;
    SDL_mutexV(dataLock);
    return closed;
}

const char *NET2_LastError()
{
    if (!started)
        return lastError;
    SDL_mutexP(dataLock);
    const char *text = lastError;
    SDL_mutexV(dataLock);
    return text;
}

// ---------------------------------------------------------------------------
// The whole network side

static void failToStart(const char *reason)
{
    char line[1024];
    snprintf(line, sizeof(line), "Failed to initialize SDL error=%s\n", reason);
    platformWrite(CHANNEL_STDOUT, line);
    platformMessageBox("ERROR", "Failed to initialize SDL");
    exit(1);
}

void startNetworking(Uint32 flags)
{
    static bool stopRegistered;
    if (!stopRegistered) {
        atexit(stopNetworking);
        stopRegistered = true;
    }
    if (SDL_Init(flags) < 0)
        failToStart(SDL_GetError());
    if (SDLNet_Init() < 0)
        failToStart(SDLNet_GetError());
    if (FE_Start() < 0)
        failToStart(FE_LastError());
    if (NET2_Start() < 0)
        failToStart(NET2_LastError());
}

void stopNetworking()
{
    NET2_Stop();
    FE_Stop();
    SDLNet_Quit();
    SDL_Quit();
}

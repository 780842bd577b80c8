// The socket layer of slave mode: a network thread that accepts TCP
// connections, buffers what they send and turns their activity into user
// events on the event queue. The main thread never blocks on a socket: it
// sees events, reads bytes already buffered, sends replies and closes.
#pragma once

#include <SDL/SDL.h>

#include <cstdint>

enum {
    NET2_MAX_SOCKETS = 1024,
    // A connection buffers one byte more than the longest editor message,
    // so that a reader can tell a message that was too long.
    NET2_BUFFER_SIZE = 1024 + 1,
};

// Event kinds, carried in the code of an SDL_USEREVENT.
enum NetEventKind {
    NET2_ERROREVENT = 0,
    NET2_ACCEPTEVENT = 1,
    NET2_TCPRECEIVEEVENT = 2,
    NET2_TCPCLOSEEVENT = 3,
    NET2_UDPRECEIVEEVENT = 4,    // reserved, never produced
};

// Starts the network thread; 0, or -1 with the reason in NET2_LastError.
int NET2_Start();

// Stops the thread, discards every pending event, closes every socket.
// Safe when never started.
void NET2_Stop();

// A listening TCP socket on every local address; its socket index or -1.
int NET2_ListenTCP(uint16_t port);

// Takes up to `length` buffered bytes of a connection; the count taken,
// 0 when none.
int NET2_ReadTCP(int socket, char *buffer, int length);

// Sends all bytes; `length`, 0 for a length of 0 or less, or -1 (a close
// event for the socket follows a failed send).
int NET2_TCPSend(int socket, const char *bytes, int length);

// Closes a listener or connection on the thread's next round; bytes not
// yet read are dropped. A connection whose peer may still send stops
// sending at once and is closed when the peer closes, or after a bounded
// time and amount of input, which is dropped.
void NET2_CloseTCP(int socket);

// Whether a connection was closed by its peer (or by a failed send) and
// holds no unread bytes: only then is a close event about it still news.
// A connection the application already closed may have been reused for a
// new one by the time a late close event arrives.
bool NET2_PeerClosed(int socket);

// What a network event carries. Text only for errors, port only for
// accepts (else null and -1).
int NET2_EventKind(const SDL_Event &event);
int NET2_EventSocket(const SDL_Event &event);
const char *NET2_EventText(const SDL_Event &event);
int NET2_EventPort(const SDL_Event &event);

const char *NET2_LastError();

// A line describing a network event on standard output.
void printNetEvent(const SDL_Event &event);

// Starts SDL with `flags`, SDL_net, the event queue and the socket layer,
// and stops them at process exit. A failure shows "Failed to initialize
// SDL" and ends the process with exit code 1.
void startNetworking(Uint32 flags);

// The socket layer, the event queue, SDL_net and SDL, in that order. Safe
// in standalone mode and more than once.
void stopNetworking();

// The editor protocol of slave mode: an editing tool connects to TCP port
// 28000, sends one message of "::"-separated fields and reads one reply,
// "tag::OK|NOK::fps::state::time::details", after which the engine closes
// the connection. Everything here runs on the main thread, between frames.
#pragma once

#include <SDL/SDL.h>

#include <string>

enum {
    EDITOR_PORT = 28000,
    EDITOR_MESSAGE_SIZE = 1024,    // longest message, in bytes
    EDITOR_DETAILS_SIZE = 1024,    // details of a reply, with the zero byte
};

// Starts the network side and listens on EDITOR_PORT (engine start-up,
// when the slave setting is on). Without the port the engine runs on.
void startNetwork();

// One event of the socket layer (main loop and loading sequence).
void handleNetworkEvent(const SDL_Event &event);

// Carries out one message (text up to its first zero byte) and returns
// the reply, which has no terminating zero byte when sent.
std::string handleEditorMessage(const char *text);

// Section edits, each also usable alone. Ids are compared exactly with a
// section's identifier; in a list ("a,b") each id affects only the first
// section that has it; ids that match nothing are ignored.

// Parses a script text and loads the section it read last; settings lines
// before its first header are applied.
void addSection(const char *text);
// Flips `enabled` and draws a frame at once, so the change shows even
// while paused.
void toggleSections(const char *ids);
void deleteSection(const char *id);
void updateSection(const char *id, const char *text);
// Moves the start or the end of the sections to `seconds`; nothing keeps
// the start below the end.
void setSectionStart(float seconds, const char *ids);
void setSectionEnd(float seconds, const char *ids);
// Requeues all sections, also when no section matched.
void setSectionLayer(int layer, const char *id);

// Replaces the frame toggleSections draws (null restores drawFrame), so
// the protocol can run where there is no window.
void useToggleFrame(void (*draw)());

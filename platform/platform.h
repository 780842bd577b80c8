// The small operating-system layer the engine stands on: where error boxes,
// the debugger channel and directory listings go on this platform.
#pragma once

#include <string>
#include <vector>

// Everything the engine writes goes to one of these channels.
enum PlatformChannel { CHANNEL_STDOUT, CHANNEL_STDERR, CHANNEL_DEBUGGER, CHANNEL_BOX };

// Creates "debug.log" afresh in the current directory; the debugger channel
// writes there from now on. Before this call the channel goes nowhere.
void platformOpenDebugChannel();

// Writes text unchanged to a channel. The box channel takes "caption: text"
// and never waits for anyone to press a button.
void platformWrite(PlatformChannel channel, const char *text);

// The error box: a line "<caption>: <text>" on standard error.
void platformMessageBox(const char *caption, const char *text);

// Sends every write to `tap` instead of its channel (null restores the
// channels), so tests can read what the engine reports and fuzzers can keep
// it quiet.
using PlatformTap = void (*)(PlatformChannel channel, const char *text);
void platformSetTap(PlatformTap tap);

// Returns false when the directory cannot be made current.
bool platformChangeDirectory(const char *path);

// Names (not paths) of the files in `directory` whose extension is
// `extension` (with its dot, compared ignoring case), sorted ignoring case
// so that the order of reading is the same on every file system.
std::vector<std::string> platformListFiles(const char *directory, const char *extension);

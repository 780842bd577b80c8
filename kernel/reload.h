// Live reload of debug runs: the scripts of the data directory and the
// files their sections name (pictures, splines, shaders) are watched while
// the demo plays. A change replaces only the sections it touches, the way
// the editor's section update replaces one; the demo time and play state
// are kept, and a script with errors leaves the demo as it was.
#pragma once

struct Section;

// Notes one script as loadScripts read it: the sections from the head of
// sectionList down to `previousHead` (the head before the file was parsed)
// are the file's own, in reverse order of reading.
void reload_noteScript(const char *directory, const char *path, const char *text,
                       const Section *previousHead);

// Called by the main loop every frame; in debug runs it looks for changes
// at most every half second of wall-clock time.
void reload_poll();

// Looks for changed files now and applies what changed.
void reload_check();

// Forgets every noted script (for tests, which empty the section list).
void reload_forget();

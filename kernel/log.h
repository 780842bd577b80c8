// Reporting: fatal errors, warnings and traces, with one policy for all.
// Without the debug setting an error shuts the engine down and exits with 1;
// with it, the error is shown and the program goes on, so an author sees
// every problem of a demo in one run.
#pragma once

#define PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))

void engineError(const char *format, ...) PRINTF_LIKE(1, 2);
void engineWarning(const char *format, ...) PRINTF_LIKE(1, 2);
void engineTrace(const char *format, ...) PRINTF_LIKE(1, 2);

// Formatted text on standard output (debug banners and timings).
void engineOutput(const char *format, ...) PRINTF_LIKE(1, 2);

// An error about `currentSection`, prefixed with its type name, layer and
// time window.
void sectionError(const char *format, ...) PRINTF_LIKE(1, 2);

// An error about line `line` (from 1) of the text file `file`.
void scriptError(const char *message, const char *file, int line);

// Shows an error box unless its text equals the previous box's text.
void showErrorBox(const char *caption, const char *text);

// Errors reported since the process started (fatal or not); lets tools tell
// a clean run from one that went on past errors in debug mode.
int engineErrorCount();

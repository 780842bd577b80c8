// Script files: reading them, and the small text helpers other readers of
// text files share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum {
    SCRIPT_LINE_SIZE = 256,    // a script line holds at most 255 characters
    KEY_VALUE_SIZE = 512,
};

// Reads every "*.glm" file of `directory`, in name order ignoring case.
void loadScripts(const char *directory);

// Parses one script. `sourceName` is the file's path, or "" for text that
// came from elsewhere. New sections go to the head of the section list.
void parseScript(const char *text, const char *sourceName);

// The whole file followed by a zero byte, or null after a fatal error.
// `size` (if given) receives the size without the zero.
char *loadFile(const char *path, size_t *size = nullptr);

// loadFile for a file already opened (in binary mode) by a reader with
// its own message for a file that does not open. Closes the file.
char *loadOpenFile(FILE *file, size_t *size = nullptr);

// The file's size in bytes, or 0 after a fatal error.
int file_size(const char *path);

// Copies the line starting at `position` of `text` (`textLength` bytes) into
// `line` and returns the position after the character that ended it, or 0
// at the end of the text. A line ends at LF, CR or a zero byte; characters
// past lineSize - 1 are dropped.
size_t readLine(const char *text, size_t textLength, size_t position, char *line,
                size_t lineSize);

// Splits a line into its first blank-delimited word and the rest. Both
// buffers must hold KEY_VALUE_SIZE bytes.
void splitKeyValue(const char *line, char *key, char *value);

// Reads numbers separated by blanks, commas and braces into `values` and
// returns how many it stored; more than `capacity` is a fatal error.
int parseFloatList(const char *text, float *values, int capacity);

// Number conversions of script values: leading blanks skipped, a valid
// number must follow. Return false (and leave *out alone) when none does.
// `base` 10 reads decimal; 0 also reads 0x hexadecimal and 0 octal.
bool scanInt(const char *text, int base, int32_t *out);
bool scanFloat(const char *text, float *out);

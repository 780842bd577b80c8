// The script reader: settings lines, section headers and section lines,
// with a trace for almost every line accepted so the debugger channel holds
// a complete log of the parse.
#include "kernel/script.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/reload.h"
#include "kernel/section.h"
#include "platform/platform.h"

// Larger files are not scripts, shaders or splines; refusing them keeps a
// stray file from exhausting memory.
static const long MAX_FILE_SIZE = 256L << 20;

static bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

static const char *skipBlanks(const char *text)
{
    while (isBlank(*text))
        text++;
    return text;
}

bool scanInt(const char *text, int base, int32_t *out)
{
    char *end;
    long value = strtol(text, &end, base);
    if (end == text)
        return false;
    if (value > INT32_MAX)
        value = INT32_MAX;
    if (value < INT32_MIN)
        value = INT32_MIN;
    *out = static_cast<int32_t>(value);
    return true;
}

bool scanFloat(const char *text, float *out)
{
    char *end;
    float value = strtof(text, &end);
    if (end == text)
        return false;
    *out = value;
    return true;
}

// Copies the first blank-delimited word of `text` into `word`, cut to fit.
static const char *scanWord(const char *text, char *word, size_t wordSize)
{
    text = skipBlanks(text);
    size_t length = 0;
    while (text[length] && !isBlank(text[length]))
        length++;
    snprintf(word, wordSize, "%.*s", static_cast<int>(length), text);
    return text + length;
}

// ---------------------------------------------------------------------------
// Files

char *loadOpenFile(FILE *file, size_t *size)
{
    // A directory opens like a file but has nothing to read.
    struct stat status;
    long length = -1;
    if (fstat(fileno(file), &status) == 0 && !S_ISDIR(status.st_mode) &&
        fseek(file, 0, SEEK_END) == 0)
        length = ftell(file);
    rewind(file);
    char *bytes = nullptr;
    if (length > MAX_FILE_SIZE) {
        engineError("loadFile: Memory error");
    } else if (length < 0) {
        engineError("loadFile: Reading error");
    } else if (!(bytes = static_cast<char *>(calloc(length + 1, 1)))) {
        engineError("loadFile: Memory error");
    } else if (fread(bytes, 1, length, file) != static_cast<size_t>(length) || ferror(file)) {
        engineError("loadFile: Reading error");
        free(bytes);
        bytes = nullptr;
    } else if (size) {
        *size = static_cast<size_t>(length);
    }
    fclose(file);
    return bytes;
}

char *loadFile(const char *path, size_t *size)
{
    FILE *file = fopen(path, "rb");
    if (!file) {
        engineError("loadFile: File error: '%s'", path);
        return nullptr;
    }
    return loadOpenFile(file, size);
}

int file_size(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (!file) {
        engineError("loadFile: File error: '%s'", path);
        return 0;
    }
    long length = -1;
    if (fseek(file, 0, SEEK_END) == 0)
        length = ftell(file);
    fclose(file);
    return length < 0 ? 0 : static_cast<int>(length > INT32_MAX ? INT32_MAX : length);
}

void loadScripts(const char *directory)
{
    for (const std::string &name : platformListFiles(directory, ".glm")) {
        std::string path = std::string(directory) + "/" + name;
        char *text = loadFile(path.c_str());
        if (!text)
            continue;
        const Section *previousHead = demoSystem.sectionList;
        parseScript(text, path.c_str());
        reload_noteScript(directory, path.c_str(), text, previousHead);
        free(text);
    }
}

// ---------------------------------------------------------------------------
// Text helpers

size_t readLine(const char *text, size_t textLength, size_t position, char *line,
                size_t lineSize)
{
    if (position >= textLength || text[position] == '\0')
        return 0;
    size_t end = position;
    while (end < textLength && text[end] != '\n' && text[end] != '\r' && text[end] != '\0')
        end++;
    size_t copied = end - position;
    if (copied > lineSize - 1)
        copied = lineSize - 1;
    memcpy(line, text + position, copied);
    line[copied] = '\0';
    return end + 1;
}

void splitKeyValue(const char *line, char *key, char *value)
{
    const char *rest = scanWord(line, key, KEY_VALUE_SIZE);
    rest = skipBlanks(rest);
    size_t length = strcspn(rest, "\r\n");
    snprintf(value, KEY_VALUE_SIZE, "%.*s", static_cast<int>(length), rest);
}

static bool isNumberCharacter(char c)
{
    return (c >= '0' && c <= '9') || c == '.' || c == '-';
}

int parseFloatList(const char *text, float *values, int capacity)
{
    int count = 0;
    const char *position = text;
    for (;;) {
        while (*position == '{' || *position == ' ' || *position == ',' || *position == '\t')
            position++;
        size_t length = 0;
        while (isNumberCharacter(position[length]))
            length++;
        if (length == 0)
            return count;
        if (count == capacity) {
            engineError("Script parser: too many floats in vector '%s'", text);
            return count;
        }
        // Converted on its own so that a following "e5" is not read with it.
        std::string token(position, length);
        scanFloat(token.c_str(), &values[count]);
        count++;
        position += length;
    }
}

// ---------------------------------------------------------------------------
// Section lines

// Where the parser is, for messages about the current line.
struct ScriptLine {
    const char *sourceName;
    int number;
    const char *text;
};

static void lineError(const ScriptLine &where, const char *message)
{
    scriptError(message, where.sourceName, where.number);
}

static void readIdentifier(Section *section, const char *, const char *value, const ScriptLine &)
{
    scanWord(value, section->identifier, sizeof(section->identifier));
}

static void readStart(Section *section, const char *, const char *value, const ScriptLine &where)
{
    if (!scanFloat(value, &section->startTime) || section->startTime < 0.0f)
        lineError(where, "Invalid start");
    engineTrace("section start: %f", section->startTime);
}

static void readEnd(Section *section, const char *, const char *value, const ScriptLine &where)
{
    if (!scanFloat(value, &section->endTime)) {
        lineError(where, "Invalid end");
        return;
    }
    section->duration = section->endTime - section->startTime;
    if (section->duration <= 0.0f)
        lineError(where, "Invalid duration");
    engineTrace("section end: %f", section->endTime);
}

static void readLayer(Section *section, const char *, const char *value, const ScriptLine &where)
{
    if (!scanInt(value, 0, &section->layer))
        lineError(where, "Invalid layer");
    engineTrace("section layer: %i", section->layer);
}

static void readBlend(Section *section, const char *, const char *value, const ScriptLine &where)
{
    char source[KEY_VALUE_SIZE], destination[KEY_VALUE_SIZE];
    scanWord(scanWord(value, source, sizeof(source)), destination, sizeof(destination));
    if (!source[0] || !destination[0]) {
        lineError(where, "Invalid blend");
        return;
    }
    int sfactor = findBlendFactor(source);
    int dfactor = findBlendFactor(destination);
    if (sfactor < 0 || dfactor < 0) {
        lineError(where, "Invalid blend factor");
        return;
    }
    section->sfactor = sfactor;
    section->dfactor = dfactor;
    section->blendEnabled = 1;
    engineTrace("section blending: source %i and destination %i", sfactor, dfactor);
}

static void readAlpha(Section *section, const char *, const char *value, const ScriptLine &where)
{
    char function[KEY_VALUE_SIZE];
    const char *numbers = scanWord(value, function, sizeof(function));
    char *end;
    float alpha1 = strtof(numbers, &end);
    if (end == numbers) {
        lineError(where, "Invalid alpha");
        return;
    }
    float alpha2 = alpha1;
    scanFloat(end, &alpha2);
    int alphaFunc = findAlphaFunc(function);
    if (alphaFunc < 0) {
        lineError(where, "Invalid alpha function");
        return;
    }
    section->alphaFunc = alphaFunc;
    section->alpha1 = alpha1;
    section->alpha2 = alpha2;
    section->alphaEnabled = 1;
    engineTrace("section alpha: from %f to %f", alpha1, alpha2);
}

static void readParam(Section *section, const char *key, const char *value, const ScriptLine &where)
{
    if (section->paramNum == MAX_SECTION_PARAMS) {
        lineError(where, "Too many params");
        return;
    }
    int found = parseFloatList(value, section->param + section->paramNum,
                               MAX_SECTION_PARAMS - section->paramNum);
    section->paramNum += found;
    float last = section->paramNum > 0 ? section->param[section->paramNum - 1] : 0.0f;
    engineTrace("section parameter: %s = %f (%i found)", key, last, found);
}

static void readString(Section *section, const char *, const char *value, const ScriptLine &where)
{
    if (section->stringNum == MAX_SECTION_STRINGS) {
        lineError(where, "Too many strings");
        return;
    }
    section->strings[section->stringNum++] = strdup(value);
    engineTrace("found string \"%s\"", value);
}

static void readSpline(Section *section, const char *, const char *value, const ScriptLine &where)
{
    if (section->splineNum == MAX_SECTION_SPLINES) {
        lineError(where, "Too many splines");
        return;
    }
    char file[KEY_VALUE_SIZE];
    const char *rest = scanWord(value, file, sizeof(file));
    if (!file[0]) {
        lineError(where, "Invalid spline");
        return;
    }
    float duration = section->duration;
    scanFloat(rest, &duration);
    section->splineFiles[section->splineNum] = strdup(file);
    section->splineDurations[section->splineNum] = duration;
    section->splineNum++;
    engineTrace("section: found spline");
}

static void readEnabled(Section *section, const char *, const char *value, const ScriptLine &)
{
    scanInt(value, 0, &section->enabled);
    engineTrace("section enabled state: %i", section->enabled);
}

static void readUnknown(Section *, const char *, const char *, const ScriptLine &where)
{
    engineTrace("Examined line: \"%s\" but ", where.text);
    lineError(where, "unknown section variable was found");
}

using KeywordReader = void (*)(Section *, const char *key, const char *value, const ScriptLine &);

struct SectionKeyword {
    const char *name;
    KeywordReader read;
};

// "modify" is a keyword scripts may write, but it has no effect and is
// treated as an unknown key.
static const SectionKeyword sectionKeywords[] = {
    {"id", readIdentifier},   {"start", readStart},   {"end", readEnd},
    {"layer", readLayer},     {"blend", readBlend},   {"alpha", readAlpha},
    {"param", readParam},     {"string", readString}, {"spline", readSpline},
    {"modify", readUnknown},  {"enabled", readEnabled},
};
static_assert(sizeof(sectionKeywords) / sizeof(sectionKeywords[0]) == 11,
              "scripts know exactly 11 section keywords");

// The keyword itself, or the one its first letter names: scripts may name
// their values, such as fSpeed for a param or sTexture for a string.
static KeywordReader findKeywordReader(const char *key)
{
    for (const SectionKeyword &keyword : sectionKeywords) {
        if (strcasecmp(keyword.name, key) == 0)
            return keyword.read;
    }
    switch (key[0]) {
    case 'c': return readSpline;
    case 'f': return readParam;
    case 's': return readString;
    default: return readUnknown;
    }
}

// ---------------------------------------------------------------------------
// Lines

static void readSetting(const char *key, const char *value, const ScriptLine &where)
{
    const Setting *setting = findSetting(key);
    if (!setting) {
        lineError(where, "Unknown variable");
        return;
    }
    assignSetting(setting, value);
    engineTrace("done.\n");
}

// A header names the type in brackets; the word after "[" loses its last
// character, which is meant to be the closing bracket.
static Section *readHeader(const char *line, const ScriptLine &where)
{
    char name[SCRIPT_LINE_SIZE];
    scanWord(line + 1, name, sizeof(name));
    size_t length = strlen(name);
    if (length > 0)
        name[length - 1] = '\0';

    Section *section = newSection();
    linkSection(section);
    engineTrace("*************** %s ***************", name);
    section->typeIndex = findSectionType(name);
    if (section->typeIndex < 0)
        lineError(where, "Unknown section type: ");
    return section;
}

void parseScript(const char *text, const char *sourceName)
{
    size_t textLength = strlen(text);
    char line[SCRIPT_LINE_SIZE] = {};
    char key[KEY_VALUE_SIZE], value[KEY_VALUE_SIZE];
    ScriptLine where = {sourceName, 1, line};
    Section *section = nullptr;

    size_t position = readLine(text, textLength, 0, line, sizeof(line));
    while (position != 0) {
        char first = line[0];
        if (first == '[') {
            section = readHeader(line, where);
        } else if (first != '\0' && first != ';') {
            splitKeyValue(line, key, value);
            if (!section)
                readSetting(key, value, where);
            else
                findKeywordReader(key)(section, key, value, where);
        }
        where.number++;
        memset(line, 0, sizeof(line));
        position = readLine(text, textLength, position, line, sizeof(line));
    }
}

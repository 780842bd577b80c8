// Sections, the registry of section types, and the name tables scripts use
// for blending and alpha testing.
#pragma once

#include <cstddef>
#include <cstdint>

struct Spline;

enum {
    MAX_SECTION_PARAMS = 32,
    MAX_SECTION_STRINGS = 32,
    MAX_SECTION_SPLINES = 32,
    SECTION_ID_SIZE = 256,
    SECTION_TYPE_COUNT = 51,
};

// One timed entry of a script. Created zero-filled by the parser; the type's
// operations find it through currentSection.
struct Section {
    Section *next, *prev;              // sectionList
    Section *readyNext, *readyPrev;    // ready queue
    Section *runNext, *runPrev;        // run queue
    char identifier[SECTION_ID_SIZE];
    int32_t typeIndex;                 // registry index; -1 for an unknown type
    float startTime;                   // seconds; active while start <= time < end
    float endTime;
    float duration;
    int32_t layer;                     // lower layers are drawn first
    int32_t enabled;                   // 0 skips exec, not the time window
    float elapsed;                     // currentTime - startTime
    int32_t blendEnabled;
    int32_t sfactor, dfactor;          // GL blend factors
    int32_t alphaEnabled;
    int32_t alphaFunc;                 // GL comparison
    float alpha1, alpha2;              // alpha reference at start and end
    int32_t paramNum;
    float param[MAX_SECTION_PARAMS];
    int32_t stringNum;
    char *strings[MAX_SECTION_STRINGS];            // owned
    int32_t splineNum;
    Spline *splines[MAX_SECTION_SPLINES];          // owned; set by setupSplines
    char *splineFiles[MAX_SECTION_SPLINES];        // owned
    float splineDurations[MAX_SECTION_SPLINES];    // seconds
    void *vars;                        // the type's private data (malloc'd)
};

using SectionOperation = void (*)();

// A section type: its script name and five operations, all always callable.
struct SectionType {
    const char *name;
    SectionOperation preload, load, init, exec, end;
};

extern const SectionType sectionTypes[];

// The type with this registry index (0 to SECTION_TYPE_COUNT - 1), through
// the table in use.
const SectionType &sectionType(int index);

// Replaces the table whose operations the kernel calls (null restores the
// registry), so tests can watch the timeline call them. Names still come
// from the registry.
void useSectionTypes(const SectionType *table);

// The section whose operation runs now.
extern Section *currentSection;

// A name a script may write and the value it stands for.
struct NamedValue {
    const char *name;
    int32_t value;
};

// The value of the first entry whose name equals `name` ignoring case, or -1.
int32_t findNamedValue(const NamedValue *table, size_t count, const char *name);

int32_t findSectionType(const char *name);
int32_t findBlendFactor(const char *name);
int32_t findAlphaFunc(const char *name);

// The registry name of the section's type, or "unknown".
const char *sectionTypeName(const Section *section);

// Whether the section's type exists, so that its operations may be called.
bool sectionHasType(const Section *section);

// Makes the section current and calls one of its type's operations, e.g.
// callOperation(section, &SectionType::load). Sections of unknown type are
// never called.
void callOperation(Section *section, SectionOperation SectionType::*operation);

// A new zero-filled, enabled section.
Section *newSection();

// Puts the section at the head of sectionList.
void linkSection(Section *section);

// Takes the section out of sectionList, keeping its neighbours linked.
void unlinkSection(Section *section);

// Frees the section with its strings, splines and private data.
void freeSection(Section *section);

// Frees the section's private data. It is one block, except for a type that
// drives private sections of its own (efxRepeat): their data goes first,
// while the inputs they share with their owner stay for the owner to free.
void freeSectionVars(Section *section);

// Unlinks and frees every section, leaving an empty sectionList (tests and
// fuzzers start every case from nothing).
void freeAllSections();

// Loads the section's spline files and spreads their keys over their
// durations; stops at the first file that does not load.
void setupSplines(Section *section);

// Samples spline `index` of currentSection at `time` seconds into `result`
// (32 floats).
void sectionSpline(int index, float time, float *result);

// Applies the section's blending and alpha test around drawing; the alpha
// reference moves from alpha1 at the start to alpha2 at the end.
void blendAlphaBegin(const Section *section);
void blendAlphaEnd(const Section *section);

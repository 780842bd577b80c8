// The engine's global state record, its settings table, and the start-up
// and shut-down sequences.
#pragma once

#include <cstdint>

struct Section;
struct Camera;

enum { KEY_COUNT = 323, SETTING_COUNT = 90 };

// The one record of engine state. Settings are written by the defaults and
// by script lines (fps and timing also by keys, demo_start and demo_end also
// by editor commands); the time values, queues, keys and mouse belong to the
// timeline; beat belongs to the sound section.
struct DemoSystem {
    char *runDirectory;
    char *demo_name;
    int32_t config_dialog;
    int32_t fps;
    int32_t timing;
    int32_t debug;
    int32_t record;
    float record_fps;
    int32_t compress_tga;
    int32_t loop;
    int32_t sound;
    float bpm;
    int32_t bench;
    int32_t state;
    float demo_start;
    float demo_end;            // seconds; 0 = the demo has no end
    Section *sectionList;      // newest first
    Section *readyQueue;
    Section *runQueue;
    int32_t loadTypeCount;
    int32_t loadSectionCount;
    int32_t loadDoneCount;
    float currentTime;         // demo seconds
    float lastTicks;           // wall-clock seconds
    float nowTicks;
    float timeStep;
    float frameTime;
    int32_t frameCount;
    int32_t fpsFrames;
    float fpsTime;
    float fpsValue;
    int32_t keys[KEY_COUNT];
    uint8_t quit;
    Camera *currentCamera;
    float beat;
    int32_t mouseX, mouseY;
    int32_t mouseDeltaX, mouseDeltaY;
    uint8_t mouseButtons;
    int32_t slave;
};

extern DemoSystem demoSystem;

enum SettingType : uint8_t { SETTING_INT = 0, SETTING_FLOAT = 1, SETTING_STRING = 2 };

// A key scripts may set; `target` is an int32_t, float or char * variable.
struct Setting {
    const char *name;
    SettingType type;
    void *target;
};

extern const Setting settingsTable[SETTING_COUNT];

// The first setting whose name equals `name` ignoring case, or null.
const Setting *findSetting(const char *name);

// Stores a script value into a setting: "%d" for integers, "%f" for floats,
// a copy for strings. A number that does not convert changes nothing.
void assignSetting(const Setting *setting, const char *value);

// Replaces an owned string, freeing the old one.
void replaceString(char **target, const char *value);

// The run directory the command line asks for.
const char *runDirectoryFromArguments(int argc, char **argv);

// Start-up up to the configuration dialog: traces, arguments, removal of
// "camera.cam" (unless keepCameraFile), defaults, run directory, scripts.
void startKernel(int argc, char **argv, bool keepCameraFile);

// Defaults, run directory and scripts.
void initKernel();

// Waits for the recorded frames to be written, then releases sound, video,
// network and SDL in that order. Safe to call more
// than once and before anything was started.
void engineShutdown();

// "Score: %.2f" for a benchmark run, or empty when there is nothing to score.
// Written into `text` of `size` bytes.
void benchmarkScore(char *text, int size);

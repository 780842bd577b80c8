// The engine state record, the settings scripts may set, and the order in
// which the engine starts and stops.
#include "kernel/demo.h"

#include <SDL/SDL.h>
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/capture.h"
#include "kernel/log.h"
#include "kernel/script.h"
#include "net/sockets.h"
#include "platform/platform.h"
#include "sound/music.h"

DemoSystem demoSystem;

#define INT_SETTING(name, variable) {name, SETTING_INT, &(variable)}
#define FLOAT_SETTING(name, variable) {name, SETTING_FLOAT, &(variable)}
#define STRING_SETTING(name, variable) {name, SETTING_STRING, &(variable)}
#define FBO_SETTINGS(n)                                            \
    INT_SETTING("fbo_" #n "_width", glConfig.fbo[n].width),        \
    INT_SETTING("fbo_" #n "_height", glConfig.fbo[n].height),      \
    STRING_SETTING("fbo_" #n "_format", glConfig.fbo[n].format)

// The first entry whose name matches wins; the order is part of the format.
const Setting settingsTable[SETTING_COUNT] = {
    STRING_SETTING("demo_name", demoSystem.demo_name),
    INT_SETTING("config_dialog", demoSystem.config_dialog),
    INT_SETTING("fps", demoSystem.fps),
    INT_SETTING("timing", demoSystem.timing),
    INT_SETTING("debug", demoSystem.debug),
    INT_SETTING("record", demoSystem.record),
    FLOAT_SETTING("record_fps", demoSystem.record_fps),
    INT_SETTING("compress_tga", demoSystem.compress_tga),
    INT_SETTING("loop", demoSystem.loop),
    INT_SETTING("sound", demoSystem.sound),
    FLOAT_SETTING("bpm", demoSystem.bpm),
    INT_SETTING("bench", demoSystem.bench),
    FLOAT_SETTING("demo_start", demoSystem.demo_start),
    FLOAT_SETTING("demo_end", demoSystem.demo_end),
    INT_SETTING("slave", demoSystem.slave),
    INT_SETTING("gl_fullscreen", glConfig.gl_fullscreen),
    INT_SETTING("gl_panoramic", glConfig.gl_panoramic),
    INT_SETTING("gl_info", glConfig.gl_info),
    INT_SETTING("gl_width", glConfig.gl_width),
    INT_SETTING("gl_height", glConfig.gl_height),
    INT_SETTING("gl_bpp", glConfig.gl_bpp),
    INT_SETTING("gl_zbuffer", glConfig.gl_zbuffer),
    INT_SETTING("gl_stencil", glConfig.gl_stencil),
    INT_SETTING("gl_accum", glConfig.gl_accum),
    INT_SETTING("gl_multisampling", glConfig.gl_multisampling),
    INT_SETTING("gl_rttWidth", glConfig.gl_rttWidth),
    INT_SETTING("gl_rttHeight", glConfig.gl_rttHeight),
    INT_SETTING("gl_lowquality", glConfig.gl_lowquality),
    FLOAT_SETTING("gl_gamma", glConfig.gl_gamma),
    INT_SETTING("texture_detail", texture_detail),
    FBO_SETTINGS(0), FBO_SETTINGS(1), FBO_SETTINGS(2), FBO_SETTINGS(3),
    FBO_SETTINGS(4), FBO_SETTINGS(5), FBO_SETTINGS(6), FBO_SETTINGS(7),
    FBO_SETTINGS(8), FBO_SETTINGS(9), FBO_SETTINGS(10), FBO_SETTINGS(11),
    FBO_SETTINGS(12), FBO_SETTINGS(13), FBO_SETTINGS(14), FBO_SETTINGS(15),
    FBO_SETTINGS(16), FBO_SETTINGS(17), FBO_SETTINGS(18), FBO_SETTINGS(19),
};

const Setting *findSetting(const char *name)
{
    for (const Setting &setting : settingsTable) {
        if (strcasecmp(setting.name, name) == 0)
            return &setting;
    }
    return nullptr;
}

void replaceString(char **target, const char *value)
{
    char *copy = value ? strdup(value) : nullptr;
    free(*target);
    *target = copy;
}

void assignSetting(const Setting *setting, const char *value)
{
    switch (setting->type) {
    case SETTING_INT:
        scanInt(value, 10, static_cast<int32_t *>(setting->target));
        break;
    case SETTING_FLOAT:
        scanFloat(value, static_cast<float *>(setting->target));
        break;
    case SETTING_STRING:
        replaceString(static_cast<char **>(setting->target), value);
        break;
    }
}

const char *runDirectoryFromArguments(int argc, char **argv)
{
    static char programDirectory[4096];
    if (argc > 1)
        return argv[1];
    const char *program = argc > 0 ? argv[0] : "";
    const char *lastSeparator = strrchr(program, '/');
    if (!lastSeparator)
        return ".";
    snprintf(programDirectory, sizeof(programDirectory), "%.*s",
             static_cast<int>(lastSeparator - program), program);
    return programDirectory;
}

static void setDefaults()
{
    demoSystem.record_fps = 25.0f;
    replaceString(&demoSystem.demo_name, "Glimra Visuals Engine");
    demoSystem.bpm = 120.0f;
    demoSystem.config_dialog = 0;
    demoSystem.fps = 0;
    demoSystem.demo_start = 0.0f;
    demoSystem.timing = 0;
    demoSystem.debug = 0;
    demoSystem.demo_end = 20.0f;
    demoSystem.record = 0;
    demoSystem.loop = 0;
    demoSystem.sound = 1;
    demoSystem.bench = 0;
    demoSystem.slave = 0;
    demoSystem.sectionList = nullptr;
}

void initKernel()
{
    setDefaults();
    engineTrace("dkernel: variables inited to default state.\n");
    gl_defaults();
    engineTrace("OpenGL environment created.\n");
    // A directory that cannot be entered leaves the scripts to be looked for
    // where we are.
    platformChangeDirectory(demoSystem.runDirectory);
    loadScripts("data");
    engineTrace("Scripts loaded\n");
}

void startKernel(int argc, char **argv, bool keepCameraFile)
{
    engineTrace("Morvane: Starting up...\n");
    replaceString(&demoSystem.runDirectory, runDirectoryFromArguments(argc, argv));
    engineTrace("Morvane: Got arguments\n");
    // The free-camera recording starts afresh with every run.
    if (!keepCameraFile)
        remove("camera.cam");
    engineTrace("Morvane: Cleaning old camera files");
    initKernel();
    engineTrace("Morvane: Scripts Loaded\n");
    if (demoSystem.slave)
        engineTrace("Morvane: Running in network slave mode\n");
    else
        engineTrace("Morvane: Running in standalone mode\n");
    // The configuration dialog step shows nothing; config_dialog is only stored.
    engineTrace("Morvane: Config Dialog executed\n");
}

void benchmarkScore(char *text, int size)
{
    text[0] = '\0';
    if (demoSystem.bench && demoSystem.currentTime > 0.0f)
        snprintf(text, size, "Score: %.2f",
                 demoSystem.frameCount / demoSystem.currentTime * 166.66667f);
}

void engineShutdown()
{
    // Frames still on their way to disk are part of the recording.
    finishRecording();
    if (demoSystem.sound)
        stopSound();
    gl_shutdown();
    engineTrace("Network closed.\n");
    stopNetworking();
    char score[64];
    benchmarkScore(score, sizeof(score));
    if (score[0])
        printf("%s\n", score);
    SDL_Quit();
}

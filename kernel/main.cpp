// The engine's entry point: start up, load, play, shut down.
#include <cstdlib>
#include <cstring>

#include "kernel/capture.h"
#include "kernel/demo.h"
#include "kernel/loading.h"
#include "kernel/log.h"
#include "kernel/timeline.h"
#include "platform/platform.h"

// "glimra --frame-fd N [RUNDIR]" sends the recorded frames to the open
// descriptor N (the video export tool reads them from a pipe) instead of
// "video/". The switch is taken off the command line, so the run directory
// stays the first argument for the start-up that follows.
static void takeFrameDescriptor(int &argc, char **&argv)
{
    if (argc < 2 || strcmp(argv[1], "--frame-fd") != 0)
        return;
    const char *number = argc > 2 ? argv[2] : "";
    char *end = nullptr;
    long fd = strtol(number, &end, 10);
    if (end == number || *end != '\0' || fd < 0 || fd > 1 << 20 ||
        !recordToDescriptor(static_cast<int>(fd)))
        engineError("Frame descriptor '%s' cannot be written", number);
    argv[2] = argv[0];
    argv += 2;
    argc -= 2;
}

int main(int argc, char **argv)
{
    platformOpenDebugChannel();
    takeFrameDescriptor(argc, argv);
    startKernel(argc, argv, false);
    initEngine();
    engineTrace("Morvane: Engine inited successfully\n");
    mainLoop();
    engineTrace("Morvane: Main loop ended successfully\n");
    engineShutdown();
    engineTrace("Morvane: Engine closed\n");
    return 0;
}

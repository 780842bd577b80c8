// The engine's entry point: start up, load, play, shut down.
#include "kernel/demo.h"
#include "kernel/loading.h"
#include "kernel/log.h"
#include "kernel/timeline.h"
#include "platform/platform.h"

int main(int argc, char **argv)
{
    platformOpenDebugChannel();
    startKernel(argc, argv, false);
    initEngine();
    engineTrace("Morvane: Engine inited successfully\n");
    mainLoop();
    engineTrace("Morvane: Main loop ended successfully\n");
    engineShutdown();
    engineTrace("Morvane: Engine closed\n");
    return 0;
}

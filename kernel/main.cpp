// The engine's entry point: start up, play, shut down.
#include "kernel/demo.h"
#include "kernel/log.h"
#include "platform/platform.h"

int main(int argc, char **argv)
{
    platformOpenDebugChannel();
    startKernel(argc, argv, false);
    engineShutdown();
    engineTrace("Morvane: Engine closed\n");
    return 0;
}

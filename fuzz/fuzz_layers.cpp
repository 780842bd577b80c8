// Fuzzes the render-properties file reader through a scratch file, as
// loadLayers reads files by name.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kernel/demo.h"
#include "models/layers.h"
#include "platform/platform.h"

static void discard(PlatformChannel, const char *) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    platformSetTap(discard);
    demoSystem.debug = 1;
    // In memory where the system offers it: one file write per input.
    static std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                              "/fuzz_layers." + std::to_string(getpid()) + ".rp";
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    fwrite(data, 1, size, file);
    fclose(file);
    freeLayers(loadLayers(path.c_str()));
    return 0;
}

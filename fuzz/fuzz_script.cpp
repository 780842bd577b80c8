// Fuzzes the script parser with debug mode on, so every error is reported
// and parsing goes on to the end of the input.
#include <strings.h>

#include <cstdint>
#include <string>

#include "kernel/demo.h"
#include "kernel/script.h"
#include "kernel/section.h"
#include "platform/platform.h"

static void discard(PlatformChannel, const char *) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    platformSetTap(discard);
    demoSystem.debug = 1;
    std::string text(reinterpret_cast<const char *>(data), size);
    // A "debug 0" line would make the next error end the process, which is
    // the intended policy, not a fault: keep scripts from naming the key.
    for (size_t at = 0; at + 5 <= text.size(); at++) {
        if (strncasecmp(&text[at], "debug", 5) == 0)
            text[at] = '_';
    }
    parseScript(text.c_str(), "data/fuzz.glm");
    freeAllSections();
    return 0;
}

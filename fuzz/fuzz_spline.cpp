// Fuzzes the spline reader and samples what it accepts.
#include <cstdint>

#include "graphics/spline.h"
#include "kernel/demo.h"
#include "platform/platform.h"

static void discard(PlatformChannel, const char *) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    platformSetTap(discard);
    demoSystem.debug = 1;
    Spline *spline = spline_parse(reinterpret_cast<const char *>(data), size, "fuzz.spl");
    if (!spline)
        return 0;
    spline_set_duration(spline, 4.0f);
    float out[MAX_SPLINE_CHANNELS];
    for (float time : {-1.0f, 0.0f, 0.7f, 2.0f, 3.99f, 4.0f, 9.0f})
        spline_evaluate(spline, time, out);
    spline_free(spline);
    return 0;
}

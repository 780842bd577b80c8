// Fuzzes the editor protocol: each input is one message, carried out on a
// small loaded demo. Section operations are empty and a toggle draws no
// frame, so no window is needed.
#include <strings.h>

#include <cstdint>
#include <string>

#include "kernel/demo.h"
#include "kernel/script.h"
#include "kernel/section.h"
#include "kernel/timeline.h"
#include "net/editor.h"
#include "platform/platform.h"

static void discard(PlatformChannel, const char *) {}
static void nothing() {}

static SectionType emptyTypes[SECTION_TYPE_COUNT];

static const char *const demo =
    "[image]\nid a\nstart 0\nend 10\nlayer 1\n"
    "[image]\nid b\nstart 2\nend 12\nlayer 1\n"
    "[camera]\nid cam\nstart 0\nend 20\nlayer 0\n";

static void loadDemo()
{
    freeAllSections();
    demoSystem.debug = 1;
    demoSystem.sound = 0;
    demoSystem.record = 0;
    demoSystem.demo_start = 0.0f;
    demoSystem.demo_end = 20.0f;
    demoSystem.currentTime = 1.0f;
    demoSystem.state = STATE_PLAYING;
    parseScript(demo, "data/demo.glm");
    rebuildQueues();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    platformSetTap(discard);
    for (int i = 0; i < SECTION_TYPE_COUNT; i++)
        emptyTypes[i] = {sectionTypes[i].name, nothing, nothing, nothing, nothing, nothing};
    useSectionTypes(emptyTypes);
    useToggleFrame(nothing);
    loadDemo();
    std::string message(reinterpret_cast<const char *>(data), size);
    // A section text may set any setting; "debug 0" would make the next
    // error end the process, which is the intended policy, not a fault.
    for (size_t at = 0; at + 5 <= message.size(); at++) {
        if (strncasecmp(&message[at], "debug", 5) == 0)
            message[at] = '_';
    }
    handleEditorMessage(message.c_str());
    return 0;
}

// Every load message of the post-effects, glows and radial blurs, each
// provoked by a script, and the later operations of a section whose load
// failed doing nothing. No window is needed: every failing case fails
// before anything is drawn or uploaded, and the clean cases allocate only
// (formulas, which live until the process ends, are loaded cleanly by the
// window tests).
#include <string>
#include <vector>

#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/section.h"
#include "tests/support/kernel_fixture.h"

struct EffectMessageCase {
    const char *settings;      // script lines before the section
    const char *type;
    const char *lines;         // the section's lines after its time window
    const char *message;       // empty: the section loads cleanly
    bool failed;               // the load left nothing to run
};

static const EffectMessageCase effectMessageCases[] = {
    {"", "efxAccum", "param 1 1\n", "3 params needed", true},
    {"", "efxAccum", "param 1 1 1 1\n", "3 params needed", true},
    {"", "efxAccum", "param 2 1 0\n", "", false},
    {"", "efxBlackWhite", "param 1\n", "2 params needed", true},
    {"", "efxBlackWhite", "param 1 0\n", "", false},
    {"", "efxBoxBlur", "", "1 param or spline needed", true},
    {"", "efxBoxBlur", "param 1 2\n", "1 param or spline needed", true},
    {"", "efxBoxBlur", "spline a.spl\nspline b.spl\n", "1 param or spline needed", true},
    {"", "efxBoxBlur", "param 4\n", "", false},
    {"", "efxColor", "param 1 1\n", "3 or 4 params needed", true},
    {"", "efxColor", "param 1 1 1 1 1\n", "3 or 4 params needed", true},
    {"", "efxColor", "param 1 0 0\n", "", false},
    {"", "efxFader", "param 0 0 0 0 1 1 1\n", "8 params needed", true},
    {"", "efxFader", "param 0 0 0 0 1 1 1 1\n", "", false},
    {"", "efxFog", "param 0 0 0 1 0\n", "invalid number of params", true},
    {"", "efxFog", "param 0 0 0 1 0 1 2 3\n", "invalid number of params", true},
    // A rejected mode leaves the fog off: init and end do nothing.
    {"", "efxFog", "param 0 0 0 1 3 0.5\n", "invalid fog mode", true},
    {"", "efxFog", "param 0 0 0 1 -1 0.5\n", "invalid fog mode", true},
    {"", "efxFog", "param 0 0 0 1 0.5 0.5\n", "invalid fog mode", true},
    {"", "efxFog", "param 0 0 0 1 2 0.5\n", "", false},
    {"", "efxMotionBlur", "param 1\n", "2 params needed", true},
    {"", "efxMotionBlurAccum", "param 0.5\n", "accum buffer is not active", true},
    {"gl_accum 1\n", "efxMotionBlurAccum", "param 0.5 0.5\n", "1 param needed", true},
    {"gl_accum 1\n", "efxMotionBlurAccum", "param 0.5\n", "", false},
    {"", "efxViewport", "", "1 or 2 splines needed", true},
    {"", "efxViewport", "spline a.spl\nspline b.spl\nspline c.spl\n", "1 or 2 splines needed",
     true},
    {"", "efxGlow", "param 0.5 0.5 0.5 2\n", "5 params needed", true},
    {"", "efxGlow", "param 0.5 0.5 0.5 2 4\n", "", false},
    {"", "efxGlow2", "string red=0;\nstring green=0;\nstring blue=0;\nstring accumulation=0;\n",
     "5 strings needed", true},
    {"", "efxHighPassFilter", "string red=0;green=0;blue=0;accum=0;\n", "2 strings needed", true},
    {"", "efxHighPassFilter",
     "string red=0;green=0;blue=0;\nstring accum=0;\nstring extra=0;\n", "2 strings needed", true},
    {"", "efxRadialBlur", "param 1 0 1 1 0 0 0.5 0.5 0.5\n", "10 params needed", true},
    {"", "efxRadialBlur", "param 1 0 1 1 0 0 0.5 0.5 0.5 0.5\n", "", false},
    {"", "efxRadialBlur2", "string iterations=1;\n", "5 strings needed", true},
    {"", "efxRadialGlow", "param 0.5 0.5 0.5 2 4 1 1 1 0.1 0.1 0.5 0.5 0.5\n",
     "14 params needed", true},
    {"", "efxRadialGlow", "param 0.5 0.5 0.5 2 4 1 1 1 0.1 0.1 0.5 0.5 0.5 0.5\n", "", false},
    {"", "efxInverse", "param 1 2 3\nstring ignored\n", "", false},
};

class EffectMessages : public KernelTest {};

TEST_F(EffectMessages, EachMessageNamesTheSectionAndLaterOperationsDoNothing)
{
    for (const EffectMessageCase &test : effectMessageCases) {
        SCOPED_TRACE(std::string(test.type) + ": " + test.lines);
        freeAllSections();
        gl_defaults();
        captured.err.clear();
        parse(std::string(test.settings) + "[" + test.type + "]\nid s\nstart 0\nend 10\nlayer 3\n" +
              test.lines);
        Section *section = demoSystem.sectionList;
        ASSERT_NE(section, nullptr);
        callOperation(section, &SectionType::load);
        std::vector<std::string> expected;
        if (*test.message)
            expected.push_back(std::string(test.type) + " (3, 0.000000 -> 10.000000): " + test.message);
        EXPECT_EQ(errors(), expected);

        // A failed load leaves nothing to draw or switch, and nothing more
        // to report.
        if (test.failed) {
            callOperation(section, &SectionType::init);
            callOperation(section, &SectionType::exec);
            callOperation(section, &SectionType::end);
            EXPECT_EQ(errors(), expected);
        }
    }
}

// Every validation message of the image, camera and light sections, each
// provoked by a script, and the operations of a section whose load failed
// running on without a crash. No window is needed: every case fails before
// anything is drawn or uploaded.
#include <string>
#include <vector>

#include "kernel/demo.h"
#include "kernel/section.h"
#include "tests/support/kernel_fixture.h"

struct ValidationCase {
    const char *type;
    const char *lines;         // the section's lines after its time window
    const char *message;       // empty: the section loads cleanly
};

// Ten strings, as the particle sections take them.
#define TEN_STRINGS "string a\nstring b\nstring c\nstring d\nstring e\nstring f\nstring g\n" \
                    "string h\nstring i\nstring j\n"

static const ValidationCase validationCases[] = {
    {"background", "", "1 string needed"},
    {"image", "", "image: 1 string needed"},
    {"image", "string a.tga\n", "image: 1 spline needed"},
    {"image", "param 1 10\nstring a.tga\nspline a.spl\n",
     "Invalid capture buffer 10: the buffers are 0 to 9"},
    {"image", "param 1 -1\nstring a.tga\nspline a.spl\n",
     "Invalid capture buffer -1: the buffers are 0 to 9"},
    {"image2", "string a\nstring b\nstring c\nstring d\n", "image2: 5 strings needed"},
    {"image2", "param 1 2 3\nstring a\nstring b\nstring c\nstring d\nstring e\n",
     "image2: up to 2 params needed"},
    {"image2", "param 1 99999999999\nstring a\nstring b\nstring c\nstring d\nstring e\n",
     "Invalid capture buffer 1e+11: the buffers are 0 to 9"},
    {"image2D", "string a.tga\nstring b.tga\n", "1 string needed"},
    {"image2D", "string a.tga\nspline a.spl\nspline b.spl\n", "Found 2 splines, but only needed 1"},
    {"imageMatrix", "param 1 0 0 0\nstring a.tga\nspline a.spl\nspline b.spl\n",
     "imageMatrix: 5 params needed"},
    {"imageMatrix", "param 1 0 0 0 0\nspline a.spl\nspline b.spl\n",
     "imageMatrix: 1 string needed"},
    {"imageMatrix", "param 1 0 0 0 0\nstring a.tga\nspline a.spl\n",
     "imageMatrix: 2 splines needed"},
    {"imageMatrix", "param 1 2 0 0 0\nstring a.tga\nspline a.spl\nspline b.spl\n",
     "imageMatrix: Invalid value for texture or buffer usage selection"},
    {"imageMatrix", "param 1 1 12 0 0\nstring a.tga\nspline a.spl\nspline b.spl\n",
     "Invalid capture buffer 12: the buffers are 0 to 9"},
    {"imagePart", "param 0\nstring a.tga\nspline a.spl\n", "2 params needed"},
    {"imagePart", "param 0 1\nspline a.spl\n", "1 string needed"},
    {"imagePart", "param 0 1\nstring a.tga\n", "1 spline needed"},
    {"camera", "param 0\n", "1 spline needed"},
    {"camera", "param 0 1\nspline a.spl\n", "1 float needed"},
    {"camera2", "string a=1;\nstring b=1;\nstring c=1;\nstring d=1;\nstring e=1;\n",
     "6 strings needed"},
    {"camera3", "param 0\nstring a=1;\nstring b=1;\n", "6 strings needed"},
    {"camera3", "string a=1;\nstring b=1;\nstring c=1;\nstring d=1;\nstring e=1;\nstring f=1;\n",
     "1 float needed"},
    {"light", "param 0 1\nspline a.spl\nspline b.spl\n", "1 param needed"},
    {"light", "param 0\nspline a.spl\n", "2 splines needed"},
    {"light", "param 8\nspline a.spl\nspline b.spl\n", "Invalid light index"},
    {"light", "param -1\nspline a.spl\nspline b.spl\n", "Invalid light index"},
    {"light", "param 99999999999\nspline a.spl\nspline b.spl\n", "Invalid light index"},
    {"light", "param 7.9\nspline a.spl\nspline b.spl\n", ""},
    {"particleTex2", "param 0 1\n" TEN_STRINGS, "at least 3 params needed"},
    {"particleTex2", "param 0 1 200\nstring a.tga\n", "10 strings needed"},
    {"particleTex2", "param 12 1 200\n" TEN_STRINGS, "Invalid capture buffer 12: the buffers are 0 to 9"},
    {"particleTex2", "param 0 1 200 1 10\n" TEN_STRINGS,
     "Invalid capture buffer 10: the buffers are 0 to 9"},
    {"ray", "param 1\nspline a.spl\nspline b.spl\n", "2 params needed"},
    {"ray", "param 1 1\nspline a.spl\n", "2 splines needed"},
    {"ray", "param 1 70000\nspline a.spl\nspline b.spl\n", "more than 65536 segments"},
    {"particleMatrix2", TEN_STRINGS, "at least 1 param needed"},
    {"particleMatrix2", "param 0\nstring a.3ds\n", "10 strings needed"},
    {"particleMatrix2", "param -1\n" TEN_STRINGS, "Invalid capture buffer -1: the buffers are 0 to 9"},
    {"rayMatrix", TEN_STRINGS "string k\n", "at least 1 param needed"},
    {"rayMatrix", "param 0\n" TEN_STRINGS, "11 strings needed"},
    {"rayMatrix", "param 10\n" TEN_STRINGS "string k\n",
     "Invalid capture buffer 10: the buffers are 0 to 9"},
};

class SectionValidation : public KernelTest {};

TEST_F(SectionValidation, EachMessageNamesTheSectionAndLaterOperationsDoNothing)
{
    for (const ValidationCase &test : validationCases) {
        SCOPED_TRACE(std::string(test.type) + ": " + test.lines);
        freeAllSections();
        captured.err.clear();
        parse(std::string("[") + test.type + "]\nid s\nstart 0\nend 10\nlayer 3\n" + test.lines);
        Section *section = demoSystem.sectionList;
        ASSERT_NE(section, nullptr);
        callOperation(section, &SectionType::load);
        std::vector<std::string> expected;
        if (*test.message)
            expected.push_back(std::string(test.type) + " (3, 0.000000 -> 10.000000): " + test.message);
        EXPECT_EQ(errors(), expected);

        // A failed load leaves nothing to draw, light or switch off.
        if (*test.message) {
            callOperation(section, &SectionType::init);
            callOperation(section, &SectionType::exec);
            callOperation(section, &SectionType::end);
            EXPECT_EQ(errors(), expected);
        }
    }
}

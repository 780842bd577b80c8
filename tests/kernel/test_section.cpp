// Sections: the registry, name tables, the section list and section splines.
#include <cstring>

#include "graphics/spline.h"
#include "kernel/demo.h"
#include "kernel/section.h"
#include "tests/support/kernel_fixture.h"

using SectionTest = KernelTest;

TEST(Registry, NamesAndLookupsIgnoreCase)
{
    EXPECT_EQ(findSectionType("loading"), 0);
    EXPECT_EQ(findSectionType("IMAGE"), 26);
    EXPECT_EQ(findSectionType("glslshaderunbind"), 50);
    EXPECT_EQ(findSectionType("efxradialblur2"), 16);
    EXPECT_EQ(findSectionType("imag"), -1);
    EXPECT_EQ(findBlendFactor("one_minus_src_alpha"), 0x0303);
    EXPECT_EQ(findBlendFactor("ONE_MINUS_CONSTANT_ALPHA"), 0x8004);
    EXPECT_EQ(findBlendFactor("two"), -1);
    EXPECT_EQ(findAlphaFunc("gequal"), 0x0206);
    EXPECT_EQ(findAlphaFunc(""), -1);
    for (int i = 0; i < SECTION_TYPE_COUNT; i++) {
        const SectionType &type = sectionTypes[i];
        EXPECT_EQ(findSectionType(type.name), i) << type.name;
        EXPECT_TRUE(type.preload && type.load && type.init && type.exec && type.end) << type.name;
    }
}

TEST_F(SectionTest, UnknownTypesAreNeverCalled)
{
    Section *unknown = newSection();
    unknown->typeIndex = -1;
    currentSection = nullptr;
    callOperation(unknown, &SectionType::load);
    EXPECT_EQ(currentSection, nullptr);
    EXPECT_STREQ(sectionTypeName(unknown), "unknown");

    unknown->typeIndex = 26;
    callOperation(unknown, &SectionType::exec);
    EXPECT_EQ(currentSection, unknown);
    currentSection = nullptr;
    freeSection(unknown);
}

TEST_F(SectionTest, UnlinkKeepsNeighboursLinked)
{
    Section *sections[3];
    for (Section *&section : sections) {
        section = newSection();
        linkSection(section);
    }
    // The list is sections[2], [1], [0]: take out the middle, then the head.
    unlinkSection(sections[1]);
    EXPECT_EQ(sections[2]->next, sections[0]);
    EXPECT_EQ(sections[0]->prev, sections[2]);
    unlinkSection(sections[2]);
    EXPECT_EQ(demoSystem.sectionList, sections[0]);
    EXPECT_EQ(sections[0]->prev, nullptr);
    freeSection(sections[1]);
    freeSection(sections[2]);
}

TEST_F(SectionTest, SplinesAreSpreadOverTheirDurationAndStopAtTheFirstFailure)
{
    ScratchDirectory scratch;
    std::string five = scratch.write("five.spl", "0\n1\n2\n3\n4\n");
    std::string missing = scratch.path() + "/missing.spl";
    parse("[camera]\nid cam\nstart 0\nend 8\nspline " + five + "\nspline " + missing + "\n"
          "spline " + five + "\n");
    Section *section = demoSystem.sectionList;
    setupSplines(section);
    ASSERT_NE(section->splines[0], nullptr);
    EXPECT_EQ(section->splines[1], nullptr);
    EXPECT_EQ(section->splines[2], nullptr);
    const Spline *spline = section->splines[0];
    for (int j = 0; j < 5; j++)
        EXPECT_FLOAT_EQ(spline->keys[j].time, 2.0f * j);
    EXPECT_EQ(errors(), std::vector<std::string>{"Error loading '" + missing + "'"});

    float result[32];
    currentSection = section;
    sectionSpline(0, 4.0f, result);
    EXPECT_FLOAT_EQ(result[0], 2.0f);
    sectionSpline(1, 4.0f, result);
    sectionSpline(32, 4.0f, result);
    currentSection = nullptr;
    EXPECT_EQ(errors().back(), "Spline not found for section cam");
    EXPECT_EQ(errors().size(), 3u);
}

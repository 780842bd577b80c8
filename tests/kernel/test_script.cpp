// The script reader and its text helpers.
#include <cstdlib>
#include <cstring>
#include <string>

#include "kernel/demo.h"
#include "kernel/script.h"
#include "kernel/section.h"
#include "tests/support/kernel_fixture.h"

using ScriptTest = KernelTest;

static std::vector<std::string> readLines(const std::string &text, size_t lineSize)
{
    std::vector<std::string> lines;
    std::vector<char> line(lineSize);
    size_t position = 0;
    while ((position = readLine(text.c_str(), text.size(), position, line.data(), lineSize)))
        lines.push_back(line.data());
    return lines;
}

TEST(ReadLine, SplitsAtLineFeedCarriageReturnAndEnd)
{
    using Lines = std::vector<std::string>;
    EXPECT_EQ(readLines("", 256), Lines{});
    EXPECT_EQ(readLines("a\nb", 256), (Lines{"a", "b"}));
    EXPECT_EQ(readLines("a\n", 256), (Lines{"a"}));
    EXPECT_EQ(readLines("a\r\nb\r\n", 256), (Lines{"a", "", "b", ""}));
    EXPECT_EQ(readLines("\n\nx", 256), (Lines{"", "", "x"}));
    EXPECT_EQ(readLines(std::string(300, 'y') + "\nz", 256),
              (Lines{std::string(255, 'y'), "z"}));
}

TEST(SplitKeyValue, FirstWordIsTheKeyTheRestTheValue)
{
    struct Case {
        const char *line, *key, *value;
    };
    const Case cases[] = {
        {"start 4", "start", "4"},
        {" \tparam\t 1 2 3  ", "param", "1 2 3  "},
        {"id", "id", ""},
        {"   ", "", ""},
        {"", "", ""},
    };
    for (const Case &c : cases) {
        char key[KEY_VALUE_SIZE], value[KEY_VALUE_SIZE];
        splitKeyValue(c.line, key, value);
        EXPECT_STREQ(key, c.key) << c.line;
        EXPECT_STREQ(value, c.value) << c.line;
    }
}

TEST_F(ScriptTest, FloatListReadsNumbersBetweenSeparators)
{
    struct Case {
        const char *text;
        std::vector<float> values;
    };
    const Case cases[] = {
        {"1, 2 3", {1, 2, 3}},   {"{1,2,3}", {1, 2, 3}}, {"1,2,3}", {1, 2, 3}},
        {"1e5", {1}},            {"+4", {}},             {"-2.5\t.5", {-2.5f, 0.5f}},
        {"", {}},                {"7 x 8", {7}},         {"- 3", {0, 3}},
    };
    for (const Case &c : cases) {
        float values[8] = {};
        int count = parseFloatList(c.text, values, 8);
        EXPECT_EQ(std::vector<float>(values, values + count), c.values) << c.text;
    }
    EXPECT_TRUE(errors().empty());

    float three[3] = {};
    EXPECT_EQ(parseFloatList("1 2 3 4", three, 3), 3);
    EXPECT_EQ(errors(), std::vector<std::string>{"Script parser: too many floats in vector '1 2 3 4'"});
}

TEST_F(ScriptTest, SectionLinesFillTheSection)
{
    parse("; a comment\n"
          "[image]\n"
          "id logo extra\n"
          "start 4\n"
          "end 10\n"
          "layer 010\n"
          "blend one_minus_src_alpha ONE\n"
          "alpha GREATER 0.5\n"
          "param 1 2 3\n"
          "fAmount 4\n"
          "string hello  world \n"
          "sTexture pic.jpg\n"
          "spline a.spl 3\n"
          "cPath b.spl\n"
          "enabled 0\n");
    EXPECT_TRUE(errors().empty());
    const Section *section = demoSystem.sectionList;
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(section->next, nullptr);
    EXPECT_EQ(section->typeIndex, findSectionType("image"));
    EXPECT_STREQ(section->identifier, "logo");
    EXPECT_FLOAT_EQ(section->startTime, 4);
    EXPECT_FLOAT_EQ(section->endTime, 10);
    EXPECT_FLOAT_EQ(section->duration, 6);
    EXPECT_EQ(section->layer, 8);
    EXPECT_EQ(section->blendEnabled, 1);
    EXPECT_EQ(section->sfactor, 0x0303);
    EXPECT_EQ(section->dfactor, 1);
    EXPECT_EQ(section->alphaEnabled, 1);
    EXPECT_EQ(section->alphaFunc, 0x0204);
    EXPECT_FLOAT_EQ(section->alpha1, 0.5f);
    EXPECT_FLOAT_EQ(section->alpha2, 0.5f);
    EXPECT_EQ(std::vector<float>(section->param, section->param + section->paramNum),
              (std::vector<float>{1, 2, 3, 4}));
    ASSERT_EQ(section->stringNum, 2);
    EXPECT_STREQ(section->strings[0], "hello  world ");
    EXPECT_STREQ(section->strings[1], "pic.jpg");
    ASSERT_EQ(section->splineNum, 2);
    EXPECT_STREQ(section->splineFiles[1], "b.spl");
    EXPECT_FLOAT_EQ(section->splineDurations[0], 3);
    EXPECT_FLOAT_EQ(section->splineDurations[1], 6);
    EXPECT_EQ(section->enabled, 0);
    EXPECT_NE(captured.debugger.find("section parameter: fAmount = 4.000000 (1 found)"),
              std::string::npos);
}

// Each script raises exactly the listed errors (debug mode goes on).
TEST_F(ScriptTest, InvalidLinesRaiseTheirErrorsWithFileAndLine)
{
    struct Case {
        const char *script;
        const char *error;
    };
    const Case cases[] = {
        {"nosuch 1\n", "Unknown variable (file 'data/test.glm', line 1)"},
        {" ;indented comment\n", "Unknown variable (file 'data/test.glm', line 1)"},
        {"   \n", "Unknown variable (file 'data/test.glm', line 1)"},
        {"[image ]\n", "Unknown section type:  (file 'data/test.glm', line 1)"},
        {"[image]\n ;x\n", "unknown section variable was found (file 'data/test.glm', line 2)"},
        {"[image]\ndemo_end 5\n", "unknown section variable was found (file 'data/test.glm', line 2)"},
        {"[image]\nFade 1\n", "unknown section variable was found (file 'data/test.glm', line 2)"},
        {"[image]\nmodify 1\n", "unknown section variable was found (file 'data/test.glm', line 2)"},
        {"[image]\nmAnything\n", "unknown section variable was found (file 'data/test.glm', line 2)"},
        {"[image]\nstart x\n", "Invalid start (file 'data/test.glm', line 2)"},
        {"[image]\nstart -1\n", "Invalid start (file 'data/test.glm', line 2)"},
        {"[image]\nend\n", "Invalid end (file 'data/test.glm', line 2)"},
        {"[image]\nstart 5\nend 5\n", "Invalid duration (file 'data/test.glm', line 3)"},
        {"[image]\nlayer top\n", "Invalid layer (file 'data/test.glm', line 2)"},
        {"[image]\nblend ONE\n", "Invalid blend (file 'data/test.glm', line 2)"},
        {"[image]\nblend ONE TWO\n", "Invalid blend factor (file 'data/test.glm', line 2)"},
        {"[image]\nalpha GREATER\n", "Invalid alpha (file 'data/test.glm', line 2)"},
        {"[image]\nalpha BIGGER 1\n", "Invalid alpha function (file 'data/test.glm', line 2)"},
        {"[image]\nspline\n", "Invalid spline (file 'data/test.glm', line 2)"},
        {"\r\n\r\n[image]\r\nstart x\r\n", "Invalid start (file 'data/test.glm', line 7)"},
    };
    for (const Case &c : cases) {
        captured.err.clear();
        freeAllSections();
        parse(c.script);
        EXPECT_EQ(errors(), std::vector<std::string>{c.error}) << c.script;
    }
}

TEST_F(ScriptTest, SettingsLinesAfterAHeaderBelongToTheSection)
{
    demoSystem.sound = 1;
    parse("sound 1\n[image]\nsound 0\n");
    EXPECT_EQ(demoSystem.sound, 1);
    ASSERT_EQ(demoSystem.sectionList->stringNum, 1);
    EXPECT_STREQ(demoSystem.sectionList->strings[0], "0");
}

TEST_F(ScriptTest, DurationUsesTheTimesKnownAtEachLine)
{
    parse("[camera]\nend 10\nstart 4\nspline early.spl\n"
          "[camera]\nspline first.spl\nstart 1\nend 3\nlayer 0x10\nalpha less 0 1\n");
    const Section *second = demoSystem.sectionList;
    const Section *first = second->next;
    EXPECT_FLOAT_EQ(first->duration, 10);
    EXPECT_FLOAT_EQ(first->startTime, 4);
    EXPECT_FLOAT_EQ(first->splineDurations[0], 10);
    EXPECT_FLOAT_EQ(second->splineDurations[0], 0);
    EXPECT_EQ(second->layer, 16);
    EXPECT_FLOAT_EQ(second->alpha2, 1);
}

TEST_F(ScriptTest, HeadersMatchTypesIgnoringCaseAndNewSectionsComeFirst)
{
    parse("[IMAGE]\nid one\n[Light]\nid two\n[]\n[\n");
    const Section *section = demoSystem.sectionList;
    EXPECT_EQ(section->typeIndex, -1);
    EXPECT_EQ(section->next->typeIndex, -1);
    EXPECT_EQ(section->next->next->typeIndex, findSectionType("light"));
    EXPECT_STREQ(section->next->next->identifier, "two");
    EXPECT_EQ(section->next->next->next->typeIndex, findSectionType("image"));
    EXPECT_EQ(section->next->next->next->prev, section->next->next);
    EXPECT_EQ(errors().size(), 2u);
}

TEST_F(ScriptTest, FullTablesChangeNothing)
{
    std::string script = "[image]\nparam";
    for (int i = 0; i < 30; i++)
        script += " " + std::to_string(i);
    script += "\nparam 30 31 32\nparam 33\n";
    for (int i = 0; i < 33; i++)
        script += "string s" + std::to_string(i) + "\nspline f" + std::to_string(i) + "\n";
    parse(script);
    const Section *section = demoSystem.sectionList;
    EXPECT_EQ(section->paramNum, 32);
    EXPECT_FLOAT_EQ(section->param[31], 31);
    EXPECT_EQ(section->stringNum, 32);
    EXPECT_STREQ(section->strings[31], "s31");
    EXPECT_EQ(section->splineNum, 32);
    std::vector<std::string> expected = {
        "Script parser: too many floats in vector '30 31 32'",
        "Too many params (file 'data/test.glm', line 4)",
        "Too many strings (file 'data/test.glm', line 69)",
        "Too many splines (file 'data/test.glm', line 70)"};
    EXPECT_EQ(errors(), expected);
}

TEST_F(ScriptTest, OverLongLinesAreCutAndCountAsOneLine)
{
    std::string longString(400, 's');
    parse("[image]\nstring " + longString + "\nstart x\n");
    ASSERT_EQ(demoSystem.sectionList->stringNum, 1);
    EXPECT_EQ(strlen(demoSystem.sectionList->strings[0]), 255u - strlen("string "));
    EXPECT_EQ(errors(), std::vector<std::string>{"Invalid start (file 'data/test.glm', line 3)"});
}

TEST_F(ScriptTest, MissingAndUnreadableFiles)
{
    ScratchDirectory scratch;
    std::string empty = scratch.write("empty.glm", "");
    size_t size = 99;
    char *text = loadFile(empty.c_str(), &size);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(text[0], '\0');
    free(text);
    EXPECT_EQ(file_size(scratch.write("four", "1234").c_str()), 4);

    std::string missing = scratch.path() + "/missing.glm";
    EXPECT_EQ(loadFile(missing.c_str()), nullptr);
    EXPECT_EQ(file_size(missing.c_str()), 0);
    EXPECT_EQ(loadFile(scratch.path().c_str()), nullptr);
    std::vector<std::string> expected = {"loadFile: File error: '" + missing + "'",
                                         "loadFile: File error: '" + missing + "'",
                                         "loadFile: Reading error"};
    EXPECT_EQ(errors(), expected);
}

TEST_F(ScriptTest, BinaryGarbageOnlyRaisesErrors)
{
    std::string garbage;
    unsigned state = 12345;
    for (int i = 0; i < 20000; i++) {
        state = state * 1103515245 + 12345;
        garbage += static_cast<char>(1 + (state >> 16) % 255);
    }
    parse("[image]\n" + garbage);
    parse(garbage);
    EXPECT_FALSE(errors().empty());
}

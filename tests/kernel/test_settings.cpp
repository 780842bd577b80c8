// Settings table, defaults, command line and start-up.
#include <cstring>
#include <fstream>
#include <iterator>

#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/section.h"
#include "tests/support/kernel_fixture.h"

using SettingsTest = KernelTest;

TEST(SettingsTable, HasNinetyKeysInOrder)
{
    EXPECT_STREQ(settingsTable[0].name, "demo_name");
    EXPECT_STREQ(settingsTable[14].name, "slave");
    EXPECT_STREQ(settingsTable[15].name, "gl_fullscreen");
    EXPECT_STREQ(settingsTable[28].name, "gl_gamma");
    EXPECT_STREQ(settingsTable[29].name, "texture_detail");
    EXPECT_STREQ(settingsTable[30].name, "fbo_0_width");
    EXPECT_STREQ(settingsTable[32].name, "fbo_0_format");
    EXPECT_STREQ(settingsTable[89].name, "fbo_19_format");
    for (int i = 0; i < SETTING_COUNT; i++) {
        for (int j = i + 1; j < SETTING_COUNT; j++)
            EXPECT_STRNE(settingsTable[i].name, settingsTable[j].name);
    }
    EXPECT_EQ(findSetting("FBO_7_Height")->target, &glConfig.fbo[7].height);
    EXPECT_EQ(findSetting("nosuch"), nullptr);
}

TEST_F(SettingsTest, ValuesConvertByType)
{
    struct Case {
        const char *key, *value;
        int32_t expectedInt;
    };
    const Case cases[] = {
        {"fps", "1.5", 1},  {"fps", "  -7x", -7}, {"fps", "abc", -7},
        {"fps", "", -7},    {"fps", "0x10", 0},   {"fps", "99999999999", INT32_MAX},
    };
    demoSystem.fps = 3;
    for (const Case &c : cases) {
        assignSetting(findSetting(c.key), c.value);
        EXPECT_EQ(demoSystem.fps, c.expectedInt) << c.value;
    }
    assignSetting(findSetting("bpm"), "140.25 beats");
    EXPECT_FLOAT_EQ(demoSystem.bpm, 140.25f);
    assignSetting(findSetting("bpm"), "fast");
    EXPECT_FLOAT_EQ(demoSystem.bpm, 140.25f);
    assignSetting(findSetting("fbo_3_format"), "RGBA16F  ");
    EXPECT_STREQ(glConfig.fbo[3].format, "RGBA16F  ");
}

TEST(CommandLine, RunDirectoryComesFromTheFirstArgumentOrTheProgramPath)
{
    struct Case {
        std::vector<const char *> arguments;
        const char *expected;
    };
    const Case cases[] = {
        {{"glimra"}, "."},
        {{"/opt/demo/bin/glimra"}, "/opt/demo/bin"},
        {{"./glimra"}, "."},
        {{"/glimra"}, ""},
        {{"glimra", "demos/one", "demos/two"}, "demos/one"},
        {{}, "."},
    };
    for (const Case &c : cases) {
        std::vector<char *> argv;
        for (const char *argument : c.arguments)
            argv.push_back(const_cast<char *>(argument));
        EXPECT_STREQ(runDirectoryFromArguments(static_cast<int>(argv.size()), argv.data()),
                     c.expected);
    }
}

TEST_F(SettingsTest, StartUpAppliesDefaultsThenScriptsInNameOrder)
{
    ScratchDirectory run;
    run.write("data/B.glm", "demo_name Second\ngl_width 800\n[camera]\nid b\n");
    run.write("data/a.GLM", "demo_name First\nconfig_dialog 1\nrecord_fps 50\n[image]\nid a\n");
    run.write("data/notes.txt", "not a script\n");
    demoSystem.record_fps = 1.0f;
    glConfig.gl_width = 1;
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof(cwd)));
    char *argv[] = {const_cast<char *>("glimra"), const_cast<char *>(run.path().c_str())};
    startKernel(2, argv, true);
    ASSERT_EQ(chdir(cwd), 0);

    EXPECT_STREQ(demoSystem.demo_name, "Second");
    EXPECT_EQ(demoSystem.config_dialog, 1);
    EXPECT_FLOAT_EQ(demoSystem.record_fps, 50.0f);
    EXPECT_EQ(glConfig.gl_width, 800);
    EXPECT_FLOAT_EQ(demoSystem.demo_end, 20.0f);
    EXPECT_EQ(glConfig.gl_height, 480);
    ASSERT_NE(demoSystem.sectionList, nullptr);
    EXPECT_STREQ(demoSystem.sectionList->identifier, "b");
    EXPECT_STREQ(demoSystem.sectionList->next->identifier, "a");
    EXPECT_EQ(errors().size(), 0u);

    const char *expectedTraces[] = {
        "Morvane: Starting up...\n", "Morvane: Got arguments\n",
        "Morvane: Cleaning old camera files\n", "dkernel: variables inited to default state.\n",
        "OpenGL environment created.\n", "Scripts loaded\n", "Morvane: Scripts Loaded\n",
        "Morvane: Running in standalone mode\n", "Morvane: Config Dialog executed\n"};
    size_t position = 0;
    for (const char *trace : expectedTraces) {
        position = captured.debugger.find(std::string("Engine Kernel Trace: ") + trace, position);
        EXPECT_NE(position, std::string::npos) << trace;
    }
}

TEST_F(SettingsTest, BenchmarkScoreNeedsBenchAndTime)
{
    char score[64];
    demoSystem.bench = 1;
    demoSystem.frameCount = 300;
    demoSystem.currentTime = 10.0f;
    benchmarkScore(score, sizeof(score));
    EXPECT_STREQ(score, "Score: 5000.00");
    demoSystem.currentTime = 0.0f;
    benchmarkScore(score, sizeof(score));
    EXPECT_STREQ(score, "");
    demoSystem.bench = 0;
}

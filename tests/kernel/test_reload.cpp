// Live reload without a window: which sections a changed script or file
// replaces, adds and removes, what stays loaded, settings, errors, and a
// long run of reloads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "kernel/demo.h"
#include "kernel/reload.h"
#include "kernel/script.h"
#include "kernel/timeline.h"
#include "graphics/spline.h"
#include "graphics/video.h"
#include "tests/support/kernel_fixture.h"

// Loads record "load <id>" and give the section private data, so that a
// section freed without its data shows up as a leak.
static void recordLoad()
{
    recordedCalls.push_back(std::string("load ") + currentSection->identifier);
    free(currentSection->vars);
    currentSection->vars = malloc(64);
}

// A demo of data/demo.glm read as start-up reads it, loaded, and played to
// second 5 in the playing state.
class ReloadTest : public RecordingTest {
protected:
    void SetUp() override
    {
        RecordingTest::SetUp();
        for (SectionType &type : recorders)
            type.load = recordLoad;
        reload_forget();
        ASSERT_NE(getcwd(startDirectory, sizeof(startDirectory)), nullptr);
        ASSERT_EQ(chdir(scratch.path().c_str()), 0);
        demoSystem.demo_end = 0.0f;
    }
    void TearDown() override
    {
        reload_forget();
        EXPECT_EQ(chdir(startDirectory), 0);
        RecordingTest::TearDown();
    }
    // Writes a file and gives it a modification time of its own, later than
    // any before (file systems stamp in coarse steps).
    void write(const std::string &path, const std::string &text)
    {
        scratch.write(path, text);
        struct timespec times[2] = {{1000000 + ++writes, 0}, {1000000 + writes, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    // Reads the script as start-up does, loading nothing.
    void read(const std::string &script)
    {
        write("data/demo.glm", script);
        loadScripts("data");
        demoSystem.state = STATE_PLAYING;
        demoSystem.currentTime = 5.0f;
    }
    void start(const std::string &script)
    {
        read(script);
        for (Section *section = demoSystem.sectionList; section; section = section->next)
            callOperation(section, &SectionType::load);
        rebuildQueues();
        frame();
        recordedCalls.clear();
        captured = CapturedOutput();
    }
    // One frame's section steps (no window to draw in).
    static void frame()
    {
        retireSections();
        activateSections();
        executeSections();
    }
    // Saves a new script text and lets the reload find it.
    void edit(const std::string &script)
    {
        write("data/demo.glm", script);
        recordedCalls.clear();
        reload_check();
    }
    static Section *find(const char *id)
    {
        for (Section *section = demoSystem.sectionList; section; section = section->next) {
            if (strcmp(section->identifier, id) == 0)
                return section;
        }
        return nullptr;
    }
    static std::vector<std::string> loads()
    {
        std::vector<std::string> calls;
        for (const std::string &call : recordedCalls) {
            if (call.compare(0, 5, "load ") == 0)
                calls.push_back(call);
        }
        return calls;
    }
    static int sectionCount()
    {
        int count = 0;
        for (Section *section = demoSystem.sectionList; section; section = section->next)
            count++;
        return count;
    }
    // The reload's own lines on standard error.
    std::vector<std::string> reloadLines() const
    {
        std::vector<std::string> lines;
        size_t start = 0;
        while ((start = captured.err.find("Reload: ", start)) != std::string::npos) {
            size_t end = captured.err.find('\n', start);
            lines.push_back(captured.err.substr(start, end - start));
            start = end;
        }
        return lines;
    }
    ScratchDirectory scratch;
    char startDirectory[PATH_MAX];
    int writes = 0;
};

static const std::string threeSections =
    "[image]\nid a\nstart 0\nend 100\nparam 1\n"
    "[image]\nid b\nstart 0\nend 100\nparam 2\n"
    "[image]\nid c\nstart 0\nend 100\nparam 3\n";

static std::string replaceText(std::string text, const std::string &from, const std::string &to)
{
    return text.replace(text.find(from), from.size(), to);
}

TEST_F(ReloadTest, OnlyTheChangedSectionIsLoadedAgain)
{
    start(threeSections);
    Section *a = find("a"), *c = find("c");
    edit(replaceText(threeSections, "param 2", "param 7"));
    EXPECT_EQ(loads(), std::vector<std::string>{"load b"});
    EXPECT_EQ(recordedCalls.size(), 4u);        // the three running sections end
    ASSERT_NE(find("b"), nullptr);
    EXPECT_EQ(find("b")->param[0], 7.0f);
    EXPECT_EQ(find("a"), a);
    EXPECT_EQ(find("c"), c);
    EXPECT_EQ(sectionCount(), 3);
    // The time and the play state are kept; the next frame runs all three.
    EXPECT_EQ(demoSystem.currentTime, 5.0f);
    EXPECT_EQ(demoSystem.state, STATE_PLAYING);
    recordedCalls.clear();
    frame();
    EXPECT_EQ(recordedCalls.size(), 6u);
    EXPECT_EQ(reloadLines(), std::vector<std::string>{
                                 "Reload: 'data/demo.glm' at second 5.00: 1 replaced, 0 added, "
                                 "0 removed, 0 loaded, 0 settings wait for a restart"});
    EXPECT_NE(captured.debugger.find("Engine Kernel Trace: Reload: 'data/demo.glm' at second 5.00"),
              std::string::npos);
    // Saving the same text again reloads nothing.
    edit(replaceText(threeSections, "param 2", "param 7"));
    EXPECT_EQ(recordedCalls, std::vector<std::string>());
}

// Sections without an id are matched by their place in the file; a section
// that only moved keeps running.
TEST_F(ReloadTest, SectionsAreMatchedByIdPositionAndText)
{
    const std::string unnamed = "[image]\nstart 0\nend 100\nparam 1\n"
                                "[image]\nstart 0\nend 100\nparam 2\n";
    start(unnamed + "[image]\nid n\nstart 0\nend 100\n");
    Section *named = find("n");
    edit("[image]\nid n\nstart 0\nend 100\n" + replaceText(unnamed, "param 2", "param 5"));
    EXPECT_EQ(find("n"), named);
    EXPECT_EQ(loads(), std::vector<std::string>{"load "});
    EXPECT_EQ(reloadLines().size(), 1u);
    EXPECT_NE(reloadLines()[0].find("1 replaced, 0 added, 0 removed"), std::string::npos);
}

TEST_F(ReloadTest, NewSectionsAreAddedAndMissingOnesRemoved)
{
    start(threeSections);
    std::string text = replaceText(threeSections, "[image]\nid c\nstart 0\nend 100\nparam 3\n",
                                   "[image]\nid d\nstart 1\nend 100\n");
    edit(text);
    EXPECT_EQ(find("c"), nullptr);
    ASSERT_NE(find("d"), nullptr);
    EXPECT_EQ(sectionCount(), 3);
    EXPECT_NE(std::find(recordedCalls.begin(), recordedCalls.end(), "end c"), recordedCalls.end());
    EXPECT_NE(std::find(recordedCalls.begin(), recordedCalls.end(), "load d"), recordedCalls.end());
    EXPECT_NE(reloadLines().at(0).find("0 replaced, 1 added, 1 removed"), std::string::npos);
    // An emptied script removes all its sections.
    edit("");
    EXPECT_EQ(sectionCount(), 0);
}

TEST_F(ReloadTest, SettingsWaitForARestartExceptThePlayedRangeAndLooping)
{
    start("gl_width 640\ndemo_end 50\n" + threeSections);
    edit("gl_width 800\ndemo_end 60\nloop 1\ndebug 0\n" + threeSections);
    EXPECT_EQ(glConfig.gl_width, 640);
    EXPECT_EQ(demoSystem.demo_end, 60.0f);
    EXPECT_EQ(demoSystem.loop, 1);
    EXPECT_EQ(demoSystem.debug, 1);
    EXPECT_EQ(recordedCalls.size(), 3u);        // the queues follow the new end: all end
    EXPECT_NE(captured.err.find("Setting 'gl_width' changed in 'data/demo.glm': it takes effect "
                                "when the demo starts again"),
              std::string::npos);
    EXPECT_NE(captured.err.find("Setting 'debug' changed"), std::string::npos);
    EXPECT_NE(reloadLines().at(0).find("2 settings wait for a restart"), std::string::npos);
}

// A section left out of the played range was never loaded; moving the end
// of the demo past its start loads it.
TEST_F(ReloadTest, ALongerDemoLoadsTheSectionsItNowPlays)
{
    const std::string late = "[image]\nid late\nstart 30\nend 40\n";
    read("demo_end 20\n" + late);
    reload_check();                 // the first look: "late" was not loaded
    edit("demo_end 45\n" + late);
    EXPECT_EQ(demoSystem.demo_end, 45.0f);
    EXPECT_EQ(recordedCalls, std::vector<std::string>{"load late"});
    EXPECT_NE(reloadLines().at(0).find("1 loaded"), std::string::npos);
}

TEST_F(ReloadTest, AScriptWithErrorsLeavesTheDemoAsItWasUntilFixed)
{
    start(threeSections);
    Section *b = find("b");
    std::string broken = replaceText(threeSections, "param 2", "param 2\nstart soon");
    edit(broken);
    EXPECT_EQ(errors(), std::vector<std::string>{"Invalid start (file 'data/demo.glm', line 11)"});
    EXPECT_EQ(reloadLines(), std::vector<std::string>{
                                 "Reload: 'data/demo.glm' has errors; the demo goes on as it was"});
    EXPECT_EQ(find("b"), b);
    EXPECT_EQ(sectionCount(), 3);
    EXPECT_EQ(recordedCalls, std::vector<std::string>());
    // Nothing more is said until the script is saved again.
    captured = CapturedOutput();
    reload_check();
    EXPECT_EQ(captured.err, "");
    edit(replaceText(threeSections, "param 2", "param 4"));
    EXPECT_EQ(find("b")->param[0], 4.0f);
    EXPECT_EQ(recordedCalls.back(), "load b");
}

TEST_F(ReloadTest, AChangedFileReloadsTheSectionsThatNameIt)
{
    write("data/path.spl", "0 0\n1 1\n");
    write("data/picture.tga", "first");
    start("[image]\nid s\nstart 0\nend 100\nspline data/path.spl\n"
          "[image]\nid p\nstart 0\nend 100\nstring data/picture.tga\nstring t=1;\n"
          "[image]\nid other\nstart 0\nend 100\n");
    write("data/picture.tga", "second");
    recordedCalls.clear();
    reload_check();
    EXPECT_EQ(recordedCalls.back(), "load p");
    EXPECT_NE(reloadLines().at(0).find("; changed files: data/picture.tga"), std::string::npos);
    write("data/path.spl", "0 0\n2 2\n");
    recordedCalls.clear();
    reload_check();
    EXPECT_EQ(recordedCalls.back(), "load s");
    ASSERT_NE(find("s")->splines[0], nullptr);
    EXPECT_EQ(find("s")->splines[0]->keys[1].values[0], 2.0f);
}

// A long session: every reload frees what the replaced sections held (the
// leak checker runs at exit), and the demo keeps playing.
TEST_F(ReloadTest, AHundredReloadsInARow)
{
    write("data/path.spl", "0\n1\n");
    start(threeSections);
    for (int i = 0; i < 100; i++) {
        std::string text = threeSections + "[image]\nid x\nstart 0\nend 100\nspline data/path.spl\n";
        if (i % 2)
            text = replaceText(text, "param 2", "param " + std::to_string(i));
        if (i % 7 == 3)
            text += "start broken\n";
        edit(text);
        frame();
    }
    EXPECT_EQ(sectionCount(), 4);
    EXPECT_EQ(find("b")->param[0], 99.0f);
    EXPECT_EQ(demoSystem.currentTime, 5.0f);
}

// The main loop in a real window: frames while paused and winding, the end
// of the demo, quitting, screenshots and loading progress. Section
// operations are replaced by recorders.
#include <SDL/SDL.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <GL/gl.h>

#include <fstream>
#include <iterator>

#include "graphics/video.h"
#include "kernel/capture.h"
#include "kernel/demo.h"
#include "kernel/loading.h"
#include "kernel/section.h"
#include "kernel/timeline.h"
#include "net/events.h"
#include "tests/support/kernel_fixture.h"

static std::vector<float> progress;

static void recordProgress()
{
    int total = demoSystem.loadTypeCount + demoSystem.loadSectionCount;
    progress.push_back(total ? static_cast<float>(demoSystem.loadDoneCount) / total : 0.0f);
}

class MainLoopTest : public RecordingTest {
protected:
    static void SetUpTestSuite()
    {
        gl_defaults();
        demoSystem.debug = 1;
        ASSERT_TRUE(gl_init());
        ASSERT_EQ(FE_Start(), 0);
    }
    static void TearDownTestSuite()
    {
        FE_Stop();
        gl_shutdown();
    }
    void SetUp() override
    {
        RecordingTest::SetUp();
        progress.clear();
        resetTime();
        resetTimer();
    }
    // Makes the next wall-clock frame one second long.
    void slowFrame() { demoSystem.lastTicks = SDL_GetTicks() * 0.001f - 1.0f; }
};

TEST_F(MainLoopTest, PausedFramesRunEndInitAndExecEveryTime)
{
    parse("[image]\nid a\nstart 0\nend 10\n");
    rebuildQueues();
    timeline::pause();
    demoSystem.currentTime = 2.0f;
    runFrame();
    runFrame();
    EXPECT_EQ(recordedCalls, (std::vector<std::string>{"init a", "exec a", "end a", "init a", "exec a",
                                               "end a"}));
    EXPECT_EQ(demoSystem.currentTime, 2.0f);
    EXPECT_EQ(demoSystem.frameCount, 2);
}

TEST_F(MainLoopTest, WindingMovesTenTimesFasterAndStopsAtTheEnds)
{
    struct Case {
        int state;
        float start, end, time;
        float expectedTime;
        int expectedState;
    };
    const Case cases[] = {
        {STATE_REWIND, 0.5f, 20.0f, 3.0f, 0.5f, STATE_PAUSED},
        {STATE_PAUSED | STATE_FORWARD, 0.0f, 5.0f, 1.0f, 5.0f, STATE_PAUSED},
        {STATE_FORWARD, 0.0f, 0.0f, 1.0f, 11.0f, STATE_FORWARD},
        {STATE_FORWARD, 0.0f, 100.0f, 1.0f, 11.0f, STATE_FORWARD},
    };
    for (const Case &c : cases) {
        demoSystem.state = c.state;
        demoSystem.demo_start = c.start;
        demoSystem.demo_end = c.end;
        demoSystem.currentTime = c.time;
        slowFrame();
        runFrame();
        EXPECT_NEAR(demoSystem.currentTime, c.expectedTime, 0.2f) << c.state;
        EXPECT_EQ(demoSystem.state, c.expectedState);
    }
}

TEST_F(MainLoopTest, TheEndQuitsLoopsOrPauses)
{
    parse("[image]\nid a\nstart 0\nend 30\n");
    demoSystem.state = STATE_PLAYING;
    demoSystem.currentTime = 20.5f;
    demoSystem.debug = 0;
    runFrame();
    EXPECT_EQ(demoSystem.quit, 1);
    EXPECT_TRUE(recordedCalls.empty());

    demoSystem.quit = 0;
    demoSystem.loop = 1;
    demoSystem.frameCount = 99;
    runFrame();
    EXPECT_EQ(demoSystem.quit, 0);
    EXPECT_EQ(demoSystem.frameCount, 1);
    EXPECT_LT(demoSystem.currentTime, 1.0f);

    demoSystem.loop = 0;
    demoSystem.debug = 1;
    demoSystem.currentTime = 25.0f;
    runFrame();
    EXPECT_EQ(demoSystem.state, STATE_PAUSED);
    EXPECT_EQ(demoSystem.currentTime, 20.0f);
}

TEST_F(MainLoopTest, EscapeOrAWindowCloseEndsTheLoop)
{
    for (Uint8 type : {Uint8(SDL_KEYDOWN), Uint8(SDL_QUIT)}) {
        SDL_Event event = {};
        event.type = type;
        event.key.keysym.sym = SDLK_ESCAPE;
        ASSERT_EQ(FE_Push(&event), 1);
        demoSystem.quit = 0;
        mainLoop();
        EXPECT_EQ(demoSystem.quit, 1);
    }
}

TEST_F(MainLoopTest, ScreenshotsTakeTheFirstFreeName)
{
    ScratchDirectory scratch;
    char previous[4096];
    ASSERT_TRUE(getcwd(previous, sizeof(previous)));
    ASSERT_EQ(chdir(scratch.path().c_str()), 0);
    SDL_Event key = {};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_s;

    scratch.write("screen01.tga", "taken");
    handleEvent(key);
    EXPECT_EQ(access("screen00.tga", F_OK), 0);
    handleEvent(key);
    FILE *third = fopen("screen02.tga", "rb");
    ASSERT_NE(third, nullptr);
    fseek(third, 0, SEEK_END);
    EXPECT_EQ(ftell(third), 18 + 640 * 480 * 3);
    fclose(third);
    EXPECT_EQ(demoSystem.keys[SDLK_s], 0);
    ASSERT_EQ(chdir(previous), 0);
}

static std::string readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Frame n: a colour of its own with a white bar at x = 20 n, so that no
// two frames are alike and the run-length encoder meets runs and edges.
static void drawNumberedFrame(int n)
{
    glClearColor(n * 0.05f, 1.0f - n * 0.05f, 0.5f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(20 * n, 0, 7, 480);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

// The file the window would give if written right now, in the foreground.
static std::string windowAsFile(const std::string &path, int compress)
{
    std::vector<uint8_t> pixels(640 * 480 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    writeTGA(path.c_str(), pixels.data(), 640, 480, compress);
    return readFile(path);
}

// More frames than the writer has buffers, recorded as fast as they can be
// drawn, and the engine shut down right after the last one: every frame
// is on disk under its own number, as the foreground writer writes it.
TEST_F(MainLoopTest, RecordedFramesAreWrittenInOrderAndAllBeforeShutDownEnds)
{
    enum { FRAMES = 12 };
    ScratchDirectory scratch;
    scratch.write("video/.keep", "");
    char previous[4096];
    ASSERT_TRUE(getcwd(previous, sizeof(previous)));
    ASSERT_EQ(chdir(scratch.path().c_str()), 0);
    for (int compress = 0; compress < 2; compress++) {
        demoSystem.compress_tga = compress;
        std::vector<std::string> expected;
        for (int n = 0; n < FRAMES; n++) {
            drawNumberedFrame(n);
            expected.push_back(windowAsFile("expected.tga", compress));
            demoSystem.frameCount = n;
            recordFrame();
        }
        finishRecording();
        for (int n = 0; n < FRAMES; n++) {
            char name[32];
            snprintf(name, sizeof(name), "video/%08d.tga", n);
            EXPECT_TRUE(readFile(name) == expected[n]) << name << " compress " << compress;
        }
        EXPECT_NE(access("video/00000012.tga", F_OK), 0);
    }
    demoSystem.compress_tga = 0;
    ASSERT_EQ(chdir(previous), 0);
}

TEST_F(MainLoopTest, LoadingProgressCountsPreloadsAndLoads)
{
    recorders[0].exec = recordProgress;
    std::string script = "[loading]\nid loader\nstart 50\nend 60\n";
    for (int i = 0; i < 10; i++)
        script += "[image]\nid s" + std::to_string(i) + "\nstart " + std::to_string(i) + "\nend 15\n";
    script += "[image]\nid before\nstart 0\nend 0.5\n[image]\nid after\nstart 21\nend 22\n";
    parse(script);
    demoSystem.demo_start = 1.0f;
    loadDemo();
    ASSERT_EQ(progress.size(), 61u);
    EXPECT_FLOAT_EQ(progress[0], 0.0f);
    EXPECT_FLOAT_EQ(progress[1], 1.0f / 60.0f);
    EXPECT_FLOAT_EQ(progress.back(), 1.0f);
    int queued = 0;
    for (Section *s = demoSystem.readyQueue; s; s = s->readyNext, queued++)
        EXPECT_NE(std::string(s->identifier), "loader");
    EXPECT_EQ(queued, 10);
    EXPECT_EQ(demoSystem.readyQueue->startTime, 0.0f);
}

TEST_F(MainLoopTest, AWindowCloseWhileLoadingEndsTheProcessCleanly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    parse("[loading]\nid loader\nstart 0\nend 1\n[image]\nid a\nstart 0\nend 5\n");
    EXPECT_EXIT(
        {
            SDL_Event close = {};
            close.type = SDL_QUIT;
            FE_Push(&close);
            loadDemo();
        },
        ::testing::ExitedWithCode(0), "");
}

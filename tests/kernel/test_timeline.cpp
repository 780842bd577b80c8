// The timeline without a window: queues, activation, draw order, the clock,
// play states and keys. Section operations are replaced by recorders.
#include <string>
#include <vector>

#include "kernel/demo.h"
#include "kernel/section.h"
#include "kernel/timeline.h"
#include "tests/support/kernel_fixture.h"

class TimelineTest : public RecordingTest {
protected:
    void SetUp() override
    {
        RecordingTest::SetUp();
        demoSystem.state = STATE_PLAYING;
    }
    // The section pass of one frame at `time`, without drawing.
    void frameAt(float time)
    {
        demoSystem.currentTime = time;
        retireSections();
        activateSections();
        executeSections();
    }
    std::vector<std::string> readyIds() const
    {
        std::vector<std::string> ids;
        for (Section *s = demoSystem.readyQueue; s; s = s->readyNext)
            ids.push_back(s->identifier);
        return ids;
    }
};

using Calls = std::vector<std::string>;

TEST_F(TimelineTest, ReadyQueueIsOrderedByStartThenScriptOrder)
{
    parse("[image]\nid late\nstart 5\nend 8\n"
          "[image]\nid first\nstart 1\nend 3\n"
          "[image]\nid second\nstart 1\nend 3\n"
          "[image]\nid over\nstart 0\nend 0.5\n"
          "[image]\nid outside\nstart 20\nend 25\n"
          "[imag]\nid unknown\nstart 1\nend 2\n");
    demoSystem.currentTime = 0.5f;
    rebuildQueues();
    EXPECT_EQ(readyIds(), (Calls{"first", "second", "late"}));
    demoSystem.demo_end = 0.0f;
    rebuildQueues();
    EXPECT_EQ(readyIds(), (Calls{"first", "second", "late", "outside"}));
}

TEST_F(TimelineTest, LaterSectionsOfALayerAreDrawnFirst)
{
    parse("[image]\nid one\nstart 1\nend 10\nlayer 0\n"
          "[image]\nid two\nstart 2\nend 10\nlayer 0\n"
          "[image]\nid top\nstart 0\nend 10\nlayer 5\n");
    rebuildQueues();
    frameAt(0.0f);
    frameAt(1.0f);
    frameAt(2.5f);
    EXPECT_EQ(recordedCalls, (Calls{"init top", "exec top",
                            "init one", "exec one", "exec top",
                            "init two", "exec two", "exec one", "exec top"}));
    recordedCalls.clear();
    rebuildQueues();
    frameAt(2.5f);
    EXPECT_EQ(recordedCalls, (Calls{"end two", "end one", "end top",
                            "init top", "init one", "init two",
                            "exec two", "exec one", "exec top"}));
}

TEST_F(TimelineTest, SectionsRunInsideTheirWindowAndSkippedWindowsNeverRun)
{
    parse("[image]\nid blink\nstart 1\nend 1.01\n"
          "[image]\nid main\nstart 1\nend 2\n"
          "[image]\nid off\nstart 0\nend 2\nenabled 0\n");
    rebuildQueues();
    frameAt(0.9f);
    frameAt(1.5f);
    const Section *off = demoSystem.sectionList;
    EXPECT_FLOAT_EQ(off->elapsed, 1.5f);
    frameAt(2.0f);
    EXPECT_EQ(recordedCalls, (Calls{"init off", "init main", "exec main", "end main", "end off"}));
    EXPECT_EQ(demoSystem.runQueue, nullptr);
    EXPECT_EQ(demoSystem.readyQueue, nullptr);
}

TEST_F(TimelineTest, ExecSeesTheElapsedTimeOfThePreviousFrame)
{
    parse("[image]\nid a\nstart 1\nend 5\n");
    rebuildQueues();
    frameAt(1.25f);
    const Section *section = demoSystem.sectionList;
    EXPECT_FLOAT_EQ(section->elapsed, 0.25f);
    demoSystem.currentTime = 2.0f;
    static float seen;
    recorders[section->typeIndex].exec = [] { seen = currentSection->elapsed; };
    executeSections();
    EXPECT_FLOAT_EQ(seen, 0.25f);
    EXPECT_FLOAT_EQ(section->elapsed, 1.0f);
}

TEST_F(TimelineTest, PlayStatesAndTheirTexts)
{
    struct Step {
        void (*operation)();
        int state;
        const char *text;
    };
    const Step steps[] = {
        {timeline::pause, 4, "paused"},        {timeline::fastForward, 20, "paused - FF"},
        {timeline::rewind, 12, "paused - RW"}, {timeline::play, 2, "play"},
        {timeline::rewind, 8, "play - RW"},    {timeline::fastForward, 16, "play - FF"},
        {timeline::restart, 2, "play"},
    };
    for (const Step &step : steps) {
        step.operation();
        EXPECT_EQ(demoSystem.state, step.state);
        EXPECT_STREQ(stateText(demoSystem.state), step.text);
    }
}

// Steps applied in order from the range 0 to 20.
TEST_F(TimelineTest, TimeSettersKeepTheRangeConsistent)
{
    struct Step {
        void (*set)(float);
        float value;
        const float *field;
        float expected;
    };
    const Step steps[] = {
        {setDemoStart, -3, &demoSystem.demo_start, 0},
        {setDemoStart, 25, &demoSystem.demo_start, 20},
        {setDemoEnd, 10, &demoSystem.demo_end, 20},
        {setDemoEnd, -1, &demoSystem.demo_end, 0},     // no end at all
        {setDemoStart, 5, &demoSystem.demo_start, 5},  // anywhere without an end
        {setDemoEnd, 2, &demoSystem.demo_end, 5},
        {setCurrentTime, -2, &demoSystem.currentTime, 0},
        {setCurrentTime, 7.5f, &demoSystem.currentTime, 7.5f},
    };
    for (const Step &step : steps) {
        step.set(step.value);
        EXPECT_EQ(*step.field, step.expected) << step.value;
    }
}

TEST_F(TimelineTest, RecordingAdvancesByAFixedStep)
{
    demoSystem.record = 1;
    demoSystem.record_fps = 25.0f;
    demoSystem.demo_start = 2.0f;
    resetTime();
    for (int frame = 0; frame < 500; frame++)
        advanceTime();
    EXPECT_EQ(demoSystem.frameCount, 500);
    EXPECT_NEAR(demoSystem.currentTime, 22.0f, 1e-3f);
    EXPECT_FLOAT_EQ(demoSystem.timeStep, 0.04f);
    EXPECT_NEAR(demoSystem.fpsValue, 25.0f, 0.01f);
    demoSystem.record = 0;
}

static SDL_Event keyEvent(Uint8 type, SDLKey key)
{
    SDL_Event event = {};
    event.type = type;
    event.key.keysym.sym = key;
    return event;
}

TEST_F(TimelineTest, DebugKeysWorkOnlyInDebugRunsButKeysAreAlwaysTracked)
{
    demoSystem.debug = 0;
    demoSystem.fps = 0;
    handleEvent(keyEvent(SDL_KEYDOWN, SDLK_SPACE));
    handleEvent(keyEvent(SDL_KEYDOWN, SDLK_f));
    EXPECT_EQ(demoSystem.state, STATE_PLAYING);
    EXPECT_EQ(demoSystem.fps, 0);
    EXPECT_EQ(demoSystem.keys[SDLK_SPACE], 1);
    handleEvent(keyEvent(SDL_KEYUP, SDLK_SPACE));
    EXPECT_EQ(demoSystem.keys[SDLK_SPACE], 0);

    demoSystem.debug = 1;
    handleEvent(keyEvent(SDL_KEYDOWN, SDLK_f));
    EXPECT_EQ(demoSystem.fps, 1);
    handleEvent(keyEvent(SDL_KEYDOWN, SDLK_t));
    EXPECT_EQ(demoSystem.fps, 0);
    EXPECT_EQ(demoSystem.timing, 1);
    handleEvent(keyEvent(SDL_KEYDOWN, SDLK_SPACE));
    EXPECT_EQ(demoSystem.state, STATE_PAUSED);
    handleEvent(keyEvent(SDL_KEYDOWN, SDLK_F3));
    EXPECT_EQ(demoSystem.state, STATE_PAUSED | STATE_FORWARD);
    handleEvent(keyEvent(SDL_KEYUP, SDLK_F3));
    EXPECT_EQ(demoSystem.state, STATE_PAUSED);
    demoSystem.currentTime = 3.5f;
    handleEvent(keyEvent(SDL_KEYDOWN, SDLK_RETURN));
    EXPECT_EQ(captured.out, "3.500000\n");

    demoSystem.quit = 0;
    SDL_Event close = {};
    close.type = SDL_QUIT;
    handleEvent(close);
    EXPECT_EQ(demoSystem.quit, 1);
    demoSystem.quit = 0;
    handleEvent(keyEvent(SDL_KEYDOWN, SDLK_ESCAPE));
    EXPECT_EQ(demoSystem.quit, 1);
    EXPECT_EQ(demoSystem.keys[SDLK_ESCAPE], 0);
    demoSystem.timing = 0;
}

// The loading sequence handles events between its steps: the play-state
// keys must leave the state at "loading" and the queues alone.
TEST_F(TimelineTest, PlayStateKeysHaveNoEffectWhileLoading)
{
    demoSystem.debug = 1;
    demoSystem.state = STATE_LOADING;
    parse("[image]\nid a\nstart 0\nend 5\n");
    Section *a = demoSystem.sectionList;
    enqueueReady(a);
    // A rebuild of the queues at this time would drop the section.
    demoSystem.currentTime = 6.0f;
    for (SDLKey key : {SDLK_SPACE, SDLK_F1, SDLK_F2, SDLK_F3}) {
        handleEvent(keyEvent(SDL_KEYDOWN, key));
        handleEvent(keyEvent(SDL_KEYUP, key));
        EXPECT_EQ(demoSystem.state, STATE_LOADING) << key;
    }
    EXPECT_EQ(demoSystem.currentTime, 6.0f);
    EXPECT_EQ(demoSystem.readyQueue, a);
    EXPECT_TRUE(recordedCalls.empty());
    demoSystem.debug = 0;
}

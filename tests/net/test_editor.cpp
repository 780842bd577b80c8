// The editor protocol in process, without a window: replies, commands,
// refusals and section edits. Section operations are replaced by
// recorders and the frame a toggle draws by a counter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/spline.h"
#include "kernel/demo.h"
#include "kernel/section.h"
#include "kernel/timeline.h"
#include "net/editor.h"
#include "net/sockets.h"
#include "tests/support/kernel_fixture.h"

static std::vector<std::string> calls;
static int framesDrawn;

static void record(const char *operation)
{
    calls.push_back(std::string(operation) + " " + currentSection->identifier);
}
static void recordPreload() { record("preload"); }
static void recordLoad() { record("load"); }
static void recordEnd() { record("end"); }
static void nothing() {}
static void countFrame() { framesDrawn++; }

class EditorTest : public KernelTest {
protected:
    void SetUp() override
    {
        KernelTest::SetUp();
        for (int i = 0; i < SECTION_TYPE_COUNT; i++)
            recorders[i] = {sectionTypes[i].name, recordPreload, recordLoad, nothing, nothing,
                            recordEnd};
        useSectionTypes(recorders);
        useToggleFrame(countFrame);
        demoSystem.sound = 0;
        demoSystem.demo_start = 0.0f;
        demoSystem.demo_end = 20.0f;
        demoSystem.state = STATE_PLAYING;
        demoSystem.fpsValue = 0.0f;
        demoSystem.currentTime = 0.0f;
        parse("[image]\nid a\nstart 0\nend 10\nlayer 1\n"
              "[image]\nid b\nstart 0\nend 10\nlayer 2\n"
              "[image]\nid c\nstart 5\nend 15\nlayer 3\n");
        rebuildQueues();
        calls.clear();
        framesDrawn = 0;
    }
    void TearDown() override
    {
        useToggleFrame(nullptr);
        useSectionTypes(nullptr);
        demoSystem.readyQueue = demoSystem.runQueue = nullptr;
        KernelTest::TearDown();
    }
    static Section *find(const char *id)
    {
        for (Section *section = demoSystem.sectionList; section; section = section->next) {
            if (std::string(section->identifier) == id)
                return section;
        }
        return nullptr;
    }
    // Every section in list order with its window, layer and switch, and
    // the ready queue: what an edit may change.
    static std::string sectionState()
    {
        std::string text;
        char line[SECTION_ID_SIZE + 64];
        for (Section *section = demoSystem.sectionList; section; section = section->next) {
            snprintf(line, sizeof(line), "%s %g-%g L%d E%d; ", section->identifier,
                     section->startTime, section->endTime, section->layer, section->enabled);
            text += line;
        }
        text += "ready:";
        for (Section *section = demoSystem.readyQueue; section; section = section->readyNext)
            text += std::string(" ") + section->identifier;
        return text;
    }
    static std::string playState()
    {
        char text[128];
        snprintf(text, sizeof(text), "state %d time %g range %g-%g", demoSystem.state,
                 demoSystem.currentTime, demoSystem.demo_start, demoSystem.demo_end);
        return text;
    }
    SectionType recorders[SECTION_TYPE_COUNT];
};

TEST_F(EditorTest, APingIsAnsweredWithTagStatusFpsStateTimeAndEmptyDetails)
{
    demoSystem.fpsValue = 59.5f;
    demoSystem.currentTime = 2.25f;
    EXPECT_EQ(handleEditorMessage("7::command::ping"), "7::OK::59.500000::2::2.250000::");
}

TEST_F(EditorTest, CommandsChangeThePlayStateAndTheTimes)
{
    struct Case {
        const char *message;
        int stateBefore;
        float timeBefore;
        const char *after;    // playState() once the command took effect
    };
    const Case cases[] = {
        {"1::command::pause", STATE_PLAYING, 3.0f, "state 4 time 3 range 0-20"},
        {"1::command::play", STATE_PAUSED, 3.0f, "state 2 time 3 range 0-20"},
        {"1::command::restart", STATE_PAUSED, 7.0f, "state 2 time 0 range 0-20"},
        {"1::command::currentTime::5.5", STATE_PLAYING, 3.0f, "state 2 time 5.5 range 0-20"},
        {"1::command::currentTime::-3", STATE_PLAYING, 3.0f, "state 2 time 0 range 0-20"},
        {"1:command:currentTime:4", STATE_PAUSED, 3.0f, "state 4 time 4 range 0-20"},
        {"1::command::currentTime::4.5s", STATE_PLAYING, 3.0f, "state 2 time 4.5 range 0-20"},
        {"1::command::startTime::3", STATE_PLAYING, 0.0f, "state 2 time 0 range 3-20"},
        {"1::command::startTime::30", STATE_PLAYING, 0.0f, "state 2 time 0 range 20-20"},
        {"1::command::startTime::-1", STATE_PLAYING, 0.0f, "state 2 time 0 range 0-20"},
        {"1::command::endTime::12", STATE_PLAYING, 0.0f, "state 2 time 0 range 0-12"},
        {"1::command::endTime::-1", STATE_PLAYING, 0.0f, "state 2 time 0 range 0-0"},
        {"1::command::ping::extra::fields::ignored", STATE_PAUSED, 1.0f, "state 4 time 1 range 0-20"},
    };
    for (const Case &c : cases) {
        demoSystem.state = c.stateBefore;
        demoSystem.currentTime = c.timeBefore;
        demoSystem.demo_start = 0.0f;
        demoSystem.demo_end = 20.0f;
        std::string reply = handleEditorMessage(c.message);
        EXPECT_EQ(playState(), c.after) << c.message;
        char expected[128];
        snprintf(expected, sizeof(expected), "1::OK::0.000000::%d::%f::", demoSystem.state,
                 demoSystem.currentTime);
        EXPECT_EQ(reply, expected) << c.message;
    }
}

TEST_F(EditorTest, PlayFromAnotherStateRequeuesTheSections)
{
    demoSystem.state = STATE_PAUSED;
    demoSystem.currentTime = 12.0f;
    handleEditorMessage("1::command::play");
    EXPECT_EQ(sectionState(), "c 5-15 L3 E1; b 0-10 L2 E1; a 0-10 L1 E1; ready: c");
}

TEST_F(EditorTest, MalformedMessagesAreRefusedAndChangeNothing)
{
    const std::string oversized = "1::section::delete::a::" + std::string(1002, 'x');
    struct Case {
        std::string message, reply;
    };
    const std::string prefix = "1::NOK::0.000000::2::0.000000::";
    const Case cases[] = {
        {"1::command::seek", prefix + "Unknown command (1::command::seek)"},
        {"1::section::move::a", prefix + "Unknown section (1::section::move::a)"},
        {"1::script::pause", prefix + "Unknown message (1::script::pause)"},
        {"1", prefix + "Missing the message kind (1)"},
        {"", "::NOK::0.000000::2::0.000000::Missing the message kind ()"},
        {"1::command", prefix + "Missing the verb (1::command)"},
        {"1::command::startTime", prefix + "Missing a time in seconds (1::command::startTime)"},
        {"1::command::currentTime::soon",
         prefix + "Not a number: soon (1::command::currentTime::soon)"},
        {"1::command::endTime::nan", prefix + "Not a number: nan (1::command::endTime::nan)"},
        {"1::section::setLayer::x::a", prefix + "Not a number: x (1::section::setLayer::x::a)"},
        {"1::section::setLayer::99999999999::a",
         prefix + "Not a number: 99999999999 (1::section::setLayer::99999999999::a)"},
        {"1::section::setStartTime::3", prefix + "Missing a list of ids (1::section::setStartTime::3)"},
        {"1::section::update::a", prefix + "Missing a section text (1::section::update::a)"},
        {"1::section::delete", prefix + "Missing an id (1::section::delete)"},
        {oversized, prefix + "Message longer than 1024 bytes"},
    };
    std::string sections = sectionState(), play = playState();
    for (const Case &c : cases) {
        EXPECT_EQ(handleEditorMessage(c.message.c_str()), c.reply);
        EXPECT_EQ(sectionState(), sections) << c.message;
        EXPECT_EQ(playState(), play) << c.message;
    }
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(framesDrawn, 0);
}

TEST_F(EditorTest, AMessageOfExactlyTheLongestLengthIsCarriedOut)
{
    std::string message = "1::section::delete::a::";
    message += std::string(EDITOR_MESSAGE_SIZE - message.size(), 'x');
    EXPECT_EQ(handleEditorMessage(message.c_str()), "1::OK::0.000000::2::0.000000::");
    EXPECT_EQ(find("a"), nullptr);
}

// While loading, the loading sequence walks the sections and draws with
// the loading section: every verb but ping is refused and changes nothing,
// and the state stays 0.
TEST_F(EditorTest, WhileLoadingOnlyPingIsCarriedOut)
{
    demoSystem.state = STATE_LOADING;
    demoSystem.currentTime = 3.0f;
    const std::string commands = "The play state and time can't change while loading (";
    const std::string sections = "Sections can't be edited while loading (";
    struct Case {
        const char *message;
        std::string refusal;
    };
    const Case cases[] = {
        {"1::command::pause", commands},
        {"1::command::play", commands},
        {"1::command::restart", commands},
        {"1::command::currentTime::5", commands},
        {"1::command::startTime::1", commands},
        {"1::command::endTime::9", commands},
        {"1::section::new::[image]\nid n\nstart 0\nend 5\n", sections},
        {"1::section::toggle::a", sections},
        {"1::section::delete::a", sections},
        {"1::section::update::a::[image]\nid a\nstart 0\nend 5\n", sections},
        {"1::section::setStartTime::2::a", sections},
        {"1::section::setEndTime::2::a", sections},
        {"1::section::setLayer::4::a", sections},
    };
    std::string sectionsBefore = sectionState(), playBefore = playState();
    for (const Case &c : cases) {
        EXPECT_EQ(handleEditorMessage(c.message),
                  "1::NOK::0.000000::0::3.000000::" + c.refusal + c.message + ")");
        EXPECT_EQ(sectionState(), sectionsBefore) << c.message;
        EXPECT_EQ(playState(), playBefore) << c.message;
    }
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(framesDrawn, 0);
    EXPECT_EQ(handleEditorMessage("1::command::ping"), "1::OK::0.000000::0::3.000000::");
}

TEST_F(EditorTest, NewLoadsOnlyTheLastSectionOfItsText)
{
    EXPECT_EQ(handleEditorMessage("1::section::new::[image]\nid n1\nstart 0\nend 5\n"
                                  "[image]\nid n2\nstart 1\nend 6\nlayer 4\n"),
              "1::OK::0.000000::2::0.000000::");
    EXPECT_EQ(calls, (std::vector<std::string>{"preload n2", "load n2"}));
    EXPECT_EQ(sectionState(), "n2 1-6 L4 E1; n1 0-5 L0 E1; c 5-15 L3 E1; b 0-10 L2 E1; "
                              "a 0-10 L1 E1; ready: a b n1 n2 c");
}

TEST_F(EditorTest, NewWithOnlySettingsLoadsNothing)
{
    std::string sections = sectionState();
    EXPECT_EQ(handleEditorMessage("1::section::new::fps 1\n"), "1::OK::0.000000::2::0.000000::");
    EXPECT_EQ(demoSystem.fps, 1);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(sectionState(), sections);
    demoSystem.fps = 0;
}

TEST_F(EditorTest, ToggleFlipsEveryListedSectionAndDrawsOneFrame)
{
    handleEditorMessage("1::section::toggle::a,c,nosuch,");
    EXPECT_EQ(sectionState(), "c 5-15 L3 E0; b 0-10 L2 E1; a 0-10 L1 E0; ready: a b c");
    EXPECT_EQ(framesDrawn, 1);
    handleEditorMessage("1::section::toggle::c");
    EXPECT_EQ(find("c")->enabled, 1);
    EXPECT_EQ(framesDrawn, 2);
}

TEST_F(EditorTest, DeleteUnlinksTheSectionWhereverItIs)
{
    // c is the head of the list, b in the middle, a at the end.
    for (const char *id : {"b", "c", "a", "nosuch"})
        EXPECT_EQ(handleEditorMessage(("1::section::delete::" + std::string(id)).c_str()),
                  "1::OK::0.000000::2::0.000000::");
    EXPECT_EQ(demoSystem.sectionList, nullptr);
    EXPECT_EQ(demoSystem.readyQueue, nullptr);
}

TEST_F(EditorTest, UpdateReplacesTheSection)
{
    handleEditorMessage("1::section::update::b::[image]\nid b\nstart 2\nend 3\nlayer 9\n");
    EXPECT_EQ(sectionState(), "b 2-3 L9 E1; c 5-15 L3 E1; a 0-10 L1 E1; ready: a b c");
    EXPECT_EQ(calls, (std::vector<std::string>{"preload b", "load b"}));
}

TEST_F(EditorTest, MovingTheStartOrEndRetimesSectionAndSplines)
{
    ScratchDirectory scratch;
    std::string spline = scratch.write("path.spl", "0\n1\n2\n3\n4\n");
    handleEditorMessage(("1::section::new::[image]\nid s\nstart 0\nend 8\nspline " + spline +
                         " 8\n").c_str());
    Section *s = find("s");
    handleEditorMessage("1::section::setStartTime::2::s,a,nosuch");
    EXPECT_EQ(s->startTime, 2.0f);
    EXPECT_EQ(s->duration, 6.0f);
    EXPECT_EQ(s->splineDurations[0], 6.0f);
    ASSERT_NE(s->splines[0], nullptr);
    EXPECT_EQ(s->splines[0]->keys[4].time, 6.0f);
    EXPECT_EQ(find("a")->startTime, 2.0f);
    EXPECT_EQ(find("a")->duration, 8.0f);

    handleEditorMessage("1::section::setEndTime::4::s");
    EXPECT_EQ(s->duration, 2.0f);
    EXPECT_EQ(s->splines[0]->keys[4].time, 2.0f);
    // Nothing keeps the start below the end.
    handleEditorMessage("1::section::setEndTime::1::s");
    EXPECT_EQ(s->duration, -1.0f);
    EXPECT_EQ(sectionState(), "s 2-1 L0 E1; c 5-15 L3 E1; b 0-10 L2 E1; a 2-10 L1 E1; "
                              "ready: b a s c");
}

TEST_F(EditorTest, SetLayerRequeuesEvenWhenNoSectionMatches)
{
    demoSystem.readyQueue = nullptr;
    EXPECT_EQ(handleEditorMessage("1::section::setLayer::5::nosuch"),
              "1::OK::0.000000::2::0.000000::");
    EXPECT_NE(demoSystem.readyQueue, nullptr);
    handleEditorMessage("1::section::setLayer::-2::b");
    EXPECT_EQ(find("b")->layer, -2);
}

TEST_F(EditorTest, ErrorEventsAreTracedAndDescribed)
{
    SDL_Event event = {};
    event.type = SDL_USEREVENT;
    event.user.code = NET2_ERROREVENT;
    event.user.data1 = reinterpret_cast<void *>(3);
    event.user.data2 = const_cast<char *>("NET2: a TCP accept failed");
    handleNetworkEvent(event);
    EXPECT_NE(captured.debugger.find("Net2: Error: NET2: a TCP accept failed(3)"),
              std::string::npos);
    EXPECT_EQ(captured.out, "NET2_ERROREVENT socket 3: NET2: a TCP accept failed\n");
}

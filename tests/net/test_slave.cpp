// The engine binary in slave mode on a private loopback network under the
// test display, driven by glimra-remote and by test clients: every verb end
// to end, what the edits change on screen, and a bounded soak.
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "kernel/capture.h"
#include "tests/net/net_fixture.h"
#include "tests/support/kernel_fixture.h"

static const std::string engine = GLIMRA_BINARY_DIR "/glimra";
static const std::string remote = GLIMRA_BINARY_DIR "/glimra-remote";

enum { PORT = 28000 };

// "tag::status::fps::state::time::details" with the fields captured.
static const std::regex replyPattern("([^:]*)::(OK|NOK)::([0-9.]+)::([0-9]+)::([0-9.]+)::(.*)",
                                     std::regex::extended);

struct Reply {
    bool wellFormed;
    std::string tag, status, details;
    int state;
    float time;
};

static Reply parseReply(const std::string &text)
{
    std::smatch match;
    if (!std::regex_match(text, match, replyPattern))
        return {false, "", "", text, -1, -1.0f};
    return {true, match[1], match[2], match[6], std::stoi(match[4]), std::stof(match[5])};
}

static std::string readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// A loading section that fills the window with one image.
static std::string coloured(const std::string &id, const std::string &image, int layer)
{
    return "[loading]\nid " + id + "\nstart 0\nend 1000\nlayer " + std::to_string(layer) +
           "\nstring data/" + image + "\nstring data/" + image +
           "\nparam 1 1 1 1  0.1 0.1 0.9 0.15  1 1 1 0.5  0.09 0.09 0.91 0.16  0.005\n";
}

class SlaveTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(enterPrivateNetwork()); }

    // Starts the engine on a demo of a red and a green section (green on
    // top) and waits until it answers.
    void SetUp() override
    {
        startDemo(coloured("red", "back.tga", 1) + coloured("green", "green.tga", 2));
        ASSERT_EQ(awaitState(2), 2) << readFile(scratch.path() + "/engine.err");
    }
    // Starts the engine in slave and debug mode on `sections`, after a
    // loading section that is over before the first frame.
    void startDemo(const std::string &sections)
    {
        writeDemo(scratch, "run",
                  "slave 1\ndebug 1\nsound 0\ndemo_end 0\ngl_width 64\ngl_height 48\n"
                  "gl_panoramic 0\n",
                  sections, "start 0\nend 0.01\n");
        std::vector<uint8_t> green;
        for (int i = 0; i < 64 * 64; i++)
            green.insert(green.end(), {0, 255, 0});
        writeTGA((scratch.path() + "/run/data/green.tga").c_str(), green.data(), 64, 64, 0);
        scratch.write("run/video/.keep", "");
        startEngine();
    }
    // Pings until the reply's state is at least `state` (the engine
    // answers already while it loads, with state 0); the last state seen.
    static int awaitState(int state)
    {
        Reply reply = {};
        for (int attempt = 0; attempt < 1000 && !(reply.wellFormed && reply.state >= state);
             attempt++) {
            usleep(reply.wellFormed ? 1000 : 50000);
            reply = parseReply(exchange(PORT, "0::command::ping"));
        }
        return reply.state;
    }
    // Asks the engine to quit as a window close would, and checks that it
    // ended cleanly.
    void TearDown() override
    {
        if (child <= 0)
            return;
        kill(child, SIGTERM);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        std::string err = readFile(scratch.path() + "/engine.err");
        EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
        EXPECT_EQ(err.find("runtime error"), std::string::npos) << err;
    }
    void startEngine()
    {
        child = fork();
        if (child == 0) {
            if (chdir(scratch.path().c_str()) != 0)
                _exit(127);
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            freopen("engine.out", "w", stdout);
            freopen("engine.err", "w", stderr);
            execl(engine.c_str(), engine.c_str(), "run", static_cast<char *>(nullptr));
            _exit(127);
        }
    }
    // Runs glimra-remote with `arguments`; its exit code, and its output as
    // a reply.
    static int run(const std::string &arguments, Reply *reply = nullptr, std::string *out = nullptr)
    {
        std::string text;
        int code = runCommand(remote + " " + arguments, &text, nullptr);
        if (reply)
            *reply = parseReply(text);
        if (out)
            *out = text;
        return code;
    }
    static Reply ping()
    {
        Reply reply;
        run("command ping", &reply);
        return reply;
    }
    // The colour in the middle of a frame drawn now: frames are recorded
    // for a moment and the last one is read.
    std::string centreColour()
    {
        std::string video = scratch.path() + "/run/video/";
        clearDirectory(video);
        run("section new 'record 1'");
        usleep(200000);
        run("section new 'record 0'");
        std::vector<std::string> frames = listFrames(video);
        if (frames.empty())
            return "no frame";
        std::string frame = readFile(video + frames.back());
        size_t centre = 18 + 3 * (24 * 64 + 32);
        if (frame.size() < centre + 3 || frame[2] != 2)
            return "bad frame";
        const uint8_t blue = frame[centre], green = frame[centre + 1], red = frame[centre + 2];
        if (red > 200 && green < 50 && blue < 50)
            return "red";
        if (green > 200 && red < 50 && blue < 50)
            return "green";
        if (blue > 200 && red < 50 && green < 50)
            return "blue";
        if (red < 50 && green < 50 && blue < 50)
            return "black";
        return "other";
    }
    static std::vector<std::string> listFrames(const std::string &path)
    {
        std::vector<std::string> names;
        if (DIR *dir = opendir(path.c_str())) {
            while (dirent *entry = readdir(dir)) {
                if (std::string(entry->d_name).find(".tga") != std::string::npos)
                    names.push_back(entry->d_name);
            }
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    static void clearDirectory(const std::string &path)
    {
        for (const std::string &name : listFrames(path))
            unlink((path + name).c_str());
    }
    ScratchDirectory scratch;
    pid_t child = -1;
};

TEST_F(SlaveTest, CommandsAnswerWithTheStateAndTimeTheyLeave)
{
    Reply reply;
    EXPECT_EQ(run("--tag 7 command ping", &reply), 0);
    EXPECT_EQ(reply.tag, "7");
    EXPECT_EQ(reply.status, "OK");
    EXPECT_EQ(reply.state, 2);
    EXPECT_EQ(reply.details, "");

    EXPECT_EQ(run("command pause", &reply), 0);
    EXPECT_EQ(reply.state, 4);
    float pausedAt = reply.time;
    usleep(300000);
    EXPECT_EQ(ping().time, pausedAt);

    EXPECT_EQ(run("command currentTime 5", &reply), 0);
    EXPECT_EQ(reply.state, 4);
    EXPECT_EQ(reply.time, 5.0f);
    EXPECT_EQ(run("command play", &reply), 0);
    EXPECT_EQ(reply.state, 2);
    usleep(300000);
    EXPECT_GT(ping().time, 5.1f);

    // A played range that ends at 2 seconds pauses there in a debug run;
    // restart goes back to its start.
    EXPECT_EQ(run("command endTime 2", &reply), 0);
    EXPECT_EQ(run("command startTime 1", &reply), 0);
    EXPECT_EQ(run("command restart", &reply), 0);
    EXPECT_EQ(reply.state, 2);
    EXPECT_NEAR(reply.time, 1.0f, 0.1f);
    usleep(1500000);
    reply = ping();
    EXPECT_EQ(reply.state, 4);
    EXPECT_EQ(reply.time, 2.0f);

    std::string out;
    EXPECT_EQ(run("command seek 3", &reply, &out), 1);
    EXPECT_EQ(reply.details, "Unknown command (1::command::seek::3)");
    EXPECT_EQ(out.substr(0, 8), "1::NOK::");
    EXPECT_EQ(run("--port 28001 command ping"), 2);
}

TEST_F(SlaveTest, SectionEditsChangeWhatIsDrawn)
{
    EXPECT_EQ(centreColour(), "green");
    EXPECT_EQ(run("section toggle green"), 0);
    EXPECT_EQ(centreColour(), "red");
    EXPECT_EQ(run("section toggle red"), 0);
    EXPECT_EQ(centreColour(), "black");
    EXPECT_EQ(run("section toggle red,green"), 0);
    EXPECT_EQ(run("section setLayer 3 red"), 0);
    EXPECT_EQ(centreColour(), "red");
    EXPECT_EQ(run("section delete red"), 0);
    EXPECT_EQ(centreColour(), "green");
    EXPECT_EQ(run("section new '" + coloured("blue", "front.tga", 5) + "'"), 0);
    EXPECT_EQ(centreColour(), "blue");
    EXPECT_EQ(run("section update blue '" + coloured("blue", "front.tga", 0) + "'"), 0);
    EXPECT_EQ(centreColour(), "green");
    EXPECT_EQ(run("section setStartTime 900 green"), 0);
    EXPECT_EQ(centreColour(), "blue");
    EXPECT_EQ(run("section setEndTime 0.001 blue"), 0);
    EXPECT_EQ(centreColour(), "black");
}

// Bounded in count, loopback only: sequential pings, a burst of concurrent
// connections, messages written in pieces, peers that close without
// sending and oversized messages. Every well-formed message gets exactly
// one correct reply, and the demo goes on playing.
TEST_F(SlaveTest, SoakKeepsAnsweringEveryMessageAndPlaying)
{
    float startTime = ping().time;
    for (int i = 0; i < 2000; i++) {
        std::string tag = "s" + std::to_string(i);
        Reply reply = parseReply(exchange(PORT, tag + "::command::ping"));
        ASSERT_TRUE(reply.wellFormed) << i << ": " << reply.details;
        ASSERT_EQ(reply.tag, tag);
        ASSERT_EQ(reply.status, "OK");
        // Every few pings a peer that connects and goes without a word.
        if (i % 20 == 0)
            close(connectLoopback(PORT));
    }

    std::atomic<int> answered{0};
    std::vector<std::thread> burst;
    for (int i = 0; i < 64; i++) {
        burst.emplace_back([i, &answered] {
            std::string tag = "b" + std::to_string(i);
            Reply reply = parseReply(exchange(PORT, tag + "::command::ping"));
            answered += reply.wellFormed && reply.tag == tag && reply.status == "OK";
        });
    }
    for (std::thread &client : burst)
        client.join();
    EXPECT_EQ(answered, 64);

    // Pieces written back to back join into one message; whatever the
    // moment the engine takes it, the connection gets one reply with its tag.
    for (int i = 0; i < 50; i++) {
        std::string tag = "p" + std::to_string(i);
        int connection = connectLoopback(PORT);
        for (const std::string &piece : {tag, std::string("::comm"), std::string("and::pi"),
                                         std::string("ng")})
            sendBytes(connection, piece);
        Reply reply = parseReply(receiveAll(connection));
        close(connection);
        EXPECT_TRUE(reply.wellFormed);
        EXPECT_EQ(reply.tag, tag);
    }

    for (size_t size : {1025, 3000, 200000}) {
        std::string message = "big::command::pause::" + std::string(size, 'x');
        int connection = connectLoopback(PORT);
        sendBytes(connection, message);
        Reply reply = parseReply(receiveAll(connection));
        close(connection);
        EXPECT_EQ(reply.status, "NOK") << size;
        EXPECT_EQ(reply.details, "Message longer than 1024 bytes") << size;
    }

    Reply last = ping();
    EXPECT_EQ(last.state, 2);
    EXPECT_GT(last.time, startTime);
}

// Over-long messages are refused; the reply reaches the peer in full and
// the connection then ends in an orderly close, whatever the peer still
// sends after the first 1024 bytes.
TEST_F(SlaveTest, AnOverLongMessageIsAnsweredWithoutAReset)
{
    for (size_t size : {1100, 3000, 100000}) {
        int connection = connectLoopback(PORT);
        sendBytes(connection, "big::command::pause::" + std::string(size, 'x'));
        bool closedCleanly = false;
        Reply reply = parseReply(receiveAll(connection, &closedCleanly));
        close(connection);
        EXPECT_EQ(reply.status, "NOK") << size;
        EXPECT_EQ(reply.details, "Message longer than 1024 bytes") << size;
        EXPECT_TRUE(closedCleanly) << size;
    }
    // A peer that goes on sending after its reply holds up nobody else.
    int talker = connectLoopback(PORT);
    sendBytes(talker, "big::" + std::string(2000, 'x'));
    EXPECT_EQ(parseReply(receiveAll(talker)).status, "NOK");
    sendBytes(talker, std::string(5000, 'y'));
    EXPECT_EQ(ping().state, 2);
    sendBytes(talker, std::string(5000, 'z'));
    EXPECT_EQ(ping().state, 2);
    close(talker);
}

// A demo that takes a while to load, its loading screen drawn by the
// section read last.
class SlaveLoadingTest : public SlaveTest {
protected:
    void SetUp() override
    {
        std::string sections;
        for (int i = 0; i < SECTIONS; i++)
            sections += coloured("s" + std::to_string(i), "green.tga", 1);
        startDemo(sections);
    }
    enum { SECTIONS = 600 };
};

// While the demo loads, commands that change the play state or time and
// section edits are refused and change nothing; deleting the section that
// draws the loading screen would leave the loading sequence drawing with
// freed memory.
TEST_F(SlaveLoadingTest, EditsAndPlayCommandsAreRefusedWhileLoading)
{
    ASSERT_EQ(awaitState(0), 0) << readFile(scratch.path() + "/engine.err");
    const std::string loadingScreen = "s" + std::to_string(SECTIONS - 1);
    const std::string messages[] = {"1::command::pause", "1::command::currentTime::50",
                                    "1::section::delete::" + loadingScreen};
    for (const std::string &message : messages) {
        Reply reply = parseReply(exchange(PORT, message));
        EXPECT_EQ(reply.status, "NOK") << message;
        EXPECT_EQ(reply.state, 0) << message;
        EXPECT_NE(reply.details.find("while loading (" + message + ")"), std::string::npos)
            << reply.details;
    }
    ASSERT_EQ(awaitState(2), 2) << readFile(scratch.path() + "/engine.out");
    Reply reply = ping();
    EXPECT_LT(reply.time, 50.0f);
    EXPECT_EQ(run("section delete " + loadingScreen), 0);
}

TEST(SlaveClient, WithoutAnEngineTheClientExitsTwo)
{
    std::string err;
    EXPECT_EQ(runCommand(remote + " --port 1 command ping", nullptr, &err), 2);
    EXPECT_NE(err.find("can't connect"), std::string::npos);
    EXPECT_EQ(runCommand(remote, nullptr, nullptr), 2);
}

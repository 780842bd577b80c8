// Live reload end to end: the engine binary records a debug run while the
// test edits its script and its picture, and the recorded frames show each
// change within a second while the demo plays on.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "kernel/capture.h"
#include "tests/support/kernel_fixture.h"

static const std::string engine = GLIMRA_BINARY_DIR "/glimra";

// Small frames: a debug run records hundreds of them a second.
enum { WIDTH = 64, HEIGHT = 48 };

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb &other) const
    {
        return r == other.r && g == other.g && b == other.b;
    }
};

static std::ostream &operator<<(std::ostream &stream, const Rgb &colour)
{
    return stream << "(" << int(colour.r) << ", " << int(colour.g) << ", " << int(colour.b) << ")";
}

static const Rgb red = {255, 0, 0}, green = {0, 255, 0}, blue = {0, 0, 255}, black = {0, 0, 0};

static double secondsOf(const struct timespec &time)
{
    return time.tv_sec + time.tv_nsec * 1e-9;
}

static double now()
{
    struct timespec time;
    clock_gettime(CLOCK_REALTIME, &time);
    return secondsOf(time);
}

static std::string readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// A recorded frame: its centre pixel and when it was written.
struct RecordedFrame {
    bool complete;
    Rgb centre;
    double written;
};

// Replaces a file in one step, as editors save, so the engine never reads
// half of it.
static void replaceFile(const std::string &path, const std::string &contents)
{
    std::ofstream(path + ".part", std::ios::binary) << contents;
    rename((path + ".part").c_str(), path.c_str());
}

static void replacePicture(const std::string &path, const Rgb &colour)
{
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 16 * 16; i++)
        pixels.insert(pixels.end(), {colour.r, colour.g, colour.b});
    writeTGA((path + ".part").c_str(), pixels.data(), 16, 16, 0);
    rename((path + ".part").c_str(), path.c_str());
}

class LiveReloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeDemo(scratch, "run",
                  "debug 1\ngl_panoramic 0\ngl_width 64\ngl_height 48\nrecord 1\n"
                  "record_fps 25\ndemo_end 0",
                  "", "start 0\nend 0.01\n");
        data = scratch.path() + "/run/data/";
        replacePicture(data + "red.tga", red);
        replacePicture(data + "green.tga", green);
        scratch.write("run/video/.keep", "");
    }
    void TearDown() override
    {
        if (engineProcess > 0) {
            kill(engineProcess, SIGKILL);
            waitpid(engineProcess, nullptr, 0);
        }
    }
    void startEngine()
    {
        engineProcess = fork();
        if (engineProcess == 0) {
            std::string command = "cd " + scratch.path() + " && ASAN_OPTIONS=detect_leaks=0 exec " +
                                  engine + " run >out.txt 2>err.txt";
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
    }
    // Asks the engine to quit as a window close does; its exit code.
    int stopEngine()
    {
        kill(engineProcess, SIGTERM);
        int status = 0;
        for (int wait = 0; wait < 200; wait++) {
            if (waitpid(engineProcess, &status, WNOHANG) == engineProcess) {
                engineProcess = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(50 * 1000);
        }
        return -1;
    }
    // Reads only the centre pixel: the test must keep up with the engine.
    RecordedFrame frame(int number) const
    {
        char name[64];
        snprintf(name, sizeof name, "/run/video/%08d.tga", number);
        std::string path = scratch.path() + name;
        struct stat status;
        if (stat(path.c_str(), &status) != 0 || status.st_size != 18 + WIDTH * HEIGHT * 3)
            return {false, black, 0};
        uint8_t pixel[3] = {};
        if (FILE *file = fopen(path.c_str(), "rb")) {
            fseek(file, 18 + (HEIGHT / 2 * WIDTH + WIDTH / 2) * 3, SEEK_SET);
            size_t got = fread(pixel, 1, 3, file);
            fclose(file);
            if (got != 3)
                return {false, black, 0};
        }
        return {true, {pixel[2], pixel[1], pixel[0]}, secondsOf(status.st_mtim)};
    }
    // Follows the recording for up to `seconds`: the first frame written
    // after `since` that shows `colour`, or -1. `nextFrame` moves past every
    // complete frame looked at.
    int waitForColour(const Rgb &colour, double since, double seconds)
    {
        double deadline = now() + seconds;
        while (now() < deadline) {
            RecordedFrame recorded = frame(nextFrame);
            // The newest frame may still be being written; try it again.
            if (!recorded.complete || !frame(nextFrame + 1).complete) {
                usleep(10 * 1000);
                continue;
            }
            nextFrame++;
            if (recorded.written >= since && recorded.centre == colour)
                return nextFrame - 1;
        }
        return -1;
    }
    std::string standardError() const { return readFile(scratch.path() + "/err.txt"); }
    // What the engine wrote to standard error after `offset` once it holds
    // `text`, waiting up to three seconds for it.
    std::string waitForReport(size_t offset, const std::string &text) const
    {
        std::string said;
        for (int wait = 0; wait < 300; wait++) {
            said = standardError().substr(offset);
            if (said.find(text) != std::string::npos)
                break;
            usleep(10 * 1000);
        }
        return said;
    }

    ScratchDirectory scratch;
    std::string data;
    pid_t engineProcess = 0;
    int nextFrame = 0;
};

static std::string script(const char *picture, const char *window, const char *extra = "")
{
    return std::string("debug 1\ngl_panoramic 0\ngl_width 64\ngl_height 48\nrecord 1\n"
                       "record_fps 25\ndemo_end 0\n"
                       "[loading]\nstart 0\nend 0.01\nstring data/back.tga\nstring data/front.tga\n"
                       "param 1 1 1 1  0.1 0.1 0.9 0.15  1 1 1 0.5  0.09 0.09 0.91 0.16  0.005\n"
                       "[background]\n") +
           window + "string data/" + picture + "\n" + extra +
           "[background]\nid later\nstart 5000\nend 6000\nstring data/red.tga\n";
}

TEST_F(LiveReloadTest, EditsShowInTheRecordedFramesWithinASecond)
{
    const std::string path = data + "demo.glm";
    replaceFile(path, script("red.tga", "start 0\nend 1000\n"));
    startEngine();
    ASSERT_GE(waitForColour(red, 0, 30), 0) << standardError();

    struct Step {
        const char *what;
        std::string script;
        bool greenBecomesBlue;    // the picture file changes too
        Rgb colour;
        const char *report;       // on standard error
    };
    const Step steps[] = {
        {"the picture the script names", script("green.tga", "start 0\nend 1000\n"), false, green,
         "1 replaced, 0 added, 0 removed"},
        {"a syntax error keeps the demo as it was",
         script("red.tga", "start 0\nend 1000\n", "start soon\n"), false, green,
         "Error: Invalid start (file 'data/demo.glm', line 18)"},
        {"the fixed script and a changed picture file", script("green.tga", "start 0\nend 1000\n"),
         true, blue, "; changed files: data/green.tga"},
        {"the time window", script("green.tga", "start 4000\nend 4500\n"), false, black,
         "1 replaced, 0 added, 0 removed"},
    };
    double lastSecond = 0;
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        size_t reported = standardError().size();
        if (step.greenBecomesBlue)
            replacePicture(data + "green.tga", blue);
        double edited = now();
        replaceFile(path, step.script);
        int shown = waitForColour(step.colour, edited, 5);
        ASSERT_GE(shown, 0) << standardError() << " at frame " << nextFrame << " "
                            << frame(nextFrame - 1).centre << " " << frame(nextFrame).complete;
        EXPECT_LT(frame(shown).written - edited, 1.0) << "frame " << shown;
        // The new look stays.
        usleep(300 * 1000);
        EXPECT_GE(waitForColour(step.colour, frame(shown).written, 2), 0);
        std::string said = waitForReport(reported, step.report);
        EXPECT_NE(said.find(step.report), std::string::npos) << said;
        // The demo time goes on across reloads.
        size_t second = said.find("at second ");
        if (second != std::string::npos) {
            double at = atof(said.c_str() + second + 10);
            EXPECT_GT(at, lastSecond);
            lastSecond = at;
        }
    }
    EXPECT_EQ(stopEngine(), 0);
    EXPECT_EQ(standardError().find("Sanitizer"), std::string::npos) << standardError();
}

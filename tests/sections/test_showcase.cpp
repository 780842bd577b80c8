// The bundled example demos play from start to end without an error or a
// warning, in a normal and in a debug run. Recording at a few frames a
// second plays their whole length in little time.
#include <fstream>
#include <iterator>

#include "tests/support/kernel_fixture.h"

static const std::string engine = GLIMRA_BINARY_DIR "/glimra";

static std::string readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Plays a copy of examples/`example` with `settings` in a script read
// after its own, and returns the exit code, standard error and the trace
// log.
static int playExample(const std::string &example, const std::string &settings,
                       int timeoutSeconds, std::string *err, std::string *log)
{
    ScratchDirectory start;
    runCommand("cp -r " GLIMRA_SOURCE_DIR "/examples/" + example + " " + start.path() + "/run",
               nullptr, nullptr);
    start.write("run/data/zz_test.glm", "sound 0\nrecord 1\n" + settings + "\n");
    int code = runCommand("cd " + start.path() + " && ASAN_OPTIONS=detect_leaks=0 timeout " +
                              std::to_string(timeoutSeconds) + " " + engine + " run",
                          nullptr, err);
    *log = readFile(start.path() + "/debug.log");
    return code;
}

struct ExampleRun {
    const char *example;
    // Frames a second recorded in the normal run; the debug run records half.
    int framesPerSecond;
    // Seconds a debug run needs to reach its end, where it pauses.
    int debugSeconds;
};

std::ostream &operator<<(std::ostream &stream, const ExampleRun &run)
{
    return stream << run.example;
}

class ExampleTest : public ::testing::TestWithParam<ExampleRun> {};

TEST_P(ExampleTest, PlaysToTheEndWithoutAnErrorOrWarning)
{
    std::string err, log;
    std::string rate = "record_fps " + std::to_string(GetParam().framesPerSecond);
    EXPECT_EQ(playExample(GetParam().example, rate, 180, &err, &log), 0);
    EXPECT_EQ(err, "");
    EXPECT_NE(log.find("Main loop ended successfully"), std::string::npos);
    EXPECT_EQ(log.find("rror"), std::string::npos);
    EXPECT_EQ(log.find("arning"), std::string::npos);
    EXPECT_EQ(log.find("not found in vs"), std::string::npos) << "every uniform reaches its program";
}

// A debug run pauses at the end instead of quitting, so it is stopped once
// it has had time to get there.
TEST_P(ExampleTest, PlaysToTheEndInADebugRunWithoutAnErrorOrWarning)
{
    std::string err, log;
    std::string settings =
        "record_fps " + std::to_string(GetParam().framesPerSecond / 2) + "\ndebug 1";
    EXPECT_EQ(playExample(GetParam().example, settings, GetParam().debugSeconds, &err, &log), 124);
    EXPECT_EQ(err, "");
    EXPECT_EQ(log.find("rror"), std::string::npos);
    EXPECT_EQ(log.find("arning"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleTest,
                         ::testing::Values(ExampleRun{"showcase", 4, 30}, ExampleRun{"shaders", 4, 30},
                                           ExampleRun{"effects", 4, 40}, ExampleRun{"particles", 4, 30},
                                           ExampleRun{"models", 2, 40}),
                         [](const ::testing::TestParamInfo<ExampleRun> &info) {
                             return std::string(info.param.example);
                         });

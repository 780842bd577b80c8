// The bundled example demos play from start to end without an error or a
// warning, in a normal and in a debug run. Recording at a few frames a
// second plays its whole length in little time.
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

TEST(Showcase, PlaysToTheEndWithoutAnErrorOrWarning)
{
    std::string err, log;
    EXPECT_EQ(playExample("showcase", "record_fps 4", 120, &err, &log), 0);
    EXPECT_EQ(err, "");
    EXPECT_NE(log.find("Main loop ended successfully"), std::string::npos);
    EXPECT_EQ(log.find("rror"), std::string::npos);
    EXPECT_EQ(log.find("arning"), std::string::npos);
}

// A debug run pauses at the end instead of quitting, so it is stopped once
// it has had time to get there.
TEST(Showcase, PlaysToTheEndInADebugRunWithoutAnErrorOrWarning)
{
    std::string err, log;
    EXPECT_EQ(playExample("showcase", "record_fps 2\ndebug 1", 30, &err, &log), 124);
    EXPECT_EQ(err, "");
    EXPECT_EQ(log.find("rror"), std::string::npos);
    EXPECT_EQ(log.find("arning"), std::string::npos);
}

TEST(ParticlesExample, PlaysToTheEndWithoutAnErrorOrWarning)
{
    std::string err, log;
    EXPECT_EQ(playExample("particles", "record_fps 4", 120, &err, &log), 0);
    EXPECT_EQ(err, "");
    EXPECT_NE(log.find("Main loop ended successfully"), std::string::npos);
    EXPECT_EQ(log.find("rror"), std::string::npos);
    EXPECT_EQ(log.find("arning"), std::string::npos);
}

TEST(ParticlesExample, PlaysToTheEndInADebugRunWithoutAnErrorOrWarning)
{
    std::string err, log;
    EXPECT_EQ(playExample("particles", "record_fps 2\ndebug 1", 30, &err, &log), 124);
    EXPECT_EQ(err, "");
    EXPECT_EQ(log.find("rror"), std::string::npos);
    EXPECT_EQ(log.find("arning"), std::string::npos);
}

TEST(ModelsExample, PlaysToTheEndWithoutAnErrorOrWarning)
{
    std::string err, log;
    EXPECT_EQ(playExample("models", "record_fps 2", 180, &err, &log), 0);
    EXPECT_EQ(err, "");
    EXPECT_NE(log.find("Main loop ended successfully"), std::string::npos);
    EXPECT_EQ(log.find("rror"), std::string::npos);
    EXPECT_EQ(log.find("arning"), std::string::npos);
}

TEST(ModelsExample, PlaysToTheEndInADebugRunWithoutAnErrorOrWarning)
{
    std::string err, log;
    EXPECT_EQ(playExample("models", "record_fps 1\ndebug 1", 40, &err, &log), 124);
    EXPECT_EQ(err, "");
    EXPECT_EQ(log.find("rror"), std::string::npos);
    EXPECT_EQ(log.find("arning"), std::string::npos);
}

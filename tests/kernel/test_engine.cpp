// The engine binary end to end: start-up, shut-down and the error policy.
#include <fstream>
#include <iterator>

#include "tests/support/kernel_fixture.h"

static const std::string engine = GLIMRA_BINARY_DIR "/glimra";

static std::string readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Runs the engine from `startDirectory` with the run directory "run".
static int runEngine(const ScratchDirectory &start, std::string *out, std::string *err)
{
    return runCommand("cd " + start.path() + " && " + engine + " run", out, err);
}

TEST(Engine, StartsUpAndShutsDownInOrder)
{
    ScratchDirectory start;
    start.write("camera.cam", "old positions");
    start.write("run/data/demo.glm", "[image]\nid one\n");
    std::string out, err;
    ASSERT_EQ(runEngine(start, &out, &err), 0) << err;
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    EXPECT_EQ(runCommand("test -e " + start.path() + "/camera.cam", nullptr, nullptr), 1);

    std::string log = readFile(start.path() + "/debug.log");
    const char *expected[] = {
        "Morvane: Starting up...\n", "Morvane: Got arguments\n",
        "Morvane: Cleaning old camera files\n", "dkernel: variables inited to default state.\n",
        "OpenGL environment created.\n", "*************** image ***************\n",
        "Scripts loaded\n", "Morvane: Scripts Loaded\n", "Morvane: Running in standalone mode\n",
        "Morvane: Config Dialog executed\n", "Network closed.\n", "Morvane: Engine closed\n"};
    std::string trace;
    for (const char *line : expected)
        trace += std::string("Engine Kernel Trace: ") + line;
    EXPECT_EQ(log, trace);
}

TEST(Engine, ErrorsBeforeDebugIsSetStayFatal)
{
    ScratchDirectory start;
    start.write("run/data/demo.glm", "nosuch 1\ndebug 1\n");
    std::string out, err;
    EXPECT_EQ(runEngine(start, &out, &err), 1);
    EXPECT_EQ(err, "Error: Unknown variable (file 'data/demo.glm', line 1)\n"
                   "Engine Error: Unknown variable (file 'data/demo.glm', line 1)\n");
    std::string log = readFile(start.path() + "/debug.log");
    EXPECT_NE(log.find("Network closed.\nMORVANE ERROR: Unknown variable"), std::string::npos);
}

TEST(Engine, DebugModeReportsEveryErrorAndFinishes)
{
    ScratchDirectory start;
    start.write("run/data/demo.glm", "debug 1\nslave 1\nnosuch 1\n[imag]\nstart x\n");
    std::string out, err;
    EXPECT_EQ(runEngine(start, &out, &err), 0);
    EXPECT_NE(err.find("Error: Unknown variable (file 'data/demo.glm', line 3)\n"),
              std::string::npos);
    EXPECT_NE(err.find("Error: Invalid start (file 'data/demo.glm', line 5)\n"), std::string::npos);
    EXPECT_NE(out.find("Trace: Morvane: Running in network slave mode\n"), std::string::npos);
}

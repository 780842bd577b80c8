// The engine binary end to end under the test display: start-up, playback,
// recording and the error policy.
#include <dirent.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "tests/support/kernel_fixture.h"

static const std::string engine = GLIMRA_BINARY_DIR "/glimra";

static std::string readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Runs the engine from the scratch directory with the run directory "run".
// The window's libraries keep memory until exit, so leak checking is off.
static int runEngine(const ScratchDirectory &start, std::string *out, std::string *err)
{
    return runCommand("cd " + start.path() + " && ASAN_OPTIONS=detect_leaks=0 " + engine + " run",
                      out, err);
}

static std::vector<std::string> listDirectory(const std::string &path)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(path.c_str())) {
        while (dirent *entry = readdir(dir)) {
            if (entry->d_name[0] != '.')
                names.push_back(entry->d_name);
        }
        closedir(dir);
    }
    return names;
}

// The pixels of a TGA file as blue, green, red, expanding run-length packets.
static std::string tgaPixels(const std::string &file)
{
    if (file[2] == 2)
        return file.substr(18);
    std::string pixels;
    size_t at = 18;
    while (at < file.size()) {
        uint8_t header = file[at++];
        int count = (header & 127) + 1;
        if (header & 128) {
            for (int i = 0; i < count; i++)
                pixels += file.substr(at, 3);
            at += 3;
        } else {
            pixels += file.substr(at, 3 * count);
            at += 3 * count;
        }
    }
    return pixels;
}

TEST(Engine, StartsUpPlaysAndShutsDownInOrder)
{
    ScratchDirectory start;
    start.write("camera.cam", "old positions");
    writeDemo(start, "run", "demo_end 0.2", "");
    std::string out, err;
    ASSERT_EQ(runEngine(start, &out, &err), 0) << err;
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    EXPECT_EQ(runCommand("test -e " + start.path() + "/camera.cam", nullptr, nullptr), 1);

    std::string log = readFile(start.path() + "/debug.log");
    const char *expected[] = {
        "Morvane: Starting up...\n", "Morvane: Got arguments\n",
        "Morvane: Cleaning old camera files\n", "dkernel: variables inited to default state.\n",
        "OpenGL environment created.\n", "*************** loading ***************\n",
        "Scripts loaded\n", "Morvane: Scripts Loaded\n", "Morvane: Running in standalone mode\n",
        "Morvane: Config Dialog executed\n", "Morvane: Engine inited successfully\n",
        "Morvane: Main loop ended successfully\n", "Network closed.\n", "Morvane: Engine closed\n"};
    size_t position = 0;
    for (const char *line : expected) {
        position = log.find(std::string("Engine Kernel Trace: ") + line, position);
        EXPECT_NE(position, std::string::npos) << line;
    }
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

// Errors of a debug run go on, but nothing can be drawn without a window:
// the run ends through the shut-down sequence with 1.
TEST(Engine, ADebugRunWithoutADisplayEndsWithOne)
{
    ScratchDirectory start;
    writeDemo(start, "run", "debug 1\ndemo_end 0.2", "");
    std::string err;
    int code = runCommand("cd " + start.path() + " && DISPLAY=/nonexistent/socket:0 "
                          "ASAN_OPTIONS=detect_leaks=0 " + engine + " run",
                          nullptr, &err);
    EXPECT_EQ(code, 1) << err;
    // Which step fails depends on the video drivers SDL falls back to.
    bool noVideo = err.rfind("Error: Video initialization failed: ", 0) == 0;
    bool noMode = err.rfind("Error: Set video mode failed: ", 0) == 0;
    EXPECT_TRUE(noVideo || noMode) << err;
    std::string log = readFile(start.path() + "/debug.log");
    size_t error = log.find("MORVANE ERROR: ");
    ASSERT_NE(error, std::string::npos);
    EXPECT_NE(log.find("Network closed.\n", error), std::string::npos);
    EXPECT_EQ(log.find("Morvane: Engine inited successfully"), std::string::npos);
}

TEST(Engine, ADemoWithoutALoadingSectionDoesNotStart)
{
    ScratchDirectory start;
    start.write("run/data/demo.glm", "[image]\nstart 0\nend 1\n");
    std::string err;
    EXPECT_EQ(runEngine(start, nullptr, &err), 1);
    EXPECT_NE(err.find("Error: Loading section not found.\n"), std::string::npos);
}

// A two-second demo recorded at ten frames a second, plain and compressed:
// the same twenty frames, each the loading screen at full progress.
TEST(Engine, RecordsEveryFrameAtTheRecordingRate)
{
    std::string frames[2];
    for (int compress = 0; compress < 2; compress++) {
        ScratchDirectory start;
        writeDemo(start, "run",
                  "record 1\nrecord_fps 10\ndemo_end 2\ncompress_tga " + std::to_string(compress),
                  "");
        start.write("run/video/.keep", "");
        std::string err;
        ASSERT_EQ(runEngine(start, nullptr, &err), 0) << err;
        std::vector<std::string> names = listDirectory(start.path() + "/run/video");
        EXPECT_GE(names.size(), 20u);
        EXPECT_LE(names.size(), 21u);
        std::string file = readFile(start.path() + "/run/video/00000010.tga");
        ASSERT_GT(file.size(), 18u);
        EXPECT_EQ(file[2], compress ? 10 : 2);
        EXPECT_EQ(file.substr(12, 6), std::string("\x80\x02\xe0\x01\x18\x00", 6));
        frames[compress] = tgaPixels(file);
        ASSERT_EQ(frames[compress].size(), 640u * 480u * 3u);
        // Centre of the window: the front image, fully opaque (blue, green, red).
        size_t centre = (240 * 640 + 320) * 3;
        EXPECT_EQ(frames[compress].substr(centre, 3), std::string("\xff\x00\x00", 3));
    }
    EXPECT_EQ(frames[0], frames[1]);
}

// With --frame-fd the frames go one after another down the descriptor, as
// the bytes their files would hold, all of them even though the engine
// quits right after the last; "video/" stays empty.
TEST(Engine, SendsRecordedFramesToADescriptorInOrder)
{
    ScratchDirectory start;
    writeDemo(start, "run", "record 1\nrecord_fps 10\ndemo_end 1.95", "",
              "start 0\nend 1\n");
    start.write("run/video/.keep", "");
    std::string err;
    ASSERT_EQ(runCommand("cd " + start.path() + " && ASAN_OPTIONS=detect_leaks=0 " + engine +
                             " --frame-fd 3 run 3>frames",
                         nullptr, &err),
              0)
        << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(listDirectory(start.path() + "/run/video").size(), 0u);
    const size_t frameBytes = 18 + 640 * 480 * 3;
    std::string frames = readFile(start.path() + "/frames");
    ASSERT_EQ(frames.size(), 20 * frameBytes);
    // The loading screen for the first ten frames, then the cleared window.
    size_t centre = 18 + (240 * 640 + 320) * 3;
    for (int n = 0; n < 20; n++) {
        EXPECT_EQ(frames.substr(n * frameBytes, 3), std::string("\0\0\2", 3)) << n;
        EXPECT_EQ(frames.substr(n * frameBytes + centre, 3),
                  n < 10 ? std::string("\xff\x00\x00", 3) : std::string(3, '\0'))
            << n;
    }
}

TEST(Engine, RefusesAFrameDescriptorThatIsNotOpen)
{
    ScratchDirectory start;
    writeDemo(start, "run", "record 1\ndemo_end 0.2", "");
    std::string err;
    EXPECT_EQ(runCommand("cd " + start.path() + " && ASAN_OPTIONS=detect_leaks=0 " + engine +
                             " --frame-fd 9 run 9>&-",
                         nullptr, &err),
              1);
    EXPECT_NE(err.find("Error: Frame descriptor '9' cannot be written\n"), std::string::npos) << err;
}

TEST(Engine, WithoutAVideoDirectoryFramesAreSkipped)
{
    ScratchDirectory start;
    writeDemo(start, "run", "record 1\nrecord_fps 10\ndemo_end 0.5", "");
    std::string err;
    EXPECT_EQ(runEngine(start, nullptr, &err), 0) << err;
    EXPECT_EQ(listDirectory(start.path() + "/run").size(), 1u);
}

// glimra-record end to end: a generated two-second demo with music exported
// to MP4 and checked with ffprobe and a decoded frame, and the errors, which
// must leave nothing behind.
#include <fstream>
#include <iterator>

#include "kernel/capture.h"
#include "tests/support/kernel_fixture.h"
#include "tools/musicgen/ogg_writer.h"
#include "tools/musicgen/synth.h"

static const std::string recorder = GLIMRA_BINARY_DIR "/glimra-record";

// Red for the first second, green for the second, the music throughout.
static const char *const twoSeconds =
    "[background]\nstart 0\nend 1\nlayer 1\nstring data/red.tga\n"
    "[background]\nstart 1\nend 2\nlayer 1\nstring data/green.tga\n"
    "[sound]\nstart 0\nend 2\nstring data/music.ogg\n";

static void writeFlatPicture(const std::string &path, uint8_t red, uint8_t green, uint8_t blue)
{
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 32 * 32; i++)
        pixels.insert(pixels.end(), {red, green, blue});
    writeTGA(path.c_str(), pixels.data(), 32, 32, 0);
}

class RecordTest : public ::testing::Test {
protected:
    void SetUp() override { scratch.write("tmp/.keep", ""); }
    // A demo in "run" with the pictures and music of `twoSeconds`.
    void writeTwoSecondDemo(const std::string &settings = "record_fps 10\ndemo_end 2",
                            const std::string &sections = twoSeconds)
    {
        writeDemo(scratch, "run", "gl_panoramic 0\n" + settings, sections, "start 0\nend 0.01\n");
        std::string data = scratch.path() + "/run/data/";
        writeFlatPicture(data + "red.tga", 255, 0, 0);
        writeFlatPicture(data + "green.tga", 0, 255, 0);
        std::vector<float> track = synth_track(3.0f);
        scratch.write("run/data/music.ogg",
                      ogg_encode(track.data(), track.size() / 2, SYNTH_RATE, 0.3f));
    }
    // Runs the tool from the scratch directory with its temporary files in
    // "tmp"; returns its exit code.
    int record(const std::string &arguments, std::string *err, const std::string &prefix = "")
    {
        return runCommand("cd " + scratch.path() + " && " + prefix + "TMPDIR=" + scratch.path() +
                              "/tmp " + recorder + " " + arguments,
                          nullptr, err);
    }
    // Every file under the scratch directory but the demo's own inputs.
    std::string leftovers()
    {
        std::string out;
        runCommand("cd " + scratch.path() + " && find . -mindepth 1 | grep -v '^./run' | "
                   "grep -v '^./tmp/.keep$' | grep -v '^./tmp$' | sort",
                   &out, nullptr);
        return out;
    }
    std::string runListing()
    {
        std::string out;
        runCommand("cd " + scratch.path() + " && find run -printf '%p %s %T@\\n' | sort", &out,
                   nullptr);
        return out;
    }
    ScratchDirectory scratch;
};

static std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

TEST_F(RecordTest, ExportsFramesAndMusicToMp4)
{
    writeTwoSecondDemo();
    std::string before = runListing(), err;
    ASSERT_EQ(record("run out.mp4 --quiet", &err), 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(runListing(), before);
    EXPECT_EQ(leftovers(), "./out.mp4\n");

    std::string probe;
    ASSERT_EQ(runCommand("ffprobe -v error -count_frames -show_entries "
                         "stream=codec_type,codec_name,width,height,nb_read_frames,duration "
                         "-of csv=p=0 " + scratch.path() + "/out.mp4",
                         &probe, &err),
              0)
        << err;
    std::vector<std::string> streams = lines(probe);
    ASSERT_EQ(streams.size(), 2u) << probe;
    EXPECT_EQ(streams[0], "h264,video,640,480,2.000000,20");
    double audioSeconds = 0;
    ASSERT_EQ(sscanf(streams[1].c_str(), "aac,audio,%lf", &audioSeconds), 1) << streams[1];
    EXPECT_NEAR(audioSeconds, 2.0, 0.1);

    // Frames 5 and 15 (0.5 and 1.5 seconds), upright: the top left and the
    // centre show the background of their time.
    std::string pixels;
    ASSERT_EQ(runCommand("ffmpeg -v error -i " + scratch.path() +
                             "/out.mp4 -vf 'select=eq(n\\,5)+eq(n\\,15)' -fps_mode passthrough "
                             "-f rawvideo -pix_fmt rgb24 pipe:1",
                         &pixels, &err),
              0)
        << err;
    ASSERT_EQ(pixels.size(), 2u * 640 * 480 * 3);
    const int expected[2][3] = {{255, 0, 0}, {0, 255, 0}};
    for (int frame = 0; frame < 2; frame++) {
        for (size_t at : {size_t(10 * 640 + 10), size_t(240 * 640 + 320)}) {
            size_t offset = (frame * 640 * 480 + at) * 3;
            for (int channel = 0; channel < 3; channel++)
                EXPECT_NEAR(uint8_t(pixels[offset + channel]), expected[frame][channel], 24)
                    << "frame " << frame << " pixel " << at << " channel " << channel;
        }
    }
}

TEST_F(RecordTest, SizeRateAndRangeFromTheCommandLine)
{
    writeTwoSecondDemo("record_fps 50\ndemo_end 30");
    std::string err, probe;
    ASSERT_EQ(record("run out.mkv --quiet --fps 5 --size 320x200 --from 0.6 --to 1.6", &err), 0)
        << err;
    ASSERT_EQ(runCommand("ffprobe -v error -count_frames -select_streams v -show_entries "
                         "stream=width,height,nb_read_frames -of csv=p=0 " +
                             scratch.path() + "/out.mkv",
                         &probe, &err),
              0);
    EXPECT_EQ(probe, "320,200,5\n");
}

// Each error names its cause and leaves neither OUTPUT nor a temporary file.
TEST_F(RecordTest, ErrorsAreClearAndLeaveNothingBehind)
{
    struct Case {
        const char *name;
        std::string script, sections, arguments, prefix, message;
    };
    const Case cases[] = {
        {"missing run directory", "", "", "nosuch out.mp4", "", "no run directory nosuch"},
        {"no data", "", "", "tmp out.mp4", "", "tmp has no data directory"},
        {"no ffmpeg", "demo_end 1", twoSeconds, "run out.mp4", "PATH=/nonexistent ",
         "ffmpeg not found"},
        {"unwritable output", "demo_end 1", twoSeconds, "run /nonexistent/out.mp4", "",
         "cannot write /nonexistent/out.mp4: No such file or directory"},
        {"script error", "nosuch 1", twoSeconds, "run out.mp4", "",
         "Error: Unknown variable (file 'data/demo.glm', line 2)"},
        {"engine error", "demo_end 1", "[background]\nstart 0\nend 1\nstring data/missing.tga\n",
         "run out.mp4", "", "the engine failed:\nError: "},
    };
    for (const Case &c : cases) {
        runCommand("rm -rf " + scratch.path() + "/run", nullptr, nullptr);
        if (!c.script.empty())
            writeTwoSecondDemo(c.script, c.sections);
        std::string err;
        EXPECT_EQ(record(c.arguments + " --quiet", &err, c.prefix), 1) << c.name;
        EXPECT_NE(err.find("glimra-record: "), std::string::npos) << c.name;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.name << ": " << err;
        EXPECT_EQ(leftovers(), "") << c.name;
    }
}

// Ctrl-C while frames are encoded: the engine and ffmpeg stop, and neither
// the video nor anything temporary stays.
TEST_F(RecordTest, AnInterruptedExportLeavesNothingBehind)
{
    writeTwoSecondDemo("record_fps 25\ndemo_end 60",
                       "[background]\nstart 0\nend 60\nstring data/red.tga\n");
    std::string out;
    ASSERT_EQ(runCommand("cd " + scratch.path() + " && (TMPDIR=" + scratch.path() + "/tmp " +
                             recorder + " run out.mp4 2>progress & pid=$!; "
                             "for i in $(seq 1200); do grep -q frames progress && break; "
                             "sleep 0.1; done; kill -INT $pid; wait $pid; echo $?)",
                         &out, nullptr),
              0);
    EXPECT_EQ(out, "130\n");
    runCommand("rm " + scratch.path() + "/progress", nullptr, nullptr);
    EXPECT_EQ(leftovers(), "");
    std::string running;
    // The bracket keeps the pattern from matching the shell that runs pgrep.
    runCommand("pgrep -f '[" + scratch.path().substr(0, 1) + "]" + scratch.path().substr(1) +
                   "/tmp/'",
               &running, nullptr);
    EXPECT_EQ(running, "");
}

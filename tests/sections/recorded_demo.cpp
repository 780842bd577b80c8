// Short demos played by the engine binary, and their recorded frames.
#include "tests/sections/recorded_demo.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "kernel/capture.h"

static const std::string engine = GLIMRA_BINARY_DIR "/glimra";

std::ostream &operator<<(std::ostream &stream, const Colour &colour)
{
    return stream << "(" << int(colour.r) << ", " << int(colour.g) << ", " << int(colour.b) << ")";
}

Colour Frame::at(int x, int y) const
{
    size_t offset = (static_cast<size_t>(y) * WIDTH + x) * 3;
    return {uint8_t(pixels[offset + 2]), uint8_t(pixels[offset + 1]), uint8_t(pixels[offset])};
}

double Frame::litCentre(int y) const
{
    double sum = 0;
    int count = 0;
    for (int x = 0; x < WIDTH; x++) {
        if (!(at(x, y) == black)) {
            sum += x;
            count++;
        }
    }
    return count ? sum / count : -1;
}

void writePicture(const std::string &path, const std::function<Colour(int x, int y)> &pixel)
{
    std::vector<uint8_t> pixels;
    // writeTGA takes rows bottom first.
    for (int y = 63; y >= 0; y--) {
        for (int x = 0; x < 64; x++) {
            Colour colour = pixel(x, y);
            pixels.insert(pixels.end(), {colour.r, colour.g, colour.b});
        }
    }
    writeTGA(path.c_str(), pixels.data(), 64, 64, 0);
}

void writePicture(const std::string &path, const Colour (&colours)[4], bool stripes)
{
    writePicture(path, [&](int x, int y) {
        return colours[stripes ? x / 16 : (y < 32 ? 0 : 2) + (x < 32 ? 0 : 1)];
    });
}

std::string timed(const std::string &section, const char *window)
{
    size_t line = section.find('\n') + 1;
    return section.substr(0, line) + window + section.substr(line);
}

std::vector<Frame> DrawingTest::play(const std::string &sections, float seconds,
                                     const std::string &settings)
{
    writeDemo(scratch, "run",
              "gl_panoramic 0\nrecord 1\nrecord_fps 10\ndemo_end " + std::to_string(seconds) +
                  "\n" + settings,
              sections, "start 0\nend 0.01\n");
    writePicture(dataPath("quadrants.tga"), {red, green, blue, white}, false);
    writePicture(dataPath("stripes.tga"), {red, green, blue, white}, true);
    scratch.write("run/video/.keep", "");
    int code = runCommand("cd " + scratch.path() + " && ASAN_OPTIONS=detect_leaks=0 " + engine +
                              " run",
                          nullptr, &lastErrors);
    EXPECT_EQ(code, 0) << lastErrors;
    EXPECT_EQ(lastErrors, "");
    std::vector<Frame> frames;
    for (int n = 0; n < seconds * 10; n++) {
        char name[32];
        snprintf(name, sizeof name, "/run/video/%08d.tga", n);
        std::ifstream file(scratch.path() + name, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(file)), {});
        if (bytes.size() != 18 + WIDTH * HEIGHT * 3)
            break;
        frames.push_back({bytes.substr(18)});
    }
    EXPECT_GE(frames.size(), 3u);
    return frames;
}

void DrawingTest::spline(const std::string &name, const std::string &keys)
{
    scratch.write("run/data/" + name, keys);
}

std::string DrawingTest::dataPath(const std::string &name) const
{
    scratch.write("run/data/.keep", "");
    return scratch.path() + "/run/data/" + name;
}

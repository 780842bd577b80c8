// Test support for what sections draw: recorded demos and their frames.
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

void writePicture(const std::string &path, const Colour (&colours)[4], bool stripes)
{
    std::vector<uint8_t> pixels;
    // writeTGA takes rows bottom first.
    for (int y = 63; y >= 0; y--) {
        for (int x = 0; x < 64; x++) {
            int index = stripes ? x / 16 : (y < 32 ? 0 : 2) + (x < 32 ? 0 : 1);
            pixels.insert(pixels.end(), {colours[index].r, colours[index].g, colours[index].b});
        }
    }
    writeTGA(path.c_str(), pixels.data(), 64, 64, 0);
}

std::vector<Frame> DrawingTest::play(const std::string &sections, float seconds)
{
    writeDemo(scratch, "run",
              "gl_panoramic 0\nrecord 1\nrecord_fps 10\ndemo_end " + std::to_string(seconds),
              sections, "start 0\nend 0.01\n");
    std::string data = scratch.path() + "/run/data/";
    writePicture(data + "quadrants.tga", {red, green, blue, white}, false);
    writePicture(data + "stripes.tga", {red, green, blue, white}, true);
    scratch.write("run/video/.keep", "");
    std::string err;
    int code = runCommand("cd " + scratch.path() + " && ASAN_OPTIONS=detect_leaks=0 " + engine +
                              " run",
                          nullptr, &err);
    EXPECT_EQ(code, 0) << err;
    EXPECT_EQ(err, "");
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

std::string timed(const std::string &section, const char *window)
{
    size_t line = section.find('\n') + 1;
    return section.substr(0, line) + window + section.substr(line);
}

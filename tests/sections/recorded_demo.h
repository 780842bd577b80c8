// Test support for what sections draw: short demos played by the real
// engine with recording on, and the recorded frames read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/kernel_fixture.h"

struct Colour {
    uint8_t r, g, b;
    bool operator==(const Colour &other) const
    {
        return r == other.r && g == other.g && b == other.b;
    }
};

std::ostream &operator<<(std::ostream &stream, const Colour &colour);

const Colour black = {0, 0, 0}, red = {255, 0, 0}, green = {0, 255, 0}, blue = {0, 0, 255},
             white = {255, 255, 255};

// The window is 640 x 480 without letterboxing, so the drawing rectangle is
// the whole window.
enum { WIDTH = 640, HEIGHT = 480 };

// A recorded frame: 24-bit TGA rows, bottom row first.
struct Frame {
    std::string pixels;
    Colour at(int x, int y) const;
    // Mean x of the lit pixels of row y.
    double litCentre(int y) const;
};

// A 64 x 64 picture whose pixel (x, y), y from the top, is pixel(x, y).
void writePicture(const std::string &path, const std::function<Colour(int x, int y)> &pixel);

// A 64 x 64 picture: `colours` in quadrants (top-left, top-right,
// bottom-left, bottom-right) or, with `stripes`, in four columns from the
// left.
void writePicture(const std::string &path, const Colour (&colours)[4], bool stripes);

// A section text with a time window after its header line.
std::string timed(const std::string &section, const char *window = "start 0\nend 10\n");

// Plays `sections` for `seconds`, recording ten frames a second, and
// returns the frames. Frame 0 is drawn at time 0 over the loading screen,
// frame n from 1 on at (n - 1) tenths of a second. The run directory
// holds data/quadrants.tga and data/stripes.tga (see writePicture: red,
// green, blue, white). `settings` come after the fixture's own.
class DrawingTest : public ::testing::Test {
protected:
    std::vector<Frame> play(const std::string &sections, float seconds = 0.5f,
                            const std::string &settings = "");
    // A spline file of `keys` (one per line) under data/.
    void spline(const std::string &name, const std::string &keys);
    // The path of `name` under the run directory's data/.
    std::string dataPath(const std::string &name) const;
    // What the last play wrote to standard error.
    std::string lastErrors;
    ScratchDirectory scratch;
};

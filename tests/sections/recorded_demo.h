// Test support for what sections draw: short demos played by the real
// engine with recording on, and the recorded frames' pixels.
#pragma once

#include <cstdint>
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

// A 64 x 64 picture: `colours` in quadrants (top-left, top-right,
// bottom-left, bottom-right) or, with `stripes`, in four columns from the
// left.
void writePicture(const std::string &path, const Colour (&colours)[4], bool stripes);

// Plays sections for a number of seconds, recording ten frames a second,
// in a run directory whose data holds the quadrant and stripe pictures in
// red, green, blue and white.
class DrawingTest : public ::testing::Test {
protected:
    // The frames (frame n at n tenths of a second); the run must end with
    // code 0 and nothing on standard error.
    std::vector<Frame> play(const std::string &sections, float seconds = 0.5f);
    // Writes a spline file of `keys` (one per line) as data/`name`.
    void spline(const std::string &name, const std::string &keys);
    ScratchDirectory scratch;
};

// A section text with a time window after its header line.
std::string timed(const std::string &section, const char *window = "start 0\nend 10\n");

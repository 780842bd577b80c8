// Test support for the graphics core: a fixture that opens the engine's
// real window through gl_init (in the Xvfb display the test runner starts)
// and reads pixels back, and small image files written on the fly.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tests/support/kernel_fixture.h"

struct Rgba {
    uint8_t r, g, b, a;
    bool operator==(const Rgba &other) const
    {
        return r == other.r && g == other.g && b == other.b && a == other.a;
    }
};

std::ostream &operator<<(std::ostream &stream, const Rgba &colour);

// Window colours (the window has no alpha channel, which reads as 255).
const Rgba black = {0, 0, 0, 255}, white = {255, 255, 255, 255}, red = {255, 0, 0, 255},
           green = {0, 255, 0, 255}, blue = {0, 0, 255, 255};

// Starts every test with default settings, empty graphics tables and the
// engine in its loading state. Tests change glConfig, then openWindow().
class GlTest : public KernelTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // gl_init with the settings as they are now; the test fails if the
    // window does not open.
    void openWindow();
    // The pixel at (x, y) from the lower left of the window's back buffer.
    static Rgba pixel(int x, int y);
    // Clears the window, then fills the drawing rectangle with a colour.
    static void fillDrawingRectangle(float r, float g, float b);
    ScratchDirectory scratch;
};

// Empties the texture, FBO and shader tables and forgets every GL cache:
// each window has a new context.
void resetGraphicsTables();

// An uncompressed TGA image, top row first. `bits` 24 or 32 for true
// colour (pixel(x, y) gives the colour), 16 for high colour; `paletted`
// makes an 8-bit image with a grey palette.
using PixelFunction = std::function<Rgba(int x, int y)>;
std::string tgaImage(int width, int height, int bits, const PixelFunction &pixel);
std::string palettedTgaImage(int width, int height);

// The engine's font, as demos ship it.
extern const char *const showcaseFontPath;

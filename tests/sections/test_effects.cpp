// What the post-effects, glows and radial blurs do to the frame: short
// demos played by the engine with recording on, checked on the recorded
// frames. The effects work on the background drawn by a lower layer.
#include <cstdlib>

#include "tests/sections/recorded_demo.h"

// The quadrant picture as a full-window background under the effect:
// red top left, green top right, blue bottom left, white bottom right.
static const std::string quadrants = timed("[background]\nlayer 1\nstring data/quadrants.tga\n");

// Pixels in the middle of each quadrant.
struct Quadrants {
    Colour topLeft, topRight, bottomLeft, bottomRight;
};

static Quadrants quadrantsOf(const Frame &frame)
{
    return {frame.at(160, 360), frame.at(480, 360), frame.at(160, 120), frame.at(480, 120)};
}

static bool near(int value, int expected, int tolerance = 3)
{
    return std::abs(value - expected) <= tolerance;
}

#define EXPECT_COLOUR_NEAR(actual, red, green, blue)                                             \
    EXPECT_TRUE(near((actual).r, red) && near((actual).g, green) && near((actual).b, blue))     \
        << (actual) << " expected about (" << (red) << ", " << (green) << ", " << (blue) << ")"

// An effect at layer 2 over the quadrant background, for 0.3 seconds.
class EffectTest : public DrawingTest {
protected:
    Frame lastFrame(const std::string &effect, const std::string &settings = "")
    {
        std::vector<Frame> frames = play(quadrants + timed(effect), 0.3f, settings);
        return frames.empty() ? Frame{std::string(WIDTH * HEIGHT * 3, '\0')} : frames.back();
    }
};

// Number of lit pixels in row y.
static int litWidth(const Frame &frame, int y)
{
    int count = 0;
    for (int x = 0; x < WIDTH; x++)
        count += !(frame.at(x, y) == black);
    return count;
}

TEST_F(EffectTest, InverseInvertsEveryPixel)
{
    Quadrants q = quadrantsOf(lastFrame("[efxInverse]\nlayer 2\n"));
    EXPECT_EQ(q.topLeft, (Colour{0, 255, 255}));
    EXPECT_EQ(q.topRight, (Colour{255, 0, 255}));
    EXPECT_EQ(q.bottomLeft, (Colour{255, 255, 0}));
    EXPECT_EQ(q.bottomRight, black);
}

// Grey of each pixel's luminance (0.299 red + 0.587 green + 0.114 blue),
// drawn at full alpha over the picture.
TEST_F(EffectTest, BlackWhiteTurnsThePictureGreyOfItsLuminance)
{
    Quadrants q = quadrantsOf(lastFrame("[efxBlackWhite]\nlayer 2\nparam 1 1\n"));
    EXPECT_COLOUR_NEAR(q.topLeft, 76, 76, 76);
    EXPECT_COLOUR_NEAR(q.topRight, 150, 150, 150);
    EXPECT_COLOUR_NEAR(q.bottomLeft, 29, 29, 29);
    EXPECT_COLOUR_NEAR(q.bottomRight, 255, 255, 255);
}

// Half the alpha leaves half the colour.
TEST_F(EffectTest, BlackWhiteMixesByItsAlpha)
{
    Quadrants q = quadrantsOf(lastFrame("[efxBlackWhite]\nlayer 2\nparam 0.5 0.5\n"));
    EXPECT_COLOUR_NEAR(q.topLeft, 166, 38, 38);
}

// Red from transparent to opaque over one second: the share of red grows
// with the section's time and would be whole at its end. Frame n (from 1)
// is drawn at the section time (n - 1) / 10.
TEST_F(EffectTest, FaderMovesToItsColourOverTheSection)
{
    std::vector<Frame> frames = play(quadrants + timed("[efxFader]\nlayer 2\nparam 1 0 0 0 1 0 0 1\n",
                                                        "start 0\nend 1\n"),
                                     1.0f);
    ASSERT_GE(frames.size(), 10u);
    for (int n : {1, 4, 9}) {
        SCOPED_TRACE(n);
        // Over the white quadrant red stays full and green falls to 0.
        const int rest = 255 - 255 * (n - 1) / 10;
        EXPECT_COLOUR_NEAR(frames[n].at(480, 120), 255, rest, rest);
    }
}

// image2D of a white picture placed by `spline` (scale x y, rotation,
// translation x y in a view 2 units high: 240 pixels a unit). Unlike a
// stretched picture its edges are sharp.
static std::string whiteShape(const char *spline, int layer = 1)
{
    return timed("[image2D]\nlayer " + std::to_string(layer) +
                 "\nstring data/white.tga\nspline data/" + spline + "\n");
}

class ShapeTest : public EffectTest {
protected:
    void SetUp() override
    {
        writePicture(dataPath("white.tga"), [](int, int) { return white; });
        // 960 pixels square with its right edge at x = 320.
        spline("left.spl", "4 4 0 -2 0\n4 4 0 -2 0\n");
        // 120 pixels square in the middle.
        spline("middle.spl", "0.5 0.5 0 0 0\n0.5 0.5 0 0 0\n");
    }
    Frame lastFrame(const std::string &shape, const std::string &effect)
    {
        std::vector<Frame> frames = play(shape + timed(effect), 0.3f);
        return frames.empty() ? Frame{std::string(WIDTH * HEIGHT * 3, '\0')} : frames.back();
    }
};

// White left of x = 320, black right of it. Each step averages a copy
// shifted by the step to the left with one squeezed toward the right edge
// (shifted by the step at the left edge, not at all at the right), so in
// the middle of the window the blur reaches about half as far into the
// white as into the black.
TEST_F(ShapeTest, BoxBlurSpreadsAnEdgeOverAboutItsRadius)
{
    spline("radius.spl", "8\n8\n");
    const struct {
        const char *lines;
        int lastWhite, mixedWhite, mixedBlack, firstBlack;     // x
    } cases[] = {
        // One step of one texel each way.
        {"param 0.5\n", 318, 319, 320, 321},
        // A param wins over a spline.
        {"param 0.5\nspline data/radius.spl\n", 318, 319, 320, 321},
        // Steps 1, 2, 4 and 8: 15 pixels into the black.
        {"spline data/radius.spl\n", 310, 316, 329, 335},
        {"param 8\n", 310, 316, 329, 335},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.lines);
        Frame frame = lastFrame(whiteShape("left.spl"),
                                std::string("[efxBoxBlur]\nlayer 2\n") + test.lines);
        EXPECT_EQ(frame.at(test.lastWhite, 240), white);
        EXPECT_LT(frame.at(test.mixedWhite, 240).r, 240);
        EXPECT_GT(frame.at(test.mixedBlack, 240).r, 15);
        EXPECT_EQ(frame.at(test.firstBlack, 240), black);
    }
}

// The middle square moving right by 48 pixels a frame, the blur starting
// at frame 1 (frame 0 holds the loading screen).
TEST_F(ShapeTest, MotionBlurDrawsNothingInItsFirstFrameThenLeavesATrail)
{
    spline("move.spl", "0.5 0.5 0 -1 0\n0.5 0.5 0 1 0\n");
    std::vector<Frame> frames =
        play(timed("[image2D]\nlayer 1\nstring data/white.tga\nspline data/move.spl 1\n") +
                 timed("[efxMotionBlur]\nlayer 2\nblend SRC_ALPHA ONE_MINUS_SRC_ALPHA\n"
                       "param 0.5 0.5\n",
                       "start 0.1\nend 10\n"),
             0.6f);
    ASSERT_GE(frames.size(), 6u);
    const int square = litWidth(frames[1], 240);
    EXPECT_NEAR(square, 120, 2);
    EXPECT_EQ(frames[1].at(static_cast<int>(frames[1].litCentre(240)), 240), white);
    for (int n = 2; n < 6; n++) {
        SCOPED_TRACE(n);
        EXPECT_GT(litWidth(frames[n], 240), square + 20);
    }
}

// The picture at half the unit depth of the identity view, with linear fog
// from 0 to 1: halfway to the fog colour.
TEST_F(EffectTest, FogTintsAPictureByItsDepth)
{
    spline("place.spl", "0.015625 0.015625 0.015625 0 0 0 0 0 -32\n"
                        "0.015625 0.015625 0.015625 0 0 0 0 0 -32\n");
    std::vector<Frame> frames =
        play(timed("[efxFog]\nlayer 1\nparam 0 1 0 1 0 0 1\n") +
                 timed("[image]\nlayer 2\nstring data/quadrants.tga\nspline data/place.spl\n"),
             0.3f);
    ASSERT_FALSE(frames.empty());
    EXPECT_COLOUR_NEAR(frames.back().at(250, 300), 128, 128, 0);
    EXPECT_COLOUR_NEAR(frames.back().at(390, 180), 128, 255, 128);
}

// (0, 0, 1, 1) gives a viewport one pixel narrower and shorter than the
// window: the blue fill leaves the background in the top row and the
// right column.
TEST_F(EffectTest, ViewportOfTheWholeWindowLeavesAOnePixelStrip)
{
    spline("rect.spl", "0 0 1 1\n0 0 1 1\n");
    spline("fill.spl", "0 0 1 1\n0 0 1 1\n");
    // An opaque white fader as a background with sharp edges; it fills the
    // whole window again in every frame after the viewport was changed.
    std::vector<Frame> frames =
        play(timed("[efxFader]\nlayer 1\nparam 1 1 1 1 1 1 1 1\n") +
                 timed("[efxViewport]\nlayer 2\nspline data/rect.spl\nspline data/fill.spl\n"),
             0.3f);
    ASSERT_FALSE(frames.empty());
    const Frame &frame = frames.back();
    EXPECT_EQ(frame.at(639, 100), white);
    EXPECT_EQ(frame.at(638, 100), blue);
    EXPECT_EQ(frame.at(100, 479), white);
    EXPECT_EQ(frame.at(100, 478), blue);
    EXPECT_EQ(frame.at(0, 0), blue);
}

// White left of x = 320: the glow spreads beyond the edge, black far from
// it stays black.
TEST_F(ShapeTest, GlowBrightensAroundBrightPartsAndLeavesDarkParts)
{
    Frame frame = lastFrame(whiteShape("left.spl"), "[efxGlow]\nlayer 2\nparam 0.5 0.5 0.5 2 8\n");
    EXPECT_EQ(frame.at(300, 240), white);
    Colour beside = frame.at(325, 240);
    EXPECT_GT(beside.r, 20) << beside;
    EXPECT_EQ(beside.r, beside.b) << beside;
    EXPECT_EQ(frame.at(340, 240), black);
    EXPECT_EQ(frame.at(600, 240), black);
}

TEST_F(ShapeTest, RadialBlurAboutTheMiddleZoomsSymmetrically)
{
    const struct {
        const char *iterations;
        int minWidth, maxWidth;
    } cases[] = {
        // Zooms by (1 + 2 * 0.2 / 3) (1 + 2 * 0.8 / 3): 120 pixels become 209.
        {"3", 204, 214},
        // Nothing drawn: the square as it was.
        {"0", 120, 120},
        // One unscaled copy.
        {"1", 120, 120},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.iterations);
        Frame frame = lastFrame(whiteShape("middle.spl"),
                                std::string("[efxRadialBlur]\nlayer 2\nparam ") + test.iterations +
                                    " 0 1 1 0.2 0.2 0.5 0.5 0.5 0.5\n");
        int width = litWidth(frame, 240);
        EXPECT_GE(width, test.minWidth);
        EXPECT_LE(width, test.maxWidth);
        EXPECT_NEAR(frame.litCentre(240), 319.5, 1);
    }
}

// Each step adds a quarter of the frame (blend SRC_ALPHA ONE) to itself:
// a grey of 0.4 becomes 0.4 * 1.25^2 after two steps.
TEST_F(EffectTest, RadialBlur2RunsTheTruncatedNumberOfSteps)
{
    writePicture(dataPath("grey.tga"), [](int, int) { return Colour{102, 102, 102}; });
    std::vector<Frame> frames =
        play(timed("[background]\nlayer 1\nstring data/grey.tga\n") +
                 timed("[efxRadialBlur2]\nlayer 2\nblend SRC_ALPHA ONE\nstring iterations = 2.9;\n"
                       "string alpha = 0.25;\nstring separation = 0;\nstring originX = 0;\n"
                       "string originY = 0;\n"),
             0.3f);
    ASSERT_FALSE(frames.empty());
    // Three steps would give 199.
    const Colour middle = frames.back().at(320, 240);
    EXPECT_TRUE(near(middle.r, 159, 6) && near(middle.g, 159, 6) && near(middle.b, 159, 6)) << middle;
}

// The bright pass through efxHighPassFilter with a threshold of one half:
// passes 0 and 1 leave the thresholded picture, 2 adds it twice more.
TEST_F(EffectTest, BrightPassKeepsTheThresholdedPictureBelowTwoPasses)
{
    const struct {
        const char *passes;
        int level;
    } cases[] = {{"0", 128}, {"1", 128}, {"2", 255}, {"3", 255}};
    for (const auto &test : cases) {
        SCOPED_TRACE(test.passes);
        Quadrants q = quadrantsOf(lastFrame(std::string("[efxHighPassFilter]\nlayer 2\n"
                                                        "string red = 0.5; green = 0.5; blue = 0.5;\n"
                                                        "string accum = ") +
                                            test.passes + ";\n"));
        EXPECT_COLOUR_NEAR(q.topLeft, test.level, 0, 0);
        EXPECT_COLOUR_NEAR(q.topRight, 0, test.level, 0);
        EXPECT_COLOUR_NEAR(q.bottomRight, test.level, test.level, test.level);
    }
}

// What the deformation grids and the repeat section draw: a picture under
// each grid in a recorded demo, and where its edges land afterwards.
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "tests/sections/recorded_demo.h"

// The quadrant picture fills the window below the grid: its vertical edge
// is at x = 320 and its horizontal edge at y = 240 (from the bottom).
static const char *const quadrantBackground =
    "[background]\nstart 0\nend 10\nlayer 1\nstring data/quadrants.tga\n";

static int distance(const Colour &a, const Colour &b)
{
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

// The first pixel from (x, y) on, in steps of (dx, dy), that is nearer the
// colour at the end of `steps` steps than the colour at the start: where
// the edge between them lies. -1 when there is none.
static int edgeAt(const Frame &frame, int x, int y, int dx, int dy, int steps)
{
    const Colour first = frame.at(x, y), last = frame.at(x + dx * steps, y + dy * steps);
    for (int n = 0; n <= steps; n++) {
        const Colour here = frame.at(x + dx * n, y + dy * n);
        if (distance(here, last) < distance(here, first))
            return dx ? x + dx * n : y + dy * n;
    }
    return -1;
}

struct EdgeCase {
    const char *name;
    const char *section;    // the grid section, after its time window
    const char *splineKeys; // data/grid.spl
    double edgeX;           // the vertical edge in row 360 (top half)
    double edgeY;           // the horizontal edge in column 160 (left half)
};

// The copy fills texture coordinates 0 to 0.625 across and 0 to 0.9375 up
// of the 1024 x 512 screen texture.
static const EdgeCase edgeCases[] = {
    // Every point samples the copy 1 % further on: 6.4 pixels across and
    // 4.8 up, so the picture moves that far left and down.
    {"efxRenderMesh mode 0", "[efxRenderMesh]\nparam 0 1 1\n", "", 320 - 6.4, 240 - 4.8},
    {"efxRenderMesh mode 9 is undistorted", "[efxRenderMesh]\nparam 9 1 1\n", "", 320, 240},
    {"efxSwirl with radius 0 is undistorted", "[efxSwirl]\nparam 0 1 1\nspline data/grid.spl\n",
     "0.5 0.5 0 5\n0.5 0.5 0 5\n", 320, 240},
    {"efxDeform without splines is undistorted", "[efxDeform]\nparam 3 8 8\n", "", 320, 240},
    // A 3 x 3 patch: moving the centre control point by 160 pixels moves
    // the surface at (s, t) by 160 x 2s(1 - s) x 2t(1 - t), the weight of
    // the middle point of a quadratic curve in each direction: 30 pixels at
    // the vertical edge (s = 0.5) in row 360 (t = 0.75). 64 x 16 steps put
    // mesh vertices exactly there.
    {"efxDeform with its centre control point moved right",
     "[efxDeform]\nparam 3 64 16\nspline data/grid.spl\n", "1 1 160 0 0\n1 1 160 0 0\n", 350, 240},
    // u 5 % further on: 32 pixels to the left.
    {"efxRenderMesh2 shifted by its formula",
     "[efxRenderMesh2]\nstring u = (x + 1) / 2 + 0.05; v = (y + 1) / 2;\nstring alpha = 1;\n", "",
     320 - 32, 240},
    // The angle is +-pi/2 on the centre column and not a number at the
    // centre point: the texture coordinates there go wrong, nothing else.
    {"efxRenderMesh2 reading the angle at x = 0",
     "[efxRenderMesh2]\nstring u = (x + 1) / 2; v = (y + 1) / 2 + 0 * p;\nstring red = 1;\n", "",
     320, 240},
};

TEST_F(DrawingTest, GridsMoveThePictureEdgesWhereTheirMathsPutsThem)
{
    for (const EdgeCase &test : edgeCases) {
        SCOPED_TRACE(test.name);
        spline("grid.spl", test.splineKeys);
        std::vector<Frame> frames =
            play(quadrantBackground + timed(test.section, "start 0\nend 10\nlayer 2\n"), 0.3f);
        ASSERT_FALSE(frames.empty());
        const Frame &frame = frames.back();
        EXPECT_NEAR(edgeAt(frame, 200, 360, 1, 0, 240), test.edgeX, 1.0);
        EXPECT_NEAR(edgeAt(frame, 160, 120, 0, 1, 240), test.edgeY, 1.0);
    }
}

// The swirl turns the content at distance d from the centre by
// strength x (radius - d). Points a quarter turn apart at d = 0.212 of the
// window from the centre: the strength 5.456 turns one onto the next
// counter-clockwise, and the negative strength back.
TEST_F(DrawingTest, SwirlTurnsThePictureAboutItsCentre)
{
    const struct {
        const char *strength;
        Colour upperLeft, lowerRight; // at (0.35, 0.65) and (0.65, 0.35)
    } cases[] = {
        {"0", red, white},
        {"5.456", green, blue},
        {"-5.456", blue, green},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.strength);
        const std::string key = std::string("0.5 0.5 0.5 ") + test.strength + "\n";
        spline("swirl.spl", key + key);
        std::vector<Frame> frames =
            play(quadrantBackground + timed("[efxSwirl]\nparam 0 1 1\nspline data/swirl.spl\n",
                                            "start 0\nend 10\nlayer 2\n"),
                 0.3f);
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.back().at(224, 312), test.upperLeft);
        EXPECT_EQ(frames.back().at(416, 168), test.lowerRight);
    }
}

// Added on top of the frame, the copy doubles it; with the clear flag the
// frame is cleared after the copy and only the copy remains.
TEST_F(DrawingTest, SwirlClearFlagLeavesOnlyTheCopy)
{
    const Colour dim = {100, 0, 0};
    const struct {
        const char *clear;
        Colour expected;
    } cases[] = {{"0", {200, 0, 0}}, {"1", dim}};
    for (const auto &test : cases) {
        SCOPED_TRACE(test.clear);
        writePicture(dataPath("dim.tga"), {dim, dim, dim, dim}, false);
        spline("swirl.spl", "0.5 0.5 0.3 2\n0.5 0.5 0.3 2\n");
        std::vector<Frame> frames =
            play("[background]\nstart 0\nend 10\nlayer 1\nstring data/dim.tga\n" +
                     timed(std::string("[efxSwirl]\nparam ") + test.clear +
                               " 1 1\nspline data/swirl.spl\n",
                           "start 0\nend 10\nlayer 2\nblend ONE ONE\n"),
                 0.3f);
        ASSERT_FALSE(frames.empty());
        for (const Colour &pixel : {frames.back().at(320, 240), frames.back().at(20, 20)})
            EXPECT_LE(distance(pixel, test.expected), 3) << pixel;
    }
}

// The colour formula's alpha blends the shifted copy over the frame; a
// channel it never assigns keeps 1.
TEST_F(DrawingTest, RenderMesh2ColourFormulaGivesTheCopysAlpha)
{
    const struct {
        const char *colour;
        Colour expected; // at (300, 360): the frame is red, the copy green
    } cases[] = {{"alpha = 0.5;", {128, 128, 0}}, {"red = 0.2;", green}};
    for (const auto &test : cases) {
        SCOPED_TRACE(test.colour);
        std::vector<Frame> frames =
            play(quadrantBackground +
                     timed(std::string("[efxRenderMesh2]\nstring u = (x + 1) / 2 + 0.05; "
                                       "v = (y + 1) / 2;\nstring ") +
                               test.colour + "\n",
                           "start 0\nend 10\nlayer 2\nblend SRC_ALPHA ONE_MINUS_SRC_ALPHA\n"),
                 0.3f);
        ASSERT_FALSE(frames.empty());
        const Colour pixel = frames.back().at(300, 360);
        EXPECT_LE(distance(pixel, test.expected), 3) << pixel;
    }
}

// A repeated blue background added over a red one: the runs start every
// 0.32 seconds and draw for 0.15, so of the frames at 0, 0.1, ... 0.5 the
// first two and the fifth show it. The inner section draws with the outer
// section's blend and alpha test.
TEST_F(DrawingTest, RepeatDrawsEachRunWithTheOuterBlendAndAlpha)
{
    const Colour magenta = {255, 0, 255};
    const struct {
        const char *settings;
        Colour frames[6];
    } cases[] = {
        {"blend ONE ONE\n", {magenta, magenta, red, red, magenta, red}},
        // Every texel has alpha 1, which is not greater than 1.
        {"blend ONE ONE\nalpha GREATER 1 1\n", {red, red, red, red, red, red}},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.settings);
        std::vector<Frame> frames =
            play("[background]\nstart 0\nend 10\nlayer 1\nstring data/back.tga\n" +
                     timed("[efxRepeat]\nparam 0.32 0.15 0\nstring background\n"
                           "string data/front.tga\n",
                           (std::string("start 0\nend 10\nlayer 2\n") + test.settings).c_str()),
                 0.6f);
        ASSERT_EQ(frames.size(), 6u);
        for (int n = 0; n < 6; n++)
            EXPECT_EQ(frames[n].at(320, 240), test.frames[n]) << "frame " << n;
    }
}

// The grid scenes of the effects demo (seconds 40 to 60) play on their own
// behind a loading screen without an error or a warning.
TEST(GridScenes, PlayWithoutAnErrorOrWarning)
{
    ScratchDirectory scratch;
    writeDemo(scratch, "run", "sound 0\nrecord 1\nrecord_fps 2\ndemo_start 40\ngl_panoramic 1", "");
    scratch.write("run/video/.keep", "");
    const std::string data = scratch.path() + "/run/data/";
    runCommand("cp -r " GLIMRA_SOURCE_DIR "/examples/effects/data/zz_grids.glm " GLIMRA_SOURCE_DIR
               "/examples/effects/data/grids " +
                   data,
               nullptr, nullptr);
    std::string err;
    const int code =
        runCommand("cd " + scratch.path() + " && ASAN_OPTIONS=detect_leaks=0 timeout 120 " +
                       GLIMRA_BINARY_DIR "/glimra run",
                   nullptr, &err);
    EXPECT_EQ(code, 0) << err;
    EXPECT_EQ(err, "");
    std::ifstream file(scratch.path() + "/debug.log");
    const std::string log((std::istreambuf_iterator<char>(file)), {});
    EXPECT_NE(log.find("Main loop ended successfully"), std::string::npos);
    EXPECT_EQ(log.find("rror"), std::string::npos);
    EXPECT_EQ(log.find("arning"), std::string::npos);
    // 40 recorded frames for 20 seconds, and then the last.
    std::ifstream last(scratch.path() + "/run/video/00000040.tga");
    EXPECT_TRUE(last.good());
}

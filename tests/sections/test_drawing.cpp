// What the image and camera sections draw: short demos played by the
// engine with recording on, checked on the recorded frames.
#include "tests/sections/recorded_demo.h"

struct Probe {
    int x, y;
    Colour colour;
};

struct PlacementCase {
    const char *name;
    const char *section;       // after its time window
    const char *splineKeys;    // data/place.spl
    Probe probes[6];
};

// Without a camera the view is the unit cube of clip space: 320 pixels a
// unit across, 240 up. The quadrant picture is 64 texels.
static const PlacementCase placementCases[] = {
    {"background fills the window upright",
     "[background]\nstring data/quadrants.tga\n", "",
     {{20, 460, red}, {620, 460, green}, {20, 20, blue}, {620, 20, white}, {330, 230, white},
      {310, 250, red}}},
    // Scale 1/64 makes the picture one unit square; the translation of 16
    // texels comes after the scale: a quarter unit, 80 pixels right.
    {"image is scaled, then moved in scaled units",
     "[image]\nstring data/quadrants.tga\nspline data/place.spl\n",
     "0.015625 0.015625 0.015625 0 0 0 16 0 0\n0.015625 0.015625 0.015625 0 0 0 16 0 0\n",
     {{260, 340, red}, {540, 340, green}, {260, 140, blue}, {540, 140, white}, {230, 240, black},
      {570, 240, black}}},
    {"image turned half round about z",
     "[image]\nstring data/quadrants.tga\nspline data/place.spl\n",
     "0.015625 0.015625 0.015625 0 0 180 0 0 0\n0.015625 0.015625 0.015625 0 0 180 0 0 0\n",
     {{180, 340, white}, {460, 340, blue}, {180, 140, green}, {460, 140, red}, {150, 240, black},
      {490, 240, black}}},
    // The formula sizes the quad (w, h) and places it (tx ...).
    {"image2 sized and placed by its formula",
     "[image2]\nstring data/quadrants.tga\nstring tx=-0.5; ty=0; tz=0;\nstring rx=0; ry=0; rz=0;\n"
     "string sx=0.01; sy=0.01; sz=1;\nstring w=50; h=w0+36;\n",
     "",
     {{100, 350, red}, {220, 350, green}, {100, 130, blue}, {220, 130, white}, {70, 240, black},
      {250, 240, black}}},
    // One unit high (half the window) and as wide as the square picture's
    // aspect makes it: 240 x 240 pixels, centred.
    {"image2D without a spline is centred and one unit high",
     "[image2D]\nstring data/quadrants.tga\n", "",
     {{210, 350, red}, {430, 350, green}, {210, 130, blue}, {430, 130, white}, {190, 240, black},
      {320, 370, black}}},
    // image2D's spline: scale x y, rotation, translation x y, in a view of
    // 1.333 x 1 units each side of the centre. Turned a quarter round
    // counter-clockwise, the picture's top-left corner is at bottom left.
    {"image2D placed by its spline",
     "[image2D]\nstring data/quadrants.tga\nspline data/place.spl\n",
     "0.5 0.5 90 0.6667 0\n0.5 0.5 90 0.6667 0\n",
     {{430, 290, green}, {530, 290, white}, {430, 190, red}, {530, 190, blue}, {410, 240, black},
      {550, 240, black}}},
};

TEST_F(DrawingTest, PicturesAppearWhereTheirPlacementPutsThem)
{
    for (const PlacementCase &test : placementCases) {
        SCOPED_TRACE(test.name);
        spline("place.spl", test.splineKeys);
        std::vector<Frame> frames = play(timed(test.section));
        ASSERT_FALSE(frames.empty());
        for (const Probe &probe : test.probes)
            EXPECT_EQ(frames.back().at(probe.x, probe.y), probe.colour) << probe.x << ", " << probe.y;
    }
}

// Copies drawn by imageMatrix along x: the first where spline 1 puts it
// (translate, then scale to a quarter unit, 80 x 60 pixels), each next one
// a step of 0.4 units further (102.4 texels at that scale). 2.5 copies
// round up to three; none are drawn for 0.
TEST_F(DrawingTest, ImageMatrixDrawsOneCopyPerStepBelowTheCount)
{
    spline("step.spl", "1 1 1 0 0 0 102.4 0 0\n1 1 1 0 0 0 102.4 0 0\n");
    spline("base.spl", "0.00390625 0.00390625 0.00390625 0 0 0 -0.6 0 0\n"
                       "0.00390625 0.00390625 0.00390625 0 0 0 -0.6 0 0\n");
    const struct {
        const char *count;
        int copies;
    } cases[] = {{"2.5", 3}, {"0", 0}};
    const int centres[] = {128, 256, 384, 512};
    for (const auto &test : cases) {
        SCOPED_TRACE(test.count);
        std::vector<Frame> frames =
            play(timed(std::string("[imageMatrix]\nparam ") + test.count +
                       " 0 0 1 0\nstring data/quadrants.tga\nspline data/base.spl\n"
                       "spline data/step.spl\n"));
        ASSERT_FALSE(frames.empty());
        for (int copy = 0; copy < 4; copy++) {
            Colour expected = copy < test.copies ? red : black;
            EXPECT_EQ(frames.back().at(centres[copy] - 20, 255), expected) << copy;
            expected = copy < test.copies ? white : black;
            EXPECT_EQ(frames.back().at(centres[copy] + 20, 225), expected) << copy;
        }
    }
}

// imagePart over the stripe picture (red, green, blue, white from the
// left), one unit square centred: up to the fraction the picture shows,
// after it the texel column at the fraction fills the rest.
TEST_F(DrawingTest, ImagePartRevealsUpToTheFractionAndStretchesTheColumnThere)
{
    spline("place.spl", "0.015625 0.015625 0.015625 0 0 0 0 0 0\n"
                        "0.015625 0.015625 0.015625 0 0 0 0 0 0\n");
    const struct {
        const char *fractions;
        Colour stripes[4];
    } cases[] = {
        {"0.3 0.3", {red, green, green, green}},
        {"1 1", {red, green, blue, white}},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.fractions);
        std::vector<Frame> frames =
            play(timed(std::string("[imagePart]\nparam ") + test.fractions +
                       "\nstring data/stripes.tga\nspline data/place.spl\n"));
        ASSERT_FALSE(frames.empty());
        for (int stripe = 0; stripe < 4; stripe++)
            EXPECT_EQ(frames.back().at(160 + 40 + stripe * 80, 240), test.stripes[stripe]) << stripe;
        EXPECT_EQ(frames.back().at(150, 240), black);
        EXPECT_EQ(frames.back().at(490, 240), black);
    }
}

// The reveal moves with the section's time: from 0 at the start to 1 at
// the end of a one-second section, the lit width grows frame by frame.
TEST_F(DrawingTest, ImagePartRevealGrowsOverTheSection)
{
    spline("place.spl", "0.015625 0.015625 0.015625 0 0 0 0 0 0\n"
                        "0.015625 0.015625 0.015625 0 0 0 0 0 0\n");
    std::vector<Frame> frames = play(timed("[imagePart]\nparam 0 1\nstring data/stripes.tga\n"
                                           "spline data/place.spl\n", "start 0\nend 1\n"),
                                     0.9f);
    ASSERT_GE(frames.size(), 8u);
    // Late in the section the blue stripe shows at 0.55 of the width;
    // early on the red column at the fraction fills the picture from there.
    EXPECT_EQ(frames[7].at(160 + 176, 240), blue);
    EXPECT_EQ(frames[2].at(160 + 176, 240), red);
}

// A camera spline that moves the eye and the target along +x moves the
// picture at the origin to the left of the view.
TEST_F(DrawingTest, ACameraSplineMovesTheView)
{
    // eye x y z, angles, target x y z, fov, near, far (12 channels: no roll)
    spline("camera.spl", "0 0 100 0 0 0 0 0 0 90 1 1000\n40 0 100 0 0 0 40 0 0 90 1 1000\n");
    spline("place.spl", "1 1 1 0 0 0 0 0 0\n1 1 1 0 0 0 0 0 0\n");
    std::vector<Frame> frames =
        play(timed("[camera]\nparam 0\nspline data/camera.spl 1\n", "start 0\nend 10\nlayer 1\n") +
                 timed("[image]\nstring data/quadrants.tga\nspline data/place.spl\n",
                       "start 0\nend 10\nlayer 2\n"),
             0.9f);
    ASSERT_GE(frames.size(), 8u);
    // The view is 200 units high at the picture's distance (fov 90): the
    // 64-unit picture is 154 pixels, upright and near the centre at first.
    EXPECT_EQ(frames[1].at(320 - 60, 240 + 40), red);
    EXPECT_EQ(frames[1].at(320 + 60, 240 - 40), white);
    double before = frames[2].litCentre(240), after = frames[8].litCentre(240);
    EXPECT_LT(after, before - 20);
}

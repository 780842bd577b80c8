// What the image and camera sections draw: short demos played by the
// engine with recording on, checked on the recorded frames.
#include <cmath>

#include "tests/sections/recorded_demo.h"
#include "tools/modelgen/modelgen.h"

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
    // Clamping keeps the edge texels: no border colour creeps into the
    // outermost pixels.
    {"background keeps its colours out to the window's corners",
     "[background]\nstring data/quadrants.tga\n", "",
     {{0, 479, red}, {639, 479, green}, {0, 0, blue}, {639, 0, white}, {160, 479, red},
      {480, 0, white}}},
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

// ---------------------------------------------------------------------------
// Particles and rays. Their sprites are textured with capture buffer 0,
// which nothing fills here: it is black, so the sprites are black and show
// on a white background.

// The ten strings of a particleTex2 section after its picture: a burst of
// two particles placed by `update`, no placement of the system.
static std::string particleSection(const char *params, const char *update, const char *extra = "")
{
    return std::string("[particleTex2]\n") + extra + "param " + params +
           "\nstring data/quadrants.tga\nstring rate=0; initialParticles=2;\nstring " + update +
           "\nstring a=1;\nstring b=1;\nstring c=1;\nstring d=1;\n"
           "string tx=0; ty=0; tz=0;\nstring rx=0; ry=0; rz=0;\nstring sx=1; sy=1; sz=1;\n";
}

static void writeWhite(const ScratchDirectory &scratch)
{
    scratch.write("run/data/.keep", "");
    writePicture(scratch.path() + "/run/data/white.tga", {white, white, white, white}, false);
}

// Without a camera, (-0.5, 0.5) is pixel (160, 360): sprites of size 0.1
// are 24 pixels high and 43 wide each side (times the aspect ratio 4:3).
TEST_F(DrawingTest, ParticlesAppearWhereTheirFormulaPutsThem)
{
    writeWhite(scratch);
    std::vector<Frame> frames =
        play(timed("[background]\nstring data/white.tga\n", "start 0\nend 10\nlayer 1\n") +
             timed(particleSection("0 1 200", "x = if(n, 0.5, -0.5); y = 0.5; z = 0; size = 0.1; alpha = 1;"),
                   "start 0\nend 10\nlayer 2\n"));
    ASSERT_FALSE(frames.empty());
    const Probe probes[] = {{160, 360, black}, {480, 360, black}, {195, 375, black},
                            {320, 360, white}, {160, 395, white}, {210, 360, white},
                            {160, 240, white}, {480, 120, white}};
    for (const Probe &probe : probes)
        EXPECT_EQ(frames.back().at(probe.x, probe.y), probe.colour) << probe.x << ", " << probe.y;
}

// Two half-transparent sprites that overlap, depth-tested, seen by a camera
// at z = 100: the near one (first in the list) must be drawn after the far
// one, or the depth test throws the far one away where they overlap.
// Darkening by half twice leaves a quarter of the white; once, a half.
TEST_F(DrawingTest, ParticlesAreDrawnBackToFront)
{
    writeWhite(scratch);
    spline("camera.spl", "0 0 100 0 0 0 0 0 0 90 1 1000\n0 0 100 0 0 0 0 0 0 90 1 1000\n");
    std::vector<Frame> frames = play(
        timed("[background]\nstring data/white.tga\n", "start 0\nend 10\nlayer 1\n") +
        timed("[camera]\nparam 0\nspline data/camera.spl 1\n", "start 0\nend 10\nlayer 2\n") +
        timed(particleSection("0 0 200", "x = if(n, -5, 5); y = 0; z = if(n, 0, 20); size = 10; alpha = 0.5;",
                              "blend ZERO ONE_MINUS_SRC_ALPHA\n"),
              "start 0\nend 10\nlayer 3\n"));
    ASSERT_FALSE(frames.empty());
    const struct {
        int x;
        int low, high;
    } probes[] = {{318, 60, 68}, {285, 124, 132}, {360, 124, 132}, {420, 255, 255}};
    for (const auto &probe : probes) {
        Colour colour = frames.back().at(probe.x, 240);
        EXPECT_GE(colour.r, probe.low) << probe.x << ": " << colour;
        EXPECT_LE(colour.r, probe.high) << probe.x << ": " << colour;
    }
}

// A bolt from (-0.5, -0.25) to (0.5, 0.5) in the clip-space view: pixels
// (160, 180) to (480, 360). Straight, every point between is lit; jagged
// and anchored, it still starts and ends at the two points.
TEST_F(DrawingTest, ALightningBoltJoinsItsTwoSplinePoints)
{
    spline("colour.spl", "1 1 1\n1 1 1\n");
    const struct {
        const char *name;
        const char *params;
        const char *path;
        bool straight;
    } cases[] = {
        {"one segment", "1 1", "-0.5 -0.25 0 0.5 0.5 0 0 3 0 1", true},
        {"eight jagged segments", "1 8", "-0.5 -0.25 0 0.5 0.5 0 0.05 3 0 1", false},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        spline("bolt.spl", std::string(test.path) + "\n" + test.path + "\n");
        std::vector<Frame> frames =
            play(timed(std::string("[ray]\nparam ") + test.params +
                       "\nspline data/bolt.spl\nspline data/colour.spl\n"));
        ASSERT_FALSE(frames.empty());
        const Frame &frame = frames.back();
        auto litNear = [&](int x, int y) {
            for (int dy = -3; dy <= 3; dy++)
                for (int dx = -3; dx <= 3; dx++)
                    if (!(frame.at(x + dx, y + dy) == black))
                        return true;
            return false;
        };
        EXPECT_TRUE(litNear(162, 181));
        EXPECT_TRUE(litNear(478, 359));
        if (!test.straight)
            continue;
        for (double t = 0.1; t < 0.95; t += 0.1) {
            int x = static_cast<int>(160 + 320 * t), y = static_cast<int>(180 + 180 * t);
            EXPECT_TRUE(litNear(x, y)) << t;
            EXPECT_EQ(frame.at(x, y + 30), black) << t;
        }
        EXPECT_EQ(frame.at(100, 400), black);
    }
}

// ---------------------------------------------------------------------------
// Object sections. Models are written into the run's data directory by our
// model writer and drawn white (layer mode "color") on black; without a
// camera (x, y) of the clip-space view is pixel (320 + 320 x, 240 + 240 y).

// Two triangles: a square of side `side` around the origin in z = 0.
static modelgen::Shape squareShape(float side, float x = 0, float y = 0)
{
    const float h = side / 2;
    modelgen::Shape shape;
    shape.positions = {x - h, y - h, 0, x + h, y - h, 0, x + h, y + h, 0, x - h, y + h, 0};
    shape.triangles = {0, 1, 2, 0, 2, 3};
    return shape;
}

class ObjectDrawingTest : public DrawingTest {
protected:
    void SetUp() override
    {
        scratch.write("run/data/white.rp", "{\nmode color\ncolor 1 1 1 1\n}\n");
        scratch.write("run/data/shaded.rp", "{\nmode shaded\ncolor 1 1 1 1\n}\n");
        model("square.3ds", squareShape(0.2f));
        model("corners.3ds", squareShape(1));
        // Without its material, which names a texture.
        modelgen::Shape sphere = modelgen::sphere(2, 16, 24);
        sphere.materials.clear();
        sphere.triangleMaterials.clear();
        model("sphere.3ds", sphere);
    }
    void model(const std::string &name, const modelgen::Shape &shape)
    {
        scratch.write("run/data/" + name, modelgen::write3ds(shape, "object"));
    }
};

static const char *const identityPlacement =
    "string tx=0;ty=0;tz=0;\nstring rx=0;ry=0;rz=0;\nstring sx=1;sy=1;sz=1;\n";

struct ObjectPlacementCase {
    const char *name;
    std::string sections;      // the first one gets its time window here
    std::vector<Probe> probes;
};

TEST_F(ObjectDrawingTest, EachObjectTypesModelAppearsWhereItsPlacementPutsIt)
{
    spline("right.spl", "1 1 1 0 0 0 0.5 0 0\n1 1 1 0 0 0 0.5 0 0\n");
    spline("camera.spl", "0 0 10 0 0 0 0 0 0 60 1 100\n0 0 10 0 0 0 0 0 0 60 1 100\n");
    writePicture(scratch.path() + "/run/data/sky.tga", {red, red, red, red}, false);
    const ObjectPlacementCase cases[] = {
        {"objectMorph moved right by its spline",
         "[objectMorph]\nparam 0 0\nstring data/square.3ds\nstring data/square.3ds\nstring data/white.rp\n"
         "spline data/right.spl 10\n",
         {{480, 240, white}, {320, 240, black}}},
        {"objectMorph2 halfway to a square on the left",
         std::string("[objectMorph2]\nparam 0\nstring data/square.3ds\nstring data/corners.3ds\nstring data/\n"
                     "string data/white.rp\n") +
             "string tx=-0.5;ty=0;tz=0;\nstring rx=0;ry=0;rz=0;\nstring sx=1;sy=1;sz=1;\nstring value=0;\n",
         {{160, 240, white}, {200, 240, black}, {320, 240, black}}},
        {"objectShader copies at the four corners of a square",
         std::string("[objectShader]\nparam 0\nstring data/\nstring square.3ds\nstring data/white.rp\n"
                     "string data/corners.3ds\n") +
             identityPlacement + identityPlacement,
         {{160, 120, white}, {480, 120, white}, {160, 360, white}, {480, 360, white}, {320, 240, black}}},
        {"objectShader2 moved down by its deformation",
         std::string("[objectShader2]\nparam 0\nstring data/\nstring square.3ds\nstring data/white.rp\n"
                     "string x=x0;\nstring y=y0-0.5;\nstring z=z0;\n") +
             identityPlacement,
         {{320, 120, white}, {320, 240, black}}},
        {"objectMatrix particles at the right",
         std::string("[objectMatrix]\nparam 0\nstring data/corners.3ds\nstring data/\nstring data/square.3ds\n"
                     "string data/white.rp\nstring rate=0;initialParticles=4;\n"
                     "string x=0.5;y=-0.5;z=0;\nstring rx=0;ry=0;rz=0;\nstring sx=1;sy=1;sz=1;\n"
                     "string size=1;\nstring life=1;\nstring red=1;\n") +
             identityPlacement,
         {{480, 120, white}, {320, 240, black}}},
        {"objectExtruder at the centre, its base in view",
         "[objectExtruder]\nparam 0 0 0 0 0 0\nstring data/\nstring square.3ds\nstring data/white.rp\n"
         "string step=1;\nstring vx=0;\nstring vy=0;\nstring vz=0;\n",
         {{320, 240, white}, {320, 300, black}}},
        {"macroBox around the camera",
         "[macroBox]\nparam 1 1 1 0 1 0\nstring data/sky.tga\n" +
             timed("[camera]\nparam 0\nspline data/camera.spl 1\n", "start 0\nend 10\nlayer 1\n"),
         {{10, 10, red}, {320, 240, red}, {630, 470, red}}},
    };
    for (const ObjectPlacementCase &test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<Frame> frames = play(timed(test.sections, "start 0\nend 10\nlayer 2\n"));
        ASSERT_FALSE(frames.empty());
        for (const Probe &probe : test.probes)
            EXPECT_EQ(frames.back().at(probe.x, probe.y), probe.colour) << probe.x << ", " << probe.y;
    }
}

// The light of a light section falls on a "shaded" model: the sphere's
// middle is bright when the light comes from the camera's side and dark
// when it comes from behind.
TEST_F(ObjectDrawingTest, ALightSectionLightsAShadedModel)
{
    spline("camera.spl", "0 0 10 0 0 0 0 0 0 60 1 100\n0 0 10 0 0 0 0 0 0 60 1 100\n");
    spline("colour.spl", "0 0 0 1 1 1 0 0 0\n0 0 0 1 1 1 0 0 0\n");
    int middle[2];
    for (int behind = 0; behind < 2; behind++) {
        spline("direction.spl", behind ? "0 0 -1\n0 0 -1\n" : "0 0 1\n0 0 1\n");
        std::vector<Frame> frames = play(
            timed("[camera]\nparam 0\nspline data/camera.spl 1\n", "start 0\nend 10\nlayer 1\n") +
            timed("[light]\nparam 0\nspline data/colour.spl 1\nspline data/direction.spl 1\n",
                  "start 0\nend 10\nlayer 2\n") +
            timed(std::string("[objectShader]\nparam 0\nstring data/\nstring sphere.3ds\nstring data/shaded.rp\n"
                              "string default\n") +
                      identityPlacement + identityPlacement,
                  "start 0\nend 10\nlayer 3\n"));
        ASSERT_FALSE(frames.empty());
        middle[behind] = frames.back().at(320, 240).r;
    }
    EXPECT_GT(middle[0], 150);
    EXPECT_LT(middle[1], 60);
}

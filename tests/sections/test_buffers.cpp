// What the buffer and shader sections draw: short demos played by the
// engine with recording on, checked on the recorded frames.
#include "tests/sections/recorded_demo.h"

struct Probe {
    int x, y;
    Colour colour;
};

// Sections (each with its own layer) and what their last frame shows.
struct BufferCase {
    const char *name;
    std::string sections;
    std::vector<Probe> probes;
};

static void expectProbes(const Frame &frame, const std::vector<Probe> &probes)
{
    for (const Probe &probe : probes)
        EXPECT_EQ(frame.at(probe.x, probe.y), probe.colour) << probe.x << ", " << probe.y;
}

// A section for the whole demo at `layer`.
static std::string at(int layer, const std::string &section)
{
    return timed(section, ("start 0\nend 10\nlayer " + std::to_string(layer) + "\n").c_str());
}

static const std::string quadrants = "[background]\nstring data/quadrants.tga\n";
static const std::string stripes = "[background]\nstring data/stripes.tga\n";

// FBO 3 as large as a capture buffer, FBO 4 smaller.
static const char fboSettings[] = "fbo_3_width 1024\nfbo_3_height 512\nfbo_3_format RGBA\n"
                                  "fbo_4_width 256\nfbo_4_height 256\nfbo_4_format rgba\n";

TEST_F(DrawingTest, CaptureBuffersShowTheSavedFrameWhereTheyAreDrawn)
{
    const BufferCase cases[] = {
        {"saving without clears leaves the frame",
         at(1, quadrants) + at(2, "[saveBuffer]\nparam 0\n"),
         {{20, 460, red}, {620, 460, green}, {20, 20, blue}, {620, 20, white}}},
        {"saving with the colour clear leaves the window black",
         at(1, quadrants) + at(2, "[saveBuffer]\nparam 0 1 0\n"),
         {{20, 460, black}, {620, 460, black}, {20, 20, black}, {620, 20, black}}},
        // The whole frame comes back over the drawing rectangle.
        {"renderBuffer over the unit view",
         at(1, quadrants) + at(2, "[saveBuffer]\nparam 7 1 1\n") +
             at(3, "[renderBuffer]\nparam 7 0 0 1\n"),
         {{20, 460, red}, {620, 460, green}, {20, 20, blue}, {620, 20, white}}},
        // The aspectRatio x 1 quad, scaled to a quarter of the view's width
        // and half its height, then moved half a unit right (translation
        // first): pixels 400 to 560 across, 120 to 360 up.
        {"renderBuffer placed by its formula",
         at(1, quadrants) + at(2, "[saveBuffer]\nparam 9.5 1 1\n") +
             at(3, "[renderBuffer]\nparam 9 0 0 0\nstring tx=0.5; ty=0; tz=0;\n"
                   "string rx=0; ry=0; rz=0;\nstring sx=0.25/aspectRatio; sy=0.5; sz=1;\n"),
         {{420, 340, red}, {540, 340, green}, {420, 140, blue}, {540, 140, white},
          {380, 240, black}, {580, 240, black}}},
        // param[3] 2 makes no formula: the identity leaves the quad 2.667
        // units wide in the 2-unit view, so the stripe edge a quarter of
        // the frame across shows at x 107 instead of 160.
        {"renderBuffer placed by the identity",
         at(1, stripes) + at(2, "[saveBuffer]\nparam 0 1 1\n") +
             at(3, "[renderBuffer]\nparam 0 0 0 2\n"),
         {{90, 240, red}, {130, 240, green}, {320 - 10, 240, green}, {320 + 10, 240, blue}}},
        // The clears of renderBuffer come before its quad, which shows the
        // frame saved before them.
        {"renderBuffer clears first",
         at(1, quadrants) + at(2, "[saveBuffer]\nparam 0\n") +
             at(3, "[renderBuffer]\nparam 0 1 1 0\nstring sx=0.25/aspectRatio; sy=0.5;\n"),
         {{260, 340, red}, {380, 140, white}, {100, 240, black}, {540, 240, black}}},
    };
    for (const BufferCase &test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<Frame> frames = play(test.sections);
        ASSERT_FALSE(frames.empty());
        expectProbes(frames.back(), test.probes);
    }
}

// renderFbo shows the part of the FBO's texture that a frame fills in a
// capture buffer (0.625 x 0.9375 of it in a 640 x 480 window), so the
// quadrants' centre at texture coordinate 0.5 shows at x 512, y 256.
TEST_F(DrawingTest, FboBindDrawsIntoTheFboAndRenderFboShowsIt)
{
    const BufferCase cases[] = {
        {"the window stays black while the FBO takes the drawing",
         at(1, "[fbobind]\nparam 3 1 1\n") + at(2, quadrants) + at(3, "[fbounbind]\nparam 0 0\n"),
         {{20, 460, black}, {620, 460, black}, {20, 20, black}, {620, 20, black}}},
        {"renderFbo over the unit view",
         at(1, "[fbobind]\nparam 3 1 1\n") + at(2, quadrants) + at(3, "[fbounbind]\nparam 0 0\n") +
             at(4, "[renderFbo]\nparam 3 0 0 1\n"),
         {{100, 400, red}, {580, 400, green}, {100, 100, blue}, {580, 100, white}, {500, 240, blue},
          {524, 270, green}}},
        // Without a camera the quad from (0, 0) to (aspectRatio, 1) covers
        // the top right of the window.
        {"renderFbo placed",
         at(1, "[fbobind]\nparam 3 1 1\n") + at(2, quadrants) + at(3, "[fbounbind]\nparam 0 0\n") +
             at(4, "[renderFbo]\nparam 3 0 0 0\n"),
         {{330, 250, blue}, {330, 470, red}, {100, 100, black}, {300, 400, black}}},
        // An unbind returns to the window however many binds came before,
        // so nested FBOs end together; each keeps what was drawn into it.
        {"nested FBOs: the inner one",
         at(1, "[fbobind]\nparam 3 1 1\n") + at(2, quadrants) + at(3, "[fbobind]\nparam 4 1 1\n") +
             at(4, stripes) + at(5, "[fbounbind]\nparam 0 0\n") +
             at(6, "[fbounbind]\nparam 0 0\n") + at(7, "[renderFbo]\nparam 4 0 0 1\n"),
         {{100, 240, red}, {300, 240, green}, {600, 240, blue}}},
        {"nested FBOs: the outer one",
         at(1, "[fbobind]\nparam 3 1 1\n") + at(2, quadrants) + at(3, "[fbobind]\nparam 4 1 1\n") +
             at(4, stripes) + at(5, "[fbounbind]\nparam 0 0\n") +
             at(6, "[fbounbind]\nparam 0 0\n") + at(7, "[renderFbo]\nparam 3 0 0 1\n"),
         {{100, 400, red}, {580, 400, green}, {100, 100, blue}, {580, 100, white}}},
        // The unbind's clears come after it and clear the window.
        {"fbounbind clears the window",
         at(1, quadrants) + at(2, "[fbobind]\nparam 3 0 0\n") + at(3, "[fbounbind]\nparam 1 1\n"),
         {{20, 460, black}, {620, 20, black}}},
    };
    for (const BufferCase &test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<Frame> frames = play(test.sections, 0.5f, fboSettings);
        ASSERT_FALSE(frames.empty());
        expectProbes(frames.back(), test.probes);
        EXPECT_EQ(log.find("fbo_unbind [aborted]"), std::string::npos);
    }
}

// An unbind with nothing bound only traces, whether no bind came before it
// or the bind named FBO 5, which is not configured: that number must not
// select FBO 3, the first entry of the FBO table.
TEST_F(DrawingTest, AnUnbalancedUnbindIsOnlyTraced)
{
    for (const std::string &before : {std::string(), at(1, "[fbobind]\nparam 5 1 1\n")}) {
        SCOPED_TRACE(before);
        std::vector<Frame> frames =
            play(before + at(2, quadrants) + at(3, "[fbounbind]\nparam 0 0\n"), 0.5f, fboSettings);
        ASSERT_FALSE(frames.empty());
        expectProbes(frames.back(), {{20, 460, red}, {620, 460, green}, {620, 20, white}});
        EXPECT_NE(log.find("fbo_unbind [aborted]: System has tried to unbind an fbo, but it has "
                           "been already unbinded!"),
                  std::string::npos);
    }
}

static const char passVertex[] =
    "void main() { gl_TexCoord[0] = gl_MultiTexCoord0; gl_Position = ftransform(); }\n";

// The program draws the quad of renderBuffer -1 (no texture of its own).
static std::string throughProgram(int layer, const std::string &fragment,
                                  const std::string &uniforms)
{
    return at(layer, "[glslshaderbind]\nstring data/pass.vert\nstring data/" + fragment + "\n" +
                         uniforms) +
           at(layer + 1, "[renderBuffer]\nparam -1 0 0 1\n") +
           at(layer + 2, "[glslshaderunbind]\n");
}

TEST_F(DrawingTest, AVec3UniformFollowsItsFormula)
{
    dataFile("pass.vert", passVertex);
    dataFile("colour.frag", "uniform vec3 colour;\n"
                            "void main() { gl_FragColor = vec4(colour, 1.0); }\n");
    // Blue until 0.2 seconds into the section, then red.
    std::vector<Frame> frames =
        play(throughProgram(1, "colour.frag",
                            "string vec3 colour v1=above(t,0.2);v2=0;v3=below(t,0.2);\n"
                            "string int colour 3\n"));
    ASSERT_GE(frames.size(), 4u);
    EXPECT_EQ(frames[1].at(320, 240), blue);
    EXPECT_EQ(frames[3].at(20, 20), red);
    EXPECT_EQ(frames[3].at(620, 460), red);
    // The int string is traced and ignored: it neither fails nor sets.
    EXPECT_NE(log.find("glslshaderbind: string_type [int], string_name [colour], string_value [3]"),
              std::string::npos);
}

// Capture buffer 2 holds red, FBO 3 blue; the picture file is sampled at
// its top-right quadrant (green). The samplers take units 0, 1 and 2 in
// their order and are bound from the last: the FBO on unit 2 first, right
// after renderFbo left the same texture bound on unit 0.
TEST_F(DrawingTest, SamplersSampleCaptureBuffersFbosAndPictures)
{
    dataFile("pass.vert", passVertex);
    dataFile("split.frag",
             "uniform sampler2D buffer; uniform sampler2D fbo; uniform sampler2D picture;\n"
             "void main() {\n"
             "    vec2 uv = gl_TexCoord[0].xy;\n"
             "    if (gl_FragCoord.x < 213.0) gl_FragColor = texture2D(buffer, uv);\n"
             "    else if (gl_FragCoord.x < 426.0) gl_FragColor = texture2D(fbo, uv);\n"
             "    else gl_FragColor = texture2D(picture, vec2(0.75, 0.25));\n"
             "}\n");
    std::vector<Frame> frames = play(
        at(1, "[background]\nstring data/back.tga\n") + at(2, "[saveBuffer]\nparam 2 1 1\n") +
            at(3, "[fbobind]\nparam 3 1 1\n") + at(4, "[background]\nstring data/front.tga\n") +
            at(5, "[fbounbind]\nparam 0 0\n") + at(6, "[renderFbo]\nparam 3 0 0 1\n") +
            throughProgram(7, "split.frag",
                           "string sampler2D buffer rtt2\n"
                           "string sampler2D picture data/quadrants.tga\n"
                           "string sampler2D fbo fbo3\n"),
        0.5f, fboSettings);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().at(100, 240), red);
    EXPECT_EQ(frames.back().at(320, 240), blue);
    EXPECT_EQ(frames.back().at(540, 240), green);
}

// The program is current from its bind to its unbind: the background
// before the bind is drawn by the fixed-function pipeline, in the first
// frame too (loading leaves no program current), and so is the picture
// after the unbind.
TEST_F(DrawingTest, TheProgramIsCurrentFromItsBindToItsUnbind)
{
    dataFile("pass.vert", passVertex);
    dataFile("green.frag", "void main() { gl_FragColor = vec4(0.0, 1.0, 0.0, 1.0); }\n");
    // image2D: a quarter unit high, centred at (-1, 0.7) of the 2.667 x 2
    // view: 60 pixels square about (80, 408).
    spline("corner.spl", "0.25 0.25 0 -1 0.7\n0.25 0.25 0 -1 0.7\n");
    std::vector<Frame> frames =
        play(at(1, stripes) +
             at(2, "[glslshaderbind]\nstring data/pass.vert\nstring data/green.frag\n") +
             at(3, "[renderBuffer]\nparam -1 0 0 0\nstring sx=0.25/aspectRatio; sy=0.25;\n") +
             at(4, "[glslshaderunbind]\n") +
             at(5, "[image2D]\nstring data/quadrants.tga\nspline data/corner.spl\n"));
    ASSERT_FALSE(frames.empty());
    for (const Frame *frame : {&frames.front(), &frames.back()}) {
        EXPECT_EQ(frame->at(20, 240), red);
        EXPECT_EQ(frame->at(620, 240), white);
        EXPECT_EQ(frame->at(320, 240), green);
        EXPECT_EQ(frame->at(70, 418), red);
        EXPECT_EQ(frame->at(90, 398), white);
    }
}

// The GL state the post-effects leave for the sections after them, the
// state some of them set on purpose (fog, colour, viewport, accumulation),
// the per-start behaviour of efxAccum and efxMotionBlur, and the formula
// evaluation messages. Sections run in the test's own window.
#include <GL/glew.h>

#include <string>
#include <vector>

#include "graphics/draw2d.h"
#include "graphics/fbo.h"
#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/section.h"
#include "tests/graphics/gl_fixture.h"

class EffectStateTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        glConfig.gl_panoramic = 0;
        glConfig.gl_accum = 1;
        openWindow();
        demoSystem.state = 1;
    }
    // Parses one section of `type` with `lines`, running from 0 to 10 at
    // layer 3, and loads it.
    Section *load(const std::string &type, const std::string &lines)
    {
        freeAllSections();
        parse("[" + type + "]\nid s\nstart 0\nend 10\nlayer 3\n" + lines);
        Section *section = demoSystem.sectionList;
        EXPECT_NE(section, nullptr);
        if (section) {
            setupSplines(section);
            callOperation(section, &SectionType::load);
        }
        return section;
    }
    // One frame of the section over a drawing rectangle filled with a
    // colour; the state it leaves stays for the test to look at.
    static void frame(Section *section, float r, float g, float b)
    {
        fillDrawingRectangle(r, g, b);
        callOperation(section, &SectionType::exec);
    }
    std::string splineFile(const std::string &keys)
    {
        return scratch.write("data/s.spl", keys);
    }
};

static GLint integer(GLenum name)
{
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

static bool unitTextured(int unit)
{
    glActiveTextureARB(GL_TEXTURE0_ARB + unit);
    bool textured = glIsEnabled(GL_TEXTURE_2D);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    return textured;
}

struct StateCase {
    const char *type;
    const char *lines;
};

// Every type with inputs that make it draw (or set its state).
static const StateCase stateCases[] = {
    {"efxAccum", "param 2 0.5 0.5\nblend SRC_ALPHA ONE_MINUS_SRC_ALPHA\n"},
    {"efxBlackWhite", "param 1 0\n"},
    {"efxBoxBlur", "param 5\n"},
    {"efxColor", "param 1 0.5 0.25 1\n"},
    {"efxFader", "param 0 0 0 0 1 1 1 1\n"},
    {"efxFog", "param 0.5 0.5 0.5 1 0 1 10\n"},
    {"efxInverse", ""},
    {"efxMotionBlur", "param 0.5 0.5\nblend SRC_ALPHA ONE_MINUS_SRC_ALPHA\n"},
    {"efxMotionBlurAccum", "param 0.5\n"},
    {"efxGlow", "param 0.3 0.3 0.3 4 6\n"},
    {"efxGlow2", "string red=0.3;\nstring green=0.3;\nstring blue=0.3;\nstring accumulation=4;\n"
                 "string radius=6;\n"},
    {"efxHighPassFilter", "string red=0.3;green=0.3;blue=0.3;\nstring accum=3;\n"},
    {"efxRadialBlur", "param 4 0 0.5 0.5 0.1 0.2 0.5 0.5 0.3 0.6\nblend SRC_ALPHA ONE\n"},
    {"efxRadialBlur2", "string iterations=4;\nstring alpha=0.5;\nstring separation=0.1;\n"
                       "string originX=0.2;\nstring originY=0;\nblend SRC_ALPHA ONE\n"},
    {"efxRadialGlow", "param 0.3 0.3 0.3 2 4 1 0.5 0.5 0.1 0.2 0.5 0.5 0.5 0.5\n"},
    {"efxRadialGlow", "param 0.3 0.3 0.3 2 4 0 0.5 0.5 0.1 0.2 0.5 0.5 0.5 0.5\n"
                      "blend SRC_ALPHA ONE\n"},
};

TEST_F(EffectStateTest, EveryEffectLeavesTheStateTheSectionsAfterItExpect)
{
    for (const StateCase &test : stateCases) {
        SCOPED_TRACE(std::string(test.type) + ": " + test.lines);
        Section *section = load(test.type, test.lines);
        ASSERT_NE(section, nullptr);
        callOperation(section, &SectionType::init);
        for (int n = 0; n < 2; n++)
            frame(section, 0.8f, 0.4f, 0.2f);
        EXPECT_EQ(errors(), std::vector<std::string>());
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        EXPECT_EQ(integer(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE0_ARB);
        EXPECT_TRUE(unitTextured(0));
        for (int unit = 1; unit < 4; unit++)
            EXPECT_FALSE(unitTextured(unit)) << unit;
        EXPECT_EQ(integer(GL_BLEND_EQUATION), GL_FUNC_ADD);
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
        EXPECT_EQ(integer(GL_MATRIX_MODE), GL_MODELVIEW);
        EXPECT_EQ(integer(GL_MODELVIEW_STACK_DEPTH), 1);
        EXPECT_EQ(integer(GL_PROJECTION_STACK_DEPTH), 1);
        callOperation(section, &SectionType::end);
    }
}

TEST_F(EffectStateTest, FogIsOnFromInitToEnd)
{
    const struct {
        const char *params;
        GLint mode;
        float start, end, density;
    } cases[] = {
        // Params not given are 0: six give linear fog an end of 0.
        {"0.1 0.2 0.3 0.4 0 5", GL_LINEAR, 5, 0, 1},
        {"0.1 0.2 0.3 0.4 0 5 50", GL_LINEAR, 5, 50, 1},
        {"0.1 0.2 0.3 0.4 1 0.25", GL_EXP, 0, 1, 0.25f},
        {"0.1 0.2 0.3 0.4 2 0.5 99", GL_EXP2, 0, 1, 0.5f},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.params);
        // Every case starts from GL's own fog values.
        glFogf(GL_FOG_START, 0);
        glFogf(GL_FOG_END, 1);
        glFogf(GL_FOG_DENSITY, 1);
        Section *section = load("efxFog", std::string("param ") + test.params + "\n");
        ASSERT_NE(section, nullptr);
        EXPECT_FALSE(glIsEnabled(GL_FOG));
        callOperation(section, &SectionType::init);
        EXPECT_TRUE(glIsEnabled(GL_FOG));
        EXPECT_EQ(integer(GL_FOG_MODE), test.mode);
        GLfloat colour[4], start, end, density;
        glGetFloatv(GL_FOG_COLOR, colour);
        glGetFloatv(GL_FOG_START, &start);
        glGetFloatv(GL_FOG_END, &end);
        glGetFloatv(GL_FOG_DENSITY, &density);
        EXPECT_FLOAT_EQ(colour[0], 0.1f);
        EXPECT_FLOAT_EQ(colour[3], 0.4f);
        EXPECT_FLOAT_EQ(start, test.start);
        EXPECT_FLOAT_EQ(end, test.end);
        EXPECT_FLOAT_EQ(density, test.density);
        callOperation(section, &SectionType::exec);
        EXPECT_TRUE(glIsEnabled(GL_FOG));
        callOperation(section, &SectionType::end);
        EXPECT_FALSE(glIsEnabled(GL_FOG));
    }
}

// A mode rejected at load (debug runs go on) never turns the fog on.
TEST_F(EffectStateTest, ARejectedFogModeLeavesTheFogOff)
{
    Section *section = load("efxFog", "param 0 0 0 1 7 0.5\n");
    ASSERT_NE(section, nullptr);
    callOperation(section, &SectionType::init);
    EXPECT_FALSE(glIsEnabled(GL_FOG));
    EXPECT_EQ(errors().size(), 1u);
}

TEST_F(EffectStateTest, ColourStaysCurrentForTheSectionsAfterIt)
{
    const struct {
        const char *params;
        GLfloat colour[4];
    } cases[] = {{"0.25 0.5 0.75", {0.25f, 0.5f, 0.75f, 1}}, {"1 0 0.5 0.5", {1, 0, 0.5f, 0.5f}}};
    for (const auto &test : cases) {
        SCOPED_TRACE(test.params);
        glColor4f(0, 0, 0, 0);
        Section *section = load("efxColor", std::string("param ") + test.params + "\n");
        ASSERT_NE(section, nullptr);
        callOperation(section, &SectionType::exec);
        GLfloat colour[4];
        glGetFloatv(GL_CURRENT_COLOR, colour);
        for (int i = 0; i < 4; i++)
            EXPECT_FLOAT_EQ(colour[i], test.colour[i]) << i;
    }
}

// The rectangle is one pixel narrower and shorter than the spline's, and
// the next frame begins with the window's again.
TEST_F(EffectStateTest, ViewportHoldsForTheRestOfTheFrameOnly)
{
    Section *section = load("efxViewport", "spline " + splineFile("0.25 0.5 0.5 0.25\n0.25 0.5 0.5 0.25\n") + "\n");
    ASSERT_NE(section, nullptr);
    frame(section, 0, 0, 0);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{160, 240, 319, 119}));
    EXPECT_EQ(glConfig.vpX, 160);
    EXPECT_EQ(glConfig.vpY, 240);
    EXPECT_EQ(glConfig.vpWidth, 319);
    EXPECT_EQ(glConfig.vpHeight, 119);
    EXPECT_FLOAT_EQ(glConfig.rttScaleU, 319.0f / 1024);
    EXPECT_FLOAT_EQ(glConfig.rttScaleV, 119.0f / 512);
    // The main loop closes the frame's section pass with gl_frame_begin(0)
    // and begins the next frame with another.
    gl_frame_begin(0);
    gl_frame_begin(0);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, 640, 480}));
    EXPECT_FLOAT_EQ(glConfig.rttScaleU, 640.0f / 1024);
}

// A rectangle of no size gives an empty viewport, not a GL error.
TEST_F(EffectStateTest, AnEmptyViewportIsNoError)
{
    Section *section = load("efxViewport", "spline " + splineFile("0 0 0 0\n0 0 0 0\n") + "\n");
    ASSERT_NE(section, nullptr);
    frame(section, 0, 0, 0);
    EXPECT_EQ(glConfig.vpWidth, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Every start makes the screen texture blank again under the index every
// effect uses, however often the section starts.
TEST_F(EffectStateTest, AccumRenewsTheScreenTextureUnderItsIndex)
{
    Section *section = load("efxAccum", "param 1 1 1\n");
    ASSERT_NE(section, nullptr);
    const int index = fbos.screenTexture, count = textures.count;
    for (int start = 0; start < MAX_TEXTURES + 10; start++)
        callOperation(section, &SectionType::init);
    EXPECT_EQ(fbos.screenTexture, index);
    EXPECT_EQ(textures.count, count);
    ASSERT_NE(tex_get(index), nullptr);
    EXPECT_TRUE(glIsTexture(tex_get(index)->glName));
    frame(section, 0, 1, 0);
    EXPECT_EQ(pixel(320, 240), green);
    EXPECT_EQ(errors(), std::vector<std::string>());
}

// Each pass adds the copied screen once more (blend ONE ONE); with no
// passes the screen is only copied and nothing is drawn.
TEST_F(EffectStateTest, AccumDrawsTheScreenOncePerPass)
{
    const struct {
        const char *passes;
        int red;
    } cases[] = {{"0", 51}, {"1", 102}, {"3", 204}};
    for (const auto &test : cases) {
        SCOPED_TRACE(test.passes);
        Section *section = load("efxAccum", std::string("param ") + test.passes + " 1 1\nblend ONE ONE\n");
        ASSERT_NE(section, nullptr);
        callOperation(section, &SectionType::init);
        frame(section, 0.2f, 0, 0);
        EXPECT_NEAR(pixel(320, 240).r, test.red, 2);
    }
}

// The first frame after each start shows no history; later ones show the
// last frame at the section's alpha.
TEST_F(EffectStateTest, MotionBlurSkipsTheFirstFrameAfterEveryStart)
{
    Section *section = load("efxMotionBlur", "param 0.5 0.5\nblend SRC_ALPHA ONE_MINUS_SRC_ALPHA\n");
    ASSERT_NE(section, nullptr);
    callOperation(section, &SectionType::init);
    frame(section, 1, 0, 0);
    EXPECT_EQ(pixel(320, 240), red);
    frame(section, 0, 1, 0);
    Rgba mixed = pixel(320, 240);
    EXPECT_NEAR(mixed.r, 128, 2);
    EXPECT_NEAR(mixed.g, 128, 2);
    callOperation(section, &SectionType::init);
    frame(section, 0, 0, 1);
    EXPECT_EQ(pixel(320, 240), blue);
}

// Half of each frame goes into the accumulation buffer, which keeps half of
// what it held. (Mesa returns the buffer sRGB-encoded, so the levels are
// compared with each other rather than with 128 and 64.)
TEST_F(EffectStateTest, MotionBlurAccumMixesThePastIntoTheFrame)
{
    Section *section = load("efxMotionBlurAccum", "param 0.5\n");
    ASSERT_NE(section, nullptr);
    callOperation(section, &SectionType::init);
    frame(section, 1, 0, 0);
    Rgba first = pixel(320, 240);
    EXPECT_GT(first.r, 100);
    EXPECT_LT(first.r, 200);
    frame(section, 0, 1, 0);
    Rgba second = pixel(320, 240);
    EXPECT_NEAR(second.g, first.r, 2);
    EXPECT_GT(second.r, 20);
    EXPECT_LT(second.r, first.r - 20);
}

// A formula that does not parse is reported at load and then at every
// evaluation with code 2, naming the type; the frame is still drawn.
TEST_F(EffectStateTest, FormulaErrorsNameTheTypeTheCodeAndTheFormula)
{
    const struct {
        const char *type;
        const char *strings;
        const char *message;
    } cases[] = {
        {"efxGlow2", "string red=;\nstring b\nstring c\nstring d\nstring e\n",
         "efxGlow2: render_efxGlow2: Expression evaluation Error (2): red=;bcde"},
        {"efxHighPassFilter", "string red=;\nstring b\n",
         "efxHighPassFilter: render_efxHighPassFilter: Expression evaluation Error (2): red=;b"},
        {"efxRadialBlur2", "string iterations=;\nstring b\nstring c\nstring d\nstring e\n",
         "efxRadialBlur2: render_efxRadialBlur2: Expression evaluation Error (2): iterations=;bcde"},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.type);
        captured.err.clear();
        Section *section = load(test.type, test.strings);
        ASSERT_NE(section, nullptr);
        std::vector<std::string> reported = errors();
        ASSERT_EQ(reported.size(), 1u);
        EXPECT_EQ(reported[0].rfind("Expression Parse Error", 0), 0u) << reported[0];
        frame(section, 0.5f, 0.5f, 0.5f);
        frame(section, 0.5f, 0.5f, 0.5f);
        const std::string evaluation =
            std::string(test.type) + " (3, 0.000000 -> 10.000000): " + test.message;
        EXPECT_EQ(errors(), (std::vector<std::string>{reported[0], evaluation, evaluation}));
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

// Drawing helpers: projections, screen quads, texture units, the axes
// marker and a line of text in the engine's font.
#include <GL/glew.h>

#include "graphics/draw2d.h"
#include "graphics/fbo.h"
#include "graphics/texture.h"
#include "kernel/demo.h"
#include "tests/graphics/gl_fixture.h"

class DrawTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        glConfig.gl_panoramic = 0;      // the whole 640 x 480 window
        openWindow();
        glViewport(0, 0, 640, 480);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    // Whether any pixel of the window rectangle (top-left origin) is lit.
    static bool anyLit(int left, int top, int width, int height)
    {
        std::vector<uint8_t> rgb(width * height * 3);
        glReadPixels(left, 480 - top - height, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        for (uint8_t value : rgb) {
            if (value > 64)
                return true;
        }
        return false;
    }
};

TEST_F(DrawTest, OrthoProjectionsRestoreBothMatrices)
{
    for (void (*begin)() : {ortho_begin, ortho_pixels_begin}) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glTranslatef(5, 0, 0);
        glMatrixMode(GL_MODELVIEW);
        begin();
        GLint mode, depth;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
        EXPECT_EQ(mode, GL_MODELVIEW);
        EXPECT_EQ(depth, 2);
        ortho_end();
        float projection[16];
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(projection[12], 5);
        EXPECT_EQ(mode, GL_MODELVIEW);
    }
}

TEST_F(DrawTest, FullscreenQuadCoversEveryEdgePixel)
{
    glDisable(GL_TEXTURE_2D);
    ortho_begin();
    quad_fullscreen();
    ortho_end();
    for (int x : {0, 639})
        for (int y : {0, 479})
            EXPECT_EQ(pixel(x, y), white) << x << ", " << y;
}

TEST_F(DrawTest, RttQuadShowsTheCapturedFrame)
{
    // Left half red, captured, cleared, and drawn back.
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 0, 0);
    glRecti(-1, -1, 0, 1);
    glEnable(GL_TEXTURE_2D);
    tex_bind(fbos.screenTexture);
    copy_to_texture();
    glClear(GL_COLOR_BUFFER_BIT);
    ortho_begin();
    quad_rtt();
    ortho_end();
    EXPECT_EQ(pixel(100, 240), red);
    EXPECT_EQ(pixel(500, 240), black);
}

TEST_F(DrawTest, MultitextureLeavesUnitThreeActiveAndEndsOnUnitZero)
{
    multitexture_begin();
    GLint active;
    glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &active);
    EXPECT_EQ(active, GL_TEXTURE3_ARB);
    for (int unit = 0; unit < 4; unit++) {
        glActiveTextureARB(GL_TEXTURE0_ARB + unit);
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D)) << unit;
    }
    multitexture_end();
    glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &active);
    EXPECT_EQ(active, GL_TEXTURE0_ARB);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    glActiveTextureARB(GL_TEXTURE1_ARB);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    glActiveTextureARB(GL_TEXTURE0_ARB);
    EXPECT_EQ(textures.boundName, -1);
}

TEST_F(DrawTest, AxesMarkerDrawsOnlyInDebugRunsWithTiming)
{
    // Looking at the origin from the front: x to the right, y up.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-2, 2, -2, 2, -2, 2);
    glMatrixMode(GL_MODELVIEW);
    for (int timing : {0, 1}) {
        glClear(GL_COLOR_BUFFER_BIT);
        demoSystem.timing = timing;
        axes_marker();
        EXPECT_EQ(pixel(400, 240), timing ? red : black);     // along x
        EXPECT_EQ(pixel(320, 300), timing ? green : black);   // along y
    }
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0] + colour[1] + colour[2] + colour[3], 4);
}

TEST_F(DrawTest, TextIsDrawnWithTheFontGrid)
{
    font_load(&font, fontCharset, FONT_GRID_SIZE, FONT_GRID_SIZE, showcaseFontPath);
    ASSERT_EQ(errors(), std::vector<std::string>());
    ASSERT_EQ(font.size, 16);
    font.x = 32;
    font.y = 16;
    font_print(font, "a_b");
    // The underscore is not in the charset: its cell stays empty.
    EXPECT_TRUE(anyLit(32, 16, 16, 16));
    EXPECT_FALSE(anyLit(48, 16, 16, 16));
    EXPECT_TRUE(anyLit(64, 16, 16, 16));
    EXPECT_FALSE(anyLit(80, 16, 64, 16));
    EXPECT_EQ(font.x, 32);      // the printer works on a copy

    glClear(GL_COLOR_BUFFER_BIT);
    font_print(font, "x\ny");
    // After the newline the pen is at the left edge, one line down.
    EXPECT_TRUE(anyLit(32, 16, 16, 16));
    EXPECT_TRUE(anyLit(0, 32, 16, 16));
    EXPECT_FALSE(anyLit(16, 32, 64, 16));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(DrawTest, LongTextIsCutAt255Characters)
{
    font_load(&font, fontCharset, FONT_GRID_SIZE, FONT_GRID_SIZE, showcaseFontPath);
    std::string text(300, 'M');
    font.x = -255 * 16 + 640 - 16;      // character 255 would land in the last cell
    font_print(font, "%s", text.c_str());
    EXPECT_TRUE(anyLit(600, 0, 24, 16));
    EXPECT_FALSE(anyLit(624, 0, 16, 16));
    font_print(font, nullptr);
}

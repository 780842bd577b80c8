// The window: requested buffers, the drawing rectangle on screen, low
// quality, capabilities, driver report and the failures of opening.
#include <GL/glew.h>
#include <SDL/SDL.h>

#include <cstdlib>

#include "graphics/draw2d.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "tests/graphics/gl_fixture.h"

struct RectangleCase {
    int width, height, panoramic;
    int lowQuality, vpY, vpWidth, vpHeight, letterboxHeight;
    float aspect, scaleU, scaleV;
};

TEST_F(GlTest, DrawingRectangleFollowsPanoramicAndLowQuality)
{
    const RectangleCase cases[] = {
        {640, 480, 1, 0, 40, 640, 400, 0, 1.6f, 0.625f, 0.78125f},
        {640, 480, 0, 0, 0, 640, 480, 0, 1.3333334f, 0.625f, 0.9375f},
        // Larger than the 1024 x 512 capture size: drawn at that size.
        {1280, 1024, 1, 1, 0, 1024, 512, 800, 1.6f, 1.0f, 1.0f},
        {800, 600, 0, 1, 0, 1024, 512, 600, 1.3333334f, 1.0f, 1.0f},
    };
    for (const RectangleCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " panoramic "
                                        << c.panoramic);
        gl_defaults();
        glConfig.gl_width = c.width;
        glConfig.gl_height = c.height;
        glConfig.gl_panoramic = c.panoramic;
        openWindow();
        EXPECT_EQ(glConfig.gl_lowquality, c.lowQuality);
        EXPECT_EQ(glConfig.aspectRatio, c.aspect);
        EXPECT_EQ(glConfig.vpX, 0);
        EXPECT_EQ(glConfig.vpY, c.vpY);
        EXPECT_EQ(glConfig.vpWidth, c.vpWidth);
        EXPECT_EQ(glConfig.vpHeight, c.vpHeight);
        if (c.lowQuality) {
            EXPECT_EQ(glConfig.letterboxHeight, c.letterboxHeight);
        }
        EXPECT_EQ(glConfig.rttScaleU, c.scaleU);
        EXPECT_EQ(glConfig.rttScaleV, c.scaleV);
        resetGraphicsTables();
        gl_shutdown();
    }
}

TEST_F(GlTest, PanoramicPictureIsLetterboxedWithLinesWhiteInDebugRuns)
{
    openWindow();
    for (int debug : {1, 0}) {
        SCOPED_TRACE(debug);
        demoSystem.debug = debug;
        fillDrawingRectangle(1, 0, 0);
        gl_frame_end();
        demoSystem.debug = 1;
        // The picture is rows 40 to 439; the lines are the rows next to it.
        Rgba line = debug ? white : black;
        const struct { int y; Rgba colour; } rows[] = {
            {20, black}, {38, black}, {39, line}, {40, red}, {439, red}, {440, line},
            {441, black}, {460, black}};
        for (const auto &row : rows)
            EXPECT_EQ(pixel(320, row.y), row.colour) << "row " << row.y;
    }
    EXPECT_EQ(errors(), std::vector<std::string>());
}

TEST_F(GlTest, WithoutPanoramicTheWholeWindowIsDrawnAndNoLines)
{
    glConfig.gl_panoramic = 0;
    openWindow();
    fillDrawingRectangle(0, 0, 1);
    gl_frame_end();
    for (int y : {0, 39, 440, 479})
        EXPECT_EQ(pixel(320, y), blue) << y;
}

// Left half red, right half green in the capture-sized frame.
static void drawHalves()
{
    glDisable(GL_TEXTURE_2D);
    ortho_begin();
    glBegin(GL_QUADS);
    glColor3f(1, 0, 0);
    glVertex2f(0, 0); glVertex2f(0.5f, 0); glVertex2f(0.5f, 1); glVertex2f(0, 1);
    glColor3f(0, 1, 0);
    glVertex2f(0.5f, 0); glVertex2f(1, 0); glVertex2f(1, 1); glVertex2f(0.5f, 1);
    glEnd();
    ortho_end();
}

TEST_F(GlTest, LowQualityFrameIsStretchedOverTheLetterboxedWindow)
{
    glConfig.gl_width = 1280;
    glConfig.gl_height = 1024;
    openWindow();
    ASSERT_EQ(glConfig.gl_lowquality, 1);
    gl_frame_begin(1);
    drawHalves();
    gl_frame_begin(0);
    gl_frame_end();
    // 1280 / 1.6 = 800 rows, centred: y = 112 to 911.
    EXPECT_EQ(pixel(10, 111), black);
    EXPECT_EQ(pixel(10, 112), red);
    EXPECT_EQ(pixel(10, 911), red);
    EXPECT_EQ(pixel(10, 912), black);
    EXPECT_EQ(pixel(600, 500), red);
    EXPECT_EQ(pixel(680, 500), green);
    EXPECT_EQ(pixel(1270, 500), green);
}

TEST_F(GlTest, RequestedBuffersAreThereAndStencilIsCleared)
{
    glConfig.gl_zbuffer = 24;
    glConfig.gl_stencil = 8;
    glConfig.gl_accum = 1;
    openWindow();
    GLint depth, stencil, accum;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    glGetIntegerv(GL_ACCUM_RED_BITS, &accum);
    EXPECT_GE(depth, 24);
    EXPECT_EQ(stencil, 8);
    EXPECT_GE(accum, 8);

    glClearStencil(5);
    glClear(GL_STENCIL_BUFFER_BIT);
    glClearStencil(0);
    gl_frame_begin(1);
    GLubyte value = 99;
    glReadPixels(320, 240, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &value);
    EXPECT_EQ(value, 0);
}

TEST_F(GlTest, MultisamplingSettingChoosesTheSampleCount)
{
    struct { int setting, stored, samples; } cases[] = {{2, 2, 4}, {3, 0, 0}, {-1, 0, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.setting);
        gl_defaults();
        glConfig.gl_multisampling = c.setting;
        openWindow();
        GLint samples = 0;
        glGetIntegerv(GL_SAMPLES, &samples);
        EXPECT_EQ(glConfig.gl_multisampling, c.stored);
        EXPECT_EQ(samples, c.samples);
        resetGraphicsTables();
        gl_shutdown();
    }
}

TEST_F(GlTest, WindowTakesCaptionDesktopDepthAndShowsCursorInDebugRuns)
{
    glConfig.gl_bpp = 16;
    openWindow();
    char *title = nullptr, *icon = nullptr;
    SDL_WM_GetCaption(&title, &icon);
    EXPECT_STREQ(title, "Glimra test");
    EXPECT_EQ(glConfig.gl_bpp, SDL_GetVideoInfo()->vfmt->BitsPerPixel);
    EXPECT_NE(glConfig.gl_bpp, 16);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), 1);
}

TEST_F(GlTest, CapabilitiesAreDetectedAndTracedInOrder)
{
    openWindow();
    EXPECT_TRUE(glCaps.multitexture && glCaps.cubeMap && glCaps.envAdd && glCaps.envCombine &&
                glCaps.blendSubtract && glCaps.generateMipmap && glCaps.shaders);
    EXPECT_EQ(glCaps.wglExtensionsString, 0);
    EXPECT_EQ(glCaps.pbuffer, 1);
    EXPECT_GE(glCaps.textureUnits, 4);
    const std::string expected =
        "Engine Kernel Trace: GL_EXT_blend_subtract: yes\n"
        "Engine Kernel Trace: GL_SGIS_generate_mipmap: yes\n"
        "Engine Kernel Trace: WGL_EXT_extensions_string: no\n"
        "Engine Kernel Trace: WGL_ARB_pbuffer... : yes\n";
    EXPECT_NE(captured.debugger.find(expected), std::string::npos) << captured.debugger;
    EXPECT_NE(captured.debugger.find("Engine Kernel Trace: Maximum texture size: "),
              std::string::npos);
    // A plain substring search: part of a name counts.
    EXPECT_TRUE(gl_has_extension("GL_ARB_multitexture"));
    EXPECT_TRUE(gl_has_extension("GL_ARB_multitex"));
    EXPECT_FALSE(gl_has_extension("GL_GLIMRA_no_such_extension"));
}

TEST_F(GlTest, DriverInformationListsEveryExtension)
{
    glConfig.gl_info = 1;
    openWindow();
    EXPECT_EQ(captured.out, "standard extensions:\n");
    EXPECT_NE(captured.debugger.find("OpenGL driver information\n"), std::string::npos);
    EXPECT_NE(captured.debugger.find("Engine Kernel Trace: vendor: "), std::string::npos);
    EXPECT_NE(captured.debugger.find("Engine Kernel Trace:    GL_ARB_multitexture\n"),
              std::string::npos);
    EXPECT_NE(captured.debugger.find("Engine Kernel Trace: WGL extensions:\n"), std::string::npos);
}

TEST_F(GlTest, PendingGlErrorsAreWarnings)
{
    openWindow();
    glEnable(0xFFFF);
    gl_default_state();
    glEnable(0xFFFF);
    gl_frame_end();
    EXPECT_NE(captured.debugger.find("Engine Warning: Error before init OpenGL state: invalid "
                                     "enumerant\n"),
              std::string::npos);
    EXPECT_NE(captured.debugger.find("Engine Warning: Error in OpenGL: invalid enumerant\n"),
              std::string::npos);
    EXPECT_EQ(errors(), std::vector<std::string>());
}

TEST_F(GlTest, FailuresToOpenTheWindowAreReported)
{
    struct { const char *driver, *message; } cases[] = {
        {"nosuch", "Video initialization failed: No available video device"},
        {"dummy", "Set video mode failed: OpenGL not available"},
    };
    for (const auto &c : cases) {
        captured.err.clear();
        setenv("SDL_VIDEODRIVER", c.driver, 1);
        EXPECT_FALSE(gl_init());
        unsetenv("SDL_VIDEODRIVER");
        gl_shutdown();
        EXPECT_EQ(errors(), std::vector<std::string>{c.message});
    }
}

// In a fresh process (the driver reads its extension override once), with
// errors fatal as in a demo.
static void openWindowWithout(const char *extension)
{
    setenv("MESA_EXTENSION_OVERRIDE", extension, 1);
    demoSystem.debug = 0;
    gl_defaults();
    gl_init();
    exit(0);
}

TEST(WindowRequirements, MissingRequiredExtensionEndsTheEngine)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(openWindowWithout("-GL_ARB_texture_env_add"), testing::ExitedWithCode(1),
                "Error: Required extension not available\\. OpenGL 1\\.5 required\n");
}

TEST(WindowRequirements, MissingShaderSupportWarnsAndGoesOn)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(openWindowWithout("-GL_ARB_fragment_shader"), testing::ExitedWithCode(0),
                "GLSL shader support not available: Pixel shader 2\\.0 support not available\\.\n"
                "The demo will run with disabled shaders, so aome scenes may appear badly\\.\n");
}

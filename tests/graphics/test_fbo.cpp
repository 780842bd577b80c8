// Render targets: capture textures, configured FBOs, bind/unbind nesting,
// drawing into an FBO and copying the frame.
#include <GL/glew.h>

#include "graphics/draw2d.h"
#include "graphics/fbo.h"
#include "graphics/texture.h"
#include "kernel/demo.h"
#include "tests/graphics/gl_fixture.h"

static GLint integer(GLenum name)
{
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

TEST_F(GlTest, CaptureTexturesAreMadeAtTheCaptureSize)
{
    openWindow();
    const struct { int index, flags; } captures[] = {
        {fbos.screenTexture, TEX_NO_MIPMAPS}, {fbos.screenTexture2, TEX_NO_MIPMAPS},
        {fbos.rttBuffer[0], TEX_MODULATE}, {fbos.rttBuffer[9], TEX_MODULATE}};
    for (const auto &capture : captures) {
        const Texture *texture = tex_get(capture.index);
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->width, 1024);
        EXPECT_EQ(texture->height, 512);
        EXPECT_EQ(texture->flags, capture.flags);
        EXPECT_EQ(texture->created, 1);
        EXPECT_NE(texture->glName, -1);
    }
    EXPECT_EQ(tex_get(fbos.screenTexture)->memory, 1024 * 512 * 3);
}

TEST_F(GlTest, ConfiguredFbosTakeFormatNamesInAnyCase)
{
    glConfig.fbo[3] = {512, 256, strdup("rgba16f"), 0, 0, 0};
    glConfig.fbo[4] = {0, 64, strdup("RGB"), 0, 0, 0};      // no width: skipped
    openWindow();
    EXPECT_EQ(fbos.count, 1);
    EXPECT_EQ(fbos.fboIndex[3], 0);
    EXPECT_EQ(fbos.fboIndex[4], 0);
    const Fbo *fbo = fbo_get(0);
    ASSERT_NE(fbo, nullptr);
    EXPECT_EQ(fbo->internalFormat, static_cast<uint32_t>(GL_RGBA16F_ARB));
    EXPECT_EQ(fbo->pixelType, static_cast<uint32_t>(GL_FLOAT));
    EXPECT_EQ(fbo->filter, static_cast<uint32_t>(GL_LINEAR));
    EXPECT_EQ(errors(), std::vector<std::string>());
    EXPECT_NE(captured.debugger.find("Fbo 3 uploaded: width: 512, height: 256, format: rgba16f "
                                     "(6408), iformat: 34842, type: 5126\n"),
              std::string::npos)
        << captured.debugger;
    free(glConfig.fbo[3].format);
    free(glConfig.fbo[4].format);
    glConfig.fbo[3].format = glConfig.fbo[4].format = nullptr;
}

TEST_F(GlTest, UnknownFboFormatsAreReported)
{
    glConfig.fbo[2] = {64, 64, strdup("rgb10"), 0, 0, 0};
    glConfig.fbo[5] = {64, 64, nullptr, 0, 0, 0};
    openWindow();
    EXPECT_EQ(fbos.count, 0);
    EXPECT_EQ(errors(),
              (std::vector<std::string>{
                  "Error in FBO definition: FBO number 2 has a non recongised format: 'rgb10', "
                  "please check 'graphics.glm' file.",
                  "Error in FBO definition: FBO number 5 has a non recongised format: 'none', "
                  "please check 'graphics.glm' file."}));
    free(glConfig.fbo[2].format);
    glConfig.fbo[2].format = nullptr;
}

class FboTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        openWindow();
        first = fbo_create(64, 32, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE);
        second = fbo_create(16, 16, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE);
        fbo_upload(first, 0);
        fbo_upload(second, 0);
    }
    int first = -1, second = -1;
};

TEST_F(FboTest, BindingTheSameFboTwicePushesTheViewportOnce)
{
    GLint viewport[4];
    fbo_bind(first);
    fbo_bind(first);
    EXPECT_EQ(integer(GL_ATTRIB_STACK_DEPTH), 1);
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING_EXT), fbo_get(first)->framebuffer);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 64);
    EXPECT_EQ(viewport[3], 32);
    fbo_unbind();
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING_EXT), 0);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    fbo_unbind();
    EXPECT_NE(captured.debugger.find("fbo_unbind [aborted]: System has tried to unbind an fbo, "
                                     "but it has been already unbinded!\n"),
              std::string::npos);
    EXPECT_EQ(integer(GL_ATTRIB_STACK_DEPTH), 0);
}

TEST_F(FboTest, UnbindingReturnsToTheWindowNotToTheOuterFbo)
{
    fbo_bind(first);
    fbo_bind(second);
    fbo_unbind();
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING_EXT), 0);
    EXPECT_EQ(integer(GL_ATTRIB_STACK_DEPTH), 1);
    EXPECT_EQ(fbos.bindDepth, 1);
    fbo_unbind();
    EXPECT_EQ(integer(GL_ATTRIB_STACK_DEPTH), 0);
}

TEST_F(FboTest, DrawingIntoAnFboFillsItsTexture)
{
    fbo_bind(first);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    fbo_unbind();
    fbo_bind_texture(first);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), fbo_get(first)->texture);
    EXPECT_EQ(fbos.boundTexture, fbo_get(first)->texture);
    uint8_t texels[64 * 32 * 4];
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    EXPECT_EQ(Rgba({texels[0], texels[1], texels[2], texels[3]}), green);
    // A texture bind through the texture table forgets the FBO texture.
    tex_bind(fbos.screenTexture);
    EXPECT_EQ(fbos.boundTexture, -1);
}

TEST_F(FboTest, TableHoldsAtMost256Fbos)
{
    while (fbos.count < MAX_FBOS)
        ASSERT_GE(fbo_new(), 0);
    EXPECT_EQ(fbo_new(), -1);
    EXPECT_EQ(errors(), std::vector<std::string>{"Too many fbo's (limited to 256)"});
}

TEST_F(GlTest, CopiedFrameFillsTheRttScaleOfTheCaptureTexture)
{
    openWindow();
    fillDrawingRectangle(1, 0, 0);
    tex_bind(fbos.screenTexture);
    copy_to_texture();
    static uint8_t texels[1024 * 512 * 3];
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    auto texel = [&](int u, int v) {
        const uint8_t *t = texels + (v * 1024 + u) * 3;
        return Rgba{t[0], t[1], t[2], 255};
    };
    // 640 x 400 of 1024 x 512: 0.625 by 0.78125.
    EXPECT_EQ(texel(0, 0), red);
    EXPECT_EQ(texel(639, 399), red);
    EXPECT_EQ(texel(640, 0), black);
    EXPECT_EQ(texel(0, 400), black);
}

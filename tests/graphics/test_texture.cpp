// Textures: decoding and its errors, detail reduction, upload paths and
// memory accounting, sharing while loading, the bind cache, the cube map.
#include <GL/glew.h>

#include "graphics/fbo.h"
#include "graphics/texture.h"
#include "kernel/demo.h"
#include "tests/graphics/gl_fixture.h"

// The window's two screen textures and ten rtt buffers.
static const int captureTextures = 12;

// Each pixel says where it came from: red = x, green = y, blue = 7.
static Rgba position(int x, int y)
{
    return {static_cast<uint8_t>(x), static_cast<uint8_t>(y), 7, 200};
}

class TextureTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        openWindow();
    }
    std::string image(const std::string &name, int width, int height, int bits = 24)
    {
        return scratch.write(name, tgaImage(width, height, bits, position));
    }
};

TEST_F(TextureTest, LoadsTrueColourImagesWithTheirPixelFormat)
{
    struct { int bits, components; uint32_t format; } cases[] = {
        {24, 3, GL_BGR_EXT}, {32, 4, GL_BGRA_EXT}};
    for (const auto &c : cases) {
        int index = tex_load(image("image" + std::to_string(c.bits) + ".tga", 5, 3, c.bits).c_str(), 1);
        const Texture *texture = tex_get(index);
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->components, c.components);
        EXPECT_EQ(texture->format, c.format);
        EXPECT_EQ(texture->width, 5);
        EXPECT_EQ(texture->height, 3);
        EXPECT_EQ(texture->glName, -1);
        // Rows are tightly packed even though the decoder pads them.
        const uint8_t *last = texture->pixels + (2 * 5 + 4) * c.components;
        EXPECT_EQ(last[0], 7);      // blue first
        EXPECT_EQ(last[1], 2);
        EXPECT_EQ(last[2], 4);
    }
    EXPECT_EQ(errors(), std::vector<std::string>());
}

TEST_F(TextureTest, ImagesAreReducedToTheDetailLimitByNearestNeighbour)
{
    // 301 x 130 with detail 0 (128): columns step by 301/128 from half a
    // step, rows by integer division.
    texture_detail = 0;
    int index = tex_load(image("wide.tga", 301, 130).c_str(), 1);
    const Texture *texture = tex_get(index);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->width, 128);
    EXPECT_EQ(texture->height, 128);
    EXPECT_EQ(texture->fileWidth, 301);
    EXPECT_EQ(texture->fileHeight, 130);
    EXPECT_EQ(texture->surface, nullptr);
    uint32_t step = (301u << 16) / 128;
    for (int row : {0, 1, 64, 127}) {
        for (int column : {0, 1, 100, 127}) {
            const uint8_t *p = texture->pixels + (row * 128 + column) * 3;
            int sourceColumn = (step / 2 + column * step) >> 16;
            int sourceRow = row * 130 / 128;
            EXPECT_EQ(p[2], sourceColumn & 0xFF) << row << ", " << column;
            EXPECT_EQ(p[1], sourceRow) << row << ", " << column;
        }
    }
}

TEST_F(TextureTest, OnlyTheSideOverTheLimitIsReduced)
{
    texture_detail = 0;
    const Texture *texture = tex_get(tex_load(image("tall.tga", 100, 300).c_str(), 1));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->width, 100);
    EXPECT_EQ(texture->height, 128);
    // Out-of-range detail settings count as the nearest valid one.
    texture_detail = 9;
    texture = tex_get(tex_load(image("big.tga", 5000, 2).c_str(), 1));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->width, 4096);
}

// A tall scroller: far over the detail limit on one side, but well within
// what the decoder holds, so it loads and is reduced.
TEST_F(TextureTest, PicturesOverTheLimitOnOneSideLoadAndAreReduced)
{
    auto rows = [](int, int y) { return Rgba{0, static_cast<uint8_t>(y / 100), 0, 255}; };
    std::string path = scratch.write("scroller.tga", tgaImage(1024, 17000, 24, rows));
    const Texture *texture = tex_get(tex_load(path.c_str(), 1));
    ASSERT_NE(texture, nullptr) << errors()[0];
    EXPECT_EQ(texture->fileWidth, 1024);
    EXPECT_EQ(texture->fileHeight, 17000);
    EXPECT_EQ(texture->width, 1024);
    EXPECT_EQ(texture->height, 4096);
    // The last row of the reduced picture samples file row 4095 * 17000 / 4096.
    EXPECT_EQ(texture->pixels[4095 * 1024 * 3 + 1], 4095 * 17000 / 4096 / 100);
}

TEST_F(TextureTest, ImagesThatCannotBeUsedAreReportedAndNeverCrash)
{
    std::string truncated = tgaImage(64, 64, 24, position).substr(0, 18);
    std::string absurd = truncated;
    absurd[12] = absurd[13] = absurd[14] = absurd[15] = static_cast<char>(0xFF);
    std::string empty = truncated;
    empty[12] = empty[13] = 0;
    // One row of 16384 pixels of 4 bytes is more than the decoder's 16-bit
    // row size holds.
    std::string wideRow = truncated;
    wideRow[12] = 0, wideRow[13] = 0x40, wideRow[14] = 1, wideRow[15] = 0;
    struct { std::string name, contents, message; } cases[] = {
        {"missing.tga", "", ""},
        {"absurd.tga", absurd, "Unsupported image size 65535 x 65535"},
        {"empty.tga", empty, "Unsupported image size 0 x 64"},
        {"wide.tga", wideRow, "Unsupported image size 16384 x 1"},
        {"noise.jpg", "\xFF\xD8\xFF\xE0 not really a jpeg", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        captured.err.clear();
        std::string path = scratch.path() + "/" + c.name;
        if (!c.contents.empty())
            scratch.write(c.name, c.contents);
        EXPECT_EQ(tex_load(path.c_str(), 1), -1);
        ASSERT_EQ(errors().size(), 1u);
        std::string prefix = "Error loading '" + path + "': ";
        EXPECT_EQ(errors()[0].substr(0, prefix.size()), prefix);
        if (!c.message.empty()) {
            EXPECT_EQ(errors()[0], prefix + c.message);
        }
    }
    EXPECT_EQ(textures.count, captureTextures);
}

TEST_F(TextureTest, PalettedAndHighColourImagesAreRefused)
{
    std::string paletted = scratch.write("paletted.tga", palettedTgaImage(8, 8));
    std::string highColour = scratch.write("high.tga", tgaImage(8, 8, 16, position));
    EXPECT_EQ(tex_load(paletted.c_str(), 1), -1);
    EXPECT_EQ(textures.count, captureTextures);
    EXPECT_EQ(tex_load(highColour.c_str(), 1), -1);
    EXPECT_EQ(textures.count, captureTextures + 1);      // the entry stays
    EXPECT_EQ(errors(), (std::vector<std::string>{"Unsupported paletted texture '" + paletted + "'",
                                                  "Unsupported format in '" + highColour + "'"}));
}

TEST_F(TextureTest, SameFileIsSharedWhileLoadingOnly)
{
    std::string path = image("Shared.tga", 4, 4);
    std::string otherCase = scratch.path() + "/SHARED.TGA";
    int first = tex_load(path.c_str(), 1);
    EXPECT_EQ(tex_load(otherCase.c_str(), 1), first);
    EXPECT_NE(tex_load(path.c_str(), 0), first);
    tex_upload(first, 1);
    int glName = tex_get(first)->glName;
    tex_upload(first, 1);
    EXPECT_EQ(tex_get(first)->glName, glName);      // uploaded once
    demoSystem.state = 1;
    EXPECT_NE(tex_load(path.c_str(), 1), first);
}

struct UploadCase {
    int width, height, components, flags;
    int memory;
    bool mipmapLevels;      // level 1 exists
    int glWidth;            // level 0 width in GL
};

TEST_F(TextureTest, UploadAccountsMemoryAndChoosesThePath)
{
    const UploadCase cases[] = {
        {4, 4, 4, 0, 64 + 16, true, 4},
        {4, 4, 4, TEX_NO_MIPMAPS, 64, false, 4},
        {8, 2, 3, 0, 48 + 12 + 6, true, 8},
        // Not powers of two: GLU scales them and builds mipmaps whatever the flags.
        {300, 200, 3, TEX_NO_MIPMAPS, 180000, true, 256},
        {1, 256, 3, TEX_NO_MIPMAPS, 768, true, 1},
    };
    int64_t total = 0;
    for (const UploadCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " flags " << c.flags);
        int index = tex_create(c.width, c.height, c.components == 4 ? GL_RGBA : GL_RGB, c.components);
        tex_properties(index, c.flags);
        tex_upload(index, 0);
        const Texture *texture = tex_get(index);
        EXPECT_EQ(texture->memory, c.memory);
        EXPECT_EQ(texture->pixels, nullptr);
        GLint level1 = 0, glWidth = 0;
        glBindTexture(GL_TEXTURE_2D, texture->glName);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &level1);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &glWidth);
        EXPECT_EQ(level1 != 0, c.mipmapLevels);
        EXPECT_EQ(glWidth, c.glWidth);
        total += c.memory;
    }
    // The capture buffers of the window count too.
    int64_t captures = 0;
    for (int index = 0; index < captureTextures; index++)
        captures += tex_get(index)->memory;
    EXPECT_EQ(tex_memory(), captures + total);
    EXPECT_EQ(errors(), std::vector<std::string>());
}

TEST_F(TextureTest, UploadedImageShowsItsFirstRowAtTheTop)
{
    auto topRedBottomBlue = [](int, int y) { return y == 0 ? red : blue; };
    std::string path = scratch.write("rows.tga", tgaImage(2, 2, 24, topRedBottomBlue));
    int index = tex_load(path.c_str(), 1);
    tex_properties(index, TEX_NO_MIPMAPS);
    tex_upload(index, 1);
    uint8_t texels[2 * 2 * 4];
    glBindTexture(GL_TEXTURE_2D, tex_get(index)->glName);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    EXPECT_EQ(Rgba({texels[0], texels[1], texels[2], texels[3]}), red);
    EXPECT_EQ(Rgba({texels[8], texels[9], texels[10], texels[11]}), blue);
}

TEST_F(TextureTest, DeletedEntriesLeaveTheirSlotAndMemory)
{
    int index = tex_create(4, 4, GL_RGB, 3);
    tex_upload(index, 0);
    int64_t before = tex_memory();
    int count = textures.count;
    tex_delete(index);
    EXPECT_EQ(tex_get(index), nullptr);
    EXPECT_EQ(textures.count, count);
    EXPECT_EQ(tex_memory(), before - 48 - 12);
    tex_bind(index);            // nothing to bind: ignored
    tex_upload(index, 0);
    EXPECT_EQ(tex_create(4, 4, GL_RGB, 3), count);
}

TEST_F(TextureTest, BindCacheSkipsRedundantBindsUntilReset)
{
    int first = tex_create(2, 2, GL_RGB, 3), second = tex_create(2, 2, GL_RGB, 3);
    tex_properties(second, TEX_MODULATE);
    tex_upload(first, 0);
    tex_upload(second, 0);
    auto bound = [] { GLint name; glGetIntegerv(GL_TEXTURE_BINDING_2D, &name); return name; };
    auto envMode = [] { GLint mode; glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode); return mode; };

    tex_bind(second);
    EXPECT_EQ(bound(), tex_get(second)->glName);
    EXPECT_EQ(envMode(), GL_MODULATE);
    // Bound behind the cache's back: the cache still believes in `second`.
    glBindTexture(GL_TEXTURE_2D, tex_get(first)->glName);
    tex_bind(second);
    EXPECT_EQ(bound(), tex_get(first)->glName);
    tex_reset_cache();
    tex_bind(second);
    EXPECT_EQ(bound(), tex_get(second)->glName);
    tex_bind(first);
    EXPECT_EQ(envMode(), GL_REPLACE);
    EXPECT_EQ(fbos.boundTexture, -1);
}

TEST_F(TextureTest, TableHoldsAtMost256Textures)
{
    while (textures.count < MAX_TEXTURES)
        ASSERT_GE(tex_new(), 0);
    EXPECT_EQ(tex_new(), -1);
    EXPECT_EQ(tex_create(2, 2, GL_RGB, 3), -1);
    EXPECT_EQ(textures.count, MAX_TEXTURES);
    EXPECT_EQ(errors(), std::vector<std::string>(2, "Too many textures (limited to 256)"));
}

TEST_F(TextureTest, NormalizationCubePointsEachTexelOutward)
{
    tex_normalization_cube();
    int cube = textures.normalizationCube;
    ASSERT_NE(cube, -1);
    tex_normalization_cube();
    EXPECT_EQ(textures.normalizationCube, cube);
    glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, cube);
    // The texel next to each face's centre: its own axis near 255 or 0,
    // the others near the middle.
    const struct { GLenum face; int axis; uint8_t value; } cases[] = {
        {GL_TEXTURE_CUBE_MAP_POSITIVE_X_ARB, 0, 254}, {GL_TEXTURE_CUBE_MAP_NEGATIVE_X_ARB, 0, 0},
        {GL_TEXTURE_CUBE_MAP_POSITIVE_Y_ARB, 1, 254}, {GL_TEXTURE_CUBE_MAP_NEGATIVE_Y_ARB, 1, 0},
        {GL_TEXTURE_CUBE_MAP_POSITIVE_Z_ARB, 2, 254}, {GL_TEXTURE_CUBE_MAP_NEGATIVE_Z_ARB, 2, 0},
    };
    for (const auto &c : cases) {
        uint8_t texels[32 * 32 * 3];
        glGetTexImage(c.face, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
        const uint8_t *centre = texels + (16 * 32 + 16) * 3;
        for (int axis = 0; axis < 3; axis++) {
            if (axis == c.axis)
                EXPECT_NEAR(centre[axis], c.value, 1) << c.face;
            else
                EXPECT_NEAR(centre[axis], 127, 4) << c.face << " axis " << axis;
        }
    }
}

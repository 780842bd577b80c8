// The window fixture and the image writer of the graphics tests.
#include "tests/graphics/gl_fixture.h"

#include <GL/glew.h>

#include <cstdlib>
#include <ostream>

#include "graphics/draw2d.h"
#include "graphics/fbo.h"
#include "graphics/glsl.h"
#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/demo.h"

const char *const showcaseFontPath = GLIMRA_SOURCE_DIR "/examples/showcase/data/fonts/font.tga";

std::ostream &operator<<(std::ostream &stream, const Rgba &colour)
{
    return stream << "(" << int(colour.r) << ", " << int(colour.g) << ", " << int(colour.b)
                  << ", " << int(colour.a) << ")";
}

void resetGraphicsTables()
{
    for (int index = 0; index < textures.count; index++)
        tex_delete(index);
    textures.count = 0;
    textures.normalizationCube = -1;
    tex_reset_cache();
    for (int index = 0; index < fbos.count; index++)
        free(fbos.entries[index]);
    fbos = FboTable{{}, 0, {}, -1, -1, 0, -1, -1, {}};
    for (int index = 0; index < glslShaders.count; index++) {
        GlslShader *shader = glslShaders.entries[index];
        free(shader->vertexFile);
        free(shader->vertexSource);
        free(shader->fragmentFile);
        free(shader->fragmentSource);
        free(shader);
    }
    glslShaders.count = 0;
    glslshad_forget();
}

void GlTest::SetUp()
{
    KernelTest::SetUp();
    resetGraphicsTables();
    replaceString(&demoSystem.demo_name, "Glimra test");
    demoSystem.state = 0;
    demoSystem.timing = 0;
    texture_detail = 5;
}

void GlTest::TearDown()
{
    // Textures hold GL names of this window's context: release them first.
    resetGraphicsTables();
    gl_shutdown();
    KernelTest::TearDown();
}

void GlTest::openWindow()
{
    ASSERT_TRUE(gl_init()) << captured.err;
}

Rgba GlTest::pixel(int x, int y)
{
    Rgba colour;
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &colour);
    return colour;
}

void GlTest::fillDrawingRectangle(float r, float g, float b)
{
    glViewport(0, 0, glConfig.gl_width, glConfig.gl_height);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl_frame_begin(0);
    glDisable(GL_TEXTURE_2D);
    glColor4f(r, g, b, 1);
    ortho_begin();
    quad_fullscreen();
    ortho_end();
    glEnable(GL_TEXTURE_2D);
}

static void appendLittleEndian16(std::string *bytes, int value)
{
    bytes->push_back(static_cast<char>(value & 0xFF));
    bytes->push_back(static_cast<char>((value >> 8) & 0xFF));
}

// The 18-byte header; descriptor bit 5 puts the top row first.
static std::string tgaHeader(int type, int width, int height, int bits, int colourMapLength)
{
    std::string header;
    header.push_back(0);                               // no identification field
    header.push_back(colourMapLength ? 1 : 0);
    header.push_back(static_cast<char>(type));
    appendLittleEndian16(&header, 0);                  // first colour map entry
    appendLittleEndian16(&header, colourMapLength);
    header.push_back(colourMapLength ? 24 : 0);        // bits per colour map entry
    appendLittleEndian16(&header, 0);                  // origin
    appendLittleEndian16(&header, 0);
    appendLittleEndian16(&header, width);
    appendLittleEndian16(&header, height);
    header.push_back(static_cast<char>(bits));
    header.push_back(static_cast<char>(0x20 | (bits == 32 ? 8 : 0)));
    return header;
}

std::string tgaImage(int width, int height, int bits, const PixelFunction &pixel)
{
    std::string image = tgaHeader(2, width, height, bits, 0);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            Rgba colour = pixel(x, y);
            if (bits == 16) {
                int packed = ((colour.r >> 3) << 10) | ((colour.g >> 3) << 5) | (colour.b >> 3);
                appendLittleEndian16(&image, packed);
                continue;
            }
            // TGA stores blue, green, red (and alpha).
            image.push_back(static_cast<char>(colour.b));
            image.push_back(static_cast<char>(colour.g));
            image.push_back(static_cast<char>(colour.r));
            if (bits == 32)
                image.push_back(static_cast<char>(colour.a));
        }
    }
    return image;
}

std::string palettedTgaImage(int width, int height)
{
    std::string image = tgaHeader(1, width, height, 8, 256);
    for (int entry = 0; entry < 256; entry++)
        image.append(3, static_cast<char>(entry));
    for (int index = 0; index < width * height; index++)
        image.push_back(static_cast<char>(index & 0xFF));
    return image;
}

// Procedural drawing on an RGBA canvas and the two file formats the engine
// reads.
#include "tools/assetgen/canvas.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

static const char titleFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

Canvas canvas_new(int width, int height, Colour fill)
{
    return Canvas{width, height, std::vector<Colour>(static_cast<size_t>(width) * height, fill)};
}

// Porter-Duff "over", so that pictures with alpha keep soft edges.
void canvas_blend(Canvas *canvas, int x, int y, Colour colour, float amount)
{
    if (x < 0 || y < 0 || x >= canvas->width || y >= canvas->height || amount <= 0.0f)
        return;
    Colour &pixel = canvas->pixels[static_cast<size_t>(y) * canvas->width + x];
    float source = colour.a * std::min(amount, 1.0f);
    float below = pixel.a * (1.0f - source);
    float alpha = source + below;
    if (alpha <= 0.0f)
        return;
    pixel.r = (colour.r * source + pixel.r * below) / alpha;
    pixel.g = (colour.g * source + pixel.g * below) / alpha;
    pixel.b = (colour.b * source + pixel.b * below) / alpha;
    pixel.a = alpha;
}

void canvas_vertical_gradient(Canvas *canvas, Colour top, Colour bottom)
{
    for (int y = 0; y < canvas->height; y++) {
        float t = canvas->height > 1 ? static_cast<float>(y) / (canvas->height - 1) : 0.0f;
        Colour colour = {top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t,
                         top.b + (bottom.b - top.b) * t, top.a + (bottom.a - top.a) * t};
        for (int x = 0; x < canvas->width; x++)
            canvas->pixels[static_cast<size_t>(y) * canvas->width + x] = colour;
    }
}

static float smoothStep(float edge0, float edge1, float value)
{
    float t = std::clamp((value - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// Calls `coverage(distance)` for every pixel within `reach` of the centre.
template <typename Coverage>
static void radial(Canvas *canvas, float cx, float cy, float reach, Colour colour, Coverage coverage)
{
    for (int y = static_cast<int>(cy - reach); y <= static_cast<int>(cy + reach) + 1; y++) {
        for (int x = static_cast<int>(cx - reach); x <= static_cast<int>(cx + reach) + 1; x++) {
            float distance = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
            canvas_blend(canvas, x, y, colour, coverage(distance));
        }
    }
}

void canvas_disc(Canvas *canvas, float cx, float cy, float radius, float softness, Colour colour)
{
    radial(canvas, cx, cy, radius, colour, [=](float distance) {
        return 1.0f - smoothStep(radius - softness, radius, distance);
    });
}

void canvas_ring(Canvas *canvas, float cx, float cy, float radius, float thickness, Colour colour)
{
    float half = thickness / 2;
    radial(canvas, cx, cy, radius + half, colour, [=](float distance) {
        return 1.0f - smoothStep(half * 0.5f, half, std::fabs(distance - radius));
    });
}

void canvas_grid(Canvas *canvas, int spacing, int thickness, Colour colour)
{
    for (int y = 0; y < canvas->height; y++) {
        for (int x = 0; x < canvas->width; x++) {
            if (x % spacing < thickness || y % spacing < thickness)
                canvas_blend(canvas, x, y, colour, 1.0f);
        }
    }
}

// Width in pixels of `text` at the face's current size.
static int textWidth(FT_Face face, const char *text)
{
    int width = 0;
    for (const char *c = text; *c; c++) {
        if (FT_Load_Char(face, static_cast<unsigned char>(*c), FT_LOAD_DEFAULT) == 0)
            width += static_cast<int>(face->glyph->advance.x >> 6);
    }
    return width;
}

bool canvas_text(Canvas *canvas, const char *text, int pixels, float cx, float cy, Colour colour)
{
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library))
        return false;
    if (FT_New_Face(library, titleFont, 0, &face) || FT_Set_Pixel_Sizes(face, 0, pixels)) {
        FT_Done_FreeType(library);
        return false;
    }
    int penX = static_cast<int>(cx) - textWidth(face, text) / 2;
    // Centre the cap height on cy.
    int baseline = static_cast<int>(cy + pixels * 0.36f);
    for (const char *c = text; *c; c++) {
        if (FT_Load_Char(face, static_cast<unsigned char>(*c), FT_LOAD_RENDER))
            continue;
        const FT_GlyphSlot glyph = face->glyph;
        const FT_Bitmap &bitmap = glyph->bitmap;
        for (unsigned row = 0; row < bitmap.rows; row++) {
            for (unsigned column = 0; column < bitmap.width; column++) {
                float coverage = bitmap.buffer[row * bitmap.pitch + column] / 255.0f;
                canvas_blend(canvas, penX + glyph->bitmap_left + static_cast<int>(column),
                             baseline - glyph->bitmap_top + static_cast<int>(row), colour, coverage);
            }
        }
        penX += static_cast<int>(glyph->advance.x >> 6);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return true;
}

static uint8_t byteOf(float value)
{
    return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

bool canvas_write_tga(const Canvas &canvas, const char *path, bool alpha)
{
    uint8_t header[18] = {};
    header[2] = 2;                                   // uncompressed true colour
    header[12] = canvas.width & 0xFF;
    header[13] = canvas.width >> 8;
    header[14] = canvas.height & 0xFF;
    header[15] = canvas.height >> 8;
    header[16] = alpha ? 32 : 24;
    header[17] = 0x20 | (alpha ? 8 : 0);             // top row first; alpha bits
    FILE *file = fopen(path, "wb");
    if (!file)
        return false;
    bool written = fwrite(header, sizeof header, 1, file) == 1;
    std::vector<uint8_t> bytes;
    for (const Colour &pixel : canvas.pixels) {
        bytes.insert(bytes.end(), {byteOf(pixel.b), byteOf(pixel.g), byteOf(pixel.r)});
        if (alpha)
            bytes.push_back(byteOf(pixel.a));
    }
    written = written && fwrite(bytes.data(), bytes.size(), 1, file) == 1;
    return fclose(file) == 0 && written;
}

bool canvas_write_jpeg(const Canvas &canvas, const char *path, int quality)
{
    FILE *file = fopen(path, "wb");
    if (!file)
        return false;
    jpeg_compress_struct jpeg;
    jpeg_error_mgr errors;
    jpeg.err = jpeg_std_error(&errors);
    jpeg_create_compress(&jpeg);
    jpeg_stdio_dest(&jpeg, file);
    jpeg.image_width = canvas.width;
    jpeg.image_height = canvas.height;
    jpeg.input_components = 3;
    jpeg.in_color_space = JCS_RGB;
    jpeg_set_defaults(&jpeg);
    jpeg_set_quality(&jpeg, quality, TRUE);
    jpeg_start_compress(&jpeg, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(canvas.width) * 3);
    for (int y = 0; y < canvas.height; y++) {
        for (int x = 0; x < canvas.width; x++) {
            const Colour &pixel = canvas.pixels[static_cast<size_t>(y) * canvas.width + x];
            row[x * 3] = byteOf(pixel.r);
            row[x * 3 + 1] = byteOf(pixel.g);
            row[x * 3 + 2] = byteOf(pixel.b);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&jpeg, rows, 1);
    }
    jpeg_finish_compress(&jpeg);
    jpeg_destroy_compress(&jpeg);
    return fclose(file) == 0;
}

// glimra-fontgen: draws the engine's charset with a TrueType font into a
// 16 x 16 grid of square cells, white glyphs whose alpha is the coverage,
// on a transparent background, and writes it as a 32-bit TGA image.
//
//   glimra-fontgen OUTPUT.tga [FONT.ttf] [CELL_PIXELS]
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/draw2d.h"

static const char defaultFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
enum { DEFAULT_CELL = 16, MAX_CELL = 256 };

struct Image {
    int side;
    std::vector<uint8_t> alpha;   // side x side, top row first
};

// Copies a rendered glyph into its cell, on a common baseline and centred
// horizontally by its advance.
static void placeGlyph(Image *image, const FT_GlyphSlot glyph, int cellX, int cellY, int cell,
                       int ascender)
{
    const FT_Bitmap &bitmap = glyph->bitmap;
    int left = cellX + (cell - static_cast<int>(glyph->advance.x >> 6)) / 2 + glyph->bitmap_left;
    int top = cellY + ascender - glyph->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; row++) {
        for (unsigned column = 0; column < bitmap.width; column++) {
            int x = left + static_cast<int>(column), y = top + static_cast<int>(row);
            if (x < cellX || x >= cellX + cell || y < cellY || y >= cellY + cell)
                continue;
            image->alpha[static_cast<size_t>(y) * image->side + x] =
                bitmap.buffer[row * bitmap.pitch + column];
        }
    }
}

static bool drawCharset(FT_Face face, int cell, Image *image)
{
    if (FT_Set_Pixel_Sizes(face, 0, cell * 3 / 4))
        return false;
    int ascender = static_cast<int>(face->size->metrics.ascender >> 6);
    int descender = static_cast<int>(-face->size->metrics.descender >> 6);
    ascender += (cell - ascender - descender) / 2;      // centre the line in the cell
    for (size_t index = 0; fontCharset[index]; index++) {
        // The charset's bytes are Latin-1, whose code points equal Unicode's.
        FT_ULong codePoint = static_cast<unsigned char>(fontCharset[index]);
        if (FT_Load_Char(face, codePoint, FT_LOAD_RENDER))
            continue;
        int cellX = static_cast<int>(index % FONT_GRID_SIZE) * cell;
        int cellY = static_cast<int>(index / FONT_GRID_SIZE) * cell;
        placeGlyph(image, face->glyph, cellX, cellY, cell, ascender);
    }
    return true;
}

// Uncompressed true colour with 8 alpha bits, top row first.
static bool writeTga(const char *path, const Image &image)
{
    uint8_t header[18] = {};
    header[2] = 2;
    header[12] = image.side & 0xFF;
    header[13] = image.side >> 8;
    header[14] = image.side & 0xFF;
    header[15] = image.side >> 8;
    header[16] = 32;
    header[17] = 0x28;
    FILE *file = fopen(path, "wb");
    if (!file)
        return false;
    bool written = fwrite(header, sizeof(header), 1, file) == 1;
    for (uint8_t alpha : image.alpha) {
        const uint8_t pixel[4] = {255, 255, 255, alpha};    // blue, green, red, alpha
        written = written && fwrite(pixel, sizeof(pixel), 1, file) == 1;
    }
    return fclose(file) == 0 && written;
}

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 4) {
        fprintf(stderr, "usage: %s OUTPUT.tga [FONT.ttf] [CELL_PIXELS]\n", argv[0]);
        return 2;
    }
    const char *fontPath = argc > 2 ? argv[2] : defaultFont;
    int cell = argc > 3 ? atoi(argv[3]) : DEFAULT_CELL;
    if (cell < 4 || cell > MAX_CELL) {
        fprintf(stderr, "cell size must be 4 to %d pixels\n", MAX_CELL);
        return 2;
    }
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) || FT_New_Face(library, fontPath, 0, &face)) {
        fprintf(stderr, "cannot open font '%s'\n", fontPath);
        return 1;
    }
    Image image = {cell * FONT_GRID_SIZE, {}};
    image.alpha.assign(static_cast<size_t>(image.side) * image.side, 0);
    bool drawn = drawCharset(face, cell, &image);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    if (!drawn || !writeTga(argv[1], image)) {
        fprintf(stderr, "cannot write '%s'\n", argv[1]);
        return 1;
    }
    return 0;
}

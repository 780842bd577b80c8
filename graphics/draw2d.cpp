// Projections, screen quads, texture units, the axes marker and the font.
#include "graphics/draw2d.h"

#include <GL/glew.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/demo.h"

// ASCII from space to tilde with a second hyphen in the underscore's place,
// then Latin-1 bytes (accented capitals and small letters, with plain
// letters where the grid has no accented glyph), a byte for each cell.
const char fontCharset[] =
    " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMN"
    "OPQRSTUVWXYZ[\\]^-`abcdefghijklmnopqrstuvwxyz{|}~"
    "\x20\x43\xAA\x3C\xBA\x2B\x27\xBA\x27\x3E\xBF\xC0"
    "\xC1\xC2\x41\x41\x41\x41\xC7\xC8\xC9\x45\x45\xCC"
    "\xCD\x49\x49\xD1\xD2\xD3\x4F\x4F\x4F\x30\xD9\xDA"
    "\x55\x55\xDD\x70\x62\xE0\xE1\x61\x61\x61\x61\x61"
    "\xE7\xE8\xE9\x65\x65\xEC\xED\x69\x69\xF1\xF2\xF3"
    "\x6F\x6F\x6F\x6F\xF9\xFA\x75\x75\xFD\x79\x79\x20";
static_assert(sizeof(fontCharset) == 167 + 1, "the font grid holds 167 characters");

Font font;

enum { TEXTURE_UNIT_COUNT = 4 };

static void pushProjection(double top, double bottom, double right)
{
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, right, bottom, top, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void ortho_begin()
{
    pushProjection(1, 0, 1);
}

void ortho_pixels_begin()
{
    pushProjection(0, glConfig.gl_height, glConfig.gl_width);
}

void ortho_end()
{
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

void quad_fullscreen()
{
    const float low = -0.005f, high = 1.005f;
    glBegin(GL_QUADS);
    glVertex2f(low, low);
    glVertex2f(high, low);
    glVertex2f(high, high);
    glVertex2f(low, high);
    glEnd();
}

void quad_rtt()
{
    const float u = glConfig.rttScaleU, v = glConfig.rttScaleV;
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex2f(0, 0);
    glTexCoord2f(u, 0); glVertex2f(1, 0);
    glTexCoord2f(u, v); glVertex2f(1, 1);
    glTexCoord2f(0, v); glVertex2f(0, 1);
    glEnd();
}

static void selectUnit(int unit)
{
    glActiveTextureARB(GL_TEXTURE0_ARB + unit);
    glClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
}

void multitexture_begin()
{
    tex_reset_cache();
    for (int unit = 0; unit < TEXTURE_UNIT_COUNT; unit++) {
        selectUnit(unit);
        glEnable(GL_TEXTURE_2D);
    }
}

void multitexture_end()
{
    for (int unit = TEXTURE_UNIT_COUNT - 1; unit >= 0; unit--) {
        selectUnit(unit);
        glDisable(GL_TEXTURE_2D);
    }
    glEnable(GL_TEXTURE_2D);
    tex_reset_cache();
}

void axes_marker()
{
    if (!demoSystem.debug || !demoSystem.timing)
        return;
    glDisable(GL_TEXTURE_2D);
    glLineWidth(3);
    glBegin(GL_LINES);
    glColor4f(1, 0, 0, 1); glVertex3f(0, 0, 0); glVertex3f(1, 0, 0);
    glColor4f(0, 1, 0, 1); glVertex3f(0, 0, 0); glVertex3f(0, 1, 0);
    glColor4f(0, 0, 1, 1); glVertex3f(0, 0, 0); glVertex3f(0, 0, 1);
    glEnd();
    glLineWidth(1);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
}

// ---------------------------------------------------------------------------
// Font

void font_load(Font *font, const char *charset, int columns, int rows, const char *path)
{
    font->path = path;
    font->charset = charset;
    font->texture = tex_load(path, 1);
    tex_properties(font->texture, TEX_NO_MIPMAPS | TEX_CLAMP);
    tex_upload(font->texture, 1);
    font->columns = columns;
    font->rows = rows;
    font->x = font->y = 0;
    font->spacing = 1.0f;
    font->red = font->green = font->blue = font->alpha = 1.0f;
    const Texture *texture = tex_get(font->texture);
    font->size = texture && columns > 0 ? static_cast<float>(texture->width) / columns : 0;
}

// The glyph's cell, v = 0 being the top row of the image.
static void drawGlyph(const Font &font, char c, float x, float y)
{
    const void *found = memchr(font.charset, c, strlen(font.charset));
    if (!found || font.columns < 1 || font.rows < 1)
        return;
    int index = static_cast<int>(static_cast<const char *>(found) - font.charset);
    float du = 1.0f / font.columns, dv = 1.0f / font.rows;
    float u = (index % font.columns) * du, v = (index / font.columns % font.rows) * dv;
    glPushMatrix();
    glTranslatef(x, y, 0);
    glBegin(GL_QUADS);
    glTexCoord2f(u, v); glVertex2f(0, 0);
    glTexCoord2f(u, v + dv); glVertex2f(0, font.size);
    glTexCoord2f(u + du, v + dv); glVertex2f(font.size, font.size);
    glTexCoord2f(u + du, v); glVertex2f(font.size, 0);
    glEnd();
    glPopMatrix();
}

void font_print(Font font, const char *format, ...)
{
    if (!format)
        return;
    char text[FONT_TEXT_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    tex_bind(font.texture);
    ortho_pixels_begin();
    glColor4f(font.red, font.green, font.blue, font.alpha);
    float x = font.x, y = font.y;
    for (const char *c = text; *c; c++) {
        // A newline goes one cell back so that the advance below brings
        // the pen to the left edge.
        if (*c == '\n') {
            x = -font.size;
            y += font.size;
        }
        drawGlyph(font, *c, x, y);
        x += font.spacing * font.size;
    }
    glDisable(GL_BLEND);
    ortho_end();
}

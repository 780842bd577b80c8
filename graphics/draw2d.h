// The drawing toolkit sections share: orthographic projections, screen
// quads, texture units on and off, the axes marker and the bitmap font.
// Everything draws in immediate mode and leaves the GL state as described.
#pragma once

// Projections. Each begin pushes both matrices; ortho_end pops both and
// leaves the modelview matrix current.
void ortho_begin();            // the unit square, y up
void ortho_pixels_begin();     // window pixels, origin top-left, y down
void ortho_end();

// Inside ortho_begin: a quad slightly larger than the unit square so no
// edge pixel is missed, without texture coordinates.
void quad_fullscreen();
// Inside ortho_begin: the unit square showing the part of a capture
// texture that one frame fills (rttScaleU, rttScaleV).
void quad_rtt();

// Texturing on for units 0 to 3, leaving unit 3 active; and off again,
// leaving unit 0 active and textured. Both forget the texture bind cache.
void multitexture_begin();
void multitexture_end();

// In debug runs with timing: the x, y and z axes of the current modelview
// space in red, green and blue.
void axes_marker();

enum { FONT_GRID_SIZE = 16, FONT_TEXT_SIZE = 256 };

// The engine's charset in grid order (167 characters; see draw2d.cpp).
extern const char fontCharset[];

struct Font {
    const char *path;
    const char *charset;       // a character's glyph is the cell of its first occurrence
    int texture;               // texture index
    int columns, rows;
    float x, y;                // pen in pixels from the window's top-left corner
    float size;                // cell size in pixels: texture width / columns
    float spacing;             // advance per character, in cells
    float red, green, blue, alpha;
};

extern Font font;

// Loads the glyph grid image and fills the record (pen at 0, 0, white).
void font_load(Font *font, const char *charset, int columns, int rows, const char *path);

// Draws printf-formatted text (cut at 255 characters) additively at the
// font's pen. A newline starts the next line at the window's left edge;
// characters outside the charset advance without drawing.
void font_print(Font font, const char *format, ...) __attribute__((format(printf, 2, 3)));

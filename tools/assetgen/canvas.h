// A small RGBA canvas for procedural pictures: gradients, soft discs and
// rings, grids, text set with a TrueType font, and writers for TGA and JPEG.
#pragma once

#include <cstdint>
#include <vector>

struct Colour {
    float r, g, b, a;          // 0 to 1
};

struct Canvas {
    int width, height;
    std::vector<Colour> pixels; // top row first
};

Canvas canvas_new(int width, int height, Colour fill);

// Blends `colour` over the pixel at (x, y) with coverage `amount` (0 to 1);
// points outside the canvas are ignored.
void canvas_blend(Canvas *canvas, int x, int y, Colour colour, float amount);

// Top to bottom from `top` to `bottom`.
void canvas_vertical_gradient(Canvas *canvas, Colour top, Colour bottom);

// A disc of `radius` pixels whose coverage falls off smoothly over its
// outer `softness` pixels.
void canvas_disc(Canvas *canvas, float cx, float cy, float radius, float softness, Colour colour);

// A ring of `radius` pixels and `thickness`, soft at both edges.
void canvas_ring(Canvas *canvas, float cx, float cy, float radius, float thickness, Colour colour);

// Lines every `spacing` pixels, `thickness` wide, in both directions.
void canvas_grid(Canvas *canvas, int spacing, int thickness, Colour colour);

// Text in DejaVu Sans Bold, `pixels` high, centred on (cx, cy). False when
// the font is missing.
bool canvas_text(Canvas *canvas, const char *text, int pixels, float cx, float cy, Colour colour);

// 32-bit (with alpha) or 24-bit uncompressed TGA, top row first.
bool canvas_write_tga(const Canvas &canvas, const char *path, bool alpha);

// Baseline JPEG at `quality` (1 to 100).
bool canvas_write_jpeg(const Canvas &canvas, const char *path, int quality);

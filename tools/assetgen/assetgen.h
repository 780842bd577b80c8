// What the picture sets of glimra-assetgen share: where files go and how
// they are written, titles, the fixed random sequence and spline files.
#pragma once

#include <string>
#include <vector>

#include "tools/assetgen/canvas.h"

const Colour white = {1, 1, 1, 1}, clear = {0, 0, 0, 0};

// `name` under the data directory.
std::string pathOf(const char *name);

// Writes the canvas as JPEG (a name ending in ".jpg") or as 32-bit TGA;
// a failure is reported and makes the program exit 1.
void save(const Canvas &canvas, const char *name);

// Text in DejaVu Sans Bold centred on (cx, cy), `pixels` high.
void text(Canvas *canvas, const char *words, int pixels, float cx, float cy, Colour colour);

// A caption: white text 18 pixels high centred on a clear canvas `width`
// pixels wide and 32 high.
void caption(const char *name, const char *words, int width = 256);

// A fixed pseudo-random sequence, 0 to 1, so that stars land in the same
// places on every run.
float nextRandom();

using Keys = std::vector<std::vector<float>>;

// A spline file with a comment line and one key per line; the engine
// spreads the keys evenly over the time the script gives the spline.
void spline(const char *name, const char *comment, const Keys &keys);

// The pictures and splines of examples/effects.
void effectsAssets();

// The pictures and splines of the effects demo's grid scenes, under grids/.
void gridsAssets();

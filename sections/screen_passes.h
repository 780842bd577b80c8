// Steps the post-effects share: copying the frame into a capture texture
// and drawing it back, the section's own blending, values that move over
// the section's window, and the blur, bright and radial passes. Drawing
// steps work in the unit view of ortho_begin (0..1 both ways, y up).
#pragma once

// How far currentSection is through its window, elapsed / duration (0 for
// a window without length).
float sectionProgress();

// A value moving linearly from `start` at the section's start to `end` at
// its end.
float sectionLerp(float start, float end);

// Binds the capture texture (a texture index, e.g. fbos.screenTexture) and
// copies the drawing rectangle into it; it stays bound, so the caller can
// draw with it at once.
void screen_copy(int texture);

// Inside ortho_begin: binds the capture texture and draws the part one
// copy fills over the whole unit view.
void screen_draw(int texture);

// The section's blend factors when its script sets "blend": enabled with
// them, and disabled again. Without "blend" both do nothing.
void section_blend_begin();
void section_blend_end();

// Inside ortho_begin, blending enabled by the caller: blurs the drawing
// rectangle in place by averaging it with copies of itself shifted by
// 1, 2, 4, ... texels and last by `radius` (one step of 1 for a radius of
// 1 or less), first along x, then along y at each step. Uses units 0 and 1
// and fbos.screenTexture; leaves unit 0 active and textured.
void blur_pass(float radius);

// Inside ortho_begin, blending enabled by the caller: keeps what is
// brighter than (red, green, blue), subtracted by it, then adds twice that
// picture passes / 2 times. `texture` receives the thresholded picture and
// stays bound on unit 0. Leaves the blend equation GL_FUNC_ADD, the blend
// function (GL_ONE, GL_ONE) and unit 0 active and textured.
void bright_pass(int texture, float red, float green, float blue, int passes);

// Inside ortho_begin: draws the capture texture's copied frame as grey of
// its luminance (0.299 red + 0.587 green + 0.114 blue) with the current
// colour's alpha. Uses units 0 and 1; leaves unit 0 active and textured.
void grey_pass(int texture);

// Inside glBegin(GL_QUADS): the copied frame enlarged by `spread` on every
// side of the unit view, its texture window shifted by the offsets times
// the spread.
void radial_quad(float spread, float offsetX, float offsetY);

// Inside ortho_begin, with the capture texture bound: `iterations` radial
// quads of quadratically growing spread (0 for the first, about `spread`
// for the last) zooming toward (centreX, centreY) of the unit view. With
// `separateCopies` the frame is copied again before each quad, so each
// zooms the ones before; otherwise one copy serves them all.
void radial_iteration(int iterations, float spread, float centreX, float centreY,
                      bool separateCopies);

// Frame capture: screenshots and recorded frames as TGA images.
#pragma once

#include <cstdint>

// Writes the window to the first free "screenNN.tga" (00 to 99); does
// nothing when all are taken.
void takeScreenshot();

// Writes the window to "video/%08d.tga" numbered by frameCount. A missing
// "video" directory skips the frame silently.
void recordFrame();

// Writes width x height pixels (RGB, bottom row first) as a 24-bit TGA,
// run-length encoded when `compress` is set. The uncompressed path swaps red
// and blue in `pixels`. A file that cannot be created is skipped silently.
void writeTGA(const char *fileName, uint8_t *pixels, int width, int height, int compress);

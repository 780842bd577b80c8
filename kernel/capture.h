// Frame capture: screenshots and recorded frames as TGA images.
#pragma once

#include <cstdint>

// Writes the window to the first free "screenNN.tga" (00 to 99); does
// nothing when all are taken.
void takeScreenshot();

// Reads the window into a free frame buffer and hands it to the writer
// thread, which writes it to "video/%08d.tga" numbered by frameCount (or to
// the frame descriptor, see below) while the next frame is drawn. Frames are
// written in the order they were read; when every buffer is still waiting to
// be written this waits for one. A missing "video" directory skips the frame
// silently.
void recordFrame();

// From now on recorded frames go one after another to the open descriptor
// `fd` instead of "video/": each frame as the bytes its file would hold.
// False when `fd` is not open for writing.
bool recordToDescriptor(int fd);

// Waits until every recorded frame is written, then ends the writer thread.
// Safe to call more than once and when nothing was recorded.
void finishRecording();

// Writes width x height pixels (RGB, bottom row first) as a 24-bit TGA,
// run-length encoded when `compress` is set. Swaps red and blue in `pixels`
// once the file is open. A file that cannot be created is skipped silently.
void writeTGA(const char *fileName, uint8_t *pixels, int width, int height, int compress);

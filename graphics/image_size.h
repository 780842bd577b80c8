// Local to the graphics core: the pixel size an image file declares, read
// from its header before anything is decoded, so that absurd sizes are
// refused before the decoder computes and allocates with them.
#pragma once

// Reads the declared width and height of a JPEG, PNG, BMP or TGA file
// (TGA by its extension, as it has no magic). Returns false when the file
// is of none of these kinds or its header cannot be read; the decoder then
// decides alone.
bool image_declared_size(const char *path, long *width, long *height);

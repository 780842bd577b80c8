// Textures.
#include "graphics/texture.h"

int32_t texture_detail = 5;

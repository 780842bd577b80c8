// The texture table and image loading.
#pragma once

#include <cstdint>

// Largest texture side kept after loading: 128 << texture_detail (0 to 5).
extern int32_t texture_detail;

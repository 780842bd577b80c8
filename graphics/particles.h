// Particle and ray engines, and the multiply-with-carry generator they and
// some sections draw random numbers from.
#pragma once

#include <cstdint>

uint32_t mwc_random();

// A zero argument selects that state's default seed.
void mwc_seed(uint32_t z, uint32_t w);

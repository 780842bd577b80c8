// Particle and ray engines.
#include "graphics/particles.h"

static const uint32_t MWC_DEFAULT_Z = 521288629u;
static const uint32_t MWC_DEFAULT_W = 362436069u;

static uint32_t mwcZ = MWC_DEFAULT_Z;
static uint32_t mwcW = MWC_DEFAULT_W;

uint32_t mwc_random()
{
    mwcZ = 23553u * (mwcZ & 0xffffu) + (mwcZ >> 16);
    mwcW = 24699u * (mwcW & 0xffffu) + (mwcW >> 16);
    return (mwcZ << 16) + (mwcW & 0xffffu);
}

void mwc_seed(uint32_t z, uint32_t w)
{
    mwcZ = z ? z : MWC_DEFAULT_Z;
    mwcW = w ? w : MWC_DEFAULT_W;
}

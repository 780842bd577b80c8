// Ogg Vorbis encoding of synthesised music, for the music tool and for the
// test and benchmark inputs of the sound library.
#pragma once

#include <cstddef>
#include <string>

// The Ogg Vorbis file of `frames` stereo frames (interleaved, -1 to 1) at
// `rate` Hz, with variable bit rate `quality` (-0.1 to 1). Empty if the
// encoder refuses the settings.
std::string ogg_encode(const float *samples, size_t frames, int rate, float quality);

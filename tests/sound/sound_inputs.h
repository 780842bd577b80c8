// Music files for the sound tests, made with the music tool's encoder.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "tools/musicgen/ogg_writer.h"

// Stereo samples: `silence` seconds of nothing, then `seconds` of a sine of
// `frequency` Hz at `level`.
inline std::vector<float> sineAfterSilence(int rate, float silence, float seconds, float frequency,
                                           float level)
{
    size_t quiet = static_cast<size_t>(silence * rate);
    size_t frames = quiet + static_cast<size_t>(seconds * rate);
    std::vector<float> samples(frames * 2, 0.0f);
    for (size_t i = quiet; i < frames; i++)
        samples[i * 2] = samples[i * 2 + 1] =
            level * std::sin(6.2831853f * frequency * static_cast<float>(i - quiet) / rate);
    return samples;
}

inline std::string oggFile(const std::vector<float> &samples, int rate)
{
    return ogg_encode(samples.data(), samples.size() / 2, rate, 0.0f);
}

// A plain tone of `seconds` seconds.
inline std::string toneFile(float seconds, int rate = 44100)
{
    return oggFile(sineAfterSilence(rate, 0.0f, seconds, 440.0f, 0.5f), rate);
}

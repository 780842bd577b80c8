// Splines: key rows of up to 32 channels read from text files, sampled as
// Catmull-Rom curves (Kochanek-Bartels with tension, continuity and bias 0).
#pragma once

#include <cstddef>

enum { MAX_SPLINE_CHANNELS = 32 };

struct SplineKey {
    float values[MAX_SPLINE_CHANNELS];
    float tension, continuity, bias;
    int linear;                // non-zero: the segment ending here is straight
    float time;                // seconds from the spline's start
};

struct Spline {
    SplineKey *keys;           // owned, in file order
    int keyCount;
    float duration;            // seconds the keys span
    int channels;              // values per key, 1 to 32
};

// Reads a spline file, or reports the problem and returns null. Key times
// are not set until spline_set_duration.
Spline *spline_load(const char *path);

// Reads spline text of `length` bytes; `name` is used in messages.
Spline *spline_parse(const char *text, size_t length, const char *name);

// Spreads the keys evenly over `duration` seconds: first at 0, last at it.
void spline_set_duration(Spline *spline, float duration);

// Writes `channels` values at `time` seconds to `out`; past the last key
// the last key's values. A spline without keys writes nothing.
void spline_evaluate(const Spline *spline, float time, float *out);

void spline_free(Spline *spline);

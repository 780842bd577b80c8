// The synthesiser behind the example demo's music: drums, bass and chords
// in A minor at 120 beats per minute, four beats to the bar.
#pragma once

#include <vector>

enum { SYNTH_RATE = 44100 };

static const float SYNTH_BEATS_PER_SECOND = 2.0f;

// `seconds` of the track, stereo interleaved at SYNTH_RATE, peaking at 0.9.
// The kick drum falls on every beat, so a beat detector has something to
// find; the same length always gives the same samples.
std::vector<float> synth_track(float seconds);

// A small additive and subtractive synthesiser: every voice is a function of
// the time since its note started, summed into the track note by note.
#include "tools/musicgen/synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

static const float TWO_PI = 6.2831853f;
static const float BEAT = 1.0f / SYNTH_BEATS_PER_SECOND;   // seconds
static const float PEAK = 0.9f;

// Root notes of the four bars that repeat: A, F, C, G (Hz, bass octave).
static const float barRoots[4] = {110.0f, 87.31f, 130.81f, 98.0f};
// Chord notes above each root, in semitones: minor, major, major, major.
static const int chordSteps[4][3] = {{0, 3, 7}, {0, 4, 7}, {0, 4, 7}, {0, 4, 7}};

// A deterministic noise source for the drums.
static float noise(uint32_t *state)
{
    *state ^= *state << 13;
    *state ^= *state >> 17;
    *state ^= *state << 5;
    return static_cast<float>(*state) / 2147483648.0f - 1.0f;
}

static float semitones(float frequency, int steps)
{
    return frequency * std::pow(2.0f, steps / 12.0f);
}

// A naive sawtooth from -1 to 1.
static float saw(float frequency, float t)
{
    float cycles = frequency * t;
    return 2.0f * (cycles - std::floor(cycles)) - 1.0f;
}

// Adds `voice(t)` for t from 0 to `length` seconds at `start`, panned from
// -1 (left) to 1 (right).
template <typename Voice>
static void addNote(std::vector<float> *track, float start, float length, float pan, Voice voice)
{
    size_t first = static_cast<size_t>(start * SYNTH_RATE);
    size_t count = static_cast<size_t>(length * SYNTH_RATE);
    size_t frames = track->size() / 2;
    float left = 0.5f * (1.0f - pan), right = 0.5f * (1.0f + pan);
    for (size_t i = 0; i < count && first + i < frames; i++) {
        float value = voice(static_cast<float>(i) / SYNTH_RATE);
        (*track)[(first + i) * 2] += value * left;
        (*track)[(first + i) * 2 + 1] += value * right;
    }
}

// A sine falling from 150 Hz to 45 Hz with a short click on top.
static void addKick(std::vector<float> *track, float start)
{
    addNote(track, start, 0.4f, 0.0f, [](float t) {
        float phase = TWO_PI * (45.0f * t + 105.0f * (1.0f - std::exp(-t * 30.0f)) / 30.0f);
        return 1.6f * std::sin(phase) * std::exp(-t * 9.0f);
    });
}

// Noise, brightened by taking differences, with a quick decay.
static void addNoiseHit(std::vector<float> *track, float start, float decay, float level, float pan,
                        uint32_t seed)
{
    uint32_t state = seed;
    float previous = 0.0f;
    addNote(track, start, 6.0f / decay, pan, [&](float t) {
        float sample = noise(&state);
        float bright = sample - previous;
        previous = sample;
        return level * bright * std::exp(-t * decay);
    });
}

// A sawtooth through a one-pole low-pass filter that closes as the note
// fades.
static void addBassNote(std::vector<float> *track, float start, float frequency)
{
    float filtered = 0.0f;
    addNote(track, start, BEAT * 0.5f, -0.1f, [&](float t) {
        float cutoff = 0.02f + 0.15f * std::exp(-t * 12.0f);
        filtered += cutoff * (saw(frequency, t) - filtered);
        return 0.7f * filtered * std::exp(-t * 4.0f);
    });
}

// Three slightly detuned sawtooths per chord note, soft attack and release.
static void addChord(std::vector<float> *track, float start, float length, int bar)
{
    float root = barRoots[bar % 4] * 2.0f;
    for (int n = 0; n < 3; n++) {
        float frequency = semitones(root, chordSteps[bar % 4][n]);
        float filtered = 0.0f;
        addNote(track, start, length, n - 1.0f, [&](float t) {
            float tone = saw(frequency, t) + saw(frequency * 1.003f, t) + saw(frequency * 0.997f, t);
            filtered += 0.05f * (tone - filtered);
            float envelope = std::min(t / 0.3f, 1.0f) * std::min((length - t) / 0.3f, 1.0f);
            return 0.06f * filtered * envelope;
        });
    }
}

static void normalise(std::vector<float> *track)
{
    float peak = 0.0f;
    for (float sample : *track)
        peak = std::max(peak, std::fabs(sample));
    if (peak > 0.0f)
        for (float &sample : *track)
            sample *= PEAK / peak;
}

std::vector<float> synth_track(float seconds)
{
    std::vector<float> track(static_cast<size_t>(seconds * SYNTH_RATE) * 2, 0.0f);
    int beats = static_cast<int>(seconds / BEAT);
    for (int beat = 0; beat < beats; beat++) {
        float start = beat * BEAT;
        int bar = beat / 4;
        addKick(&track, start);
        addNoiseHit(&track, start + BEAT * 0.5f, 60.0f, 0.12f, 0.4f, 1234u + beat);
        if (beat % 4 == 1 || beat % 4 == 3)
            addNoiseHit(&track, start, 18.0f, 0.35f, -0.2f, 99u + beat);
        float root = barRoots[bar % 4];
        addBassNote(&track, start, root);
        addBassNote(&track, start + BEAT * 0.5f, beat % 2 ? semitones(root, 12) : root);
        if (beat % 4 == 0)
            addChord(&track, start, 4 * BEAT, bar);
    }
    normalise(&track);
    return track;
}

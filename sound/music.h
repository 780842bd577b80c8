// Music: starting and stopping the sound library, pausing all channels with
// the timeline's play states, and the sound section, which plays a music
// file in step with the demo time and turns its spectrum into `beat`.
#pragma once

#include <cstddef>

struct SndStream;

enum { BEAT_HISTORY_SIZE = 512 };

void startSound();
void stopSound();
void pauseAllSound();
void resumeAllSound();

// The library's periodic work, once per frame while sound is on, after the
// demo time moved on; on the stepped driver the music moves by the frame's
// time step.
void updateSound();

// For the timing overlay: CPU usage in percent and channels playing; 0 while
// the library is not started.
float soundCpuUsage();
int soundChannelsPlaying();

// The text of a sound library error code (SndError).
const char *soundErrorText(int code);

// The sound section type (preload does nothing).
void soundLoad();
void soundInit();
void soundExec();
void soundEnd();

// The beat detector: a frame whose spectrum energy is well above the
// average of the frames before it is a beat; `beatValue` then jumps to 1
// and falls back to 0 by `beatDecay` per second of demo time.
struct BeatDetector {
    float energyHistory[BEAT_HISTORY_SIZE];  // oldest first
    float historyStart;        // what the history is filled with at each start
    float beatThreshold;       // energy ratio above which a frame is a beat
    float beatDecay;           // per second
    float beatValue;           // 0 to 1
    int historyCount;          // divisor of the history sum, 1 to 512
};

// Starts detecting afresh with these settings.
void beat_reset(BeatDetector *detector, float historyStart, float beatThreshold, float beatDecay);

// One frame: the spectrum (SND_SPECTRUM_SIZE values) and the demo seconds
// since the last frame. Returns the new beat value.
float beat_detect(BeatDetector *detector, const float *spectrum, float timeStep);

// The sound section's private data (its vars).
struct SoundVars {
    SndStream *stream;         // null when the file did not open
    int channel;               // where the stream was last started
    char *fileData;            // the whole music file, read by the stream
    size_t fileSize;
    BeatDetector detector;
};

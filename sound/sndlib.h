// The engine's sound library: music streams decoded from memory (Ogg Vorbis
// and MP3), mixed on up to 32 channels at 44.1 kHz stereo, played through
// the SDL audio device or, without one, by a silent driver that keeps time
// all the same, or, for recordings, by a stepped driver that mixes exactly
// the time it is told; and a spectrum of what is playing.
//
// Every call is made from the main thread; the library guards what the
// audio thread shares with it.
#pragma once

#include <cstddef>

enum {
    SND_MIX_RATE = 44100,      // Hz; the only mixing rate
    SND_MAX_CHANNELS = 32,
    SND_SPECTRUM_SIZE = 512,   // bins from 0 to half the mixing rate
    SND_MAX_STREAMS = 64,
    SND_FREE_CHANNEL = -1,     // snd_stream_play: any free channel
    SND_ALL_CHANNELS = -3,     // snd_set_paused: every channel
};

// Error codes of snd_last_error. The numbering is fixed: the engine keys its
// messages on it. Codes from SND_ERR_COOPERATIVE_LEVEL on that this library
// has no cause to raise keep their numbers all the same.
enum SndError {
    SND_OK = 0,
    SND_ERR_ALREADY_INITIALISED = 1,
    SND_ERR_NOT_INITIALISED = 2,
    SND_ERR_INIT = 3,              // the output device did not open
    SND_ERR_DEVICE_BUSY = 4,
    SND_ERR_PLAY = 5,
    SND_ERR_OUTPUT_FORMAT = 6,
    SND_ERR_COOPERATIVE_LEVEL = 7,
    SND_ERR_CREATE_BUFFER = 8,
    SND_ERR_FILE_NOT_FOUND = 9,
    SND_ERR_FILE_FORMAT = 10,      // neither Ogg Vorbis nor MP3
    SND_ERR_FILE_BAD = 11,         // the right format, but it does not decode
    SND_ERR_MEMORY = 12,
    SND_ERR_VERSION = 13,
    SND_ERR_INVALID_PARAM = 14,
    SND_ERR_NO_EFFECTS = 15,
    SND_ERR_CHANNEL_ALLOC = 16,    // no free channel
    SND_ERR_RECORD = 17,
    SND_ERR_CODEC = 18,
};

// Outputs for snd_set_output.
enum SndOutput { SND_OUTPUT_SDL = 1 };

// Drivers of the SDL output. The real-time ones, device and silent, are
// tried in this order; the stepped one plays nothing and mixes only what
// snd_advance asks for, so a recording's music follows its own clock.
enum SndDriver {
    SND_DRIVER_DEVICE = 0,
    SND_DRIVER_SILENT = 1,
    SND_DRIVER_STEPPED = 2,
    SND_DRIVER_COUNT = 3,
};

struct SndStream;

float snd_version();

// Output and driver selection, before snd_init; false on failure.
bool snd_set_output(int output);
int snd_driver_count();
bool snd_set_driver(int driver);
// "SDL audio device (<SDL's driver>)", "silent (no device)" or
// "stepped (no device, demo time)".
const char *snd_driver_name(int driver);

// Starts mixing on the selected driver; false on failure.
bool snd_init(int mixRate, int channelCount);
// Stops every channel and releases the device. Streams stay open and can
// be played again after the next snd_init.
void snd_close();
// The code of the last failed call (SndError).
int snd_last_error();

// Periodic work, once per frame: the silent driver mixes the time that
// passed since the last call, and the CPU usage figure is refreshed.
void snd_update();
// The stepped driver mixes the next `seconds` of music: over many calls the
// music moves by their sum to the nearest sample. The real-time drivers
// keep their own time and ignore it.
void snd_advance(float seconds);

// Pauses or resumes one channel or SND_ALL_CHANNELS.
bool snd_set_paused(int channel, bool paused);

// A stream over a whole music file in memory. The bytes are borrowed and
// must stay valid as long as the stream. Null on failure.
SndStream *snd_stream_open(const void *data, size_t length);
// Releases a stream that is no longer needed (stopping it first).
void snd_stream_close(SndStream *stream);
// Moves the stream to a position in milliseconds, to the sample; a
// position past the end leaves it at the end. False on failure.
bool snd_stream_set_time(SndStream *stream, int milliseconds);
// The stream's position in milliseconds.
int snd_stream_get_time(SndStream *stream);
// Plays the stream from its position on `channel` (or SND_FREE_CHANNEL);
// the channel used, or negative on failure. A stream plays on one channel.
int snd_stream_play(int channel, SndStream *stream);
// Stops the stream and moves it back to its start.
bool snd_stream_stop(SndStream *stream);

// Spectrum analysis of the mixed output.
void snd_spectrum_enable(bool enabled);
// SND_SPECTRUM_SIZE magnitudes (a full-scale sine gives about 1 in its bin)
// of the last 1024 mixed samples; null while analysis is off or the library
// is closed. Valid until the next call.
const float *snd_spectrum();

// Percent of the real time spent mixing; channels playing.
float snd_cpu_usage();
int snd_channels_playing();

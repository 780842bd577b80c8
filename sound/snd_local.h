// Inside the sound library: decoders of in-memory music files and the
// spectrum analyser. The rest of the engine uses sound/sndlib.h.
#pragma once

#include <cstddef>
#include <cstdint>

enum { SND_FFT_SIZE = 1024 };   // mixed samples that make one spectrum

struct SndDecoder;

// A decoder over `size` bytes at `data` (borrowed), giving stereo frames at
// SND_MIX_RATE whatever the file's own rate; or null with *error set to a
// SndError code.
SndDecoder *decoder_open(const unsigned char *data, size_t size, int *error);
void decoder_close(SndDecoder *decoder);

// Decodes up to `frames` stereo frames into `out` (interleaved left, right,
// -1 to 1); fewer only at the end of the music.
int decoder_read(SndDecoder *decoder, float *out, int frames);

// Moves to a position in milliseconds, to the sample of the file's own
// rate; past the end means the end. False if the file cannot seek.
bool decoder_seek(SndDecoder *decoder, int64_t milliseconds);

// The position in milliseconds.
int64_t decoder_time(const SndDecoder *decoder);

// The spectrum analyser: SND_SPECTRUM_SIZE magnitudes of SND_FFT_SIZE mono
// samples, oldest first.
struct SndAnalyser;
SndAnalyser *analyser_create();
void analyser_destroy(SndAnalyser *analyser);
void analyser_run(SndAnalyser *analyser, const float *samples, float *spectrum);

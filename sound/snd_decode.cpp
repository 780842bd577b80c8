// Decoding music files held in memory: Ogg Vorbis through libvorbisfile and
// MP3 through libmpg123, both brought to stereo at the mixing rate, with
// seeking to the sample so that music and demo time stay in step.
#include "sound/snd_local.h"

#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "sound/sndlib.h"

enum { DECODE_CHUNK = 4096 };   // frames of the file's rate per decoder call

// A read position in a file held in memory.
struct MemoryCursor {
    const unsigned char *data;
    size_t size;
    size_t position;
};

enum DecoderFormat { FORMAT_VORBIS, FORMAT_MPEG };

struct SndDecoder {
    DecoderFormat format;
    MemoryCursor cursor;
    OggVorbis_File vorbis;
    mpg123_handle *mpeg;
    long rate;                 // the file's frames per second
    int channels;              // the file's channels (MP3 only; Vorbis says per call)
    int64_t length;            // frames of the file's rate, or -1 if unknown
    // Frames of the file's rate decoded and not yet used, stereo interleaved;
    // the first one is frame `pendingStart` of the file.
    std::vector<float> pending;
    size_t pendingFrames;
    int64_t pendingStart;
    double phase;              // read position in `pending`, in frames
    bool finished;             // the file has nothing more to decode
};

// ---------------------------------------------------------------------------
// Reading from memory, for both libraries

static size_t cursorRead(MemoryCursor *cursor, void *buffer, size_t bytes)
{
    size_t available = cursor->size - cursor->position;
    if (bytes > available)
        bytes = available;
    if (bytes > 0)
        memcpy(buffer, cursor->data + cursor->position, bytes);
    cursor->position += bytes;
    return bytes;
}

// The new position, or -1 (leaving the position) if it lies outside the file.
static int64_t cursorSeek(MemoryCursor *cursor, int64_t offset, int whence)
{
    int64_t base = whence == SEEK_CUR ? static_cast<int64_t>(cursor->position)
                 : whence == SEEK_END ? static_cast<int64_t>(cursor->size)
                 : 0;
    if (offset < -base || offset > static_cast<int64_t>(cursor->size) - base)
        return -1;
    cursor->position = static_cast<size_t>(base + offset);
    return base + offset;
}

static size_t vorbisRead(void *buffer, size_t size, size_t count, void *source)
{
    if (size == 0)
        return 0;
    return cursorRead(static_cast<MemoryCursor *>(source), buffer, size * count) / size;
}

static int vorbisSeek(void *source, ogg_int64_t offset, int whence)
{
    return cursorSeek(static_cast<MemoryCursor *>(source), offset, whence) < 0 ? -1 : 0;
}

static long vorbisTell(void *source)
{
    return static_cast<long>(static_cast<MemoryCursor *>(source)->position);
}

static ssize_t mpegRead(void *source, void *buffer, size_t bytes)
{
    return static_cast<ssize_t>(cursorRead(static_cast<MemoryCursor *>(source), buffer, bytes));
}

static off_t mpegSeek(void *source, off_t offset, int whence)
{
    return static_cast<off_t>(cursorSeek(static_cast<MemoryCursor *>(source), offset, whence));
}

// ---------------------------------------------------------------------------
// Recognising and opening the two formats

static bool startsWith(const unsigned char *data, size_t size, const char *magic)
{
    size_t length = strlen(magic);
    return size >= length && memcmp(data, magic, length) == 0;
}

// An ID3 tag, or the 11 set bits of an MPEG audio frame header.
static bool looksLikeMpeg(const unsigned char *data, size_t size)
{
    return startsWith(data, size, "ID3") || (size >= 2 && data[0] == 0xFF && (data[1] & 0xE0) == 0xE0);
}

static bool openVorbis(SndDecoder *decoder)
{
    const ov_callbacks callbacks = {vorbisRead, vorbisSeek, nullptr, vorbisTell};
    if (ov_open_callbacks(&decoder->cursor, &decoder->vorbis, nullptr, 0, callbacks) != 0)
        return false;
    decoder->format = FORMAT_VORBIS;
    const vorbis_info *info = ov_info(&decoder->vorbis, -1);
    decoder->rate = info ? info->rate : 0;
    ogg_int64_t total = ov_pcm_total(&decoder->vorbis, -1);
    decoder->length = total < 0 ? -1 : total;
    if (decoder->rate <= 0) {
        ov_clear(&decoder->vorbis);
        return false;
    }
    return true;
}

// Signed 16-bit output at the file's own rate, mono or stereo, and a full
// scan of the frames so that seeking lands on the exact sample.
static bool openMpeg(SndDecoder *decoder)
{
    static const bool initialised = mpg123_init() == MPG123_OK;
    if (!initialised || !(decoder->mpeg = mpg123_new(nullptr, nullptr)))
        return false;
    mpg123_handle *mpeg = decoder->mpeg;
    decoder->format = FORMAT_MPEG;
    mpg123_param(mpeg, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    mpg123_format_none(mpeg);
    const long *rates;
    size_t rateCount;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; i++)
        mpg123_format(mpeg, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    int encoding;
    bool opened = mpg123_replace_reader_handle(mpeg, mpegRead, mpegSeek, nullptr) == MPG123_OK &&
                  mpg123_open_handle(mpeg, &decoder->cursor) == MPG123_OK &&
                  mpg123_scan(mpeg) == MPG123_OK &&
                  mpg123_getformat(mpeg, &decoder->rate, &decoder->channels, &encoding) == MPG123_OK &&
                  decoder->rate > 0;
    if (!opened) {
        mpg123_delete(mpeg);
        return false;
    }
    off_t total = mpg123_length(mpeg);
    decoder->length = total < 0 ? -1 : total;
    return true;
}

SndDecoder *decoder_open(const unsigned char *data, size_t size, int *error)
{
    bool vorbis = startsWith(data, size, "OggS");
    if (!vorbis && !looksLikeMpeg(data, size)) {
        *error = SND_ERR_FILE_FORMAT;
        return nullptr;
    }
    SndDecoder *decoder = new (std::nothrow) SndDecoder();
    if (!decoder) {
        *error = SND_ERR_MEMORY;
        return nullptr;
    }
    decoder->cursor = {data, size, 0};
    if (!(vorbis ? openVorbis(decoder) : openMpeg(decoder))) {
        delete decoder;
        *error = SND_ERR_FILE_BAD;
        return nullptr;
    }
    return decoder;
}

void decoder_close(SndDecoder *decoder)
{
    if (!decoder)
        return;
    if (decoder->format == FORMAT_VORBIS)
        ov_clear(&decoder->vorbis);
    else
        mpg123_delete(decoder->mpeg);
    delete decoder;
}

// ---------------------------------------------------------------------------
// Decoding at the file's rate

// Appends `frames` frames of `channels` channels as stereo; mono is doubled
// and channels past the second are left out.
static void appendVorbis(SndDecoder *decoder, float **pcm, int channels, long frames)
{
    int right = channels > 1 ? 1 : 0;
    for (long i = 0; i < frames; i++) {
        decoder->pending.push_back(pcm[0][i]);
        decoder->pending.push_back(pcm[right][i]);
    }
    decoder->pendingFrames += frames;
}

static void decodeVorbis(SndDecoder *decoder)
{
    for (;;) {
        float **pcm;
        int link;
        long frames = ov_read_float(&decoder->vorbis, &pcm, DECODE_CHUNK, &link);
        if (frames == OV_HOLE)
            continue;          // a gap in the data; decoding goes on after it
        if (frames <= 0) {
            decoder->finished = true;
            return;
        }
        const vorbis_info *info = ov_info(&decoder->vorbis, link);
        appendVorbis(decoder, pcm, info ? info->channels : 1, frames);
        return;
    }
}

static void decodeMpeg(SndDecoder *decoder)
{
    int16_t samples[DECODE_CHUNK * 2];
    size_t bytes = 0;
    int result = mpg123_read(decoder->mpeg, samples, sizeof(samples), &bytes);
    int right = decoder->channels > 1 ? 1 : 0;
    size_t frames = bytes / sizeof(int16_t) / decoder->channels;
    for (size_t i = 0; i < frames; i++) {
        const int16_t *frame = samples + i * decoder->channels;
        decoder->pending.push_back(frame[0] / 32768.0f);
        decoder->pending.push_back(frame[right] / 32768.0f);
    }
    decoder->pendingFrames += frames;
    if (result == MPG123_NEW_FORMAT) {
        // Only the channel count may follow a change; the rate was fixed
        // when the file opened.
        long rate;
        int encoding;
        mpg123_getformat(decoder->mpeg, &rate, &decoder->channels, &encoding);
    } else if (result != MPG123_OK || frames == 0) {
        decoder->finished = true;
    }
}

// Drops the frames before the read position and decodes one more chunk.
static void refill(SndDecoder *decoder)
{
    size_t used = static_cast<size_t>(decoder->phase);
    if (used > decoder->pendingFrames)
        used = decoder->pendingFrames;
    decoder->pending.erase(decoder->pending.begin(), decoder->pending.begin() + used * 2);
    decoder->pendingFrames -= used;
    decoder->pendingStart += used;
    decoder->phase -= used;
    if (decoder->format == FORMAT_VORBIS)
        decodeVorbis(decoder);
    else
        decodeMpeg(decoder);
}

// ---------------------------------------------------------------------------
// Bringing the file's rate to the mixing rate

// Linear interpolation between neighbouring frames; at the mixing rate the
// phase stays whole and frames are copied unchanged.
int decoder_read(SndDecoder *decoder, float *out, int frames)
{
    double step = static_cast<double>(decoder->rate) / SND_MIX_RATE;
    int written = 0;
    while (written < frames) {
        size_t index = static_cast<size_t>(decoder->phase);
        if (index + 1 >= decoder->pendingFrames && !decoder->finished) {
            refill(decoder);
            continue;
        }
        if (index >= decoder->pendingFrames)
            break;
        const float *frame = &decoder->pending[index * 2];
        float weight = static_cast<float>(decoder->phase - index);
        if (index + 1 >= decoder->pendingFrames)
            weight = 0.0f;     // the last frame of the file has no neighbour
        float nextLeft = weight > 0.0f ? frame[2] : 0.0f;
        float nextRight = weight > 0.0f ? frame[3] : 0.0f;
        out[written * 2] = frame[0] + (nextLeft - frame[0]) * weight;
        out[written * 2 + 1] = frame[1] + (nextRight - frame[1]) * weight;
        decoder->phase += step;
        written++;
    }
    return written;
}

bool decoder_seek(SndDecoder *decoder, int64_t milliseconds)
{
    if (milliseconds < 0)
        return false;
    // The first frame at or after the time, so the position reads back as
    // the time asked for.
    int64_t frame = (milliseconds * decoder->rate + 999) / 1000;
    // At or past the end there is nothing left to decode; the libraries
    // would refuse the seek itself.
    bool atEnd = decoder->length >= 0 && frame >= decoder->length;
    if (atEnd)
        frame = decoder->length;
    else if (decoder->format == FORMAT_VORBIS ? ov_pcm_seek(&decoder->vorbis, frame) != 0
                                              : mpg123_seek(decoder->mpeg, static_cast<off_t>(frame), SEEK_SET) < 0)
        return false;
    decoder->pending.clear();
    decoder->pendingFrames = 0;
    decoder->pendingStart = frame;
    decoder->phase = 0.0;
    decoder->finished = atEnd;
    return true;
}

int64_t decoder_time(const SndDecoder *decoder)
{
    double frame = static_cast<double>(decoder->pendingStart) + decoder->phase;
    return static_cast<int64_t>(std::floor(frame * 1000.0 / decoder->rate));
}

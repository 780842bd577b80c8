// The sound library's mixer: channels, streams, the three drivers and the
// spectrum of what was mixed last.
#include "sound/sndlib.h"

#include <SDL/SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "sound/snd_local.h"

static const float LIBRARY_VERSION = 4.0f;
static const double USAGE_WINDOW = 0.25;   // seconds of music per CPU usage figure

enum { MIX_BLOCK = 1024 };   // frames mixed at a time

struct SndStream {
    SndDecoder *decoder;
    int channel;               // the channel it plays on, or -1
};

struct Channel {
    SndStream *stream;         // null while the channel is free
    bool paused;
};

using Clock = std::chrono::steady_clock;

// The library's state. Only the main thread calls the library; with the
// device driver the audio thread mixes as well, so everything the mixer
// reads or writes (channels, the streams on them, history, usage figures)
// is only touched with `lock` held. `error`, `selectedDriver`, `streams`,
// `spectrumEnabled`, `spectrum` and `analyser` belong to the main thread.
static struct {
    std::mutex lock;
    int error;                 // SndError of the last failed call
    int selectedDriver;
    bool initialised;
    int activeDriver;
    int channelCount;
    Channel channels[SND_MAX_CHANNELS];
    SndStream *streams[SND_MAX_STREAMS];   // every open stream
    float history[SND_FFT_SIZE];           // last mixed samples in mono, a ring
    int historyNext;                       // the oldest sample, written next
    double busySeconds;        // time spent mixing since the usage figure was refreshed
    double mixedSeconds;       // music mixed in that time
    float cpuUsage;            // percent
    Clock::time_point silentClock;         // the silent driver has mixed up to here
    double steppedSeconds;     // time the stepped driver was told to mix since snd_init
    int64_t steppedFrames;     // frames it has mixed since snd_init
    bool spectrumEnabled;
    float spectrum[SND_SPECTRUM_SIZE];
    SndAnalyser *analyser;
    char deviceName[64];
} snd;

static bool fail(int error)
{
    snd.error = error;
    return false;
}

// fail for the calls that answer with a channel.
static int failChannel(int error)
{
    snd.error = error;
    return -1;
}

// ---------------------------------------------------------------------------
// Mixing (lock held)

// Frees the stream's channel and winds the stream back to its start.
static void stopChannelOf(SndStream *stream)
{
    if (stream->channel >= 0)
        snd.channels[stream->channel] = {nullptr, false};
    stream->channel = -1;
    decoder_seek(stream->decoder, 0);
}

static void keepHistory(const float *mixed, int frames)
{
    for (int i = 0; i < frames; i++) {
        snd.history[snd.historyNext] = 0.5f * (mixed[i * 2] + mixed[i * 2 + 1]);
        snd.historyNext = (snd.historyNext + 1) % SND_FFT_SIZE;
    }
}

// Mixes up to MIX_BLOCK frames of every channel that plays into `out`
// (stereo, unclipped); a stream that runs out stops.
static void mixBlock(float *out, int frames)
{
    Clock::time_point started = Clock::now();
    std::fill(out, out + frames * 2, 0.0f);
    float decoded[MIX_BLOCK * 2];
    for (int c = 0; c < snd.channelCount; c++) {
        Channel &channel = snd.channels[c];
        if (!channel.stream || channel.paused)
            continue;
        int got = decoder_read(channel.stream->decoder, decoded, frames);
        for (int i = 0; i < got * 2; i++)
            out[i] += decoded[i];
        if (got < frames)
            stopChannelOf(channel.stream);
    }
    keepHistory(out, frames);
    snd.busySeconds += std::chrono::duration<double>(Clock::now() - started).count();
    snd.mixedSeconds += static_cast<double>(frames) / SND_MIX_RATE;
}

// Mixes, and throws away, `due` frames: the drivers without a device.
static void mixUnheard(int64_t due)
{
    float mixed[MIX_BLOCK * 2];
    while (due > 0) {
        int frames = static_cast<int>(std::min<int64_t>(due, MIX_BLOCK));
        mixBlock(mixed, frames);
        due -= frames;
    }
}

// The silent driver mixes the frames the wall clock says are due, so that
// music keeps time without a device.
static void advanceSilentDriver()
{
    if (!snd.initialised || snd.activeDriver != SND_DRIVER_SILENT)
        return;
    using std::chrono::microseconds;
    int64_t passed = std::chrono::duration_cast<microseconds>(Clock::now() - snd.silentClock).count();
    int64_t due = passed * SND_MIX_RATE / 1000000;
    // What is left of a frame counts toward the next call.
    snd.silentClock += microseconds(due * 1000000 / SND_MIX_RATE);
    mixUnheard(due);
}

// One call's hold on the mixer. The silent driver is first brought up to
// the present, so that what the call changes happens at the right moment of
// the music.
class MixerAccess {
public:
    MixerAccess() : guard(snd.lock) { advanceSilentDriver(); }
private:
    std::lock_guard<std::mutex> guard;
};

// ---------------------------------------------------------------------------
// The device driver

static void deviceCallback(void *, Uint8 *buffer, int bytes)
{
    int16_t *samples = reinterpret_cast<int16_t *>(buffer);
    int frames = bytes / static_cast<int>(2 * sizeof(int16_t));
    float mixed[MIX_BLOCK * 2];
    std::lock_guard<std::mutex> guard(snd.lock);
    for (int done = 0; done < frames;) {
        int count = std::min(frames - done, static_cast<int>(MIX_BLOCK));
        mixBlock(mixed, count);
        for (int i = 0; i < count * 2; i++)
            samples[done * 2 + i] = static_cast<int16_t>(std::clamp(mixed[i], -1.0f, 1.0f) * 32767.0f);
        done += count;
    }
}

// The audio back ends SDL tries write their own diagnostics to standard
// error on a machine without a sound card; the library answers with its
// error code instead, so standard error is muted while the device opens.
// Returns the saved descriptor, or -1.
static int muteStandardError()
{
    fflush(stderr);
    int saved = dup(STDERR_FILENO);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDERR_FILENO);
        close(null);
    }
    return saved;
}

static void restoreStandardError(int saved)
{
    if (saved < 0)
        return;
    fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
}

// 16-bit stereo at the mixing rate; SDL converts if the device wants
// something else.
static bool openDevice()
{
    SDL_AudioSpec wanted = {};
    wanted.freq = SND_MIX_RATE;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = MIX_BLOCK;
    wanted.callback = deviceCallback;
    int savedError = muteStandardError();
    bool opened = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (opened && SDL_OpenAudio(&wanted, nullptr) < 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        opened = false;
    }
    restoreStandardError(savedError);
    return opened;
}

// ---------------------------------------------------------------------------
// Start and stop

float snd_version()
{
    return LIBRARY_VERSION;
}

bool snd_set_output(int output)
{
    if (snd.initialised)
        return fail(SND_ERR_ALREADY_INITIALISED);
    return output == SND_OUTPUT_SDL || fail(SND_ERR_INVALID_PARAM);
}

int snd_driver_count()
{
    return SND_DRIVER_COUNT;
}

bool snd_set_driver(int driver)
{
    if (snd.initialised)
        return fail(SND_ERR_ALREADY_INITIALISED);
    if (driver < 0 || driver >= SND_DRIVER_COUNT)
        return fail(SND_ERR_INVALID_PARAM);
    snd.selectedDriver = driver;
    return true;
}

const char *snd_driver_name(int driver)
{
    if (driver == SND_DRIVER_SILENT)
        return "silent (no device)";
    if (driver == SND_DRIVER_STEPPED)
        return "stepped (no device, demo time)";
    if (driver != SND_DRIVER_DEVICE)
        return "none";
    char name[32];
    if (SDL_AudioDriverName(name, sizeof(name)))
        snprintf(snd.deviceName, sizeof(snd.deviceName), "SDL audio device (%s)", name);
    else
        snprintf(snd.deviceName, sizeof(snd.deviceName), "SDL audio device");
    return snd.deviceName;
}

bool snd_init(int mixRate, int channelCount)
{
    if (snd.initialised)
        return fail(SND_ERR_ALREADY_INITIALISED);
    if (mixRate != SND_MIX_RATE || channelCount < 1 || channelCount > SND_MAX_CHANNELS)
        return fail(SND_ERR_INVALID_PARAM);
    bool device = snd.selectedDriver == SND_DRIVER_DEVICE;
    if (device && !openDevice())
        return fail(SND_ERR_INIT);
    {
        std::lock_guard<std::mutex> guard(snd.lock);
        snd.activeDriver = snd.selectedDriver;
        snd.channelCount = channelCount;
        std::fill(snd.history, snd.history + SND_FFT_SIZE, 0.0f);
        snd.busySeconds = snd.mixedSeconds = 0.0;
        snd.cpuUsage = 0.0f;
        snd.silentClock = Clock::now();
        snd.steppedSeconds = 0.0;
        snd.steppedFrames = 0;
        snd.initialised = true;
    }
    snd.spectrumEnabled = false;
    if (device)
        SDL_PauseAudio(0);
    return true;
}

void snd_close()
{
    if (!snd.initialised)
        return;
    // Closing waits for the audio thread, which may be waiting for the lock.
    if (snd.activeDriver == SND_DRIVER_DEVICE) {
        SDL_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    std::lock_guard<std::mutex> guard(snd.lock);
    for (int c = 0; c < snd.channelCount; c++)
        if (snd.channels[c].stream)
            stopChannelOf(snd.channels[c].stream);
    snd.initialised = false;
    snd.spectrumEnabled = false;
}

int snd_last_error()
{
    return snd.error;
}

void snd_update()
{
    if (!snd.initialised)
        return;
    MixerAccess access;
    if (snd.mixedSeconds >= USAGE_WINDOW) {
        snd.cpuUsage = static_cast<float>(100.0 * snd.busySeconds / snd.mixedSeconds);
        snd.busySeconds = snd.mixedSeconds = 0.0;
    }
}

void snd_advance(float seconds)
{
    if (!snd.initialised || snd.activeDriver != SND_DRIVER_STEPPED || !(seconds > 0.0f))
        return;
    std::lock_guard<std::mutex> guard(snd.lock);
    // Counting from the start rather than per call keeps steps that are not
    // a whole number of frames (1/24 s, or 1/25 s as a float) from drifting.
    snd.steppedSeconds += seconds;
    int64_t target = std::llround(snd.steppedSeconds * SND_MIX_RATE);
    mixUnheard(target - snd.steppedFrames);
    snd.steppedFrames = target;
}

bool snd_set_paused(int channel, bool paused)
{
    if (!snd.initialised)
        return fail(SND_ERR_NOT_INITIALISED);
    MixerAccess access;
    if (channel == SND_ALL_CHANNELS) {
        for (int c = 0; c < snd.channelCount; c++)
            snd.channels[c].paused = paused;
        return true;
    }
    if (channel < 0 || channel >= snd.channelCount)
        return fail(SND_ERR_INVALID_PARAM);
    snd.channels[channel].paused = paused;
    return true;
}

// ---------------------------------------------------------------------------
// Streams

SndStream *snd_stream_open(const void *data, size_t length)
{
    if (!data && length > 0) {
        fail(SND_ERR_INVALID_PARAM);
        return nullptr;
    }
    SndStream **slot = std::find(snd.streams, snd.streams + SND_MAX_STREAMS, nullptr);
    if (slot == snd.streams + SND_MAX_STREAMS) {
        fail(SND_ERR_MEMORY);
        return nullptr;
    }
    int error = SND_OK;
    SndDecoder *decoder = decoder_open(static_cast<const unsigned char *>(data), length, &error);
    if (!decoder) {
        fail(error);
        return nullptr;
    }
    *slot = new SndStream{decoder, -1};
    return *slot;
}

void snd_stream_close(SndStream *stream)
{
    if (!stream)
        return;
    MixerAccess access;
    if (stream->channel >= 0)
        snd.channels[stream->channel] = {nullptr, false};
    *std::find(snd.streams, snd.streams + SND_MAX_STREAMS, stream) = nullptr;
    decoder_close(stream->decoder);
    delete stream;
}

bool snd_stream_set_time(SndStream *stream, int milliseconds)
{
    if (!stream || milliseconds < 0)
        return fail(SND_ERR_INVALID_PARAM);
    MixerAccess access;
    return decoder_seek(stream->decoder, milliseconds) || fail(SND_ERR_FILE_BAD);
}

int snd_stream_get_time(SndStream *stream)
{
    if (!stream)
        return 0;
    MixerAccess access;
    return static_cast<int>(std::min<int64_t>(decoder_time(stream->decoder), INT32_MAX));
}

// The first free channel, or -1.
static int freeChannel()
{
    for (int c = 0; c < snd.channelCount; c++)
        if (!snd.channels[c].stream)
            return c;
    return -1;
}

int snd_stream_play(int channel, SndStream *stream)
{
    if (!snd.initialised)
        return failChannel(SND_ERR_NOT_INITIALISED);
    if (!stream || channel < SND_FREE_CHANNEL || channel >= snd.channelCount)
        return failChannel(SND_ERR_INVALID_PARAM);
    MixerAccess access;
    // A stream moves to its new channel from where it is.
    if (stream->channel >= 0)
        snd.channels[stream->channel] = {nullptr, false};
    stream->channel = -1;
    if (channel == SND_FREE_CHANNEL && (channel = freeChannel()) < 0)
        return failChannel(SND_ERR_CHANNEL_ALLOC);
    if (SndStream *previous = snd.channels[channel].stream)
        stopChannelOf(previous);
    snd.channels[channel] = {stream, false};
    stream->channel = channel;
    return channel;
}

bool snd_stream_stop(SndStream *stream)
{
    if (!stream)
        return fail(SND_ERR_INVALID_PARAM);
    MixerAccess access;
    stopChannelOf(stream);
    return true;
}

// ---------------------------------------------------------------------------
// Analysis and figures

void snd_spectrum_enable(bool enabled)
{
    snd.spectrumEnabled = enabled;
}

const float *snd_spectrum()
{
    if (!snd.initialised || !snd.spectrumEnabled)
        return nullptr;
    float samples[SND_FFT_SIZE];
    {
        MixerAccess access;
        int newer = SND_FFT_SIZE - snd.historyNext;
        std::copy(snd.history + snd.historyNext, snd.history + SND_FFT_SIZE, samples);
        std::copy(snd.history, snd.history + snd.historyNext, samples + newer);
    }
    if (!snd.analyser)
        snd.analyser = analyser_create();
    analyser_run(snd.analyser, samples, snd.spectrum);
    return snd.spectrum;
}

float snd_cpu_usage()
{
    if (!snd.initialised)
        return 0.0f;
    std::lock_guard<std::mutex> guard(snd.lock);
    return snd.cpuUsage;
}

int snd_channels_playing()
{
    if (!snd.initialised)
        return 0;
    std::lock_guard<std::mutex> guard(snd.lock);
    int playing = 0;
    for (int c = 0; c < snd.channelCount; c++)
        playing += snd.channels[c].stream != nullptr;
    return playing;
}

// Decoding and analysing music: the CPU time one minute of a 44.1 kHz
// stereo Ogg Vorbis stream costs, reported as a fraction of real time
// ("cpu_per_second": CPU seconds per second of music). The music is
// decoded in mixing blocks and analysed sixty times per second, as a demo
// playing at 60 frames per second would.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "sound/snd_local.h"
#include "sound/sndlib.h"
#include "tools/musicgen/ogg_writer.h"
#include "tools/musicgen/synth.h"

static const float MUSIC_SECONDS = 60.0f;
static const float MUSIC_QUALITY = 0.3f;

enum { FRAMES_PER_ANALYSIS = SND_MIX_RATE / 60, BLOCK = 1024 };

static const std::string &minuteOfMusic()
{
    static const std::string file = [] {
        std::vector<float> track = synth_track(MUSIC_SECONDS);
        return ogg_encode(track.data(), track.size() / 2, SYNTH_RATE, MUSIC_QUALITY);
    }();
    return file;
}

static void BM_DecodeAndAnalyseOneMinute(benchmark::State &state)
{
    const std::string &file = minuteOfMusic();
    SndAnalyser *analyser = analyser_create();
    std::vector<float> block(BLOCK * 2), mono(SND_FFT_SIZE, 0.0f);
    float spectrum[SND_SPECTRUM_SIZE];
    for (auto _ : state) {
        int error = SND_OK;
        SndDecoder *decoder =
            decoder_open(reinterpret_cast<const unsigned char *>(file.data()), file.size(), &error);
        int sinceAnalysis = 0, next = 0, frames;
        while ((frames = decoder_read(decoder, block.data(), BLOCK)) > 0) {
            for (int i = 0; i < frames; i++) {
                mono[next] = 0.5f * (block[i * 2] + block[i * 2 + 1]);
                next = (next + 1) % SND_FFT_SIZE;
                if (++sinceAnalysis == FRAMES_PER_ANALYSIS) {
                    analyser_run(analyser, mono.data(), spectrum);
                    benchmark::DoNotOptimize(spectrum);
                    sinceAnalysis = 0;
                }
            }
        }
        decoder_close(decoder);
    }
    analyser_destroy(analyser);
    state.counters["cpu_per_second"] = benchmark::Counter(
        MUSIC_SECONDS * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DecodeAndAnalyseOneMinute)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// The spectrum analyser: a Hann-windowed real FFT of the last mixed samples,
// scaled so that a full-scale sine reads about 1 in its bin.
#include "sound/snd_local.h"

#include <kiss_fftr.h>

#include <cmath>

#include "sound/sndlib.h"

static_assert(SND_FFT_SIZE == 2 * SND_SPECTRUM_SIZE, "one bin per pair of samples");

struct SndAnalyser {
    kiss_fftr_cfg plan;
    float window[SND_FFT_SIZE];
    float scale;               // 2 / sum of the window
    float windowed[SND_FFT_SIZE];
    kiss_fft_cpx bins[SND_FFT_SIZE / 2 + 1];
};

SndAnalyser *analyser_create()
{
    SndAnalyser *analyser = new SndAnalyser();
    analyser->plan = kiss_fftr_alloc(SND_FFT_SIZE, 0, nullptr, nullptr);
    float sum = 0.0f;
    for (int i = 0; i < SND_FFT_SIZE; i++) {
        analyser->window[i] = 0.5f - 0.5f * std::cos(2.0f * static_cast<float>(M_PI) * i / SND_FFT_SIZE);
        sum += analyser->window[i];
    }
    analyser->scale = 2.0f / sum;
    return analyser;
}

void analyser_destroy(SndAnalyser *analyser)
{
    if (!analyser)
        return;
    kiss_fftr_free(analyser->plan);
    delete analyser;
}

void analyser_run(SndAnalyser *analyser, const float *samples, float *spectrum)
{
    for (int i = 0; i < SND_FFT_SIZE; i++)
        analyser->windowed[i] = samples[i] * analyser->window[i];
    kiss_fftr(analyser->plan, analyser->windowed, analyser->bins);
    for (int i = 0; i < SND_SPECTRUM_SIZE; i++) {
        const kiss_fft_cpx &bin = analyser->bins[i];
        spectrum[i] = std::sqrt(bin.r * bin.r + bin.i * bin.i) * analyser->scale;
    }
}

#include "sandbox/demo/Loudness.h"

#include <ebur128.h>
#include <sndfile.h>

#include <memory>
#include <string>

#include "platform/device/LoudnessMeter.h"

namespace zsdemo {

LoudnessFigures measureLoudness(const std::string& path) {
    LoudnessFigures figures;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return figures;
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> closer(file, sf_close);
    const unsigned channels = static_cast<unsigned>(info.channels);
    const unsigned long rate = static_cast<unsigned long>(info.samplerate);
    ebur128_state* state = ebur128_init(channels, rate, EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
    if (!state) return figures;
    std::unique_ptr<ebur128_state*, void (*)(ebur128_state**)> destroyer(&state, ebur128_destroy);

    // Tenths of a second for the curve, split in hundredths for the envelope.
    const size_t hundredth = rate / 100;
    std::vector<short> raw(hundredth * channels);
    std::vector<float> samples(raw.size());
    size_t hundredths = 0;
    for (;;) {
        const sf_count_t frames = sf_readf_short(file, raw.data(), static_cast<sf_count_t>(hundredth));
        if (frames <= 0) break;
        const size_t n = static_cast<size_t>(frames) * channels;
        double sum = 0.0;
        for (size_t k = 0; k < n; ++k) {
            if (raw[k] >= 32767 || raw[k] <= -32767) ++figures.fullScaleSamples;
            samples[k] = static_cast<float>(raw[k]) / 32768.0f;
            sum += static_cast<double>(samples[k]) * samples[k];
        }
        figures.samples += n;
        figures.envelope.push_back(std::sqrt(sum / static_cast<double>(n)));
        ebur128_add_frames_float(state, samples.data(), static_cast<size_t>(frames));
        if (++hundredths % 10 == 0) {
            double shortTerm = -HUGE_VAL;
            if (ebur128_loudness_shortterm(state, &shortTerm) != EBUR128_SUCCESS) shortTerm = -HUGE_VAL;
            figures.shortTerm.push_back(shortTerm);
        }
    }
    figures.seconds = rate ? static_cast<double>(figures.samples) / channels / rate : 0.0;
    if (ebur128_loudness_global(state, &figures.integrated) != EBUR128_SUCCESS) figures.integrated = -HUGE_VAL;
    if (ebur128_loudness_range(state, &figures.range) != EBUR128_SUCCESS) figures.range = 0.0;
    double peak = 0.0;
    for (unsigned c = 0; c < channels; ++c) {
        double p = 0.0;
        if (ebur128_true_peak(state, c, &p) == EBUR128_SUCCESS && p > peak) peak = p;
    }
    figures.truePeak = peak > 0.0 ? 20.0 * std::log10(peak) : -HUGE_VAL;
    figures.ok = true;
    return figures;
}

std::string describeLoudness(const LoudnessFigures& f) {
    aldevice::Loudness run;
    run.integrated = f.integrated;
    run.range = f.range;
    run.truePeak = f.truePeak;
    return aldevice::describeRun(run) + ", " + std::to_string(f.fullScaleSamples) + " samples at full scale";
}

}  // namespace zsdemo

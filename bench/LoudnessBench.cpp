// The loudness meter of the mix: its cost per second of audio (48 kHz
// stereo, fed in the device's 1024-frame periods) beside the mixer's, what
// each of libebur128's measurements costs (its true peak, which the meter no
// longer uses, is the dearest: mode 2 is what the meter cost before), the
// meter's own true peak with and without skipping, and 64 voices mixed
// through the device with the meter on and off.
#include <benchmark/benchmark.h>
#include <ebur128.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench/AllocationCounter.h"
#include "platform/device/AlDevice.h"
#include "platform/device/LoudnessMeter.h"
#include "tests/support/Loopback.h"
#include "tests/support/ResourceTree.h"

namespace {

constexpr uint32_t rate = 48000;
constexpr uint32_t period = 1024;

// One second of a tone with some noise on it, interleaved stereo.
const std::vector<float>& oneSecond() {
    static const std::vector<float> samples = [] {
        std::vector<float> s(2 * rate);
        std::mt19937 random(7);
        std::uniform_real_distribution<float> noise(-0.05f, 0.05f);
        for (uint32_t k = 0; k < rate; ++k) {
            const float tone = 0.3f * static_cast<float>(std::sin(2 * M_PI * 440.0 * k / rate));
            s[2 * k] = tone + noise(random);
            s[2 * k + 1] = tone + noise(random);
        }
        return s;
    }();
    return samples;
}

void BM_LoudnessMeterPerSecondOfAudio(benchmark::State& state) {
    aldevice::LoudnessMeter meter(rate);
    const std::vector<float>& audio = oneSecond();
    const unsigned long long before = benchalloc::allocations();
    for (auto _ : state)
        for (uint32_t at = 0; at + period <= rate; at += period) meter.add(audio.data() + 2 * at, period);
    const unsigned long long made = benchalloc::allocations() - before;
    state.counters["audio_s_per_cpu_s"] = benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["new_per_period"] = static_cast<double>(made) / (double(state.iterations()) * (rate / period));
    benchmark::DoNotOptimize(meter.snapshot().integrated);
}
BENCHMARK(BM_LoudnessMeterPerSecondOfAudio)->Unit(benchmark::kMicrosecond);

// libebur128 alone, measurement by measurement: 0 momentary and short-term,
// 1 with the loudness range, 2 with the true peak too (all in histogram mode).
void BM_LoudnessLibebur128Modes(benchmark::State& state) {
    int mode = EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_HISTOGRAM;
    if (state.range(0) >= 1) mode |= EBUR128_MODE_LRA;
    if (state.range(0) >= 2) mode |= EBUR128_MODE_TRUE_PEAK;
    ebur128_state* st = ebur128_init(2, rate, mode);
    const std::vector<float>& audio = oneSecond();
    for (auto _ : state)
        for (uint32_t at = 0; at + period <= rate; at += period) ebur128_add_frames_float(st, audio.data() + 2 * at, period);
    state.counters["audio_s_per_cpu_s"] = benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
    static const char* const labels[] = {"momentary + short-term", "+ loudness range", "+ true peak"};
    state.SetLabel(labels[state.range(0)]);
    ebur128_destroy(&st);
}
BENCHMARK(BM_LoudnessLibebur128Modes)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// The meter's true peak alone, on one second of a steady tone (0: no block
// can be skipped) and of a loud first tenth then the tone 10 dB down (1), with
// skipping off and on.
void BM_LoudnessTruePeak(benchmark::State& state) {
    std::vector<float> audio = oneSecond();
    if (state.range(0) == 1)
        for (size_t k = 2 * rate / 10; k < audio.size(); ++k) audio[k] *= 0.316f;
    aldevice::TruePeak peak(rate, state.range(1) == 1);
    for (auto _ : state)
        for (uint32_t at = 0; at + period <= rate; at += period) peak.add(audio.data() + 2 * at, period);
    state.counters["audio_s_per_cpu_s"] = benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["skipped_share"] =
        double(peak.skippedBlocks()) / double(std::max<uint64_t>(1, peak.skippedBlocks() + peak.filteredBlocks()));
    state.SetLabel(std::string(state.range(0) ? "loud then quiet" : "steady") +
                   (state.range(1) ? ", skipping" : ", every block"));
    benchmark::DoNotOptimize(peak.peak());
}
BENCHMARK(BM_LoudnessTruePeak)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMicrosecond);

// 64 looping voices mixed through the hand-pumped device, one second of
// audio per iteration, with the meter off (0) and on (1).
void BM_LoudnessMixerMeterOffOn(benchmark::State& state) {
    const bool on = state.range(0) == 1;
    if (!on) setenv("ZULSOUND_LOUDNESS_METER", "off", 1);
    testsupport::ResourceTree tree;
    tree.write("/Sounds/tone.wav", "");
    testsupport::writeSine(tree.pathOf("/Sounds/tone.wav"), int(rate), 440.0, 0.1f, rate);
    aldevice::AlDevice device(aldevice::Output{aldevice::Output::Loopback, ""});
    device.initialize();
    unsetenv("ZULSOUND_LOUDNESS_METER");
    Sound3DEffect* source = device.createEffect();
    ResourceStream* stream = theResourceManager->openStream("/Sounds/tone.wav");
    source->createStatic(stream);
    theResourceManager->closeStream(stream);
    std::vector<Sound3DEffect*> effects{source};
    for (int k = 1; k < 64; ++k) {
        effects.push_back(device.createEffect());
        effects.back()->clone(source);
    }
    for (int k = 0; k < 64; ++k) {
        effects[k]->setLooped(true);
        effects[k]->setPosition(Vector(float(k % 16) - 8, float(k / 16) - 8, 0), SOUND3D_APPLY_IMMEDIATE);
        effects[k]->play();
    }
    std::vector<float> out(2 * period);
    for (auto _ : state)
        for (uint32_t at = 0; at + period <= rate; at += period) device.render(out.data(), period);
    state.counters["audio_s_per_cpu_s"] = benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
    state.SetLabel(on ? "meter on" : "meter off");
    for (Sound3DEffect* e : effects) device.destroyEffect(e);
    device.uninitialize();
}
BENCHMARK(BM_LoudnessMixerMeterOffOn)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

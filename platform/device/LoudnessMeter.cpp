// The loudness meter over libebur128.
#include "platform/device/LoudnessMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>

namespace aldevice {

namespace {

// Histogram mode keeps the gated measurements in fixed tables: adding frames
// never allocates, however long the run.
// The gating of the integrated loudness is the meter's own (see addBlock).
constexpr int meterMode =
    EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_HISTOGRAM;

constexpr double absoluteGate = -70.0;  // LUFS
constexpr double relativeGate = -10.0;  // LU below the loudness of the blocks above the absolute gate

double energyOf(double lufs) { return std::pow(10.0, (lufs + 0.691) / 10.0); }
double lufsOf(double energy) { return energy > 0.0 ? -0.691 + 10.0 * std::log10(energy) : -HUGE_VAL; }

ebur128_state* stateOf(void* p) { return static_cast<ebur128_state*>(p); }

// A figure as libebur128 gives it, or minus infinity when it gives none.
double lufs(int status, double value) {
    if (status != EBUR128_SUCCESS || std::isnan(value)) return -HUGE_VAL;
    return value;
}

float sanitised(float sample) {
    if (!std::isfinite(sample)) return 0.0f;
    if (std::fabs(sample) < FLT_MIN) return 0.0f;  // subnormal
    return sample;
}

}  // namespace

std::string formatLevel(double value) {
    if (std::isnan(value) || value == -HUGE_VAL) return "-inf";
    if (value == HUGE_VAL) return "inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string describeRun(const Loudness& l) {
    return "integrated " + formatLevel(l.integrated) + " LUFS, range " + formatLevel(l.range) + " LU, true peak " +
           formatLevel(l.truePeak) + " dBTP";
}

LoudnessMeter::LoudnessMeter(uint32_t rate) : frequency(rate) {
    state = ebur128_init(2, frequency, meterMode);
    blockStep = (frequency + 5) / 10;
}

LoudnessMeter::~LoudnessMeter() {
    auto* st = stateOf(state);
    if (st) ebur128_destroy(&st);
}

void LoudnessMeter::add(const float* samples, size_t count) {
    std::lock_guard<std::mutex> guard(mutex);
    if (!state) return;
    while (count > 0) {
        // Up to the end of the next 100 ms, where a block ends.
        const uint64_t untilBlock = blockStep - frames % blockStep;
        const size_t n = static_cast<size_t>(std::min<uint64_t>({count, chunkFrames, untilBlock}));
        for (size_t k = 0; k < n * 2; ++k) chunk[k] = sanitised(samples[k]);
        ebur128_add_frames_float(stateOf(state), chunk, n);
        frames += n;
        samples += n * 2;
        count -= n;
        if (frames % blockStep == 0 && frames >= 4 * blockStep) addBlock();
    }
}

void LoudnessMeter::addBlock() {
    double block = -HUGE_VAL;
    if (ebur128_loudness_momentary(stateOf(state), &block) != EBUR128_SUCCESS || !(block > absoluteGate)) return;
    const int bin = std::min(bins - 1, static_cast<int>((block - absoluteGate) * 10.0));
    ++blockCount[bin];
    blockEnergy[bin] += energyOf(block);
}

double LoudnessMeter::momentaryLocked() const {
    double value = -HUGE_VAL;
    if (!state || frames == 0) return value;
    const int status = ebur128_loudness_momentary(stateOf(state), &value);
    return lufs(status, value);
}

double LoudnessMeter::shortTermLocked() const {
    double value = -HUGE_VAL;
    if (!state || frames == 0) return value;
    const int status = ebur128_loudness_shortterm(stateOf(state), &value);
    return lufs(status, value);
}

double LoudnessMeter::integratedLocked() const {
    uint64_t count = 0;
    double energy = 0.0;
    for (int bin = 0; bin < bins; ++bin) {
        count += blockCount[bin];
        energy += blockEnergy[bin];
    }
    if (count == 0) return -HUGE_VAL;
    const double threshold = lufsOf(energy / double(count)) + relativeGate;
    count = 0;
    energy = 0.0;
    for (int bin = 0; bin < bins; ++bin) {
        // The bin that holds the threshold counts, as every bin above it (the
        // last bin holds everything louder).
        if (bin < bins - 1 && absoluteGate + (bin + 1) / 10.0 <= threshold) continue;
        count += blockCount[bin];
        energy += blockEnergy[bin];
    }
    return count ? lufsOf(energy / double(count)) : -HUGE_VAL;
}

double LoudnessMeter::rangeLocked() const {
    double value = 0.0;
    if (!state || frames == 0) return value;
    if (ebur128_loudness_range(stateOf(state), &value) != EBUR128_SUCCESS || !std::isfinite(value)) return 0.0;
    return value;
}

double LoudnessMeter::truePeakLocked() const {
    if (!state || frames == 0) return -HUGE_VAL;
    double peak = 0.0;
    for (unsigned channel = 0; channel < 2; ++channel) {
        double value = 0.0;
        if (ebur128_true_peak(stateOf(state), channel, &value) == EBUR128_SUCCESS && std::isfinite(value))
            peak = std::max(peak, value);
    }
    return peak > 0.0 ? 20.0 * std::log10(peak) : -HUGE_VAL;
}

double LoudnessMeter::momentary() const {
    std::lock_guard<std::mutex> guard(mutex);
    return momentaryLocked();
}

double LoudnessMeter::shortTerm() const {
    std::lock_guard<std::mutex> guard(mutex);
    return shortTermLocked();
}

double LoudnessMeter::integrated() const {
    std::lock_guard<std::mutex> guard(mutex);
    return integratedLocked();
}

double LoudnessMeter::range() const {
    std::lock_guard<std::mutex> guard(mutex);
    return rangeLocked();
}

double LoudnessMeter::truePeak() const {
    std::lock_guard<std::mutex> guard(mutex);
    return truePeakLocked();
}

Loudness LoudnessMeter::snapshot() const {
    std::lock_guard<std::mutex> guard(mutex);
    Loudness l;
    l.metered = true;
    l.momentary = momentaryLocked();
    l.shortTerm = shortTermLocked();
    l.integrated = integratedLocked();
    l.range = rangeLocked();
    l.truePeak = truePeakLocked();
    l.seconds = frequency ? static_cast<double>(frames) / frequency : 0.0;
    return l;
}

void LoudnessMeter::reset(uint32_t rate) {
    std::lock_guard<std::mutex> guard(mutex);
    if (rate) frequency = rate;
    auto* st = stateOf(state);
    if (st) ebur128_destroy(&st);
    state = ebur128_init(2, frequency, meterMode);
    blockStep = (frequency + 5) / 10;
    frames = 0;
    std::fill(std::begin(blockCount), std::end(blockCount), 0);
    std::fill(std::begin(blockEnergy), std::end(blockEnergy), 0.0);
}

}  // namespace aldevice

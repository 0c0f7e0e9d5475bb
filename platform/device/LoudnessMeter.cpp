// The loudness meter over libebur128, and its own true peak.
#include "platform/device/LoudnessMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <cstring>

namespace aldevice {

namespace {

// Where the rate divides into 100 ms blocks (every rate that is a multiple
// of 10 Hz) the meter is wholly its own: the K-weighting filter as
// libebur128 designs and runs it (weigh), the energy of each 100 ms summed as
// the frames pass, the 400 ms and 3 s blocks their means (subBlock), the
// momentary and short-term figures from the weighted energies of the last
// 3 s, the loudness range in libebur128's histogram. libebur128 filtered
// each channel apart through its state in memory and summed 400 ms every
// 100 ms and 3 s every second. At other rates libebur128 measures, in
// histogram mode (fixed tables: adding frames never allocates).
// The gating of the integrated loudness is the meter's own at every rate
// (see addBlockEnergy), and so is the true peak (TruePeak): libebur128's
// costs several times its loudness filtering.
constexpr int libraryRangeMode = EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_LRA | EBUR128_MODE_HISTOGRAM;

// The 4x interpolator of ITU-R BS.1770, phase by phase; output n of phase p
// is the sum over k of coefficients[p][k] * x[n - k]. Phase 0 nearly passes
// the samples through, phase 2 lies half way between them.
constexpr float coefficients[4][TruePeak::taps] = {
    {0.0017089843750f, 0.0109863281250f, -0.0196533203125f, 0.0332031250000f, -0.0594482421875f, 0.1373291015625f,
     0.9721679687500f, -0.1022949218750f, 0.0476074218750f, -0.0266113281250f, 0.0148925781250f, -0.0083007812500f},
    {-0.0291748046875f, 0.0292968750000f, -0.0517578125000f, 0.0891113281250f, -0.1665039062500f, 0.4650878906250f,
     0.7797851562500f, -0.2003173828125f, 0.1015625000000f, -0.0582275390625f, 0.0330810546875f, -0.0189208984375f},
    {-0.0189208984375f, 0.0330810546875f, -0.0582275390625f, 0.1015625000000f, -0.2003173828125f, 0.7797851562500f,
     0.4650878906250f, -0.1665039062500f, 0.0891113281250f, -0.0517578125000f, 0.0292968750000f, -0.0291748046875f},
    {-0.0083007812500f, 0.0148925781250f, -0.0266113281250f, 0.0476074218750f, -0.1022949218750f, 0.9721679687500f,
     0.1373291015625f, -0.0594482421875f, 0.0332031250000f, -0.0196533203125f, 0.0109863281250f, 0.0017089843750f},
};
// The phases used at 4x, and at 2x (the samples and half way between).
constexpr int fourPhases[] = {0, 1, 2, 3};
constexpr int twoPhases[] = {0, 2};

// A float sum of 12 products is within 12 * 2^-24 (relative, about 7e-7) of
// the exact sum of their magnitudes; the bound allows 1e-5.
constexpr double roundingMargin = 1.0 + 1e-5;
constexpr float heldMagnitude = 1e30f;

// Four floats at a time (plain C++ where the compiler has no vectors of them).
typedef float Four __attribute__((vector_size(16)));
// Two doubles at a time: the two channels of the loudness filter.
typedef double Two __attribute__((vector_size(16)));

Four loadFour(const float* p) {
    Four v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// A 16-bit file (written with saturation) holds at its limit every sample
// that rounds to +-32767 or beyond.
constexpr float fullScaleFrom = 32766.5f / 32767.0f;
// The same as the bits of a magnitude: positive floats order as their bits.
const uint32_t fullScaleBits = [] {
    uint32_t bits;
    std::memcpy(&bits, &fullScaleFrom, sizeof bits);
    return bits;
}();

constexpr double absoluteGate = -70.0;  // LUFS
constexpr double relativeGate = -10.0;  // LU below the loudness of the blocks above the absolute gate

double energyOf(double lufs) { return std::pow(10.0, (lufs + 0.691) / 10.0); }
double lufsOf(double energy) { return energy > 0.0 ? -0.691 + 10.0 * std::log10(energy) : -HUGE_VAL; }

// The loudness range's histogram, as libebur128 keeps it: short-term
// energies in bins 0.1 LU wide from -70 LUFS, each read as the energy of its
// middle, the range the spread between the 10th and the 95th percentile of
// the blocks above a gate 20 LU below their mean.
struct RangeBins {
    double lower[LoudnessMeter::rangeBins + 1];  // where each bin begins (energy)
    double middle[LoudnessMeter::rangeBins];     // the energy a bin stands for
    RangeBins() {
        for (int i = 0; i <= LoudnessMeter::rangeBins; ++i)
            lower[i] = std::pow(10.0, (i / 10.0 - 70.0 + 0.691) / 10.0);
        for (int i = 0; i < LoudnessMeter::rangeBins; ++i)
            middle[i] = std::pow(10.0, (i / 10.0 - 69.95 + 0.691) / 10.0);
    }
    // The bin of an energy at or above the first bin's start.
    size_t binOf(double energy) const {
        size_t low = 0, high = LoudnessMeter::rangeBins;
        do {
            const size_t mid = (low + high) / 2;
            if (energy >= lower[mid]) low = mid;
            else high = mid;
        } while (high - low != 1);
        return low;
    }
};

const RangeBins& rangeTable() {
    static const RangeBins bins;
    return bins;
}

double rangeLufsOf(double energy) { return 10.0 * (std::log(energy) / std::log(10.0)) - 0.691; }

ebur128_state* stateOf(void* p) { return static_cast<ebur128_state*>(p); }

// A figure as libebur128 gives it, or minus infinity when it gives none.
double lufs(int status, double value) {
    if (status != EBUR128_SUCCESS || std::isnan(value)) return -HUGE_VAL;
    return value;
}

// Copies `n` samples, those that are not finite and the subnormal ones made
// zero, and counts those at full scale. Decided on the bits (an exponent of
// all ones or all zeros), in a loop the compiler turns into vector code.
uint64_t sanitise(const float* from, float* to, size_t n) {
    uint32_t loud = 0;
    for (size_t k = 0; k < n; ++k) {
        uint32_t bits;
        std::memcpy(&bits, from + k, sizeof bits);
        const uint32_t exponent = bits & 0x7F800000u;
        const uint32_t keep = (exponent != 0x7F800000u && exponent != 0) ? 0xFFFFFFFFu : 0u;
        bits &= keep;
        float v;
        std::memcpy(&v, &bits, sizeof v);
        to[k] = v;
        loud += (bits & 0x7FFFFFFFu) >= fullScaleBits ? 1u : 0u;
    }
    return loud;
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

TruePeak::TruePeak(uint32_t frequency, bool skip) : skipping(skip) { reset(frequency); }

void TruePeak::reset(uint32_t frequency) {
    if (frequency) phases = frequency < 96000 ? 4 : frequency <= 192000 ? 2 : 1;
    double most = 0.0;
    const int* used = phases == 4 ? fourPhases : twoPhases;
    for (uint32_t p = 0; phases > 1 && p < phases; ++p) {
        double sum = 0.0;
        for (float h : coefficients[used[p]]) sum += std::fabs(double(h));
        most = std::max(most, sum);
    }
    bound = most * roundingMargin;
    largest = 0.0f;
    filtered = skipped = 0;
    for (auto& channel : line) std::fill(std::begin(channel), std::end(channel), 0.0f);
}

void TruePeak::add(const float* samples, size_t frames) {
    while (frames > 0) {
        const size_t n = std::min(frames, blockFrames);
        addBlock(samples, n);
        samples += 2 * n;
        frames -= n;
    }
}

void TruePeak::addBlock(const float* samples, size_t frames) {
    constexpr size_t kept = taps - 1;
    for (int c = 0; c < 2; ++c) {
        float* x = line[c];
        float history = 0.0f, block = 0.0f;
        for (size_t k = 0; k < kept; ++k) history = std::max(history, std::fabs(x[k]));
        for (size_t k = 0; k < frames; ++k) {
            const float v = std::min(heldMagnitude, std::max(-heldMagnitude, samples[2 * k + c]));
            x[kept + k] = v;
            block = std::max(block, std::fabs(v));
        }
        largest = std::max(largest, block);  // the samples themselves
        if (phases > 1) {
            // No value of the block's outputs can exceed the largest input in
            // the filter's reach times the phase's sum of tap magnitudes.
            if (skipping && double(std::max(history, block)) * bound <= double(largest)) {
                ++skipped;
            } else {
                ++filtered;
                largest = std::max(largest, filter(x, frames));
            }
        }
        std::memmove(x, x + frames, kept * sizeof(float));
    }
}

// The largest magnitude of the interpolated values of `frames` outputs, whose
// inputs start taps - 1 samples into `x`. Every output is computed by the
// same vector code in the same order, whatever block it falls in (the
// padding past the block is computed and ignored), so the figures do not
// depend on how the audio is split.
float TruePeak::filter(const float* x, size_t frames) const {
    constexpr size_t kept = taps - 1;
    const int* used = phases == 4 ? fourPhases : twoPhases;
    Four most = {0.0f, 0.0f, 0.0f, 0.0f};
    float tail = 0.0f;
    for (size_t n = 0; n < frames; n += 4) {
        for (uint32_t p = 0; p < phases; ++p) {
            const float* h = coefficients[used[p]];
            Four y = {0.0f, 0.0f, 0.0f, 0.0f};
            for (size_t k = 0; k < taps; ++k) y += h[k] * loadFour(x + kept + n - k);
            const Four magnitude = y < 0.0f ? -y : y;
            if (n + 4 <= frames) {
                most = most < magnitude ? magnitude : most;
            } else {
                for (size_t lane = 0; n + lane < frames; ++lane) tail = std::max(tail, magnitude[lane]);
            }
        }
    }
    return std::max({most[0], most[1], most[2], most[3], tail});
}

LoudnessMeter::LoudnessMeter(uint32_t rate) : frequency(rate), peak(rate) { start(); }

void LoudnessMeter::start() {
    blockStep = (frequency + 5) / 10;
    // libebur128 measures a window of ms * rate / 1000 frames: 100 ms are
    // exactly the meter's block where the rate is a multiple of 10 Hz.
    ownRange = uint64_t(frequency) * 100 / 1000 == blockStep;
    subBlocks = 0;
    std::fill(std::begin(recent), std::end(recent), 0.0);
    std::fill(std::begin(rangeCount), std::end(rangeCount), 0);
    state = nullptr;
    energies.clear();
    if (!ownRange) {
        state = ebur128_init(2, frequency, libraryRangeMode);
        return;
    }
    // The K-weighting of BS.1770 as libebur128 designs it for the rate: a
    // high shelf and a high pass, one filter of order 4.
    const double pi = 3.14159265358979323846;
    double K = std::tan(pi * 1681.974450955533 / double(frequency));
    double Q = 0.7071752369554196;
    const double Vh = std::pow(10.0, 3.999843853973347 / 20.0);
    const double Vb = std::pow(Vh, 0.4996667741545416);
    const double a0 = 1.0 + K / Q + K * K;
    const double shelfB[3] = {(Vh + Vb * K / Q + K * K) / a0, 2.0 * (K * K - Vh) / a0, (Vh - Vb * K / Q + K * K) / a0};
    const double shelfA[3] = {1.0, 2.0 * (K * K - 1.0) / a0, (1.0 - K / Q + K * K) / a0};
    K = std::tan(pi * 38.13547087602444 / double(frequency));
    Q = 0.5003270373238773;
    const double passB[3] = {1.0, -2.0, 1.0};
    const double passA[3] = {1.0, 2.0 * (K * K - 1.0) / (1.0 + K / Q + K * K), (1.0 - K / Q + K * K) / (1.0 + K / Q + K * K)};
    for (int k = 0; k < 5; ++k) {
        kb[k] = ka[k] = 0.0;
        for (int i = std::max(0, k - 2); i <= std::min(2, k); ++i) {
            kb[k] += shelfB[i] * passB[k - i];
            ka[k] += shelfA[i] * passA[k - i];
        }
    }
    for (auto& channel : history) std::fill(std::begin(channel), std::end(channel), 0.0);
    blockSum[0] = blockSum[1] = 0.0;
    // The weighted energy of every frame of the last 3 s, for the
    // momentary and short-term figures at any moment.
    energies.assign(recentBlocks * blockStep, 0.0);
    energyAt = 0;
}

void LoudnessMeter::weigh(const float* samples, size_t n) {
    // Both channels at once, one channel in each half of a pair of doubles,
    // the filter in the form libebur128 runs it (direct form II) and with
    // each channel's terms in the same order as one channel alone: the state
    // and coefficients fit in registers instead of being spilled every
    // sample.
    Two v1 = {history[0][1], history[1][1]}, v2 = {history[0][2], history[1][2]};
    Two v3 = {history[0][3], history[1][3]}, v4 = {history[0][4], history[1][4]};
    const Two a1 = {ka[1], ka[1]}, a2 = {ka[2], ka[2]}, a3 = {ka[3], ka[3]}, a4 = {ka[4], ka[4]};
    const Two b0 = {kb[0], kb[0]}, b1 = {kb[1], kb[1]}, b2 = {kb[2], kb[2]}, b3 = {kb[3], kb[3]},
              b4 = {kb[4], kb[4]};
    Two sum = {blockSum[0], blockSum[1]};
    const size_t ringSize = energies.size();
    double* ring = energies.data();
    size_t at = energyAt;
    for (size_t k = 0; k < n; ++k) {
        const Two x = {double(samples[2 * k]), double(samples[2 * k + 1])};
        // The older terms first: only the last one waits for the previous
        // sample's result (a short chain per sample).
        const Two v0 = x - a4 * v4 - a3 * v3 - a2 * v2 - a1 * v1;
        const Two y = b0 * v0 + b1 * v1 + b2 * v2 + b3 * v3 + b4 * v4;
        v4 = v3;
        v3 = v2;
        v2 = v1;
        v1 = v0;
        const Two energy = y * y;
        sum += energy;
        ring[at] = energy[0] + energy[1];
        if (++at == ringSize) at = 0;
    }
    energyAt = at;
    blockSum[0] = sum[0];
    blockSum[1] = sum[1];
    // A history run down to subnormal values is silence (libebur128 does the same).
    const Two kept[4] = {v1, v2, v3, v4};
    for (int c = 0; c < 2; ++c)
        for (int j = 1; j < 5; ++j) history[c][j] = std::fabs(kept[j - 1][c]) < DBL_MIN ? 0.0 : kept[j - 1][c];
}

double LoudnessMeter::recentEnergy(size_t blocks) const {
    // The mean over the last `blocks` 100 ms, frames before the start counting as silence.
    const size_t count = blocks * blockStep;
    double sum = 0.0;
    size_t at = energyAt;
    for (size_t k = 0; k < count; ++k) {
        at = at == 0 ? energies.size() - 1 : at - 1;
        sum += energies[at];
    }
    return sum / double(count);
}

LoudnessMeter::~LoudnessMeter() {
    auto* st = stateOf(state);
    if (st) ebur128_destroy(&st);
}

void LoudnessMeter::add(const float* samples, size_t count) {
    std::lock_guard<std::mutex> guard(mutex);
    if (!ownRange && !state) return;
    while (count > 0) {
        // Up to the end of the next 100 ms, where a block ends.
        const uint64_t untilBlock = blockStep - frames % blockStep;
        const size_t n = static_cast<size_t>(std::min<uint64_t>({count, chunkFrames, untilBlock}));
        fullScale += sanitise(samples, chunk, n * 2);
        if (ownRange) weigh(chunk, n);
        else ebur128_add_frames_float(stateOf(state), chunk, n);
        peak.add(chunk, n);
        frames += n;
        samples += n * 2;
        count -= n;
        if (frames % blockStep != 0) continue;
        if (ownRange) subBlock();
        else if (frames >= 4 * blockStep) addBlock();
    }
}

void LoudnessMeter::subBlock() {
    // The energy of the 100 ms just ended; the 400 ms and 3 s blocks are
    // the means of the last 4 and 30 of them, as libebur128 sums them.
    const double energy = (blockSum[0] + blockSum[1]) / double(blockStep);
    blockSum[0] = blockSum[1] = 0.0;
    recent[subBlocks % recentBlocks] = energy;
    ++subBlocks;
    if (subBlocks >= 4) {
        double sum = 0.0;
        for (uint64_t k = subBlocks - 4; k < subBlocks; ++k) sum += recent[k % recentBlocks];
        addBlockEnergy(sum / 4.0);
    }
    // A short-term block each second from the third on, as libebur128
    // takes them for the range.
    if (subBlocks >= recentBlocks && (subBlocks - recentBlocks) % 10 == 0) {
        double sum = 0.0;
        for (double e : recent) sum += e;
        const double shortTerm = sum / double(recentBlocks);
        const RangeBins& table = rangeTable();
        if (shortTerm >= table.lower[0]) ++rangeCount[table.binOf(shortTerm)];
    }
}

void LoudnessMeter::addBlock() {
    double block = -HUGE_VAL;
    if (ebur128_loudness_momentary(stateOf(state), &block) != EBUR128_SUCCESS || !(block > absoluteGate)) return;
    addBlockEnergy(energyOf(block));
}

void LoudnessMeter::addBlockEnergy(double energy) {
    const double block = lufsOf(energy);
    if (!(block > absoluteGate)) return;
    const int bin = std::min(bins - 1, static_cast<int>((block - absoluteGate) * 10.0));
    ++blockCount[bin];
    blockEnergy[bin] += energy;
}

double LoudnessMeter::momentaryLocked() const {
    double value = -HUGE_VAL;
    if (ownRange) return frames == 0 ? value : lufsOf(recentEnergy(4));
    if (!state || frames == 0) return value;
    const int status = ebur128_loudness_momentary(stateOf(state), &value);
    return lufs(status, value);
}

double LoudnessMeter::shortTermLocked() const {
    double value = -HUGE_VAL;
    if (ownRange) return frames == 0 ? value : lufsOf(recentEnergy(recentBlocks));
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
    if (frames == 0 || (!ownRange && !state)) return value;
    if (ownRange) value = ownRangeLocked();
    else if (ebur128_loudness_range(stateOf(state), &value) != EBUR128_SUCCESS) return 0.0;
    return std::isfinite(value) ? value : 0.0;
}

double LoudnessMeter::ownRangeLocked() const {
    const RangeBins& table = rangeTable();
    uint64_t count = 0;
    double power = 0.0;
    for (int bin = 0; bin < rangeBins; ++bin) {
        count += rangeCount[bin];
        power += double(rangeCount[bin]) * table.middle[bin];
    }
    if (count == 0) return 0.0;
    const double gate = 0.01 * (power / double(count));  // 20 LU below the mean
    size_t from = 0;
    if (gate >= table.lower[0]) {
        from = table.binOf(gate);
        if (gate > table.middle[from]) ++from;
    }
    count = 0;
    for (size_t bin = from; bin < size_t(rangeBins); ++bin) count += rangeCount[bin];
    if (count == 0) return 0.0;
    const uint64_t low = static_cast<uint64_t>(double(count - 1) * 0.1 + 0.5);
    const uint64_t high = static_cast<uint64_t>(double(count - 1) * 0.95 + 0.5);
    uint64_t seen = 0;
    size_t bin = from;
    while (seen <= low) seen += rangeCount[bin++];
    const double lowEnergy = table.middle[bin - 1];
    while (seen <= high) seen += rangeCount[bin++];
    const double highEnergy = table.middle[bin - 1];
    return rangeLufsOf(highEnergy) - rangeLufsOf(lowEnergy);
}

double LoudnessMeter::truePeakLocked() const {
    if (frames == 0 || (!ownRange && !state)) return -HUGE_VAL;
    const double value = peak.peak();
    return value > 0.0 ? 20.0 * std::log10(value) : -HUGE_VAL;
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
    l.fullScaleSamples = fullScale;
    return l;
}

void LoudnessMeter::reset(uint32_t rate) {
    std::lock_guard<std::mutex> guard(mutex);
    if (rate) frequency = rate;
    auto* st = stateOf(state);
    if (st) ebur128_destroy(&st);
    start();
    peak.reset(frequency);
    frames = 0;
    fullScale = 0;
    std::fill(std::begin(blockCount), std::end(blockCount), 0);
    std::fill(std::begin(blockEnergy), std::end(blockEnergy), 0.0);
}

}  // namespace aldevice

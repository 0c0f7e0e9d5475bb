#pragma once
// A loudness meter of the mix (EBU R128 / ITU-R BS.1770): momentary (400 ms),
// short-term (3 s) and gated integrated loudness in LUFS and the loudness
// range in LU (its own measurement, as libebur128 measures, at rates that
// are multiples of 10 Hz; libebur128's at others), and the true peak in
// dBTP by the meter's own oversampling (TruePeak below), of interleaved
// stereo float frames.
//
// The device feeds it every period it mixes, on the thread that mixes;
// add() allocates nothing and is cheap beside the mixer. Samples that are
// not finite (a broken decoder's NaN or infinity) count as silence and
// subnormal ones as zero, so every figure is a number or minus infinity
// (silence), never NaN.
//
// Threads: any thread; one lock guards the measurement, and readers take a
// consistent snapshot under it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace aldevice {

// One reading of the meter. Loudness in LUFS and peaks in dBTP are minus
// infinity for silence (and before any audio).
struct Loudness {
    bool metered = false;  // false: the meter is off, or the output's mix is out of its sight
    bool heard = true;     // false: the output was lost; the figures are of the mix, not of what was heard
    double momentary = -HUGE_VAL;
    double shortTerm = -HUGE_VAL;
    double integrated = -HUGE_VAL;
    double range = 0.0;  // LU
    double truePeak = -HUGE_VAL;
    double seconds = 0.0;  // audio measured since the last reset
    uint64_t fullScaleSamples = 0;  // samples of either channel that a 16-bit file holds at its limit
};

// "-23.0", or "-inf" for minus infinity (and for anything not a number).
std::string formatLevel(double value);
// "integrated -23.0 LUFS, range 0.0 LU, true peak -20.0 dBTP": the figures
// of a whole run.
std::string describeRun(const Loudness& loudness);

// The true peak of interleaved stereo frames: the samples oversampled by the
// polyphase interpolator of ITU-R BS.1770 (48 taps, 4 phases of 12) - 4x below
// 96 kHz, 2x (its half-sample phase) up to 192 kHz, not at all above - and the
// largest magnitude of the samples and of what lies between them.
//
// Each call's samples form a block. A block whose largest magnitude, with that
// of the samples still in the filter, times the largest sum of magnitudes of
// a phase's taps cannot exceed the peak found so far is not filtered; only the
// filter's history moves on. That bound holds for every value the filter
// would compute (with a margin for float rounding), so the peak is the one
// filtering every block gives, bit for bit; skipping off filters every block.
//
// Expects finite samples (the meter sanitises them); magnitudes beyond 1e30
// are held there so that the filter cannot overflow. add() never allocates.
// Not thread-safe: the meter calls it under its lock.
class TruePeak {
public:
    static constexpr size_t taps = 12;
    static constexpr size_t blockFrames = 1024;  // longer calls are split into blocks of this size

    explicit TruePeak(uint32_t frequency = 48000, bool skipping = true);
    void add(const float* interleavedStereo, size_t frames);
    float peak() const { return largest; }  // linear, the largest magnitude since the reset
    uint32_t oversampling() const { return phases; }
    uint64_t filteredBlocks() const { return filtered; }  // channel blocks filtered
    uint64_t skippedBlocks() const { return skipped; }    // channel blocks skipped
    // Forgets the peak and the history; a frequency of 0 keeps the current one.
    void reset(uint32_t frequency = 0);

private:
    void addBlock(const float* interleavedStereo, size_t frames);
    float filter(const float* line, size_t frames) const;

    bool skipping;
    uint32_t phases = 4;  // 4, 2 or 1
    double bound = 0.0;   // the largest sum of a used phase's tap magnitudes, with the rounding margin
    float largest = 0.0f;
    uint64_t filtered = 0;
    uint64_t skipped = 0;
    // Per channel: the last taps - 1 samples, then the block, padded to a
    // multiple of 4 (the filter computes 4 values at a time).
    float line[2][taps - 1 + blockFrames + 4] = {};
};

class LoudnessMeter {
public:
    explicit LoudnessMeter(uint32_t frequency = 48000);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // Measures `frames` interleaved stereo frames.
    void add(const float* interleavedStereo, size_t frames);
    // Every figure at once (metered true): momentary, short-term and gated
    // integrated loudness in LUFS, range in LU, the true peak since the
    // reset in dBTP.
    Loudness snapshot() const;
    // Forgets everything measured; a frequency of 0 keeps the current one.
    void reset(uint32_t frequency = 0);

    static constexpr int rangeBins = 1000;  // the loudness range's histogram: 0.1 LU wide from -70 LUFS

private:
    static constexpr size_t chunkFrames = 1024;
    // Gated integration: the energy of every 400 ms block (one each 100 ms)
    // summed into a bin of its loudness, 0.1 LU wide from -70 LUFS (the
    // absolute gate) up. The gates fall between bins; the sums keep the
    // blocks' own energies, so a steady tone reads its exact level.
    static constexpr int bins = 1000;

    void start();  // the filter or the library's state, and the blocks, for the current frequency
    void weigh(const float* interleavedStereo, size_t frames);  // the meter's own K-weighting
    double recentEnergy(size_t blocks) const;  // the mean weighted energy of the last blocks of 100 ms
    void subBlock();  // a 100 ms block has ended (the meter's own measurement)
    void addBlock();  // a 100 ms block has ended (libebur128's range)
    void addBlockEnergy(double energy);  // a 400 ms block for the integrated loudness
    double ownRangeLocked() const;

    double momentaryLocked() const;
    double shortTermLocked() const;
    double integratedLocked() const;
    double rangeLocked() const;
    double truePeakLocked() const;

    mutable std::mutex mutex;
    void* state = nullptr;  // ebur128_state* at the rates libebur128 measures; null when it could not set up (figures read -inf)
    uint32_t frequency;
    uint64_t frames = 0;
    uint64_t blockStep = 4800;  // frames in 100 ms
    uint64_t blockCount[bins] = {};
    double blockEnergy[bins] = {};
    // The meter's own measurement: the filter's coefficients and history,
    // the sums of the 100 ms under way, the weighted energy of each frame of
    // the last 3 s (a ring), the energies of the last 3 s in 100 ms blocks,
    // and the histogram of the short-term blocks.
    static constexpr size_t recentBlocks = 30;
    bool ownRange = true;
    double kb[5] = {}, ka[5] = {};
    double history[2][5] = {};
    double blockSum[2] = {};
    std::vector<double> energies;  // made at the start and the resets: add() never allocates
    size_t energyAt = 0;
    uint64_t subBlocks = 0;  // 100 ms blocks ended since the reset
    double recent[recentBlocks] = {};
    uint64_t rangeCount[rangeBins] = {};
    TruePeak peak;
    uint64_t fullScale = 0;
    float chunk[chunkFrames * 2];  // the sanitised samples on their way in
};

}  // namespace aldevice

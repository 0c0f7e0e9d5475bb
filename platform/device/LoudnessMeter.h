#pragma once
// A loudness meter of the mix (EBU R128 / ITU-R BS.1770, over libebur128):
// momentary (400 ms), short-term (3 s) and gated integrated loudness in LUFS,
// the loudness range in LU and the true peak in dBTP of interleaved stereo
// float frames.
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
};

// "-23.0", or "-inf" for minus infinity (and for anything not a number).
std::string formatLevel(double value);
// "integrated -23.0 LUFS, range 0.0 LU, true peak -20.0 dBTP": the figures
// of a whole run.
std::string describeRun(const Loudness& loudness);

class LoudnessMeter {
public:
    explicit LoudnessMeter(uint32_t frequency = 48000);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // Measures `frames` interleaved stereo frames.
    void add(const float* interleavedStereo, size_t frames);
    double momentary() const;   // LUFS
    double shortTerm() const;   // LUFS
    double integrated() const;  // LUFS, gated
    double range() const;       // LU
    double truePeak() const;    // dBTP, the largest since the reset
    // Every figure at once (metered true).
    Loudness snapshot() const;
    // Forgets everything measured; a frequency of 0 keeps the current one.
    void reset(uint32_t frequency = 0);

private:
    static constexpr size_t chunkFrames = 1024;
    // Gated integration: the energy of every 400 ms block (one each 100 ms)
    // summed into a bin of its loudness, 0.1 LU wide from -70 LUFS (the
    // absolute gate) up. The gates fall between bins; the sums keep the
    // blocks' own energies, so a steady tone reads its exact level.
    static constexpr int bins = 1000;

    void addBlock();

    double momentaryLocked() const;
    double shortTermLocked() const;
    double integratedLocked() const;
    double rangeLocked() const;
    double truePeakLocked() const;

    mutable std::mutex mutex;
    void* state = nullptr;  // ebur128_state*; null when the library could not set up (figures read -inf)
    uint32_t frequency;
    uint64_t frames = 0;
    uint64_t blockStep = 4800;  // frames in 100 ms
    uint64_t blockCount[bins] = {};
    double blockEnergy[bins] = {};
    float chunk[chunkFrames * 2];  // the sanitised samples on their way in
};

}  // namespace aldevice

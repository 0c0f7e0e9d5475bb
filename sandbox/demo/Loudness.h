#pragma once
// The loudness of a sound file as a person hears it in a game (EBU R128):
// integrated loudness, loudness range, true peak, the samples at full scale,
// and the short-term loudness every tenth of a second for the picture. The
// demo prints these at the end of a rendering; the tests and zsmeter use the
// same function.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace zsdemo {

struct LoudnessFigures {
    bool ok = false;             // false: the file could not be read
    double integrated = -HUGE_VAL;  // LUFS, gated; -inf for silence
    double range = 0.0;          // LU
    double truePeak = -HUGE_VAL;    // dBTP
    uint64_t fullScaleSamples = 0;  // samples of any channel at the 16-bit limit
    uint64_t samples = 0;           // samples of all channels
    double seconds = 0.0;
    // Short-term (3 s) loudness in LUFS at the end of every 100 ms; -inf in
    // silence.
    std::vector<double> shortTerm;
    // Root mean square of both channels over every 10 ms.
    std::vector<double> envelope;
};

// Measures a 16-bit (or float) WAV file.
LoudnessFigures measureLoudness(const std::string& path);

// "integrated -24.1 LUFS, range 6.0 LU, true peak -2.3 dBTP, 0 samples at
// full scale".
std::string describeLoudness(const LoudnessFigures& figures);

}  // namespace zsdemo

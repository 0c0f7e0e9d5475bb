#pragma once
// How a live recording of a session differs from its rendering: both
// envelopes (RMS every 10 ms) are lined up by their cross-correlation over
// the whole recordings, then compared window by window, each window moved a
// little to fit (a live run keeps real time only roughly). Windows where
// both lie below -60 dBFS are not counted. zsmeter and the live tests share
// this.
#include <cstdint>
#include <vector>

namespace zsdemo {

struct ComparisonSettings {
    double window = 4.0;     // seconds a window
    double shift = 0.25;     // seconds each window may move from the overall lag
    double earliest = -3.0;  // the overall lag of live against rendered lies in
    double latest = 3.0;     // [earliest, latest] seconds
};

struct WindowDifference {
    double from = 0, to = 0;            // seconds of the rendering
    double live = 0, rendered = 0;      // dBFS; -inf in silence
    bool counted = false;               // false: both below -60 dBFS
    double difference = 0;              // live - rendered, dB (+inf when one is silent)
    double shift = 0;                   // seconds the live window moved beyond the overall lag
};

struct Comparison {
    double lag = 0;  // seconds live is behind the rendering
    std::vector<WindowDifference> windows;
    double largest = 0;  // the largest |difference| of the counted windows, dB
};

// Envelopes as LoudnessFigures::envelope has them (every 10 ms).
Comparison compareEnvelopes(const std::vector<double>& live, const std::vector<double>& rendered,
                            const ComparisonSettings& settings = {});

// The envelope of interleaved stereo samples at `rate`: RMS of both
// channels every 10 ms (a last part shorter than that counts too).
std::vector<double> envelopeOf(const std::vector<float>& stereo, uint32_t rate);

}  // namespace zsdemo

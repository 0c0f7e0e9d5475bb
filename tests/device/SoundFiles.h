#pragma once
// Small sound files written for the device tests with libsndfile.
#include <string>
#include <vector>

namespace soundfiles {

enum class Format { Wav, Ogg, Flac, Opus, Mp3 };

// A sine tone (mono or stereo) of the given length at `rate`; amplitude 0.5.
void writeTone(const std::string& path, double seconds, double hertz, int rate, int channels, Format format);

// RMS of one channel (0 left, 1 right) of interleaved stereo samples.
double rms(const std::vector<float>& stereo, int channel);

}  // namespace soundfiles

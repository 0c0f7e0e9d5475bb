#pragma once
// Samples on their way to an output: anything beyond full scale saturates
// at it, never wraps round to the other sign, and anything that is not a
// number becomes silence.
//
// Threads: any thread (no state).
#include <cstddef>
#include <cstdint>
#include <string>

namespace aldevice {

// Clamps every sample to [-1, 1]; NaN becomes 0.
void saturate(float* samples, size_t count);

// Makes libsndfile saturate the floats it converts to integers when writing
// `file` (an SNDFILE* open for writing) instead of letting them wrap. False
// when the file refuses.
bool saturateWhenWriting(void* file);

// A 16-bit stereo WAV file at `rate` opened for writing (an SNDFILE*) that
// saturates as above, or null (sf_strerror(nullptr) says why).
void* openSaturatingWav(const std::string& path, uint32_t rate);

}  // namespace aldevice

#pragma once
// OpenAL Soft's hand-pumped loopback output as the only listed device, for
// tests that check what the real mixer renders: render blocks on the test's
// thread, skip the device's de-click ramp, measure a span of them.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/device/AlDevice.h"
#include "tests/support/RecordingDevice.h"

namespace testsupport {

// Writes a mono 16-bit WAV of `frames` frames of a sine of `hertz` at
// `amplitude` (the file's directory must exist).
void writeSine(const std::string& path, int rate, double hertz, float amplitude, size_t frames);

class Loopback {
public:
    // Installs a new loopback AlDevice; every render mixes `blockFrames`
    // frames of interleaved stereo.
    explicit Loopback(uint32_t blockFrames = 1024);
    Loopback(const Loopback&) = delete;
    Loopback& operator=(const Loopback&) = delete;

    aldevice::AlDevice& device() { return *alDevice; }
    // Renders `blocks` blocks and throws them away (time passes, the
    // de-click ramp is skipped).
    void skip(int blocks);
    // Renders `blocks` blocks: the mean square of every sample of both
    // channels, and its root.
    double meanSquare(int blocks);
    double rms(int blocks);

private:
    std::shared_ptr<aldevice::AlDevice> alDevice;
    DeviceProviderGuard provider;
    uint32_t frames;
    std::vector<float> out;
};

}  // namespace testsupport

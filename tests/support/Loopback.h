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
#include "tests/support/ResourceTree.h"

namespace testsupport {

// RMS of samples (0 for none).
double rmsOf(const std::vector<float>& samples);

// The device's statistics lines.
std::vector<std::string> infoOf(Sound3DEffectDevice& device);

// A new effect of `device` with the sound at resource `path`: loaded whole,
// or streamed when `streamed` is given (the stream it is handed back in
// stays open until the caller closes it). `flat`: played without 3D
// placement (no pan, no distance).
Sound3DEffect* loadEffect(Sound3DEffectDevice& device, const std::string& path, bool flat = true,
                          bool looped = false, ResourceStream** streamed = nullptr);

// Content of one sound at 48 kHz in `tree`: "Effects.snd" holds the device
// settings' entry and `record` (e.g. "tone = 'tone.wav', 1.0, ..."), the
// device mixes at 48 kHz, and "/Sounds/" + `file` is a sine as writeSine
// writes it.
void writeToneContent(ResourceTree& tree, const std::string& record, const std::string& file, double hertz,
                      float amplitude, size_t frames);

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
    // Renders `blocks` blocks: the largest magnitude of any sample, and the
    // share of samples at full scale (0.999 or more).
    struct Peaks {
        float peak = 0.0f;
        double atFullScale = 0.0;
    };
    Peaks peaks(int blocks);

private:
    std::shared_ptr<aldevice::AlDevice> alDevice;
    DeviceProviderGuard provider;
    uint32_t frames;
    std::vector<float> out;
};

}  // namespace testsupport

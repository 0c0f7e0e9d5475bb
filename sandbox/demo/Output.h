#pragma once
// How zsdemo paces its frames: in real time (the library's own output plays
// them: sound card, null or a WAV file of its own), or rendering the
// hand-pumped loopback output in step with the frames into a 16-bit WAV file.
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/device/RenderClock.h"
#include "sandbox/demo/Session.h"

namespace aldevice {
class AlDevice;
}

namespace zsdemo {

using aldevice::RenderClock;

// A 16-bit stereo WAV file written as the frames come (held until a large
// piece has gathered, so a write that fails is told a few writes later);
// its header is finished at close.
class WavWriter {
public:
    bool open(const std::string& path, uint32_t frequency);
    bool write(const float* interleaved, uint32_t frames);
    bool close();  // false when anything failed to write
    uint64_t getFrames() const { return frames; }

private:
    static constexpr size_t flushBytes = 256 * 1024;
    void flush();

    std::ofstream file;
    uint32_t frequency = 0;
    uint64_t frames = 0;
    bool ok = false;
    std::vector<int16_t> pending;  // converted samples (little-endian) not yet handed to the file
};

class RealTimePacer : public Pacer {
public:
    using Clock = std::chrono::steady_clock;
    // The clock read and the sleep, the system's unless a test gives its own.
    struct Time {
        std::function<Clock::time_point()> now = [] { return Clock::now(); };
        std::function<void(Clock::time_point)> sleepUntil = [](Clock::time_point t) {
            std::this_thread::sleep_until(t);
        };
    };
    RealTimePacer() = default;
    explicit RealTimePacer(Time time) : time(std::move(time)) {}
    bool frame(double seconds) override;

private:
    Time time;
    // Set by the first frame: the time the session took to start (the
    // content read, the output opened) is no game time to catch up on. A
    // frame that ran long moves it on by as much.
    Clock::time_point start;
    bool started = false;
    double elapsed = 0.0;
};

// Mixes the frames in step with the thread clock: a frame's samples are
// mixed in pieces that end where a library thread's sleep ends, and the
// clock wakes that thread and waits for it before the next piece.
class RenderPacer : public Pacer {
public:
    RenderPacer(std::shared_ptr<aldevice::AlDevice> device, RenderClock& clock)
        : device(std::move(device)), clock(clock) {}
    // Opens the file at the device's mixing rate (after activation).
    bool open(const std::string& path);
    bool frame(double seconds) override;
    std::string status() override;
    bool close();
    uint32_t getFrequency() const { return frequency; }
    uint64_t getFrames() const { return wav.getFrames(); }
    // Time spent inside the mixer.
    double getMixerSeconds() const { return mixerSeconds; }

private:
    bool mix(uint32_t frames);

    std::shared_ptr<aldevice::AlDevice> device;
    RenderClock& clock;
    WavWriter wav;
    uint32_t frequency = 48000;
    double owed = 0.0;  // frames not yet rendered (fractions)
    double mixerSeconds = 0.0, gameSeconds = 0.0;
    std::vector<float> buffer;
};

}  // namespace zsdemo

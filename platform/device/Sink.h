#pragma once
// Where the device's own thread puts each mixed period: the system's sound
// server (PulseAudio) or sound card (ALSA), a WAV file, or nothing (the null
// output). The mixer always renders through OpenAL Soft's loopback device on
// the device's thread; a sink only takes the finished period, so the live
// and the rendered mix are one code path.
//
// The mixer's format is fixed for a device's life (interleaved stereo
// 32-bit floats at the settings' rate); a sink that opens on hardware or a
// server running at another rate or channel count has the server (or ALSA's
// plug layer) convert, so a reopened output never changes the mixer.
//
// Threads: a sink is used by one thread at a time (the device's thread, or
// the device's initialize/uninitialize while that thread is not running).
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace aldevice {

class Sink {
public:
    virtual ~Sink() = default;
    // Hands over `frames` frames. A paced sink blocks until its output has
    // room, which is what paces the device's thread; an unpaced one (a file,
    // nothing) returns at once and the thread keeps time by the steady
    // clock. False when the output is lost (failure() says why); a lost sink
    // is thrown away, never written again.
    virtual bool write(const float* samples, uint32_t frames) = 0;
    virtual bool paced() const = 0;
    // Seconds between a sample handed over now and its being heard (0 when
    // the sink cannot tell or plays to nobody).
    virtual double latency() = 0;
    // "pulseaudio", "alsa", "null" or "wav:PATH".
    virtual std::string name() const = 0;
    virtual std::string failure() const = 0;
};

// A sink that plays to nobody.
std::unique_ptr<Sink> openNullSink();
// A 16-bit stereo WAV file at `rate`, finished when the sink is destroyed.
// With `mixRate` (the rate of the period last mixed, set by the thread that
// writes) the file follows the mixer: a period at another rate begins the
// file again at that rate.
std::unique_ptr<Sink> openWavSink(const std::string& path, uint32_t rate, std::string* why,
                                  const std::atomic<uint32_t>* mixRate = nullptr);
// The sound server named by PULSE_SERVER, else the user's own; null (and
// *why set) when none answers. `bufferFrames` is the server-side buffer the
// sink keeps filled: the output's latency, and how long a write may block.
std::unique_ptr<Sink> openPulseSink(uint32_t rate, uint32_t bufferFrames, std::string* why);
// ALSA's "default" device, for a machine without a sound server.
std::unique_ptr<Sink> openAlsaSink(uint32_t rate, uint32_t bufferFrames, std::string* why);
// The system's output: the sound server, else the sound card. `why` gathers
// both reasons when neither opens.
std::unique_ptr<Sink> openSystemSink(uint32_t rate, uint32_t bufferFrames, std::string* why);

}  // namespace aldevice

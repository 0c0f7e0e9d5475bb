#pragma once
// Where the device's own thread puts each mixed period: the system's sound
// server (PulseAudio) or sound card (ALSA), on Windows the audio engine
// (WASAPI), a WAV file, or nothing (the null output). The mixer always
// renders through OpenAL Soft's loopback device on the device's thread; a
// sink only takes the finished period, so the live and the rendered mix are
// one code path.
//
// The mixer's format is fixed for a device's life (interleaved stereo
// 32-bit floats at the settings' rate); a sink that opens on hardware or a
// server running at another rate or channel count has the server (or ALSA's
// plug layer) convert, so a reopened output never changes the mixer.
//
// No sink ever waits without a limit: a system output that takes no samples
// for `outputPatience` (a sound server stopped, a card that hangs) fails the
// write, and an open that gets no answer within it fails the open. So the
// device's thread never blocks longer than that, and uninitialize (which
// joins it) ends within it plus the buffer whatever the output does. (A
// server that still answers while it plays nothing, as a fresh null sink
// does for up to two seconds, is given a few seconds more: PulseSink.cpp.)
//
// Threads: a sink is used by one thread at a time (the device's thread, or
// the device's initialize/uninitialize while that thread is not running).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace aldevice {

constexpr std::chrono::milliseconds outputPatience{1000};

class Sink {
public:
    virtual ~Sink() = default;
    // Hands over `frames` frames. A paced sink waits until its output has
    // room (never longer than outputPatience without a sign of life from
    // the output), which is what paces the device's thread; an unpaced one
    // (a file, nothing) returns at once and the thread keeps time by the steady
    // clock. False when the output is lost (failure() says why); a lost sink
    // is thrown away, never written again.
    virtual bool write(const float* samples, uint32_t frames) = 0;
    virtual bool paced() const = 0;
    // Seconds between a sample handed over now and its being heard (0 when
    // the sink cannot tell or plays to nobody).
    virtual double latency() = 0;
    // "pulseaudio", "alsa", "wasapi", "null" or "wav:PATH".
    virtual std::string name() const = 0;
    virtual std::string failure() const = 0;
    // How often the output ran dry since the sink opened (the server's
    // under-flow, the card's xrun): a period handed over too late. Any
    // thread may ask.
    virtual uint64_t underflows() const { return 0; }
    // Whether the output is still there (a parked sink is taken back only
    // then).
    virtual bool alive() { return true; }
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
// *why set) when none answers within outputPatience; *hung is set when a
// server took the connection but never answered (a stopped server).
// `bufferFrames` is the server-side buffer the sink keeps filled: the
// output's latency, and how long a write usually waits.
std::unique_ptr<Sink> openPulseSink(uint32_t rate, uint32_t bufferFrames, std::string* why, bool* hung = nullptr);
// The Windows system output: a shared-mode WASAPI stream on the default
// output device, lost when that device goes away or another becomes the
// default (the device's retry then opens on the new one). Null (and *why
// set) when there is no output device or the audio engine does not answer
// within outputPatience (*hung is then set).
std::unique_ptr<Sink> openWasapiSink(uint32_t rate, uint32_t bufferFrames, std::string* why, bool* hung = nullptr);
// ALSA's "default" device, for a machine without a sound server.
std::unique_ptr<Sink> openAlsaSink(uint32_t rate, uint32_t bufferFrames, std::string* why);
// The system's output: the sound server, else the sound card (on Windows:
// the WASAPI output, an engine that does not answer counting as a hung
// server). `why` gathers both reasons when neither opens. A server that
// takes connections but does not answer keeps the card (its own, most
// likely) out of reach: ALSA is then not tried (its "default" may itself be
// that server, with no limit on the wait). With `trustRecentHang`, a server
// found hung less than outputPatience ago is taken as still hung without
// trying again (the listing and the start of a device right after a lost
// output; the same server, as PULSE_SERVER names it).
std::unique_ptr<Sink> openSystemSink(uint32_t rate, uint32_t bufferFrames, std::string* why,
                                     bool trustRecentHang = false);

// The parking place of the system output between two lives of a device's
// mixer. A configuration re-read uninitialises the device and initialises a
// new one (the manager of devices is made again); the sink that played is
// parked at uninitialize and taken back by the next initialize at the same
// rate, so the server's stream, and what it holds queued, stays. A sink is
// taken back only for the same server (PULSE_SERVER as it was at parking)
// and while it is alive. A parked sink nobody takes within `parkedFor` is
// closed (by a thread of the park's own), and so is one left at the end of
// the process. Only the system's sinks are parked (a file is finished at
// once, the null sink is nothing).
constexpr std::chrono::milliseconds parkedFor{2000};
void parkSink(std::unique_ptr<Sink> sink, uint32_t rate);
// The parked sink if it plays at `rate` on the same server and is alive
// (the park is then empty), else null.
std::unique_ptr<Sink> takeParkedSink(uint32_t rate);
// Whether a sink that could be taken back (at any rate) is parked, or a
// tail plays on one.
bool sinkParked();
// A configuration re-read's hold (Sound3DDeviceManager::holdOutput): while
// it lasts, a sound stopped on a real-time output plays on (AlDevice.h), and
// a device uninitialised with such sounds keeps mixing them into its sink:
// it is parked as a tail, which the next device initialised at its rate
// takes over when the hold ends. Holds nest. A tail nobody takes is ended
// (its sink parked as usual) when the hold ends, or after parkedFor.
void beginOutputHold();
void endOutputHold();
bool outputHeld();

// A device's mixer playing on after its uninitialize, for as long as a hold
// lasts. The park keeps it alive (the device's manager may be gone).
class MixerTail {
public:
    virtual ~MixerTail() = default;
    // Ends the tail's thread, mixes its next period into `last` (interleaved
    // stereo, `frames` frames) and gives its sink away (null when it has
    // none left). The tail is over afterwards.
    virtual std::unique_ptr<Sink> handOver(float* last, uint32_t frames) = 0;
    // Ends the tail: its sink goes to the park like any other.
    virtual void endTail() = 0;
    // The name of the sink it plays on ("pulseaudio", "alsa").
    virtual std::string tailSink() = 0;
};
// Parks a tail mixing at `rate`; a tail parked before is given back, to be
// ended by the caller (without locks held).
std::shared_ptr<MixerTail> parkTail(std::shared_ptr<MixerTail> tail, uint32_t rate);
// The parked tail if it mixes at `rate` on the same server, else null.
std::shared_ptr<MixerTail> takeTail(uint32_t rate);

// The park's memory of a server that did not answer (openSystemSink).
void noteServerHung(const std::string& why);
void noteServerAnswered();
bool serverHungRecently(std::string* why);

}  // namespace aldevice

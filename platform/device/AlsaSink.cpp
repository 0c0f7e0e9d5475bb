// The sound card as a sink, over ALSA's "default" device, for a machine
// without a sound server. ALSA's plug layer converts the mixer's stereo
// floats to what the card takes.
//
// The handle is non-blocking: a write that finds the card's buffer full
// waits in snd_pcm_wait (a poll with a timeout), so a card that takes
// nothing for outputPatience (a hung driver, a device that went away
// without an error) loses the output instead of hanging the device's
// thread; the open cannot wait on a busy device either. An under-run
// (xrun) is counted and recovered; any other error (the card unplugged)
// loses the output.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/device/Sink.h"

namespace aldevice {
namespace {

using Clock = std::chrono::steady_clock;

class AlsaSink : public Sink {
public:
    // The plug layer resamples when the card cannot take `r`: the stream's
    // own rate is always the one asked for.
    AlsaSink(snd_pcm_t* p, uint32_t r) : pcm(p), rate(r) {}
    ~AlsaSink() override {
        snd_pcm_drop(pcm);
        snd_pcm_close(pcm);
    }
    bool write(const float* samples, uint32_t frames) override {
        auto lastTaken = Clock::now();
        while (frames > 0) {
            snd_pcm_sframes_t n = snd_pcm_writei(pcm, samples, frames);
            if (n == -EAGAIN) {
                // Full: wait for room, no longer than the patience since the
                // card last took anything.
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(lastTaken + outputPatience -
                                                                                         Clock::now());
                if (left.count() <= 0) {
                    why = "the sound card took no samples for " + std::to_string(outputPatience.count()) + " ms";
                    return false;
                }
                snd_pcm_wait(pcm, static_cast<int>(std::min<long long>(left.count(), 100)));
                continue;
            }
            if (n == -EPIPE) ++dry;  // ran dry before this period came
            if (n < 0) n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
            if (n < 0) {
                why = snd_strerror(static_cast<int>(n));
                return false;
            }
            samples += size_t(n) * 2;
            frames -= static_cast<uint32_t>(n);
            if (n > 0) lastTaken = Clock::now();
        }
        return true;
    }
    bool paced() const override { return true; }
    double latency() override {
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(pcm, &delay) < 0 || delay < 0) return 0.0;
        return double(delay) / rate;
    }
    std::string name() const override { return "alsa"; }
    std::string failure() const override { return why; }
    uint64_t underflows() const override { return dry.load(); }
    bool alive() override { return snd_pcm_state(pcm) != SND_PCM_STATE_DISCONNECTED; }

private:
    snd_pcm_t* pcm;
    uint32_t rate;
    std::string why;
    std::atomic<uint64_t> dry{0};
};

}  // namespace

std::unique_ptr<Sink> openAlsaSink(uint32_t rate, uint32_t bufferFrames, std::string* why) {
    snd_pcm_t* pcm = nullptr;
    int error = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (error >= 0) {
        const unsigned latencyMicros = static_cast<unsigned>(uint64_t(bufferFrames) * 1000000 / rate);
        error = snd_pcm_set_params(pcm, SND_PCM_FORMAT_FLOAT_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2, rate, 1,
                                   latencyMicros);
        if (error < 0) snd_pcm_close(pcm);
    }
    if (error < 0) {
        if (why) *why = std::string("sound card: ") + snd_strerror(error);
        return nullptr;
    }
    return std::make_unique<AlsaSink>(pcm, rate);
}

std::unique_ptr<Sink> openSystemSink(uint32_t rate, uint32_t bufferFrames, std::string* why, bool trustRecentHang) {
    std::string server, card;
    if (trustRecentHang && serverHungRecently(&server)) {
        if (why) *why = server;
        return nullptr;
    }
    bool hung = false;
    if (auto sink = openPulseSink(rate, bufferFrames, &server, &hung)) {
        noteServerAnswered();
        return sink;
    }
    if (hung) {
        noteServerHung(server);
        if (why) *why = server;
        return nullptr;
    }
    noteServerAnswered();  // refused or absent: not hung
    if (auto sink = openAlsaSink(rate, bufferFrames, &card)) return sink;
    if (why) *why = server + "; " + card;
    return nullptr;
}

}  // namespace aldevice

// The sound card as a sink, over ALSA's "default" device, for a machine
// without a sound server. ALSA's plug layer converts the mixer's stereo
// floats to what the card takes; a blocking write paces the device's
// thread. An under-run is recovered; any other error (the card unplugged)
// loses the output.
#include <alsa/asoundlib.h>

#include "platform/device/Sink.h"

namespace aldevice {
namespace {

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
        while (frames > 0) {
            snd_pcm_sframes_t n = snd_pcm_writei(pcm, samples, frames);
            if (n < 0) n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
            if (n < 0) {
                why = snd_strerror(static_cast<int>(n));
                return false;
            }
            samples += size_t(n) * 2;
            frames -= static_cast<uint32_t>(n);
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

private:
    snd_pcm_t* pcm;
    uint32_t rate;
    std::string why;
};

}  // namespace

std::unique_ptr<Sink> openAlsaSink(uint32_t rate, uint32_t bufferFrames, std::string* why) {
    snd_pcm_t* pcm = nullptr;
    int error = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0);
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

std::unique_ptr<Sink> openSystemSink(uint32_t rate, uint32_t bufferFrames, std::string* why) {
    std::string server, card;
    if (auto sink = openPulseSink(rate, bufferFrames, &server)) return sink;
    if (auto sink = openAlsaSink(rate, bufferFrames, &card)) return sink;
    if (why) *why = server + "; " + card;
    return nullptr;
}

}  // namespace aldevice

// The sound server as a sink, over libpulse's simple API: a playback stream
// of stereo floats with a small server-side buffer. pa_simple_write blocks
// until the buffer has room, so it paces the device's thread and never
// blocks longer than the buffer takes to play; a server that goes away makes
// it fail at once.
#include <pulse/error.h>
#include <pulse/simple.h>

#include "platform/device/Sink.h"

namespace aldevice {
namespace {

class PulseSink : public Sink {
public:
    explicit PulseSink(pa_simple* s) : stream(s) {}
    ~PulseSink() override {
        // No drain: what is still buffered is dropped, so closing never
        // waits on the server.
        pa_simple_free(stream);
    }
    bool write(const float* samples, uint32_t frames) override {
        int error = 0;
        if (pa_simple_write(stream, samples, size_t(frames) * 2 * sizeof(float), &error) < 0) {
            why = pa_strerror(error);
            return false;
        }
        return true;
    }
    bool paced() const override { return true; }
    double latency() override {
        int error = 0;
        const pa_usec_t usec = pa_simple_get_latency(stream, &error);
        return usec == pa_usec_t(-1) ? 0.0 : double(usec) / 1e6;
    }
    std::string name() const override { return "pulseaudio"; }
    std::string failure() const override { return why; }

private:
    pa_simple* stream;
    std::string why;
};

}  // namespace

std::unique_ptr<Sink> openPulseSink(uint32_t rate, uint32_t bufferFrames, std::string* why) {
    pa_sample_spec sampleFormat{};
    sampleFormat.format = PA_SAMPLE_FLOAT32LE;
    sampleFormat.rate = rate;
    sampleFormat.channels = 2;
    const uint32_t frameBytes = 2 * sizeof(float);
    pa_buffer_attr attributes{};
    attributes.maxlength = uint32_t(-1);
    attributes.tlength = bufferFrames * frameBytes;  // what the server keeps queued: the latency
    attributes.prebuf = uint32_t(-1);
    attributes.minreq = uint32_t(-1);
    attributes.fragsize = uint32_t(-1);
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "zulsound", PA_STREAM_PLAYBACK, nullptr, "game sound", &sampleFormat, nullptr,
                                      &attributes, &error);
    if (!stream) {
        if (why) *why = std::string("sound server: ") + pa_strerror(error);
        return nullptr;
    }
    return std::make_unique<PulseSink>(stream);
}

}  // namespace aldevice

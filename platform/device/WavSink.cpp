// The WAV file and null sinks: neither paces the device's thread (it keeps
// real time by the steady clock). The file is 16-bit stereo, saturated
// rather than wrapped; its header is finished when the sink is destroyed.
#include <sndfile.h>


#include "platform/device/Saturation.h"
#include "platform/device/Sink.h"

namespace aldevice {
namespace {

class WavSink : public Sink {
public:
    WavSink(SNDFILE* f, std::string p) : file(f), path(std::move(p)) {}
    ~WavSink() override { sf_close(file); }
    bool write(const float* samples, uint32_t frames) override {
        if (sf_writef_float(file, samples, frames) == sf_count_t(frames)) return true;
        why = sf_strerror(file);  // the file stopped taking samples (a full disk)
        return false;
    }
    bool paced() const override { return false; }
    double latency() override { return 0.0; }
    std::string name() const override { return "wav:" + path; }
    std::string failure() const override { return why; }

private:
    SNDFILE* file;
    std::string path;
    std::string why;
};

class NullSink : public Sink {
public:
    bool write(const float*, uint32_t) override { return true; }
    bool paced() const override { return false; }
    double latency() override { return 0.0; }
    std::string name() const override { return "null"; }
    std::string failure() const override { return ""; }
};

}  // namespace

std::unique_ptr<Sink> openNullSink() { return std::make_unique<NullSink>(); }

std::unique_ptr<Sink> openWavSink(const std::string& path, uint32_t rate, std::string* why) {
    auto* file = static_cast<SNDFILE*>(openSaturatingWav(path, rate));
    if (!file) {
        if (why) *why = sf_strerror(nullptr);
        return nullptr;
    }
    return std::make_unique<WavSink>(file, path);
}

}  // namespace aldevice

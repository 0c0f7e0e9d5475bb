// The WAV file and null sinks: neither paces the device's thread (it keeps
// real time by the steady clock). The file is 16-bit stereo, saturated
// rather than wrapped; its header is finished when the sink is destroyed.
#include <sndfile.h>

#include "platform/device/DeviceLog.h"
#include "platform/device/Saturation.h"
#include "platform/device/Sink.h"

namespace aldevice {
namespace {

class WavSink : public Sink {
public:
    WavSink(SNDFILE* f, std::string p, uint32_t r, const std::atomic<uint32_t>* m)
        : file(f), path(std::move(p)), rate(r), mixRate(m) {}
    ~WavSink() override {
        if (file) sf_close(file);
    }
    bool write(const float* samples, uint32_t frames) override {
        // The rate of the period in hand: the device's thread mixed it just
        // before this write.
        const uint32_t mixedAt = mixRate ? mixRate->load(std::memory_order_relaxed) : rate;
        if (mixedAt && mixedAt != rate && !beginAgain(mixedAt)) return false;
        if (!holdsSound)
            for (uint32_t k = 0; k < frames * 2 && !holdsSound; ++k) holdsSound = samples[k] != 0.0f;
        if (sf_writef_float(file, samples, frames) == sf_count_t(frames)) return true;
        why = sf_strerror(file);  // the file stopped taking samples (a full disk)
        return false;
    }
    bool paced() const override { return false; }
    double latency() override { return 0.0; }
    std::string name() const override { return "wav:" + path; }
    std::string failure() const override { return why; }

private:
    // The mixer was made again at another rate (a settings file read after
    // the device started, a re-read that changed it). A WAV file has one
    // rate, and samples at another would play too fast or too slow: the
    // file begins again at the mixer's rate. Before the settings are read
    // nothing plays, so at start-up only silence is dropped; a file that
    // held sound says so.
    bool beginAgain(uint32_t newRate) {
        sf_close(file);
        file = static_cast<SNDFILE*>(openSaturatingWav(path, newRate));
        if (!file) {
            why = sf_strerror(nullptr);
            return false;
        }
        if (holdsSound)
            channel().post(debug::Message(DEBUG_CONTEXT, 0.1f)
                           << "Sound device " << name() << ": the mixer runs at " << newRate
                           << " Hz now; the file begins again at that rate");
        rate = newRate;
        holdsSound = false;
        return true;
    }

    SNDFILE* file;
    std::string path;
    uint32_t rate;
    const std::atomic<uint32_t>* mixRate;
    bool holdsSound = false;  // a sample that is not silence was written
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

std::unique_ptr<Sink> openWavSink(const std::string& path, uint32_t rate, std::string* why,
                                  const std::atomic<uint32_t>* mixRate) {
    auto* file = static_cast<SNDFILE*>(openSaturatingWav(path, rate));
    if (!file) {
        if (why) *why = sf_strerror(nullptr);
        return nullptr;
    }
    return std::make_unique<WavSink>(file, path, rate, mixRate);
}

}  // namespace aldevice

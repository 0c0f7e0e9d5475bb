// Any bytes as a sound resource, through the device's two loads: a static
// load (the whole file decoded into one buffer) and a streaming load (played
// on a hand-pumped loopback mixer for a few blocks, looped so the decoder
// seeks back to the start as a looping stream does, and moved to the start
// by hand). Every failure must arrive as the device's exception; nothing may
// crash, hang or leak.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "interfaces/Debug.h"
#include "interfaces/Resource.h"
#include "interfaces/SoundDevice.h"
#include "platform/device/AlDevice.h"

namespace {

// The sound file, served from memory in pieces of at most 4 KiB, as a stream
// over an archive may answer.
class InputStream : public ResourceStream {
public:
    InputStream(const uint8_t* data, size_t size) : data(data), size(static_cast<long>(size)) {}
    long seek(int origin, long offset) override {
        const long base = origin == Begin ? 0 : origin == Current ? position : size;
        if (offset > size || offset < -size || base + offset < 0 || base + offset > size) return -1;
        return position = base + offset;
    }
    long read(void* buffer, long wanted) override {
        const long count = std::min({wanted, size - position, 4096L});
        if (count <= 0) return 0;
        std::memcpy(buffer, data + position, static_cast<size_t>(count));
        position += count;
        return count;
    }
    const std::string& getPath() const override { return path; }

private:
    const uint8_t* data;
    long size;
    long position = 0;
    const std::string path = "/Sounds/fuzz";
};

aldevice::AlDevice& device() {
    static aldevice::AlDevice* instance = [] {
        debug::setStandardErrorOutput(false);
        auto* d = new aldevice::AlDevice(aldevice::Output{aldevice::Output::Loopback, ""});
        d->initialize();
        return d;
    }();
    return *instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    aldevice::AlDevice& dev = device();
    {
        InputStream stream(data, size);
        Sound3DEffect* effect = dev.createEffect();
        bool loaded = true;
        try {
            effect->createStatic(&stream);
        } catch (const debug::Exception&) {
            loaded = false;
        }
        if (loaded) {  // playing may not throw
            effect->play();
            std::vector<float> mix(2048 * 2);
            dev.render(mix.data(), 2048);
        }
        effect->release();
        dev.destroyEffect(effect);
    }
    {
        InputStream stream(data, size);
        Sound3DEffect* effect = dev.createEffect();
        bool loaded = true;
        try {
            effect->createStreaming(&stream, 4);
        } catch (const debug::Exception&) {
            loaded = false;
        }
        if (loaded) {  // decoding on while it plays may not throw
            effect->setLooped(true);
            effect->play();
            std::vector<float> mix(4096 * 2);
            for (int block = 0; block < 6; ++block) dev.render(mix.data(), 4096);
            effect->setPlayPosition(0);
            dev.render(mix.data(), 4096);
        }
        effect->release();
        dev.destroyEffect(effect);
    }
    return 0;
}

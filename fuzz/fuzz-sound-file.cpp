// Any bytes as a sound resource, through the device's two loads: a static
// load (the whole file decoded into one buffer) and a streaming load (played
// on a hand-pumped loopback mixer for a few blocks, looped so the decoder
// seeks back to the start as a looping stream does, and moved to the start
// by hand). Every failure must arrive as the device's exception; nothing may
// crash, hang or leak.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "interfaces/SoundDevice.h"
#include "platform/device/AlDevice.h"

namespace {

aldevice::AlDevice& device() {
    static aldevice::AlDevice* instance = [] {
        fuzzsupport::quiet();
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
        fuzzsupport::InputStream stream(data, size, "/Sounds/fuzz", 4096);
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
        fuzzsupport::InputStream stream(data, size, "/Sounds/fuzz", 4096);
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

#include "platform/device/NullDevice.h"

namespace nulldevice {
namespace {

// The size of what a stream holds; the read position is left at the start.
uint32_t streamSize(ResourceStream* stream) {
    if (!stream) return 0;
    const long end = stream->seek(ResourceStream::End, 0);
    stream->seek(ResourceStream::Begin, 0);
    return end > 0 ? static_cast<uint32_t>(end) : 0;
}

}  // namespace

void NullEffect::clone(Sound3DEffect* source) {
    if (!source) throw SoundObjectException("clone: no source effect");
    frequency = source->getFrequency();
    channels = source->getChannels();
    bits = source->getBits();
    size = source->getSize();
    state = "clone";
}

void NullEffect::createStreaming(ResourceStream* s, unsigned long) {
    if (!s) throw SoundObjectException("createStreaming: no stream");
    stream = s;
    size = streamSize(s);
    frequency = 44100;
    channels = 2;
    bits = 16;
    state = "streaming";
}

void NullEffect::createStatic(ResourceStream* s) {
    if (!s) throw SoundObjectException("createStatic: no stream");
    size = streamSize(s);
    frequency = 44100;
    channels = 1;
    bits = 16;
    state = "static";
}

Sound3DEffect* NullDevice::createEffect() {
    ++effects;
    return new NullEffect;
}

void NullDevice::destroyEffect(Sound3DEffect* effect) {
    if (!effect) return;
    --effects;
    delete effect;
}

void NullDevice::getInfo(std::list<std::string>& lines) {
    lines.push_back("Device: null (no output)");
    lines.push_back(std::string("Initialized: ") + (initialized ? "1" : "0"));
    lines.push_back("Effects: " + std::to_string(effects));
}

}  // namespace nulldevice

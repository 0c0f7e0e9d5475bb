// An effect's life, playback state and buffer: what the sound library asks
// of one sound. Voices are in Voices.cpp, streams in AlStream.cpp.
#define AL_ALEXT_PROTOTYPES
#include "platform/device/AlDevice.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <cmath>

#include "platform/device/Decoder.h"
#include "platform/device/SharedStream.h"

#include "platform/device/AlInternal.h"

namespace aldevice {

// ---------------------------------------------------------------- buffers

Buffer::~Buffer() {
    if (!device || !id) return;
    std::lock_guard<std::recursive_mutex> guard(device->lock);
    const ContextScope current = device->makeCurrent();
    alDeleteBuffers(1, &id);
    device->bufferBytes -= bytes;
}

// ---------------------------------------------------------------- effect

namespace {
// The decode buffer a device keeps for its next load: 2 M samples (4 MB,
// about 20 s of stereo at 48 kHz); longer sounds get a buffer of their own.
constexpr size_t keptDecodeSamples = size_t(1) << 21;
}  // namespace

AlEffect::AlEffect(AlDevice& d) : device(d), serial(d.effectsMade++) {}

AlEffect::~AlEffect() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (hasPending) {
        auto& pending = device.pendingPlacements;
        pending.erase(std::remove(pending.begin(), pending.end(), this), pending.end());
    }
    if (listedPlaying) device.unlistPlaying(this);
    dropVoice();
    shared.reset();  // the last stream of a file takes its decoded blocks along
}

uint64_t AlEffect::lengthFrames() const {
    if (buffer) return buffer->frames;
    return shared ? shared->frames() : 0;
}

uint32_t AlEffect::soundFrequency() const {
    if (buffer) return buffer->frequency;
    return shared ? shared->frequency() : 0;
}

uint32_t AlEffect::soundChannels() const {
    if (buffer) return buffer->channels;
    return shared ? shared->channels() : 0;
}

uint32_t AlEffect::currentFrame() {
    if (!source) {
        advanceVirtual();
        return position;
    }
    const ContextScope current = device.makeCurrent();
    ALint offset = 0;
    alGetSourcei(source, AL_SAMPLE_OFFSET, &offset);
    if (buffer) return static_cast<uint32_t>(offset);
    uint64_t frame = queuedBase + static_cast<uint64_t>(offset);
    ALint stateNow = AL_PLAYING;
    alGetSourcei(source, AL_SOURCE_STATE, &stateNow);
    // A stream that ran to the end of its queue reports offset 0 until its
    // buffers are unqueued: it stands where the decoder stopped.
    if (stateNow == AL_STOPPED) frame = decodePosition;
    const uint64_t length = lengthFrames();
    return static_cast<uint32_t>(length ? frame % length : frame);
}

void AlEffect::advanceVirtual() {
    const uint64_t clock = device.now();
    if (playing && !source) {
        const uint64_t length = lengthFrames();
        // The device clock runs at the mix rate; the sound at its own.
        const uint32_t rate = soundFrequency();
        const double scale = device.settings.frequency ? double(rate) / device.settings.frequency : 1.0;
        uint64_t frame = position + static_cast<uint64_t>(double(clock - virtualSince) * scale);
        if (length && frame >= length) {
            if (looped) {
                frame %= length;
            } else {
                virtualSince = clock;
                finish();
                return;
            }
        }
        position = static_cast<uint32_t>(frame);
    }
    virtualSince = clock;
}

void AlEffect::play() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (!hasSound() || playing) return;
    if (lengthFrames() && position >= lengthFrames()) position = 0;
    if (!device.listPlaying(this)) return;  // no memory to play it
    playing = true;
    device.mayHaveWaiting = true;
    if (device.batchDepth > 0) {
        // Played with the others at the batch's beginning: all take their
        // voices at its end from the same position, even when a mixing
        // period fell among the calls.
        virtualSince = device.batchSince;
        return;
    }
    virtualSince = device.now();
    if (device.acquireVoice(this)) startOnVoice(position);
    device.rebalance();
}

void AlEffect::setLooped(bool l) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    looped = l;
    if (source && buffer) {
        const ContextScope current = device.makeCurrent();
        alSourcei(source, AL_LOOPING, l ? AL_TRUE : AL_FALSE);
    }
}

void AlEffect::stop() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (!playing) return;
    // Keeps the position: the caller may read it and resume there. Under a
    // re-read's hold the voice plays on as a ghost (AlDevice.h).
    if (!device.lingers(this)) dropVoice();
    advanceVirtual();
    playing = false;
}

void AlEffect::trigger() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (!hasSound()) return;
    position = 0;
    virtualSince = device.now();
    if (source) {
        startOnVoice(0);
    } else {
        playing = false;
        play();
    }
    if (device.listPlaying(this)) playing = true;
}

bool AlEffect::isPlaying() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (playing && source && buffer) {
        const ContextScope current = device.makeCurrent();
        ALint stateNow = 0;
        alGetSourcei(source, AL_SOURCE_STATE, &stateNow);
        if (stateNow == AL_STOPPED) finish();
    } else if (playing && !source) {
        advanceVirtual();
    }
    return playing;
}

uint32_t AlEffect::getPlayPosition() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    return currentFrame();
}

void AlEffect::setPlayPosition(uint32_t p) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    const uint64_t length = lengthFrames();
    position = length && p >= length ? static_cast<uint32_t>(length - 1) : p;
    virtualSince = device.now();
    if (source) {
        const ContextScope current = device.makeCurrent();
        if (buffer) alSourcei(source, AL_SAMPLE_OFFSET, static_cast<ALint>(position));
        else queueFrom(position);
    }
}

void AlEffect::setVolume(float v) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    // A volume that is not a number is silence: the voice would refuse it
    // and keep playing at its old gain.
    volume = std::isnan(v) ? 0.0f : v;
    if (source) {
        const ContextScope current = device.makeCurrent();
        alSourcef(source, AL_GAIN, v);
    }
}

void AlEffect::release() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (playing && device.lingers(this)) {
        playing = false;
        return;
    }
    playing = false;
    dropVoice();
}

// A placement change acts at once, or waits for the listener's commit; a
// change at once also reaches the pending placement, so that the commit
// does not take it back.
template <typename Change>
void AlEffect::place(Sound3DApply apply, Change change) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (!hasPending) pending = now;
    change(pending);
    if (apply == SOUND3D_APPLY_DEFERRED) {
        if (!hasPending) device.pendingPlacements.push_back(this);
        hasPending = true;
        return;
    }
    change(now);
    applyPlacement();
}

void AlEffect::setRadius(float radius, Sound3DApply apply) {
    place(apply, [radius](Placement& p) { p.radius = radius; });
}

void AlEffect::setMode(Sound3DMode mode, Sound3DApply apply) {
    place(apply, [mode](Placement& p) { p.mode = mode; });
}

void AlEffect::setPosition(const Vector& position, Sound3DApply apply) {
    place(apply, [position](Placement& p) { p.position = position; });
}

void AlEffect::clone(Sound3DEffect* sourceEffect) {
    auto* from = dynamic_cast<AlEffect*>(sourceEffect);
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (!from || !from->hasSound()) throw SoundObjectException("clone: the source effect holds no sound");
    if (from->buffer) {
        buffer = from->buffer;  // one copy of the samples, however many clones
    } else {
        // A clone of a stream plays the same file's shared blocks from a
        // position of its own.
        shared = from->shared;
        queueDepth = from->queueDepth;
    }
    looped = from->looped;
    state = "clone";
}

void AlEffect::createStatic(ResourceStream* s) {
    // Read and decoded without the device's lock: every output mixes under
    // that lock, and a long sound takes a good part of a second to decode.
    // Only the finished samples go to the mixer under it.
    // The device copies the samples: the decode buffer goes back to the
    // device for the next load, unless a long sound made it large (a load on
    // another thread meanwhile decodes into a buffer of its own).
    DecodedSamples samples;
    {
        std::lock_guard<std::mutex> spare(device.spareLock);
        samples.swap(device.spareSamples);
    }
    struct GiveBack {
        AlDevice& device;
        DecodedSamples& samples;
        ~GiveBack() {
            samples.trim(keptDecodeSamples);
            std::lock_guard<std::mutex> spare(device.spareLock);
            if (samples.capacityOf() > device.spareSamples.capacityOf()) samples.swap(device.spareSamples);
        }
    } giveBack{device, samples};
    Decoder decoded(s, "createStatic");
    decoded.decodeAll(samples);
    auto made = std::make_shared<Buffer>();
    made->frequency = decoded.frequency();
    made->channels = decoded.channels();
    made->frames = static_cast<uint32_t>(samples.size() / made->channels);
    made->bytes = static_cast<uint32_t>(samples.size() * sizeof(int16_t));
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    const ContextScope current = device.makeCurrent();
    alGetError();
    alGenBuffers(1, &made->id);
    alBufferData(made->id, formatOf(made->channels), samples.data(), static_cast<ALsizei>(made->bytes),
                 static_cast<ALsizei>(made->frequency));
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(1, &made->id);
        made->id = 0;
        decoded.fail("the device refused the samples");
    }
    made->device = &device;
    device.bufferBytes += made->bytes;
    buffer = std::move(made);
    state = "static";
}

ResourceStream* AlEffect::getStream() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    return state == "clone" ? nullptr : stream;  // a clone's own stream is its business
}

uint32_t AlEffect::getFrequency() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    return soundFrequency();
}

uint32_t AlEffect::getChannels() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    return soundChannels();
}

uint32_t AlEffect::getBits() { return 16; }

uint32_t AlEffect::getSize() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (buffer) return buffer->bytes;
    return static_cast<uint32_t>(lengthFrames() * soundChannels() * 2);
}

void AlEffect::getState(std::string& s) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    s = state;
}

bool AlEffect::isHeard() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    return source != 0;
}

}  // namespace aldevice

#define AL_ALEXT_PROTOTYPES
#include "platform/device/AlDevice.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "platform/device/Decoder.h"
#include "platform/device/DeviceLog.h"
#include "platform/device/Quiet.h"

namespace aldevice {
namespace {

constexpr uint32_t streamBlockFrames = 8192;
constexpr uint32_t realTimePeriod = 1024;

ALCdevice* alcOf(void* p) { return static_cast<ALCdevice*>(p); }
ALCcontext* contextOf(void* p) { return static_cast<ALCcontext*>(p); }

ALenum formatOf(uint32_t channels) { return channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16; }

// Head-relative positions arrive as (forward, left, up); OpenAL's own axes
// are (right, up, backward).
Vector toOpenAlHeadAxes(const Vector& v) { return Vector(-v.y, v.z, -v.x); }

float length(const Vector& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

ALenum distanceModelOf(const std::string& name) {
    if (name == "linear") return AL_LINEAR_DISTANCE_CLAMPED;
    if (name == "exponent") return AL_EXPONENT_DISTANCE_CLAMPED;
    if (name == "none") return AL_NONE;
    return AL_INVERSE_DISTANCE_CLAMPED;
}

}  // namespace

// ---------------------------------------------------------------- buffers

Buffer::~Buffer() {
    if (!device || !id) return;
    std::lock_guard<std::recursive_mutex> guard(device->lock);
    const ContextScope current = device->makeCurrent();
    alDeleteBuffers(1, &id);
    device->bufferBytes -= bytes;
}

// ---------------------------------------------------------------- effect

AlEffect::AlEffect(AlDevice& d) : device(d) {}

AlEffect::~AlEffect() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    dropVoice();
    if (!streamBuffers.empty()) {
        const ContextScope current = device.makeCurrent();
        alDeleteBuffers(static_cast<ALsizei>(streamBuffers.size()), streamBuffers.data());
        device.bufferBytes -= streamBytes;
    }
    decoder.reset();
    // A clone of a stream reads its own stream of the same resource.
    if (stream && state == "clone" && theResourceManager) theResourceManager->closeStream(stream);
}

uint64_t AlEffect::lengthFrames() const {
    if (buffer) return buffer->frames;
    return streamFrames;
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
        const uint32_t rate = buffer ? buffer->frequency : streamFrequency;
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

float AlEffect::loudness() {
    if (now.mode == SOUND3D_MODE_DISABLE) return volume;
    const Vector& listenerAt = device.listener.position;
    const Vector offset = now.mode == SOUND3D_MODE_HEADRELATIVE
                              ? now.position
                              : Vector(now.position.x - listenerAt.x, now.position.y - listenerAt.y,
                                       now.position.z - listenerAt.z);
    // Distances are in metres: world units times the listener's distance factor.
    const float reference = std::max(now.radius, 1e-4f);
    const float distance = std::max(length(offset) * device.listener.distanceFactor, reference);
    return volume * reference / (reference + device.listener.rolloffFactor * (distance - reference));
}

void AlEffect::applyPlacement() {
    if (!source) return;
    const ContextScope current = device.makeCurrent();
    // OpenAL works in metres: positions are scaled by the listener's
    // distance factor (metres per world unit); the radius is in metres.
    const float scale = device.listener.distanceFactor;
    if (now.mode == SOUND3D_MODE_HEADRELATIVE) {
        const Vector p = toOpenAlHeadAxes(now.position);
        alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(source, AL_POSITION, p.x * scale, p.y * scale, p.z * scale);
    } else {
        alSourcei(source, AL_SOURCE_RELATIVE, AL_FALSE);
        alSource3f(source, AL_POSITION, now.position.x * scale, now.position.y * scale, now.position.z * scale);
    }
    alSourcei(source, AL_SOURCE_SPATIALIZE_SOFT, now.mode == SOUND3D_MODE_DISABLE ? AL_FALSE : AL_TRUE);
    alSourcef(source, AL_REFERENCE_DISTANCE, std::max(now.radius, 1e-4f));
}

void AlEffect::applyToSource() {
    if (!source) return;
    const ContextScope current = device.makeCurrent();
    alSourcef(source, AL_GAIN, volume);
    alSourcef(source, AL_ROLLOFF_FACTOR, device.listener.rolloffFactor);
    rolloff = device.listener.rolloffFactor;
    applyPlacement();
}

void AlEffect::startOnVoice(uint32_t frame) {
    const ContextScope current = device.makeCurrent();
    applyToSource();
    if (buffer) {
        alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer->id));
        alSourcei(source, AL_LOOPING, looped ? AL_TRUE : AL_FALSE);
        alSourcei(source, AL_SAMPLE_OFFSET, static_cast<ALint>(frame));
        alSourcePlay(source);
    } else {
        queueFrom(frame);
    }
}

void AlEffect::queueFrom(uint32_t frame) {
    const ContextScope current = device.makeCurrent();
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, 0);
    alSourcei(source, AL_LOOPING, AL_FALSE);  // a stream loops by seeking its decoder
    decoder->seek(frame);
    decodePosition = frame;
    queuedBase = frame;
    decoderEnded = false;
    for (unsigned id : streamBuffers)
        if (!queueNextBlock(id)) break;
    alSourcePlay(source);
}

bool AlEffect::queueNextBlock(unsigned id) {
    blockSamples.resize(static_cast<size_t>(streamBlockFrames) * streamChannels);
    size_t n = 0;
    try {
        n = decoder->read(blockSamples.data(), streamBlockFrames);
        if (n == 0 && looped && decodePosition > 0) {
            decoder->seek(0);  // the loop point: the next block starts again at the first frame
            decodePosition = 0;
            n = decoder->read(blockSamples.data(), streamBlockFrames);
        }
    } catch (const debug::Exception& e) {
        // A file broken past its header: the stream ends where the damage
        // starts (this runs in play and on the mixing thread, neither of
        // which may throw).
        channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f) << e.getString() << "; the stream ends there");
        n = 0;
    }
    if (n == 0) {
        decoderEnded = true;
        return false;
    }
    decodePosition += n;
    alBufferData(id, formatOf(streamChannels), blockSamples.data(), static_cast<ALsizei>(n * streamChannels * 2),
                 static_cast<ALsizei>(streamFrequency));
    alSourceQueueBuffers(source, 1, &id);
    return true;
}

void AlEffect::refillStream() {
    if (!source || !decoder) return;
    const ContextScope current = device.makeCurrent();
    ALint processed = 0;
    alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
    while (processed-- > 0) {
        ALuint id = 0;
        alSourceUnqueueBuffers(source, 1, &id);
        ALint bytes = 0;
        alGetBufferi(id, AL_SIZE, &bytes);
        queuedBase += static_cast<uint64_t>(bytes) / (2 * streamChannels);
        if (!decoderEnded) queueNextBlock(id);
    }
    ALint queued = 0, stateNow = 0;
    alGetSourcei(source, AL_BUFFERS_QUEUED, &queued);
    alGetSourcei(source, AL_SOURCE_STATE, &stateNow);
    if (stateNow != AL_PLAYING) {
        if (queued > 0) alSourcePlay(source);  // an under-run: play on from what is queued
        else finish();
    }
}

void AlEffect::finish() {
    playing = false;
    if (source) device.releaseVoice(this);
    position = 0;
}

void AlEffect::dropVoice() {
    if (!source) return;
    position = currentFrame();
    device.releaseVoice(this);
    virtualSince = device.now();
}

void AlEffect::play() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (!hasSound() || playing) return;
    if (lengthFrames() && position >= lengthFrames()) position = 0;
    playing = true;
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
    dropVoice();  // keeps the position: the caller may read it and resume there
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
    playing = true;
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
    volume = v;
    if (source) {
        const ContextScope current = device.makeCurrent();
        alSourcef(source, AL_GAIN, v);
    }
}

void AlEffect::release() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
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
    std::string path;
    size_t buffers = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(device.lock);
        if (!from || !from->hasSound()) throw SoundObjectException("clone: the source effect holds no sound");
        if (from->buffer) {
            buffer = from->buffer;  // one copy of the samples, however many clones
            looped = from->looped;
            state = "clone";
            return;
        }
        path = from->stream ? from->stream->getPath() : std::string();
        buffers = from->streamBuffers.size();
    }
    // A clone of a stream reads its own stream of the same resource. The
    // resource manager is asked without the device's lock held: that lock
    // is a leaf.
    ResourceStream* own = theResourceManager ? theResourceManager->openStream(path.c_str()) : nullptr;
    if (!own) throw SoundObjectException("clone " + path + ": cannot open the resource again");
    try {
        createStreaming(own, buffers);
    } catch (...) {
        theResourceManager->closeStream(own);
        throw;
    }
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    looped = from->looped;
    state = "clone";
}

void AlEffect::createStreaming(ResourceStream* s, unsigned long buffers) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    auto opened = std::make_unique<Decoder>(s, "createStreaming");
    const size_t count = std::max<unsigned long>(2, std::min<unsigned long>(buffers, 16));
    std::vector<unsigned> ids(count);
    const ContextScope current = device.makeCurrent();
    alGetError();
    alGenBuffers(static_cast<ALsizei>(count), ids.data());
    if (alGetError() != AL_NO_ERROR) opened->fail("no buffers for the stream");
    decoder = std::move(opened);
    stream = s;
    streamBuffers = ids;
    streamFrequency = decoder->frequency();
    streamChannels = decoder->channels();
    streamFrames = decoder->frames();
    streamBytes = static_cast<uint32_t>(count * streamBlockFrames * streamChannels * 2);
    device.bufferBytes += streamBytes;
    state = "streaming";
}

void AlEffect::createStatic(ResourceStream* s) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    Decoder decoded(s, "createStatic");
    const std::vector<int16_t> samples = decoded.decodeAll();
    auto made = std::make_shared<Buffer>();
    made->frequency = decoded.frequency();
    made->channels = decoded.channels();
    made->frames = static_cast<uint32_t>(samples.size() / made->channels);
    made->bytes = static_cast<uint32_t>(samples.size() * sizeof(int16_t));
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
    return buffer ? buffer->frequency : streamFrequency;
}

uint32_t AlEffect::getChannels() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    return buffer ? buffer->channels : streamChannels;
}

uint32_t AlEffect::getBits() { return 16; }

uint32_t AlEffect::getSize() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (buffer) return buffer->bytes;
    return static_cast<uint32_t>(streamFrames * streamChannels * 2);
}

void AlEffect::getState(std::string& s) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    s = state;
}

bool AlEffect::isHeard() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    return source != 0;
}

// ---------------------------------------------------------------- listener

void AlListener::apply() {
    if (!device.alcContext) return;
    const ContextScope current = device.makeCurrent();
    alListener3f(AL_POSITION, position.x * distanceFactor, position.y * distanceFactor, position.z * distanceFactor);
    const ALfloat orientation[6] = {front.x, front.y, front.z, top.x, top.y, top.z};
    alListenerfv(AL_ORIENTATION, orientation);
    alListenerf(AL_METERS_PER_UNIT, distanceFactor);
    // The factors reach every voice now; voices taken later get them in
    // applyToSource.
    for (AlEffect* effect : device.effects)
        if (effect->source) effect->applyToSource();
}

void AlListener::beginPending() {
    if (hasPending) return;
    pendingPosition = position;
    pendingFront = front;
    pendingTop = top;
    pendingDistanceFactor = distanceFactor;
    pendingRolloffFactor = rolloffFactor;
    hasPending = true;
}

void AlListener::commit() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    device.commitPending();
}

float AlListener::getDistanceFactor() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    return distanceFactor;
}

void AlListener::setDistanceFactor(float factor, Sound3DApply applyWhen) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (!(factor > 0.0f)) return;
    if (applyWhen == SOUND3D_APPLY_DEFERRED) {
        beginPending();
        pendingDistanceFactor = factor;
        return;
    }
    distanceFactor = pendingDistanceFactor = factor;
    apply();
}

void AlListener::setOrientation(const Vector& f, const Vector& t, Sound3DApply applyWhen) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (applyWhen == SOUND3D_APPLY_DEFERRED) {
        beginPending();
        pendingFront = f;
        pendingTop = t;
        return;
    }
    front = pendingFront = f;
    top = pendingTop = t;
    apply();
}

void AlListener::setPosition(const Vector& p, Sound3DApply applyWhen) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (applyWhen == SOUND3D_APPLY_DEFERRED) {
        beginPending();
        pendingPosition = p;
        return;
    }
    position = pendingPosition = p;
    apply();
}

float AlListener::getRolloffFactor() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    return rolloffFactor;
}

void AlListener::setRolloffFactor(float factor, Sound3DApply applyWhen) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (!(factor >= 0.0f)) return;
    if (applyWhen == SOUND3D_APPLY_DEFERRED) {
        beginPending();
        pendingRolloffFactor = factor;
        return;
    }
    rolloffFactor = pendingRolloffFactor = factor;
    apply();
}

// ---------------------------------------------------------------- device

AlDevice::AlDevice(Output o) : output(std::move(o)) {
    loopback = output.kind != Output::System;
}

AlDevice::~AlDevice() {
    std::unique_lock<std::recursive_mutex> guard(lock);
    for (AlEffect* effect : std::list<AlEffect*>(effects)) delete effect;
    effects.clear();
    guard.unlock();
    if (initialized) uninitialize();
}

std::string AlDevice::getName() {
    if (output.kind == Output::System) return "OpenAL default output";
    return output.text();
}

bool AlDevice::systemOutputOpens() {
    // Without a sound card every probe fails and the sound system prints its
    // complaints on standard error: a failed probe is not repeated within the
    // process (a card plugged in later is found by the next process).
    static std::mutex probeMutex;
    static bool failedBefore = false;
    std::lock_guard<std::mutex> guard(probeMutex);
    if (failedBefore) return false;
    quietOutputLibraries();
    ALCdevice* probe = alcOpenDevice(nullptr);
    if (!probe) {
        failedBefore = true;
        return false;
    }
    alcCloseDevice(probe);
    return true;
}

ContextScope::ContextScope(void* context) {
    if (!context) return;
    previous = alcGetThreadContext();
    if (previous == context) return;  // an operation within an operation
    changed = alcSetThreadContext(contextOf(context)) == ALC_TRUE;
}

ContextScope::~ContextScope() {
    if (changed) alcSetThreadContext(contextOf(previous));
}

ContextScope AlDevice::makeCurrent() { return ContextScope(alcContext); }

void AlDevice::openContext() {
    quietOutputLibraries();
    std::vector<ALCint> attributes;
    if (loopback) {
        alcDevice = alcLoopbackOpenDeviceSOFT(nullptr);
        if (!alcDevice) throw SoundDeviceException("Sound device " + getName() + ": the loopback mixer does not open");
        attributes = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT};
    } else {
        alcDevice = alcOpenDevice(nullptr);
        if (!alcDevice) throw SoundDeviceException("Sound device " + getName() + ": no output opens");
    }
    const ALCint monoSources = static_cast<ALCint>(settings.voices);
    attributes.insert(attributes.end(), {ALC_FREQUENCY, static_cast<ALCint>(settings.frequency), ALC_MONO_SOURCES,
                                         monoSources, ALC_STEREO_SOURCES, 1, ALC_HRTF_SOFT,
                                         settings.hrtf ? ALC_TRUE : ALC_FALSE, 0});
    alcContext = alcCreateContext(alcOf(alcDevice), attributes.data());
    if (!alcContext) {
        alcCloseDevice(alcOf(alcDevice));
        alcDevice = nullptr;
        throw SoundDeviceException("Sound device " + getName() + ": no mixer context at " +
                                   std::to_string(settings.frequency) + " Hz");
    }
    const ContextScope current = makeCurrent();
    alDistanceModel(distanceModelOf(settings.distanceModel));
    listener.apply();
}

void AlDevice::closeContext() {
    for (AlEffect* effect : effects) {
        if (effect->source) {
            effect->position = effect->currentFrame();
            releaseVoice(effect);
        }
    }
    const ContextScope current = makeCurrent();
    if (!freeSources.empty()) alDeleteSources(static_cast<ALsizei>(freeSources.size()), freeSources.data());
    freeSources.clear();
    sourcesMade = 0;
    voicesInUse = 0;
    alcSetThreadContext(nullptr);
    if (alcContext) alcDestroyContext(contextOf(alcContext));
    if (alcDevice) alcCloseDevice(alcOf(alcDevice));
    alcContext = nullptr;
    alcDevice = nullptr;
}

void AlDevice::initialize() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (initialized) return;
    openContext();
    clock = 0;
    lostOutput = false;
    if (output.kind == Output::Wav) {
        SF_INFO info;
        std::memset(&info, 0, sizeof info);
        info.samplerate = static_cast<int>(settings.frequency);
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        wavFile = sf_open(output.path.c_str(), SFM_WRITE, &info);
        if (!wavFile) {
            const std::string reason = sf_strerror(nullptr);
            closeContext();
            throw SoundDeviceException("Sound device " + getName() + ": cannot write " + output.path + ": " + reason);
        }
    }
    initialized = true;
    if (output.kind != Output::Loopback) {
        stopping = false;
        worker = std::thread([this] { runRealTime(); });
    }
}

void AlDevice::uninitialize() {
    std::unique_lock<std::recursive_mutex> guard(lock);
    if (!initialized) return;
    stopping = true;
    wake.notify_all();
    guard.unlock();
    if (worker.joinable()) worker.join();
    guard.lock();
    if (wavFile) {
        sf_close(static_cast<SNDFILE*>(wavFile));  // writes the final header
        wavFile = nullptr;
    }
    closeContext();
    initialized = false;
}

void AlDevice::runRealTime() {
    using Clock = std::chrono::steady_clock;
    std::vector<float> mix(static_cast<size_t>(realTimePeriod) * 2);
    std::unique_lock<std::recursive_mutex> guard(lock);
    const uint32_t rate = settings.frequency;
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(realTimePeriod) / rate));
    auto deadline = Clock::now();
    while (!stopping) {
        if (loopback) {
            service(realTimePeriod);
            const ContextScope current = makeCurrent();
            alcRenderSamplesSOFT(alcOf(alcDevice), mix.data(), static_cast<ALCsizei>(realTimePeriod));
            clock += realTimePeriod;
            if (wavFile && !lostOutput &&
                sf_writef_float(static_cast<SNDFILE*>(wavFile), mix.data(), realTimePeriod) != realTimePeriod) {
                // The file stopped taking samples (a full disk): the mix goes
                // on unheard, as on an unplugged sound card.
                lostOutput = true;
                channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f)
                               << "Sound device " << getName() << ": the output was lost: "
                               << sf_strerror(static_cast<SNDFILE*>(wavFile)));
            }
        } else {
            service(realTimePeriod);
            clock += realTimePeriod;  // the sound card's own clock runs alongside
            if (!lostOutput && !isConnected()) {
                lostOutput = true;
                channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f) << "Sound device " << getName()
                                                                   << ": the output was disconnected");
            }
        }
        mixed.notify_all();
        deadline += period;
        const auto now = Clock::now();
        if (deadline < now - std::chrono::milliseconds(200)) deadline = now;  // far behind: no race to catch up
        wake.wait_until(guard, deadline, [this] { return stopping; });
    }
    alcSetThreadContext(nullptr);  // the thread ends holding no context
}

void AlDevice::render(float* out, uint32_t frames) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!initialized || output.kind != Output::Loopback) {
        std::fill(out, out + static_cast<size_t>(frames) * 2, 0.0f);
        return;
    }
    service(frames);
    const ContextScope current = makeCurrent();
    alcRenderSamplesSOFT(alcOf(alcDevice), out, static_cast<ALCsizei>(frames));
    clock += frames;
}

void AlDevice::service(uint32_t) {
    const ContextScope current = makeCurrent();
    for (AlEffect* effect : effects) {
        if (!effect->playing) continue;
        if (effect->source) {
            if (effect->decoder) {
                effect->refillStream();
            } else {
                ALint stateNow = 0;
                alGetSourcei(effect->source, AL_SOURCE_STATE, &stateNow);
                if (stateNow == AL_STOPPED) effect->finish();
            }
        } else {
            effect->advanceVirtual();
        }
    }
    rebalance();
}

bool AlDevice::acquireVoice(AlEffect* effect) {
    if (!alcContext || effect->source) return effect->source != 0;
    if (freeSources.empty()) {
        if (sourcesMade >= settings.voices) return false;
        const ContextScope current = makeCurrent();
        alGetError();
        ALuint id = 0;
        alGenSources(1, &id);
        if (alGetError() != AL_NO_ERROR) return false;  // the mixer has no more: play virtually
        freeSources.push_back(id);
        ++sourcesMade;
    }
    effect->source = freeSources.back();
    freeSources.pop_back();
    ++voicesInUse;
    return true;
}

void AlDevice::releaseVoice(AlEffect* effect) {
    if (!effect->source) return;
    const ContextScope current = makeCurrent();
    alSourceStop(effect->source);
    alSourcei(effect->source, AL_BUFFER, 0);
    freeSources.push_back(effect->source);
    effect->source = 0;
    --voicesInUse;
}

void AlDevice::rebalance() {
    // Most periods nobody waits for a voice: then no loudness is computed.
    std::vector<std::pair<float, AlEffect*>> heard, waiting;
    for (AlEffect* effect : effects)
        if (effect->playing && !effect->source) waiting.emplace_back(effect->loudness(), effect);
    if (waiting.empty()) return;
    for (AlEffect* effect : effects)
        if (effect->playing && effect->source) heard.emplace_back(effect->loudness(), effect);
    std::sort(waiting.begin(), waiting.end(), [](auto& a, auto& b) { return a.first > b.first; });
    std::sort(heard.begin(), heard.end(), [](auto& a, auto& b) { return a.first < b.first; });
    size_t quietest = 0;
    for (auto& [gain, effect] : waiting) {
        if (!effect->playing) continue;  // ended while its time was advanced
        if (!acquireVoice(effect)) {
            // No free voice: take the quietest heard one's if this is louder.
            if (quietest >= heard.size() || heard[quietest].first >= gain) break;
            heard[quietest].second->dropVoice();
            ++quietest;
            if (!acquireVoice(effect)) break;
        }
        effect->advanceVirtual();
        if (effect->playing) effect->startOnVoice(effect->position);
        else releaseVoice(effect);
    }
}

void AlDevice::commitPending() {
    // The listener first: the effects' positions are scaled by its factor.
    if (listener.hasPending) {
        listener.position = listener.pendingPosition;
        listener.front = listener.pendingFront;
        listener.top = listener.pendingTop;
        listener.distanceFactor = listener.pendingDistanceFactor;
        listener.rolloffFactor = listener.pendingRolloffFactor;
        listener.hasPending = false;
        listener.apply();
    }
    for (AlEffect* effect : effects) {
        if (!effect->hasPending) continue;
        effect->now = effect->pending;
        effect->hasPending = false;
        effect->applyPlacement();
    }
    rebalance();
}

Sound3DEffect* AlDevice::createEffect() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    auto* effect = new AlEffect(*this);
    effects.push_back(effect);
    return effect;
}

void AlDevice::destroyEffect(Sound3DEffect* effect) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    auto* own = dynamic_cast<AlEffect*>(effect);
    auto found = std::find(effects.begin(), effects.end(), own);
    if (found == effects.end()) return;
    effects.erase(found);
    delete own;
}

void AlDevice::applySettings(const Settings& wanted) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    const bool reopen = wanted.frequency != settings.frequency || wanted.voices != settings.voices ||
                        wanted.hrtf != settings.hrtf;
    settings = wanted;
    if (!initialized) return;
    if (reopen) {
        // The mixer's format is fixed when its context is made: make it again.
        closeContext();
        openContext();
    } else {
        const ContextScope current = makeCurrent();
        alDistanceModel(distanceModelOf(settings.distanceModel));
    }
}

void AlDevice::loadSettings(ResourceStream* stream) {
    Settings wanted = settings;
    if (stream) {
        std::string text;
        char chunk[1024];
        long n;
        while ((n = stream->read(chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<size_t>(n));
        if (!parseSettings(text, stream->getPath(), &wanted)) return;  // the defaults stay
    }
    applySettings(wanted);
}

void AlDevice::getInfo(std::list<std::string>& lines) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    lines.push_back("Device: " + getName());
    lines.push_back("Output: " + output.text() + (isConnected() ? "" : " (disconnected)"));
    lines.push_back("Sample rate: " + std::to_string(settings.frequency));
    lines.push_back("Voices: " + std::to_string(voicesInUse) + " of " + std::to_string(settings.voices));
    lines.push_back(std::string("HRTF: ") + (settings.hrtf ? "on" : "off"));
    lines.push_back("Buffer bytes: " + std::to_string(bufferBytes));
}

Sound3DListener* AlDevice::getListener() { return &listener; }

size_t AlDevice::getVoicesInUse() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return voicesInUse;
}

uint64_t AlDevice::getBufferBytes() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return bufferBytes;
}

bool AlDevice::waitMixed(uint64_t frames, std::chrono::milliseconds timeout) {
    std::unique_lock<std::recursive_mutex> guard(lock);
    return mixed.wait_for(guard, timeout, [&] { return clock >= frames || !initialized; }) && clock >= frames;
}

bool AlDevice::isConnected() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (lostOutput) return false;
    if (!alcDevice || loopback) return true;
    ALCint connected = ALC_TRUE;
    alcGetIntegerv(alcOf(alcDevice), ALC_CONNECTED, 1, &connected);
    return connected == ALC_TRUE;
}

}  // namespace aldevice

// The device: its outputs, life cycle, effects, settings and statistics.
#define AL_ALEXT_PROTOTYPES
#include "platform/device/AlDevice.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <sndfile.h>

#include <algorithm>
#include <cstring>

#include "platform/device/DeviceLog.h"
#include "platform/device/Quiet.h"

#include "platform/device/AlInternal.h"

namespace aldevice {

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

void AlDevice::render(float* out, uint32_t frames) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!initialized || output.kind != Output::Loopback) {
        std::fill(out, out + static_cast<size_t>(frames) * 2, 0.0f);
        return;
    }
    mixPeriod(out, frames);
}

void AlDevice::mixPeriod(float* out, uint32_t frames) {
    // The one funnel of the mix: the hand-pumped render and the device's own
    // thread both come through here, so whatever watches the mix (a meter,
    // a limiter, a tap) sees every period of every output.
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

bool AlDevice::isConnected() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (lostOutput) return false;
    if (!alcDevice || loopback) return true;
    ALCint connected = ALC_TRUE;
    alcGetIntegerv(alcOf(alcDevice), ALC_CONNECTED, 1, &connected);
    return connected == ALC_TRUE;
}

}  // namespace aldevice

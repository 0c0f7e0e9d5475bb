// The device: its outputs, life cycle, effects, settings and statistics.
#define AL_ALEXT_PROTOTYPES
#include "platform/device/AlDevice.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "platform/device/DeviceLog.h"
#include "platform/device/Quiet.h"
#include "platform/device/Saturation.h"

#include "platform/device/AlInternal.h"

namespace aldevice {

// ---------------------------------------------------------------- device

AlDevice::AlDevice(Output o) : output(std::move(o)) {
    wantsSystem = output.kind == Output::System || (output.kind == Output::Null && output.findSystem);
}

AlDevice::~AlDevice() {
    endTail();
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

bool AlDevice::systemOutputOpens(std::string* why) {
    // Our own sinks are the probe: OpenAL Soft never talks to the system's
    // output (Quiet.cpp keeps its backends off it). Not cached: a server
    // that starts later is found by the next probe.
    //
    // A sink parked by a device's uninitialize answers at once (a re-read
    // lists the devices again right after). A sink opened here is parked
    // in its turn: the device initialised next takes it, so a start opens
    // one stream, not two. A server found hung a moment ago is not waited
    // for again.
    quietOutputLibraries();
    if (sinkParked()) return true;
    std::unique_ptr<Sink> probe = openSystemSink(realTimeRate, realTimeBuffer, why, true);
    if (!probe) return false;
    parkSink(std::move(probe), realTimeRate);
    return true;
}

void AlDevice::openContext() {
    quietOutputLibraries();
    // Every output mixes through the loopback device: the sink, not OpenAL,
    // owns the output, so a lost output never stops a source.
    alcDevice = alcLoopbackOpenDeviceSOFT(nullptr);
    if (!alcDevice) throw SoundDeviceException("Sound device " + getName() + ": the loopback mixer does not open");
    std::vector<ALCint> attributes = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT};
    const ALCint monoSources = static_cast<ALCint>(settings.voices);
    // The output limiter on every output: a mix of many loud sounds is held
    // at full scale rather than clipped (or wrapped by an integer output).
    attributes.insert(attributes.end(), {ALC_FREQUENCY, static_cast<ALCint>(settings.frequency), ALC_MONO_SOURCES,
                                         monoSources, ALC_STEREO_SOURCES, 1, ALC_HRTF_SOFT,
                                         settings.hrtf ? ALC_TRUE : ALC_FALSE, ALC_OUTPUT_LIMITER_SOFT, ALC_TRUE, 0});
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
    silenceGhosts();
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
    endTail();  // the device itself initialised again during a hold
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (initialized) return;
    openContext();
    clock = 0;
    late = 0;
    // Effects that live on from a former life wait on the new clock.
    for (AlEffect* effect : effects) effect->virtualSince = 0;
    lostOutput = false;
    outputLatencyMicros = 0;
    std::string why;
    switch (output.kind) {
        case Output::Wav:
            sink = openWavSink(output.path, settings.frequency, &why, &periodRate);
            if (!sink) {
                closeContext();
                throw SoundDeviceException("Sound device " + getName() + ": cannot write " + output.path + ": " + why);
            }
            break;
        case Output::System:
        case Output::Null:
            // The system's output is opened by the device thread itself (so
            // the sound server's client thread inherits its priority).
            if (!wantsSystem) sink = openNullSink();
            break;
        case Output::Loopback: break;
    }
    // Every output's periods pass through mixPeriod, so every output is
    // metered (unless the meter is switched off).
    const char* meterSetting = std::getenv("ZULSOUND_LOUDNESS_METER");
    metering = !(meterSetting && std::string(meterSetting) == "off");
    if (meterRate != settings.frequency) {
        meter.reset(settings.frequency);
        meterRate = settings.frequency;
    }
    initialized = true;
    if (output.kind == Output::Loopback) {
        sinkName = "loopback";
        publishOpenOutput(this, sinkName);
        return;
    }
    stopping = false;
    std::promise<std::string> opened;
    std::future<std::string> openedNow = opened.get_future();
    const uint32_t rate = settings.frequency;
    tailName.clear();
    worker = std::thread([this, rate, &opened] { runRealTime(rate, opened); });
    why = openedNow.get();  // the thread waits for the lock before its first mix
    // One line says where the sound goes, and why when it is not where the
    // setting asked.
    // On a tail's sink the thread takes the sink over later (without the
    // lock): only the name it found is read here.
    const bool onTail = !tailName.empty();
    if (onTail || sink) {
        sinkName = onTail ? tailName : sink->name();
        debug::Message message(DEBUG_CONTEXT, 0.1f);
        message << "Sound device " << getName() << ": playing on " << sinkName;
        if (output.findSystem && sinkName == "null")
            message << " (no system output opens: " << why << "; looking for one every second)";
        else if (output.findSystem)
            message << " (the system output opened after the listing)";
        channel().post(message);
        publishOpenOutput(this, sinkName);
    } else {
        // The system output went away between the listing and now: lost from
        // the start, looked for like any lost output.
        loseOutput(why);
    }
}

void AlDevice::stopWorker(std::unique_lock<std::recursive_mutex>& guard) {
    {
        std::lock_guard<std::mutex> pace(paceMutex);
        stopping = true;
    }
    paceWake.notify_all();
    guard.unlock();
    // The thread ends within a period: a paced sink's write waits no longer
    // than its small buffer takes to play, and never longer than
    // outputPatience (a server that takes nothing is then lost); so does a
    // try to open the output that is under way.
    if (worker.joinable()) worker.join();
    guard.lock();
}

bool AlDevice::becomeTail(std::unique_lock<std::recursive_mutex>& guard) {
    if (ghosts.empty() || !outputHeld() || !wantsSystem || lostOutput || sinkName == "null" || sinkName.empty())
        return false;
    std::shared_ptr<AlDevice> self = weak_from_this().lock();
    if (!self) return false;
    // Only the ghosts are heard on: the effects still here give up their
    // voices and keep their time, as at any uninitialize.
    batchDepth = 0;
    for (AlEffect* effect : effects) {
        if (effect->source) {
            effect->position = effect->currentFrame();
            releaseVoice(effect);
        } else if (effect->playing) {
            effect->advanceVirtual();
        }
    }
    tailing = true;
    initialized = false;
    tailName = sinkName;
    sinkName.clear();
    publishOpenOutput(this, "");
    const uint32_t rate = settings.frequency;
    guard.unlock();
    if (std::shared_ptr<MixerTail> former = parkTail(std::move(self), rate)) former->endTail();
    guard.lock();
    return true;
}

std::unique_ptr<Sink> AlDevice::handOver(float* last, uint32_t frames) {
    std::unique_lock<std::recursive_mutex> guard(lock);
    std::fill(last, last + static_cast<size_t>(frames) * 2, 0.0f);
    if (!tailing) return nullptr;
    stopWorker(guard);
    if (!tailing) return nullptr;
    mixPeriod(last, frames);
    std::unique_ptr<Sink> out;
    if (sink && !lostOutput && sink->name() != "null") out = std::move(sink);
    sink.reset();
    closeContext();
    tailing = false;
    return out;
}

void AlDevice::endTail() {
    std::unique_lock<std::recursive_mutex> guard(lock);
    if (!tailing) return;
    stopWorker(guard);
    if (!tailing) return;
    if (sink && !lostOutput && sink->name() != "null") parkSink(std::move(sink), sinkRate);
    sink.reset();
    closeContext();
    tailing = false;
}

std::string AlDevice::tailSink() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return tailing && !lostOutput ? tailName : "";
}

void AlDevice::uninitialize() {
    std::unique_lock<std::recursive_mutex> guard(lock);
    if (!initialized) return;
    if (becomeTail(guard)) return;
    stopWorker(guard);
    // A batch left open ends here: its effects count as started together
    // at its beginning (their time advanced on the old clock), and take
    // their voices after the next initialize like any other waiting effect.
    // Every effect waiting for a voice has its time taken on the old clock
    // (the new one starts at 0).
    batchDepth = 0;
    for (AlEffect* effect : effects)
        if (effect->playing && !effect->source) effect->advanceVirtual();
    // The system output waits in the park for the mixer's next life (a
    // re-read); a file is finished, the null sink dropped.
    const bool system = sink && wantsSystem && !lostOutput && sink->name() != "null";
    if (system) parkSink(std::move(sink), sinkRate);
    sink.reset();  // a WAV file's header is written here
    sinkName.clear();
    publishOpenOutput(this, "");
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
    const ContextScope current = makeCurrent();
    service();
    alcRenderSamplesSOFT(alcOf(alcDevice), out, static_cast<ALCsizei>(frames));
    periodRate.store(settings.frequency, std::memory_order_relaxed);
    clock += frames;
    finishMix(out, frames);
}

void AlDevice::finishMix(float* out, uint32_t frames) {
    saturate(out, static_cast<size_t>(frames) * 2);
    if (metering) meter.add(out, frames);
}

void AlDevice::service() {
    // Nothing here starts an effect (a finish only frees a voice), so the
    // list does not grow during the walk; the ones that stopped leave it.
    size_t kept = 0;
    for (size_t k = 0; k < playingEffects.size(); ++k) {
        AlEffect* effect = playingEffects[k];
        if (effect->playing) {
            if (effect->source) {
                if (effect->shared) {
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
        if (effect->playing) {
            playingEffects[kept++] = effect;
        } else {
            effect->listedPlaying = false;
        }
    }
    playingEffects.resize(kept);
    rebalance();
}

bool AlDevice::madeBefore(const AlEffect* a, const AlEffect* b) { return a->serial < b->serial; }

bool AlDevice::listPlaying(AlEffect* effect) {
    if (effect->listedPlaying) return true;
    // The room is kept from one play to the next, so a play allocates only
    // when more effects play at once than ever before.
    try {
        playingEffects.insert(std::upper_bound(playingEffects.begin(), playingEffects.end(), effect, madeBefore),
                              effect);
    } catch (const std::bad_alloc&) {
        return false;
    }
    effect->listedPlaying = true;
    return true;
}

void AlDevice::unlistPlaying(AlEffect* effect) {
    const auto at = std::lower_bound(playingEffects.begin(), playingEffects.end(), effect, madeBefore);
    if (at != playingEffects.end() && *at == effect) playingEffects.erase(at);
    effect->listedPlaying = false;
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
        // The meter measures at the mixer's rate: another rate begins it
        // again (as initialize does), and a WAV file follows through
        // periodRate.
        if (meterRate != settings.frequency) {
            meter.reset(settings.frequency);
            meterRate = settings.frequency;
        }
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
    std::string where = output.text();
    if (lostOutput) where += wantsSystem ? " (disconnected, reconnecting)" : " (disconnected)";
    else if (!sinkName.empty() && sinkName != output.text()) where += " (" + sinkName + ")";
    lines.push_back("Output: " + where);
    if (initialized && output.kind != Output::Loopback) {
        // ALC_SOFT_device_clock reports no latency on a loopback device: the
        // sink's figure (what its output has queued) and the period are it.
        const double period = 1000.0 * realTimePeriod / settings.frequency;
        const double sinkMs = double(outputLatencyMicros.load()) / 1000.0;
        char text[128];
        std::snprintf(text, sizeof text, "Latency: %.0f ms (output %.0f ms + period %.0f ms)", sinkMs + period, sinkMs,
                      period);
        lines.push_back(text);
    }
    if (initialized && output.kind != Output::Loopback)
        lines.push_back("Late periods: " + std::to_string(late.load()) + " (the output ran dry before the mix came)");
    lines.push_back("Sample rate: " + std::to_string(settings.frequency));
    lines.push_back("Voices: " + std::to_string(voicesInUse) + " of " + std::to_string(settings.voices));
    lines.push_back(std::string("HRTF: ") + (settings.hrtf ? "on" : "off"));
    lines.push_back("Buffer bytes: " + std::to_string(bufferBytes));
    if (alcDevice) {
        ALCint limiter = ALC_FALSE;
        alcGetIntegerv(alcOf(alcDevice), ALC_OUTPUT_LIMITER_SOFT, 1, &limiter);
        lines.push_back(std::string("Output limiter: ") + (limiter == ALC_TRUE ? "on" : "off"));
    }
    const Loudness now = loudness();
    if (!now.metered) {
        lines.push_back("Loudness: not measured (the meter is off)");
        return;
    }
    lines.push_back(std::string(now.heard ? "Loudness" : "Loudness of the mix (not heard: the output was lost)") +
                    ": momentary " + formatLevel(now.momentary) + " LUFS, short-term " + formatLevel(now.shortTerm) +
                    " LUFS, integrated " + formatLevel(now.integrated) + " LUFS, range " + formatLevel(now.range) +
                    " LU");
    lines.push_back("True peak: " + formatLevel(now.truePeak) + " dBTP");
}

std::string AlDevice::describeLoudness() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    const Loudness now = loudness();
    if (!now.metered)
        return "loudness not measured: the meter is off";
    return std::string(now.heard ? "loudness of the mix: " : "loudness of the mix, not heard (the output was lost): ") +
           describeRun(now);
}

Loudness AlDevice::loudness() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!metering) return Loudness{};
    Loudness now = meter.snapshot();
    now.heard = !lostOutput;
    return now;
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

bool AlDevice::isConnected() { return !lostOutput; }

uint64_t AlDevice::latePeriods() { return late.load(); }

uint64_t AlDevice::framesMixed() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return clock;
}

std::string AlDevice::currentSink() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return sinkName;
}

}  // namespace aldevice

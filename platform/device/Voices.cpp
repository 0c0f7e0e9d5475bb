// Voices: the OpenAL sources an effect holds only while it is heard, who
// holds them when more effects play than the limit allows, and the
// parameters a voice takes from its effect.
#define AL_ALEXT_PROTOTYPES
#include "platform/device/AlDevice.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "platform/device/AlInternal.h"

namespace aldevice {

float AlEffect::loudness() {
    float gain = volume;
    if (now.mode != SOUND3D_MODE_DISABLE) {
        const Vector& listenerAt = device.listener.now.position;
        const Vector offset = now.mode == SOUND3D_MODE_HEADRELATIVE
                                  ? now.position
                                  : Vector(now.position.x - listenerAt.x, now.position.y - listenerAt.y,
                                           now.position.z - listenerAt.z);
        // Distances are in metres: world units times the listener's distance factor.
        const float reference = std::max(now.radius, 1e-4f);
        const float distance = std::max(length(offset) * device.listener.now.distanceFactor, reference);
        gain = volume * reference / (reference + device.listener.now.rolloffFactor * (distance - reference));
    }
    // The key rebalance sorts by: a position, radius or factor that is not a
    // number gives a gain that is none, which no order can place (the sort's
    // comparisons would contradict each other). Such a sound counts as silent.
    return std::isnan(gain) ? 0.0f : gain;
}

void AlEffect::applyPlacement() {
    if (!source) return;
    const ContextScope current = device.makeCurrent();
    // OpenAL works in metres: positions are scaled by the listener's
    // distance factor (metres per world unit); the radius is in metres.
    const float scale = device.listener.now.distanceFactor;
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
    alSourcef(source, AL_ROLLOFF_FACTOR, device.listener.now.rolloffFactor);
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
    if (effect->playing) mayHaveWaiting = true;
    const ContextScope current = makeCurrent();
    alSourceStop(effect->source);
    alSourcei(effect->source, AL_BUFFER, 0);
    if (effect->shared) effect->letGoOfQueue();
    freeSources.push_back(effect->source);
    effect->source = 0;
    --voicesInUse;
}

bool AlDevice::lingers(AlEffect* effect) {
    if (!effect->source || !effect->playing || !initialized || output.kind == Output::Loopback || !outputHeld())
        return false;
    Ghost ghost;
    try {
        ghost.blocks.reserve(effect->queueCount);
        ghosts.reserve(ghosts.size() + 1);
    } catch (const std::bad_alloc&) {
        return false;  // no memory for it: the voice is dropped as always
    }
    effect->position = effect->currentFrame();
    ghost.source = effect->source;
    ghost.buffer = effect->buffer;
    ghost.shared = effect->shared;
    // A stream's queued blocks go with the voice: it plays them out (a
    // ghost is not refilled) and they are given back when it is silenced.
    for (; effect->queueCount > 0; --effect->queueCount) {
        ghost.blocks.push_back(effect->queued[effect->queueHead].block);
        effect->queueHead = (effect->queueHead + 1) % AlEffect::maxQueued;
    }
    effect->queueHead = 0;
    ghosts.push_back(std::move(ghost));
    effect->source = 0;
    mayHaveWaiting = true;
    effect->virtualSince = now();
    --voicesInUse;  // the source stays made: it is free again once silenced
    return true;
}

void AlDevice::silenceGhosts() {
    if (ghosts.empty()) return;
    const ContextScope current = makeCurrent();
    for (Ghost& ghost : ghosts) {
        alSourceStop(ghost.source);
        alSourcei(ghost.source, AL_BUFFER, 0);
        if (ghost.shared)
            for (uint64_t block : ghost.blocks) ghost.shared->letGo(block);
        freeSources.push_back(ghost.source);
    }
    ghosts.clear();  // the buffers and streams they held go here
}

void AlDevice::beginBatch() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (batchDepth++ == 0) batchSince = now();
}

void AlDevice::endBatch() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (batchDepth == 0) return;  // begun on the device before a re-initialisation
    if (--batchDepth == 0) rebalance();
}

void AlDevice::rebalance() {
    if (batchDepth > 0) return;  // the batch's effects start together at its end
    if (tailing) return;         // a tail plays its ghosts alone
    // Most periods nobody waits for a voice: then the effects are not even
    // walked, and no loudness is computed. The lists keep their storage from
    // one period to the next.
    if (!mayHaveWaiting) return;
    std::vector<std::pair<float, AlEffect*>>& heard = heardByLoudness;
    std::vector<std::pair<float, AlEffect*>>& waiting = waitingByLoudness;
    heard.clear();
    waiting.clear();
    for (AlEffect* effect : playingEffects)
        if (effect->playing && !effect->source) waiting.emplace_back(effect->loudness(), effect);
    if (waiting.empty()) {
        mayHaveWaiting = false;
        return;
    }
    for (AlEffect* effect : playingEffects)
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

}  // namespace aldevice

// The listener: position, orientation and factors, at once or at its commit,
// which also applies the effects' deferred placements.
#define AL_ALEXT_PROTOTYPES
#include "platform/device/AlDevice.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include "platform/device/AlInternal.h"

namespace aldevice {

// ---------------------------------------------------------------- listener

void AlListener::apply() {
    if (!device.alcContext) return;
    const ContextScope current = device.makeCurrent();
    const Vector& p = now.position;
    const float scale = now.distanceFactor;
    alListener3f(AL_POSITION, p.x * scale, p.y * scale, p.z * scale);
    const ALfloat orientation[6] = {now.front.x, now.front.y, now.front.z, now.top.x, now.top.y, now.top.z};
    alListenerfv(AL_ORIENTATION, orientation);
    alListenerf(AL_METERS_PER_UNIT, scale);
    // Changed factors reach every voice now; voices taken later get them in
    // applyToSource. A move or a turn changes nothing a voice holds.
    if (scale == givenScale && now.rolloffFactor == givenRolloff) return;
    givenScale = scale;
    givenRolloff = now.rolloffFactor;
    for (AlEffect* effect : device.effects)
        if (effect->source) effect->applyToSource();
}

template <typename Change>
void AlListener::set(Sound3DApply when, Change change) {
    if (!hasPending) pending = now;
    change(pending);
    if (when == SOUND3D_APPLY_DEFERRED) {
        hasPending = true;
        return;
    }
    change(now);
    apply();
}

void AlListener::commit() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    device.commitPending();
}

float AlListener::getDistanceFactor() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    return now.distanceFactor;
}

void AlListener::setDistanceFactor(float factor, Sound3DApply when) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (factor > 0.0f) set(when, [factor](State& s) { s.distanceFactor = factor; });
}

void AlListener::setOrientation(const Vector& f, const Vector& t, Sound3DApply when) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    set(when, [&](State& s) {
        s.front = f;
        s.top = t;
    });
}

void AlListener::setPosition(const Vector& p, Sound3DApply when) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    set(when, [&p](State& s) { s.position = p; });
}

float AlListener::getRolloffFactor() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    return now.rolloffFactor;
}

void AlListener::setRolloffFactor(float factor, Sound3DApply when) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    if (factor >= 0.0f) set(when, [factor](State& s) { s.rolloffFactor = factor; });
}

void AlDevice::commitPending() {
    // The listener first: the effects' positions are scaled by its factor.
    if (listener.hasPending) {
        listener.now = listener.pending;
        listener.hasPending = false;
        listener.apply();
    }
    for (AlEffect* effect : pendingPlacements) {
        effect->now = effect->pending;
        effect->hasPending = false;
        effect->applyPlacement();
    }
    pendingPlacements.clear();
    rebalance();
}

}  // namespace aldevice

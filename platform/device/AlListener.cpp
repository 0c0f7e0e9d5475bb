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

}  // namespace aldevice

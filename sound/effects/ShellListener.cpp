#include "sound/effects/ShellListener.h"

#include <cmath>

#include "sound/effects/DeviceCall.h"
#include "sound/effects/ListenerSettings.h"
#include "sound/manager/Globals.h"
#include "sound/effects/StateReports.h"
#include "sound/manager/LogChannels.h"
#include "sound/request/RequestInterfaces.h"

namespace {

// Tiny components are pushed out to ±0.001, so that jitter around zero does
// not reach the device as a change.
float nudge(float v) {
    if (v > 0.0f && v < 0.001f) return 0.001f;
    if (v < 0.0f && v > -0.001f) return -0.001f;
    return v;
}

Vector nudge(const Vector& v) { return Vector(nudge(v.x), nudge(v.y), nudge(v.z)); }

Vector normalised(const Vector& v) {
    const float factor = 1.0f / std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return Vector(v.x * factor, v.y * factor, v.z * factor);
}

}  // namespace

ShellListener::ShellListener() = default;

ShellListener::~ShellListener() {
    Guard guard(lock);
    if (active) deactivateShell();
}

void ShellListener::activate() {
    Guard guard(lock);
    if (active) {
        reportAlreadyActivated(DEBUG_CONTEXT, name);
        return;
    }
    active = true;
    Sound3DListener* device = theRequestListenerInterface ? theRequestListenerInterface->requestListener() : nullptr;
    if (!device) {
        channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << "failed to activate: " << name
                                                                        << " theSound3DListener == 0");
        return;
    }
    theSound3DListener = device;
    loaded = true;
    setPosition(position, front, top);
    setRolloffFactor(ListenerSettings::getRolloff());
    setDistanceFactor(ListenerSettings::getDistance());
    update();
}

void ShellListener::deactivate() { deactivateShell(); }

void ShellListener::deactivateShell() {
    Guard guard(lock);
    if (!active) {
        reportAlreadyDeactivated(DEBUG_CONTEXT, name);
        return;
    }
    active = false;
    if (loaded) {
        loaded = false;
        if (theRequestListenerInterface) theRequestListenerInterface->freeListener(theSound3DListener);
        theSound3DListener = nullptr;
    }
}

void ShellListener::setPosition(const Vector& p, const Vector& f, const Vector& t) {
    Guard guard(lock);
    const Vector np = nudge(p), nf = nudge(f), nt = nudge(t);
    if (np == position && nf == front && nt == top) return;
    if (np != position) {
        if (loaded) {
            const Vector scaled = ListenerSettings::toDevice(np);
            deviceCall(DEBUG_CONTEXT, [&] { theSound3DListener->setPosition(scaled, SOUND3D_APPLY_DEFERRED); });
        }
        position = np;
    }
    if (nf != front || nt != top) {
        if (loaded) {
            const Vector deviceTop = normalised(ListenerSettings::toDevice(nt));
            const Vector deviceFront = normalised(ListenerSettings::toDevice(nf));
            deviceCall(DEBUG_CONTEXT,
                       [&] { theSound3DListener->setOrientation(deviceFront, deviceTop, SOUND3D_APPLY_DEFERRED); });
        }
        front = nf;
        top = nt;
    }
}

void ShellListener::getPosition(Vector& p, Vector& f, Vector& t) {
    Guard guard(lock);
    p = position;
    f = front;
    t = top;
}

void ShellListener::update() {
    Guard guard(lock);
    if (loaded) deviceCall(DEBUG_CONTEXT, [&] { theSound3DListener->commit(); });
}

void ShellListener::setRolloffFactor(float factor) {
    Guard guard(lock);
    if (loaded) deviceCall(DEBUG_CONTEXT, [&] { theSound3DListener->setRolloffFactor(factor, SOUND3D_APPLY_IMMEDIATE); });
}

void ShellListener::setDistanceFactor(float factor) {
    Guard guard(lock);
    if (loaded)
        deviceCall(DEBUG_CONTEXT, [&] { theSound3DListener->setDistanceFactor(factor, SOUND3D_APPLY_IMMEDIATE); });
}

float ShellListener::getRolloffFactor() {
    Guard guard(lock);
    float value = 1.0f;
    if (loaded && !deviceCall(DEBUG_CONTEXT, [&] { value = theSound3DListener->getRolloffFactor(); })) value = 1.0f;
    return value;
}

float ShellListener::getDistanceFactor() {
    Guard guard(lock);
    float value = 1.0f;
    if (loaded && !deviceCall(DEBUG_CONTEXT, [&] { value = theSound3DListener->getDistanceFactor(); })) value = 1.0f;
    return value;
}

bool ShellListener::isLoaded() {
    Guard guard(lock);
    return loaded;
}

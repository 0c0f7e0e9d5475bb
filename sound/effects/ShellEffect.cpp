#include "sound/effects/ShellEffect.h"

#include "sound/effects/DeviceCall.h"
#include "sound/effects/ListenerSettings.h"
#include "sound/manager/Globals.h"
#include "sound/effects/StateReports.h"
#include "sound/manager/LogChannels.h"
#include "sound/request/RequestInterfaces.h"

ShellEffect::ShellEffect() = default;
ShellEffect::ShellEffect(const std::string& n) : Effect(n) {}

ShellEffect::~ShellEffect() {
    Guard guard(lock);
    if (active) deactivateShell();
}

void ShellEffect::activate() {
    Guard guard(lock);
    if (active) {
        reportAlreadyActivated(DEBUG_CONTEXT, name);
        return;
    }
    active = true;
    loadSound3DEffect();
}

void ShellEffect::deactivate() { deactivateShell(); }

void ShellEffect::deactivateShell() {
    Guard guard(lock);
    if (!active) {
        reportAlreadyDeactivated(DEBUG_CONTEXT, name);
        return;
    }
    if (isPlaying()) {
        pause();
        playing = true;  // resume on the next activation
    }
    active = false;
    unloadSound3DEffect();
}

void ShellEffect::loadSound3DEffect() {
    Guard guard(lock);
    Sound3DEffect* device = theRequestEffectInterface ? theRequestEffectInterface->load(name) : nullptr;
    if (!device) {
        channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << "failed to activate: " << name
                                                                        << " sound3DEffect == 0");
        return;
    }
    sound3DEffect = device;
    loaded = true;
    applying = true;
    setLooped(looped);
    if (playPosition != 0) {
        const uint32_t at = playPosition;
        deviceCall(DEBUG_CONTEXT, [&] { sound3DEffect->setPlayPosition(at); });
    }
    const Sound3DApply savedApply = sound3DApply;
    sound3DApply = SOUND3D_APPLY_IMMEDIATE;
    setPosition(position);
    setSound3DMode(sound3DMode);
    setRadius(radius);
    setVolume(volume);
    sound3DApply = savedApply;
    if (playing) play();
    if (triggered) trigger();
    applying = false;
}

void ShellEffect::unloadSound3DEffect() {
    Guard guard(lock);
    if (!loaded) return;
    loaded = false;
    if (theRequestEffectInterface) theRequestEffectInterface->unload(name, sound3DEffect);
    sound3DEffect = nullptr;
}

void ShellEffect::setLooped(bool value) {
    Guard guard(lock);
    looped = value;
    // A playing sound keeps its loop mode on the device until it is next loaded.
    if (!applying && isPlaying()) return;
    if (loaded) deviceCall(DEBUG_CONTEXT, [&] { sound3DEffect->setLooped(value); });
}

bool ShellEffect::getLooped() {
    Guard guard(lock);
    return looped;
}

uint32_t ShellEffect::getSavedPlayPosition() {
    Guard guard(lock);
    return playPosition;
}

void ShellEffect::restartPastEnd(uint32_t frames) {
    Guard guard(lock);
    if (playPosition >= frames) playPosition = 0;
}

bool ShellEffect::isLoaded() {
    Guard guard(lock);
    return loaded;
}

void ShellEffect::play() {
    Guard guard(lock);
    if (!applying && isPlaying()) return;
    playing = true;
    if (!loaded) {
        // A looped sound starts when it is next loaded; a one-shot is dropped.
        if (!looped) playing = false;
        return;
    }
    deviceCall(DEBUG_CONTEXT, [&] { sound3DEffect->play(); });
}

bool ShellEffect::isPlaying() {
    Guard guard(lock);
    if (playing && loaded) {
        bool answer = false;
        deviceCall(DEBUG_CONTEXT, [&] { answer = sound3DEffect->isPlaying(); });
        if (!answer) playing = false;
    }
    return playing;
}

void ShellEffect::pause() {
    Guard guard(lock);
    if (!applying && !isPlaying()) return;
    playing = false;
    if (loaded) {
        deviceCall(DEBUG_CONTEXT, [&] { sound3DEffect->stop(); });
        // A failed query reads as the getter's default: no position to resume from.
        if (!deviceCall(DEBUG_CONTEXT, [&] { playPosition = sound3DEffect->getPlayPosition(); })) playPosition = 0;
    }
}

void ShellEffect::stop() {
    Guard guard(lock);
    pause();
    triggered = false;
    playPosition = 0;
    if (loaded) deviceCall(DEBUG_CONTEXT, [&] { sound3DEffect->setPlayPosition(0); });
}

void ShellEffect::trigger() {
    Guard guard(lock);
    if (!applying && !isPlaying()) return;
    triggered = true;
    if (loaded) deviceCall(DEBUG_CONTEXT, [&] { sound3DEffect->trigger(); });
}

void ShellEffect::setPosition(const Vector& p) {
    Guard guard(lock);
    if (!applying && p == position) return;
    position = p;
    if (loaded) {
        const Vector scaled = ListenerSettings::toDevice(p);
        deviceCall(DEBUG_CONTEXT, [&] { sound3DEffect->setPosition(scaled, sound3DApply); });
    }
}

Vector ShellEffect::getPosition() {
    Guard guard(lock);
    return position;
}

void ShellEffect::setRadius(float r) {
    Guard guard(lock);
    if (!applying && r == radius) return;
    radius = r;
    if (loaded) deviceCall(DEBUG_CONTEXT, [&] { sound3DEffect->setRadius(r, sound3DApply); });
}

void ShellEffect::setVolume(float v) {
    Guard guard(lock);
    if (!applying && v == volume) return;
    volume = v;
    if (loaded) deviceCall(DEBUG_CONTEXT, [&] { sound3DEffect->setVolume(v); });
}

void ShellEffect::setSound3DMode(Sound3DMode m) {
    Guard guard(lock);
    if (!applying && m == sound3DMode) return;
    sound3DMode = m;
    if (loaded) deviceCall(DEBUG_CONTEXT, [&] { sound3DEffect->setMode(m, sound3DApply); });
}

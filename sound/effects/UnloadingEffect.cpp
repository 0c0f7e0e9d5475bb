#include "sound/effects/UnloadingEffect.h"

#include <new>

#include "sound/manager/Globals.h"
#include "sound/effects/StateReports.h"
#include "sound/manager/LogChannels.h"

UnloadingEffect::UnloadingEffect() = default;
UnloadingEffect::UnloadingEffect(const std::string& n) : ShellEffect(n) {}

UnloadingEffect::~UnloadingEffect() {
    // No pass may call into this effect from here on.
    if (theProcessHearerManager) theProcessHearerManager->retireHearer(this);
    Guard guard(lock);
    if (active) deactivateUnloading();
}

void UnloadingEffect::activate() {
    Guard guard(lock);
    if (active) {
        reportAlreadyActivated(DEBUG_CONTEXT, name);
        return;
    }
    active = true;  // the buffer comes with the first play()
}

void UnloadingEffect::deactivate() { deactivateUnloading(); }

void UnloadingEffect::deactivateUnloading() {
    if (theProcessHearerManager) theProcessHearerManager->removeHearer(this);
    Guard guard(lock);
    if (!active) {
        reportAlreadyDeactivated(DEBUG_CONTEXT, name);
        return;
    }
    if (isPlaying()) {
        pause();
        playing = true;
    }
    active = false;
    process();
    if (loaded) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Buffer " << name
                                                                << " is yet created after deactivation");
        // The device would not stop it (a failed call): the buffer goes back
        // all the same, since the device may be closed next and take it.
        unloadSound3DEffect();
    }
}

void UnloadingEffect::play() {
    Guard guard(lock);
    if (active && !loaded) {
        loadSound3DEffect();
        if (loaded && theProcessHearerManager) {
            try {
                theProcessHearerManager->addHearer(this);
            } catch (const std::bad_alloc&) {
                // Unheard by the periodic pass it would never give its
                // buffer back: refused instead.
                channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "failed to play " << name
                                                                        << ": out of memory");
                unloadSound3DEffect();
                return;
            }
        }
    }
    ShellEffect::play();
}

void UnloadingEffect::process() {
    Guard guard(lock);
    if (loaded && !isPlaying()) {
        if (theProcessHearerManager) theProcessHearerManager->removeHearer(this);
        unloadSound3DEffect();
    }
}

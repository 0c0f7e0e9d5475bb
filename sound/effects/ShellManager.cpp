#include "sound/effects/ShellManager.h"

#include <algorithm>

#include "interfaces/Config.h"
#include "sound/effects/ListenerSettings.h"
#include "sound/effects/ShellEffect.h"
#include "sound/effects/ShellListener.h"
#include "sound/manager/Globals.h"
#include "sound/manager/LogChannels.h"
#include "sound/request/EffectConfig.h"
#include "sound/request/RequestManager.h"

namespace {

// Moves one of the manager's switches to `wanted` and tells every object;
// a switch already in that state is an error, reported at the caller's
// position, and changes nothing.
template <typename Objects, typename Tell>
void flip(const debug::Context& where, bool& state, bool wanted, const char* operation, Objects& objects,
          Tell tell) {
    if (state == wanted) {
        channels::soundManager.post(debug::Error(where) << "Skip " << operation << ": already done");
        return;
    }
    state = wanted;
    for (auto* object : objects) tell(object);
}

}  // namespace

ShellManager::ShellManager() {
    // In the body: managerPassword is declared after focusPassword.
    focusPassword = managerPassword + "FocusProcessor";
}

ShellManager::~ShellManager() {
    Guard guard(lock);
    if (activated) shellDeactivate();
    for (Effect* effect : effects) delete effect;
    effects.clear();
    for (Listener* listener : listeners) delete listener;
    listeners.clear();
}

const EffectConfig* ShellManager::findConfig(const std::string& name) {
    return theRequestManager ? theRequestManager->getRequestEffectConfig(name) : nullptr;
}

Effect* ShellManager::createEffect(const std::string& name) {
    Guard guard(lock);
    Effect* effect = new ShellEffect(name);
    configureEffect(effect, name);
    effects.push_back(effect);
    return effect;
}

void ShellManager::configureEffect(Effect* effect, const std::string& name) {
    Guard guard(lock);
    effect->addCommonPassword(effectsActive, managerPassword);
    if (const EffectConfig* config = findConfig(name)) {
        Sound3DMode mode = SOUND3D_MODE_NORMAL;
        if (config->mode == "headrelative") mode = SOUND3D_MODE_HEADRELATIVE;
        else if (config->mode == "disable") mode = SOUND3D_MODE_DISABLE;
        effect->setSound3DMode(mode);
        effect->setVolume(config->volume, managerPassword);
        effect->setRadius(config->radius, managerPassword);
        if (auto* shell = dynamic_cast<ShellEffect*>(effect)) shell->setLooped(config->looped);
    }
    effect->addCommonPassword(true, focusPassword);
    effect->setVolume(focus ? 1.0f : 0.0f, focusPassword);
}

void ShellManager::destroyEffect(Effect* effect) {
    Guard guard(lock);
    if (!dynamic_cast<ShellEffect*>(effect)) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Skip destroyEffect: cast failed");
        return;
    }
    effects.remove(effect);
    delete effect;
}

void ShellManager::activateAllEffects() {
    Guard guard(lock);
    flip(DEBUG_CONTEXT, effectsActive, true, "activateAllEffects", effects,
         [&](auto* object) { object->activate(managerPassword); });
}

void ShellManager::deactivateAllEffects() {
    Guard guard(lock);
    flip(DEBUG_CONTEXT, effectsActive, false, "deactivateAllEffects", effects,
         [&](auto* object) { object->deactivate(managerPassword); });
}

Listener* ShellManager::createListener() {
    Guard guard(lock);
    auto* listener = new ShellListener;
    listeners.push_back(listener);
    if (listenersActive) listener->activate();
    return listener;
}

void ShellManager::destroyListener(Listener* listener) {
    Guard guard(lock);
    if (!dynamic_cast<ShellListener*>(listener)) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Skip destroyListener: cast failed");
        return;
    }
    listeners.remove(listener);
    delete listener;
}

void ShellManager::activateAllListeners() {
    Guard guard(lock);
    flip(DEBUG_CONTEXT, listenersActive, true, "activateAllListeners", listeners,
         [&](auto* object) { object->activate(); });
}

void ShellManager::deactivateAllListeners() {
    Guard guard(lock);
    flip(DEBUG_CONTEXT, listenersActive, false, "deactivateAllListeners", listeners,
         [&](auto* object) { object->deactivate(); });
}

void ShellManager::activate() {
    Guard guard(lock);
    if (activated) return;
    activated = true;
    // Switch on again whatever was on before the last deactivate().
    if (effectsActive) {
        effectsActive = false;
        activateAllEffects();
    }
    if (listenersActive) {
        listenersActive = false;
        activateAllListeners();
    }
    if (RenderWindow* window = theRenderWindow) {
        focus = window->hasFocus();
        window->registerListener(this);
        windowRegistered = true;
    }
}

void ShellManager::deactivate() { shellDeactivate(); }

void ShellManager::shellDeactivate() {
    Guard guard(lock);
    if (!activated) return;
    activated = false;
    if (windowRegistered) {
        if (RenderWindow* window = theRenderWindow) window->unregisterListener(this);
        else channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "theRenderWindow != 0");
        windowRegistered = false;
    }
    if (effectsActive) {
        deactivateAllEffects();
        effectsActive = true;  // the next activate() switches them on again
    }
    if (listenersActive) {
        deactivateAllListeners();
        listenersActive = true;
    }
}

void ShellManager::getFocus() {
    Guard guard(lock);
    if (focus) {
        channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 1.0f) << "Skip getFocus: already done");
        return;
    }
    focus = true;
    for (Effect* effect : effects) effect->setVolume(1.0f, focusPassword);
}

void ShellManager::lostFocus() {
    Guard guard(lock);
    if (!focus) {
        channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 1.0f) << "Skip lostFocus: already done");
        return;
    }
    focus = false;
    for (Effect* effect : effects) effect->setVolume(0.0f, focusPassword);
}

void ShellManager::reloadListenerConfig() {
    Guard guard(lock);
    const bool wasActivated = activated;
    if (wasActivated) deactivate();
    float rolloff = ListenerSettings::getRolloff(), distance = ListenerSettings::getDistance();
    float scaleXY = ListenerSettings::getScaleXY(), scaleZ = ListenerSettings::getScaleZ();
    float limit = ListenerSettings::getProcessTimeLimit();
    configmanager::ConfigManager config;
    if (config.readFile("/Configs/Sounds/Listener.cfg")) {
        config.getProperty("rolloff", &rolloff);
        config.getProperty("distance", &distance);
        config.getProperty("scaleXY", &scaleXY);
        config.getProperty("scaleZ", &scaleZ);
        config.getProperty("processTimeLimit", &limit);
        ListenerSettings::set(rolloff, distance, scaleXY, scaleZ, limit);
    }
    if (wasActivated) activate();
}

bool ShellManager::getIsActivated() {
    Guard guard(lock);
    return activated;
}

bool ShellManager::getHasFocus() {
    Guard guard(lock);
    return focus;
}

size_t ShellManager::getEffectCount() {
    Guard guard(lock);
    return effects.size();
}

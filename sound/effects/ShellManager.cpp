#include "sound/effects/ShellManager.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "interfaces/Config.h"
#include "sound/effects/ListenerSettings.h"
#include "sound/effects/ShellEffect.h"
#include "sound/effects/ShellListener.h"
#include "sound/manager/Boundary.h"
#include "sound/manager/Globals.h"
#include "sound/manager/LogChannels.h"
#include "sound/request/EffectConfig.h"
#include "sound/request/StartTogether.h"
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
    Effect* made = nullptr;
    guarded(channels::soundManager, DEBUG_CONTEXT, "createEffect", [&] {
        // Deleted again (its device effect given back) unless it is kept.
        std::unique_ptr<Effect> effect(new ShellEffect(name));
        configureEffect(effect.get(), name);
        effects.push_back(effect.get());
        made = effect.release();
    });
    return made;
}

namespace {

Sound3DMode modeOf(const EffectConfig& config) {
    if (config.mode == "headrelative") return SOUND3D_MODE_HEADRELATIVE;
    if (config.mode == "disable") return SOUND3D_MODE_DISABLE;
    return SOUND3D_MODE_NORMAL;
}

}  // namespace

// Volume, radius and looping of the effect's record, under the manager's password.
void ShellManager::applySettings(Effect* effect, const EffectConfig& config) {
    effect->setVolume(config.volume, managerPassword);
    effect->setRadius(config.radius, managerPassword);
    if (auto* shell = dynamic_cast<ShellEffect*>(effect)) shell->setLooped(config.looped);
}

void ShellManager::configureEffect(Effect* effect, const std::string& name) {
    Guard guard(lock);
    effect->addCommonPassword(effectsActive, managerPassword);
    if (const EffectConfig* config = findConfig(name)) {
        effect->setSound3DMode(modeOf(*config));
        applySettings(effect, *config);
    }
    effect->addCommonPassword(true, focusPassword);
    effect->setVolume(focus ? 1.0f : 0.0f, focusPassword);
    // An effect without its switches would escape pause, focus and
    // deactivation: one refused password (out of memory) fails the creation.
    if (!effect->holdsPassword(managerPassword) || !effect->holdsPassword(focusPassword)) throw std::bad_alloc();
}

void ShellManager::releaseKept(const std::set<std::string>&) {}
void ShellManager::reloadKept(const std::set<std::string>&) {}

size_t ShellManager::reloadEffects(const EffectReload& what, const std::function<void()>& between) {
    Guard guard(lock);
    // A password of its own holds the effects off while their sound is
    // replaced, so the other switches (pause, groups, faders) stay as they are.
    static const std::string reloadPassword = "ContentReload";
    struct Held {
        Effect* effect;
        bool wasPlaying;
    };
    std::vector<Held> held;
    for (Effect* effect : effects) {
        if (!what.reload.count(effect->getName())) continue;
        const bool wasPlaying = effect->getIsActive() && effect->isPlaying();
        effect->addCommonPassword(false, reloadPassword);
        held.push_back({effect, wasPlaying});
    }
    releaseKept(what.reload);
    if (between) between();
    for (Effect* effect : effects) {
        const std::string name = effect->getName();
        const bool settings = what.reconfigure.count(name) != 0;
        const bool mode = what.remode.count(name) != 0;
        if (!settings && !mode) continue;
        const EffectConfig* config = findConfig(name);
        if (!config) continue;
        if (mode) effect->setSound3DMode(modeOf(*config));
        if (settings) applySettings(effect, *config);
    }
    reloadKept(what.reload);
    for (const Held& h : held) {
        auto* shell = dynamic_cast<ShellEffect*>(h.effect);
        auto length = what.frames.find(h.effect->getName());
        if (shell && length != what.frames.end()) shell->restartPastEnd(length->second);
        h.effect->removeCommonPassword(reloadPassword);
        // An effect of a "memory" sound takes its buffer only at play.
        if (h.wasPlaying && h.effect->getIsActive() && !h.effect->isPlaying()) h.effect->play();
    }
    return held.size();
}

void ShellManager::destroyEffect(Effect* effect) {
    Guard guard(lock);
    if (!dynamic_cast<ShellEffect*>(effect)) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Skip destroyEffect: cast failed");
        return;
    }
    // Listed once; handed back mostly oldest first (a landscape map of
    // thousands of sources), so the search ends near the front.
    const auto listed = std::find(effects.begin(), effects.end(), effect);
    if (listed != effects.end()) effects.erase(listed);
    delete effect;
}

void ShellManager::activateAllEffects() {
    Guard guard(lock);
    const StartTogether together;  // what resumes, resumes in step
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
    Listener* made = nullptr;
    guarded(channels::soundManager, DEBUG_CONTEXT, "createListener", [&] {
        std::unique_ptr<Listener> listener(new ShellListener);
        listeners.push_back(listener.get());
        made = listener.release();
    });
    if (made && listenersActive) made->activate();
    return made;
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

namespace {

// The keys "Listener.cfg" holds, into the listener settings; false when the
// file does not read (the settings stay).
bool readListenerFile() {
    float rolloff = ListenerSettings::getRolloff(), distance = ListenerSettings::getDistance();
    float scaleXY = ListenerSettings::getScaleXY(), scaleZ = ListenerSettings::getScaleZ();
    float limit = ListenerSettings::getProcessTimeLimit();
    configmanager::ConfigManager config;
    if (!config.readFile("/Configs/Sounds/Listener.cfg")) return false;
    config.getProperty("rolloff", &rolloff);
    config.getProperty("distance", &distance);
    config.getProperty("scaleXY", &scaleXY);
    config.getProperty("scaleZ", &scaleZ);
    config.getProperty("processTimeLimit", &limit);
    ListenerSettings::set(rolloff, distance, scaleXY, scaleZ, limit);
    return true;
}

}  // namespace

void ShellManager::reloadListenerConfig() {
    Guard guard(lock);
    const bool wasActivated = activated;
    if (wasActivated) deactivate();
    readListenerFile();
    if (wasActivated) activate();
}

bool ShellManager::reloadListenerSettings() {
    Guard guard(lock);
    if (!readListenerFile()) return false;
    // Rolloff and distance reach a listener when it is activated.
    if (activated && listenersActive) {
        for (Listener* listener : listeners) {
            listener->deactivate();
            listener->activate();
        }
    }
    return true;
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

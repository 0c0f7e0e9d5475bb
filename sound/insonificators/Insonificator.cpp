#include "sound/insonificators/Insonificator.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "sound/effects/Effect.h"
#include "sound/effects/EffectManager.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/manager/Boundary.h"
#include "sound/manager/Globals.h"
#include "sound/manager/LogChannels.h"

Insonificator::Insonificator() : effectManager(theEffectManager) {
    if (theInsonificatorManager) theInsonificatorManager->add(this);
}

Insonificator::~Insonificator() {
    Guard guard(lock);
    if (enabled) disableAllEffects();
    if (effectManager)
        for (Effect* effect : effects) effectManager->destroyEffect(effect);
    effects.clear();
}

void Insonificator::start() {}
void Insonificator::stop() {}

Effect* Insonificator::createEffect(const std::string& effectName) {
    Guard guard(lock);
    Effect* effect = effectManager ? effectManager->createEffect(effectName) : nullptr;
    if (!effect) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "failed to create effect " << effectName
                                                                << " in insonificator " << name);
        return nullptr;
    }
    const bool kept = guarded(channels::soundManager, DEBUG_CONTEXT, "createEffect", [&] {
        effect->addCommonPassword(enabled, name);
        if (!effect->holdsPassword(name)) throw std::bad_alloc();  // refused: out of memory
        effect->setVolume(gain, name);
        effects.push_back(effect);
    });
    if (!kept) {  // out of memory: the effect goes back to its manager
        effectManager->destroyEffect(effect);
        return nullptr;
    }
    return effect;
}

void Insonificator::destroyEffect(Effect* effect) {
    Guard guard(lock);
    // Listed once; handed back mostly oldest first (a landscape map of
    // thousands of sources), so the search ends near the front.
    const auto listed = std::find(effects.begin(), effects.end(), effect);
    if (listed != effects.end()) effects.erase(listed);
    if (effectManager) effectManager->destroyEffect(effect);
}

void Insonificator::enableAllEffects() {
    Guard guard(lock);
    if (enabled) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "failed to enable insonificator " << name
                                                                << ": already enabled");
        return;
    }
    enabled = true;
    for (Effect* effect : effects) effect->activate(name);
}

void Insonificator::disableAllEffects() {
    Guard guard(lock);
    if (!enabled) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "failed to disable insonificator " << name
                                                                << ": already disabled");
        return;
    }
    enabled = false;
    for (Effect* effect : effects) effect->deactivate(name);
}

bool Insonificator::getIsEnabledAllEffects() {
    Guard guard(lock);
    return enabled;
}

void Insonificator::setQuality(float q) {
    Guard guard(lock);
    quality = q;
}

float Insonificator::getQuality() {
    Guard guard(lock);
    return quality;
}

float Insonificator::getMinQuality() { return 0.0f; }
float Insonificator::getMaxQuality() { return 1.0f; }

float Insonificator::gainOfVolume(float volume) {
    return static_cast<float>(std::pow(2.0, (static_cast<double>(volume) - 1.0) * 10.0));
}

void Insonificator::setVolume(float volume) {
    Guard guard(lock);
    gain = gainOfVolume(volume);
    for (Effect* effect : effects) effect->setVolume(gain, name);
}

float Insonificator::getVolume() {
    Guard guard(lock);
    return static_cast<float>(std::log(static_cast<double>(gain)) / std::log(2.0) * 0.1 + 1.0);
}

float Insonificator::getMinVolume() { return 0.0f; }
float Insonificator::getMaxVolume() { return 1.0f; }

std::string Insonificator::getName() {
    Guard guard(lock);
    return name;
}

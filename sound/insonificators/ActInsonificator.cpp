#include "sound/insonificators/ActInsonificator.h"

#include "sound/effects/Effect.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/manager/Globals.h"

ActInsonificator::ActInsonificator() {
    Guard guard(lock);
    if (theInsonificatorManager) name = theInsonificatorManager->getName(0);
}

ActInsonificator::~ActInsonificator() = default;

void ActInsonificator::start() {}
void ActInsonificator::stop() {}

Effect* ActInsonificator::createEffect(const std::string& effectName) {
    Guard guard(lock);
    for (Effect* effect : effects)
        if (effect->hasName(effectName)) return effect;
    return Insonificator::createEffect(effectName);
}

void ActInsonificator::destroyEffect(Effect*) {}

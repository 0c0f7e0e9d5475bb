#pragma once
// The factory of effects. Effects belong to the manager that created them:
// clients hand them back through destroyEffect, never delete them.
//
// Threads: any thread.
#include <string>

#include "interfaces/Export.h"

class Effect;

class ZULSOUND_API EffectManager {
public:
    EffectManager() = default;
    EffectManager(const EffectManager&) = default;
    EffectManager& operator=(const EffectManager&) = default;
    virtual ~EffectManager() = default;

    virtual Effect* createEffect(const std::string& name) = 0;
    virtual void destroyEffect(Effect* effect) = 0;
    virtual void activateAllEffects() = 0;
    virtual void deactivateAllEffects() = 0;
};

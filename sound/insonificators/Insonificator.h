#pragma once
// A named group of effects with one volume (applied as a gain), one quality
// setting and one on/off switch. Every effect is created through exactly one
// insonificator, which tags it with the group name as a password: the
// group's gain is the effect's volume under that password, and switching the
// group off deactivates the effect under it. Effects are handed back to the
// effect manager, never deleted here.
//
// Threads: any thread (the music insonificator's worker included). Every
// operation holds the insonificator's lock, also while it calls into effects
// and the effect manager (lock order: insonificator, then manager, then effect).
#include <list>
#include <mutex>
#include <string>

#include "interfaces/Export.h"

class Effect;
class EffectManager;

class ZULSOUND_API Insonificator {
public:
    Insonificator();
    virtual ~Insonificator();

    virtual void start();
    virtual void stop();
    virtual Effect* createEffect(const std::string& name);
    virtual void destroyEffect(Effect* effect);
    virtual void enableAllEffects();
    virtual void disableAllEffects();
    virtual bool getIsEnabledAllEffects();
    virtual void setQuality(float quality);
    virtual float getQuality();
    virtual float getMinQuality();
    virtual float getMaxQuality();
    virtual void setVolume(float volume);
    virtual float getVolume();
    virtual float getMinVolume();
    virtual float getMaxVolume();

    std::string getName();
    // The linear gain the group volume stands for: 2^((volume - 1) * 10).
    static float gainOfVolume(float volume);

    Insonificator(const Insonificator&) = delete;
    Insonificator& operator=(const Insonificator&) = delete;

protected:
    using Guard = std::lock_guard<std::recursive_mutex>;

    float quality = 1.0f;
    float gain = 1.0f;
    bool enabled = true;
    std::list<Effect*> effects;
    std::recursive_mutex lock;
    EffectManager* effectManager;
    std::string name = "undefined insonificator";
};

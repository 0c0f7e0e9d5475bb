#pragma once
/// @file
/// A named group of effects with one volume, quality and switch.
#include <list>
#include <mutex>
#include <string>

#include "interfaces/Export.h"

class Effect;
class EffectManager;

/// A named group of effects with one volume (applied as a gain), one
/// quality setting and one on/off switch: the four sound groups are
/// insonificators. Every effect is created through exactly one
/// insonificator, which tags it with the group name as a password: the
/// group's gain is the effect's volume under that password, and switching
/// the group off deactivates the effect under it. Effects are handed back
/// to the effect manager, never deleted here.
///
/// The game sets a group's volume and switch through theInsonificatorManager
/// by group id; it calls an insonificator directly for its effects.
///
/// Threads: any thread (the music insonificator's worker included). Every
/// operation holds the insonificator's lock, also while it calls into
/// effects and the effect manager (lock order: insonificator, then manager,
/// then effect).
class ZULSOUND_API Insonificator {
public:
    /// Registers itself with theInsonificatorManager and takes
    /// theEffectManager as its factory: build after the SoundManager.
    Insonificator();
    /// Hands every effect it still holds back to the effect manager.
    virtual ~Insonificator();

    /// Starts the group's own activity (the music worker's queue, the
    /// landscape's game); nothing for a plain group.
    virtual void start();
    /// Stops what start() began; nothing for a plain group.
    virtual void stop();
    /// A new effect for an effect name of "Effects.snd", tagged with the
    /// group's password (active while the group is enabled) and gain, and
    /// kept in the group. A name "Effects.snd" does not declare still gives
    /// an effect, one that is never loaded and never heard (the request
    /// manager warns "Skip load NAME: ..."). Null only without an effect
    /// manager (after the SoundManager is gone), with the error "failed to
    /// create effect NAME in insonificator GROUP".
    virtual Effect* createEffect(const std::string& name);
    /// Takes the effect out of the group and hands it back to the effect
    /// manager, which deletes it.
    virtual void destroyEffect(Effect* effect);
    /// Switches the group on: its effects are heard again. Already on:
    /// error "failed to enable insonificator GROUP: already enabled".
    virtual void enableAllEffects();
    /// Switches the group off: its effects fall silent. Already off: error
    /// "failed to disable insonificator GROUP: already disabled".
    virtual void disableAllEffects();
    /// Whether the group is on (true at first).
    virtual bool getIsEnabledAllEffects();
    /// Stores a quality between getMinQuality() and getMaxQuality();
    /// nothing in the library depends on it yet.
    virtual void setQuality(float quality);
    /// The quality last set (1.0 at first).
    virtual float getQuality();
    /// The lowest quality, 0.0.
    virtual float getMinQuality();
    /// The highest quality, 1.0.
    virtual float getMaxQuality();
    /// Sets the group volume (getMinVolume() 0.0 to getMaxVolume() 1.0):
    /// every effect of the group gets the gain gainOfVolume(volume) under
    /// the group password, at once.
    virtual void setVolume(float volume);
    /// The group volume, computed back from the gain (1.0 at first).
    virtual float getVolume();
    /// The lowest volume, 0.0.
    virtual float getMinVolume();
    /// The highest volume, 1.0.
    virtual float getMaxVolume();

    /// The group name ("Sound effects", "Environment sounds", "Menu
    /// sounds", "Music"), or "undefined insonificator".
    std::string getName();
    /// The linear gain a group volume stands for: 2^((volume - 1) * 10).
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

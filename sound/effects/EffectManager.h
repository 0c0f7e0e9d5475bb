#pragma once
/// @file
/// The factory of effects (theEffectManager).
#include <string>

#include "interfaces/Export.h"

class Effect;

/// The factory of effects, published as theEffectManager. Effects belong to
/// the manager that created them: clients hand them back through
/// destroyEffect(), never delete them. A game normally asks an insonificator
/// for effects, which tags them with its group; effects created here
/// directly belong to no group.
///
/// Threads: any thread.
class ZULSOUND_API EffectManager {
public:
    /// An interface: the library holds the one implementation.
    EffectManager() = default;
    /// Copyable, as an interface without state is.
    EffectManager(const EffectManager&) = default;
    /// Copyable, as an interface without state is.
    EffectManager& operator=(const EffectManager&) = default;
    /// Implementations only.
    virtual ~EffectManager() = default;

    /// A new effect for an effect name of "Effects.snd", with the manager's
    /// own passwords (switch and window focus) and the entry's volume,
    /// radius, loop flag and 3D mode. Never null: for a name "Effects.snd"
    /// does not declare, or before SoundManager::activate(), the effect
    /// stays silent and the request manager warns "Skip load NAME: ...".
    /// Null only when memory runs out (error "failed to createEffect: out
    /// of memory").
    virtual Effect* createEffect(const std::string& name) = 0;
    /// Takes an effect back and deletes it (its sound stops). An effect it
    /// did not create is refused with "Skip destroyEffect: cast failed".
    virtual void destroyEffect(Effect* effect) = 0;
    /// Switches every effect back on (SoundManager::unpause()).
    virtual void activateAllEffects() = 0;
    /// Switches every effect off (SoundManager::pause()).
    virtual void deactivateAllEffects() = 0;
};

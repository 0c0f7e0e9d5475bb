#pragma once
/// @file
/// The group "Sound effects": the game's action sounds (theActInsonificator).
#include "sound/insonificators/Insonificator.h"

/// The group "Sound effects" (id 0): the game's action sounds, published as
/// theActInsonificator. One shared effect per effect name: every caller
/// asking for a name gets the same effect, which lives until the
/// insonificator is destroyed (with the SoundManager).
///
/// Threads: any thread.
class ZULSOUND_API ActInsonificator : public Insonificator {
public:
    /// Built by the SoundManager.
    ActInsonificator();
    ~ActInsonificator() override;

    /// Nothing (SoundManager::startGame() calls it).
    void start() override;
    /// Nothing (SoundManager::stopGame() calls it).
    void stop() override;
    /// The effect of that effect name: the one already handed out for it,
    /// else a new one (see Insonificator::createEffect(): an unknown name
    /// gives an effect that is never loaded, not null). Position it and
    /// play it; an effect still playing ignores play() (trigger() starts it
    /// again), and trigger() does nothing on one that is not playing.
    Effect* createEffect(const std::string& name) override;
    /// Does nothing: shared effects go only with the insonificator.
    void destroyEffect(Effect* effect) override;
};

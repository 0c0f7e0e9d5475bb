#pragma once
// The effect over the request manager. It keeps its whole playing state
// (position, mode, radius, volume, loop flag, whether it should play, where
// it stopped) and holds a device effect only while it is active. Deactivated,
// it gives the device effect back; activated again, it obtains a new one and
// re-applies the stored state, so a sound survives a device restart or a
// pause and resumes where it stopped.
//
// Threads: any thread; every operation runs under the effect's lock,
// including the calls into the device and the request manager.
#include <cstdint>

#include "sound/effects/Effect.h"

class ShellEffect : public Effect {
public:
    ShellEffect();
    explicit ShellEffect(const std::string& name);
    ~ShellEffect() override;

    void activate() override;
    void deactivate() override;
    using Effect::activate;
    using Effect::deactivate;
    void setVolume(float volume) override;
    void setRadius(float radius) override;
    using Effect::setRadius;
    using Effect::setVolume;
    void setSound3DMode(Sound3DMode mode) override;
    void play() override;
    bool isPlaying() override;
    void stop() override;
    void pause() override;
    void trigger() override;
    void setPosition(const Vector& position) override;
    Vector getPosition() override;

    virtual void loadSound3DEffect();
    virtual void unloadSound3DEffect();

    void setLooped(bool looped);
    bool getLooped();
    bool isLoaded();
    // Where playback stopped at the last pause (0 after stop()).
    uint32_t getSavedPlayPosition();
    // Its sound was replaced by one `frames` sample frames long: a saved
    // position at or past that end starts over from the beginning.
    void restartPastEnd(uint32_t frames);

protected:
    // The shell effect's own deactivate, for destructors (no virtual call).
    void deactivateShell();

    bool loaded = false;
    bool applying = false;
    bool playing = false;
    bool looped = false;
    bool triggered = false;
    uint32_t playPosition = 0;
    Sound3DEffect* sound3DEffect = nullptr;
};

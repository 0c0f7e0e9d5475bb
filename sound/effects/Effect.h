#pragma once
/// @file
/// One playable sound instance, steered by several clients at once.
#include <map>
#include <mutex>
#include <string>

#include "interfaces/Export.h"
#include "interfaces/SoundDevice.h"
#include "interfaces/Vector.h"

/// One playable sound instance, steered by several clients at once.
///
/// Each client holds a password under which the effect keeps that client's
/// own active flag, volume factor and radius factor. The effect is active
/// only while it has at least one password and every flag is true; its
/// volume and radius are the products of the factors. The game receives its
/// effects from an insonificator (theActInsonificator->createEffect()) and
/// plays them; the insonificator's group password and the manager's own
/// passwords are already there.
///
/// Effects belong to the manager that created them: hand them back through
/// the insonificator that gave them (its destroyEffect()), never delete them.
///
/// Threads: any thread. Every operation runs under the effect's own
/// re-entrant lock, including the calls the base makes into the
/// implementation.
class ZULSOUND_API Effect {
public:
    /// An effect without a name (implementations only).
    Effect();
    /// An effect named after its entry of "Effects.snd" (implementations only).
    explicit Effect(const std::string& name);

    /// Sets the flag under `password` to true; the effect becomes active
    /// when every flag is. An unknown password does nothing.
    virtual void activate(const std::string& password);
    /// The implementation's side of activation (called by the base).
    virtual void activate() = 0;
    /// Sets the flag under `password` to false: the effect falls silent
    /// until it is set again. An unknown password does nothing.
    virtual void deactivate(const std::string& password);
    /// The implementation's side of deactivation (called by the base).
    virtual void deactivate() = 0;
    /// Sets the volume factor under `password` (0.0 to 1.0); the effect
    /// plays at the product of all factors. An unknown password does nothing.
    virtual void setVolume(float volume, const std::string& password);
    /// The implementation receives the combined volume (called by the base).
    virtual void setVolume(float volume) = 0;
    /// Sets the radius factor under `password`; the 3D radius is the
    /// product of all factors. An unknown password does nothing.
    virtual void setRadius(float radius, const std::string& password);
    /// The implementation receives the combined radius (called by the base).
    virtual void setRadius(float radius) = 0;

protected:
    virtual void updateActiveFlags();
    virtual void updateVolume();
    virtual void updateRadius();

public:
    /// Implementations only: effects are handed back, never deleted by a client.
    virtual ~Effect();
    /// Whether later 3D settings act at once (SOUND3D_APPLY_IMMEDIATE) or
    /// wait for the listener's update() (SOUND3D_APPLY_DEFERRED).
    virtual void setSound3DApply(Sound3DApply apply);
    /// Normal 3D, head-relative, or no 3D processing (the sound plays as
    /// it is, as music does).
    virtual void setSound3DMode(Sound3DMode mode);
    /// Plays the sound from where it stands (from its start after stop());
    /// does nothing while it plays (trigger() starts it again). An inactive
    /// effect (paused, its group off, no device) keeps a looped sound for
    /// when it is active again and drops a one-shot.
    virtual void play() = 0;
    /// Whether the sound is playing (a looped sound until stop()).
    virtual bool isPlaying() = 0;
    /// Stops the sound and rewinds it.
    virtual void stop() = 0;
    /// Stops the sound where it is; play() continues from there.
    virtual void pause() = 0;
    /// Plays the sound again from its start while it plays; on an effect
    /// that is not playing (never played, stopped, or a one-shot that has
    /// ended) it does nothing: play() starts it.
    virtual void trigger() = 0;
    /// Where the sound is, in world coordinates (board cells on x, y; z up).
    virtual void setPosition(const Vector& position) = 0;
    /// The position last set.
    virtual Vector getPosition() = 0;
    /// Stores a priority; nothing in the library depends on it.
    virtual void setPriority(int priority);
    /// The priority last set (0 at first).
    virtual int getPriority();
    /// Adds a password with the flag `active` and volume and radius factors
    /// 1.0 (a password already there is reset so).
    virtual void addCommonPassword(bool active, const std::string& password);
    /// Removes a password and its factors; an effect left without any
    /// password is inactive.
    virtual void removeCommonPassword(const std::string& password);
    /// Whether `password` is one of the effect's passwords (an
    /// addCommonPassword() that ran out of memory adds none).
    bool holdsPassword(const std::string& password);
    /// The volume factor under `password` (1.0 for an unknown one).
    virtual float getVolume(const std::string& password);
    /// The radius factor under `password` (1.0 for an unknown one).
    virtual float getRadius(const std::string& password);

    /// The effect name of "Effects.snd" it was created for.
    std::string getName() const { return name; }
    /// Whether the effect name is `other` (as getName() == other, without
    /// the copy: the managers compare every live effect's name).
    bool hasName(const std::string& other) const { return name == other; }
    /// Whether it has a password and every flag is true.
    bool getIsActive();
    /// The effective volume last handed to the implementation.
    float getVolume();
    /// The effective radius last handed to the implementation.
    float getRadius();

    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

protected:
    using Guard = std::lock_guard<std::recursive_mutex>;

    std::string name;
    float radius = 1.0f;
    float volume = 1.0f;
    bool active = false;
    Vector position;
    Sound3DApply sound3DApply = SOUND3D_APPLY_IMMEDIATE;
    Sound3DMode sound3DMode = SOUND3D_MODE_NORMAL;
    std::recursive_mutex lock;

private:
    std::map<std::string, float> volumes;
    std::map<std::string, float> radii;
    std::map<std::string, bool> activeFlags;
};

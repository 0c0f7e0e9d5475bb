#pragma once
/// @file
/// The 3D listener: where the game hears from.
#include <string>

#include "interfaces/Export.h"
#include "interfaces/Vector.h"

/// The 3D listener: where the game hears from. Created and owned by the
/// listener manager; the landscape creates one per game and moves it to the
/// camera every frame, so a game rarely calls it itself.
///
/// Threads: any thread; the implementation guards itself.
class ZULSOUND_API Listener {
public:
    /// A listener named "Listener" at the origin, looking along x, z up
    /// (implementations only).
    Listener();
    /// Copies name, pose and active flag.
    Listener(const Listener& other);
    /// Copies name, pose and active flag.
    Listener& operator=(const Listener& other);
    /// Implementations only: listeners are handed back to their manager.
    virtual ~Listener();

    /// Takes the device's listener and applies the pose and factors to it.
    virtual void activate() = 0;
    /// Gives the device's listener back; the pose is kept.
    virtual void deactivate() = 0;
    /// Moves the listener: world position, front and top unit directions.
    /// Deferred until update().
    virtual void setPosition(const Vector& position, const Vector& front, const Vector& top) = 0;
    /// The pose last set.
    virtual void getPosition(Vector& position, Vector& front, Vector& top) = 0;
    /// Commits the deferred 3D settings of the listener and of the effects.
    virtual void update() = 0;
    /// How fast sounds fade with distance (1.0 as in nature).
    virtual void setRolloffFactor(float factor) = 0;
    /// Metres per world unit.
    virtual void setDistanceFactor(float factor) = 0;
    /// The rolloff factor last set.
    virtual float getRolloffFactor() = 0;
    /// The distance factor last set.
    virtual float getDistanceFactor() = 0;

    /// "Listener".
    const std::string& getName() const { return name; }

protected:
    std::string name = "Listener";
    Vector position;
    Vector front{1.0f, 0.0f, 0.0f};
    Vector top{0.0f, 0.0f, 1.0f};
    bool active = false;
};

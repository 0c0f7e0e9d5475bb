#pragma once
// The 3D listener: where the game hears from. Created and owned by the
// listener manager.
//
// Threads: the implementation guards itself; see ShellListener.
#include <string>

#include "interfaces/Export.h"
#include "interfaces/Vector.h"

class ZULSOUND_API Listener {
public:
    Listener();
    Listener(const Listener& other);
    Listener& operator=(const Listener& other);
    virtual ~Listener();

    virtual void activate() = 0;
    virtual void deactivate() = 0;
    virtual void setPosition(const Vector& position, const Vector& front, const Vector& top) = 0;
    virtual void getPosition(Vector& position, Vector& front, Vector& top) = 0;
    virtual void update() = 0;
    virtual void setRolloffFactor(float factor) = 0;
    virtual void setDistanceFactor(float factor) = 0;
    virtual float getRolloffFactor() = 0;
    virtual float getDistanceFactor() = 0;

    const std::string& getName() const { return name; }

protected:
    std::string name = "Listener";
    Vector position;
    Vector front{1.0f, 0.0f, 0.0f};
    Vector top{0.0f, 0.0f, 1.0f};
    bool active = false;
};

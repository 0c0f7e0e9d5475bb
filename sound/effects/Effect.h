#pragma once
// One playable sound instance, steered by several clients at once. Each client
// holds a password under which the effect keeps that client's own active
// flag, volume factor and radius factor. The effect is active only while it
// has at least one password and every flag is true; its volume and radius are
// the products of the factors. The implementation receives the combined
// state through activate()/deactivate(), setVolume(float) and setRadius(float).
//
// Threads: any thread. Every operation runs under the effect's own
// re-entrant lock, including the calls the base makes into the implementation.
#include <map>
#include <mutex>
#include <string>

#include "interfaces/Export.h"
#include "interfaces/SoundDevice.h"
#include "interfaces/Vector.h"

class ZULSOUND_API Effect {
public:
    Effect();
    explicit Effect(const std::string& name);

    virtual void activate(const std::string& password);
    virtual void activate() = 0;
    virtual void deactivate(const std::string& password);
    virtual void deactivate() = 0;
    virtual void setVolume(float volume, const std::string& password);
    virtual void setVolume(float volume) = 0;
    virtual void setRadius(float radius, const std::string& password);
    virtual void setRadius(float radius) = 0;

protected:
    virtual void updateActiveFlags();
    virtual void updateVolume();
    virtual void updateRadius();

public:
    virtual ~Effect();
    virtual void setSound3DApply(Sound3DApply apply);
    virtual void setSound3DMode(Sound3DMode mode);
    virtual void play() = 0;
    virtual bool isPlaying() = 0;
    virtual void stop() = 0;
    virtual void pause() = 0;
    virtual void trigger() = 0;
    virtual void setPosition(const Vector& position) = 0;
    virtual Vector getPosition() = 0;
    virtual void setPriority(int priority);
    virtual int getPriority();
    virtual void addCommonPassword(bool active, const std::string& password);
    virtual void removeCommonPassword(const std::string& password);
    virtual float getVolume(const std::string& password);
    virtual float getRadius(const std::string& password);

    std::string getName() const { return name; }
    bool getIsActive();
    // The effective volume and radius last handed to the implementation.
    float getVolume();
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

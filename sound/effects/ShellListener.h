#pragma once
// The listener over the request manager: holds the device listener while it
// is active and re-applies its placement and the listener settings when it
// obtains one.
//
// Threads: any thread; every operation runs under the listener's own lock.
#include <mutex>

#include "interfaces/SoundDevice.h"
#include "sound/effects/Listener.h"

class ShellListener : public Listener {
public:
    ShellListener();
    ~ShellListener() override;

    void activate() override;
    void deactivate() override;
    void setPosition(const Vector& position, const Vector& front, const Vector& top) override;
    void getPosition(Vector& position, Vector& front, Vector& top) override;
    void update() override;
    void setRolloffFactor(float factor) override;
    void setDistanceFactor(float factor) override;
    float getRolloffFactor() override;
    float getDistanceFactor() override;

    bool isLoaded();

private:
    void deactivateShell();

    using Guard = std::lock_guard<std::recursive_mutex>;
    bool loaded = false;
    Sound3DListener* theSound3DListener = nullptr;
    std::recursive_mutex lock;
};

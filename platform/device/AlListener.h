#pragma once
// The OpenAL device's listener. See AlDevice.h for the threads.
#include "interfaces/SoundDevice.h"

namespace aldevice {

class AlDevice;

class AlListener : public Sound3DListener {
public:
    explicit AlListener(AlDevice& device) : device(device) {}
    void commit() override;
    float getDistanceFactor() override;
    void setDistanceFactor(float factor, Sound3DApply apply) override;
    void setOrientation(const Vector& front, const Vector& top, Sound3DApply apply) override;
    void setPosition(const Vector& position, Sound3DApply apply) override;
    float getRolloffFactor() override;
    void setRolloffFactor(float factor, Sound3DApply apply) override;

private:
    friend class AlDevice;
    friend class AlEffect;
    void apply();
    void beginPending();  // pending values start from the current ones
    AlDevice& device;
    float distanceFactor = 1.0f, rolloffFactor = 1.0f;  // metres per world unit; rolloff of every source
    float pendingDistanceFactor = 1.0f, pendingRolloffFactor = 1.0f;
    Vector position, front{1, 0, 0}, top{0, 0, 1};
    Vector pendingPosition, pendingFront{1, 0, 0}, pendingTop{0, 0, 1};
    bool hasPending = false;
};

}  // namespace aldevice

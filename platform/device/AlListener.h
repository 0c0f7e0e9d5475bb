#pragma once
// The OpenAL device's listener. See AlDevice.h for the threads.
#include <limits>

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
    struct State {
        Vector position, front{1, 0, 0}, top{0, 0, 1};
        float distanceFactor = 1.0f;  // metres per world unit
        float rolloffFactor = 1.0f;   // of every source
    };
    void apply();
    // A change acts at once, or waits for the commit; a change at once also
    // reaches the pending state, so that the commit does not take it back.
    template <typename Change>
    void set(Sound3DApply when, Change change);
    AlDevice& device;
    State now, pending;
    bool hasPending = false;
    // The factors every voice was last given (NaN: none given yet). A voice
    // takes them when it starts; the listener hands them to all voices only
    // when they change, not at every move of the camera.
    float givenScale = std::numeric_limits<float>::quiet_NaN();
    float givenRolloff = std::numeric_limits<float>::quiet_NaN();
};

}  // namespace aldevice

#pragma once
// The five process-wide listener settings read from
// "/Configs/Sounds/Listener.cfg" by the shell manager. Read from any thread
// (the per-frame update, effects placing themselves), written by a reload.
#include <atomic>

#include "interfaces/Vector.h"

class ListenerSettings {
public:
    static float getRolloff() { return rolloff.load(std::memory_order_relaxed); }
    static float getDistance() { return distance.load(std::memory_order_relaxed); }
    static float getScaleXY() { return scaleXY.load(std::memory_order_relaxed); }
    static float getScaleZ() { return scaleZ.load(std::memory_order_relaxed); }
    static float getProcessTimeLimit() { return processTimeLimit.load(std::memory_order_relaxed); }

    static void set(float rolloffValue, float distanceValue, float scaleXYValue, float scaleZValue,
                    float processTimeLimitValue);
    static void reset();  // back to the built-in defaults

    // Game coordinates to device coordinates.
    static Vector toDevice(const Vector& v) {
        const float xy = getScaleXY(), z = getScaleZ();
        return Vector(v.x * xy, v.y * xy, v.z * z);
    }

private:
    static std::atomic<float> rolloff, distance, scaleXY, scaleZ, processTimeLimit;
};

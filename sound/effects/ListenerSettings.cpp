#include "sound/effects/ListenerSettings.h"

std::atomic<float> ListenerSettings::rolloff{1.0f};
std::atomic<float> ListenerSettings::distance{1.0f};
std::atomic<float> ListenerSettings::scaleXY{1.0f};
std::atomic<float> ListenerSettings::scaleZ{1.0f};
std::atomic<float> ListenerSettings::processTimeLimit{5.0f};

void ListenerSettings::set(float r, float d, float xy, float z, float limit) {
    rolloff = r;
    distance = d;
    scaleXY = xy;
    scaleZ = z;
    processTimeLimit = limit;
}

void ListenerSettings::reset() { set(1.0f, 1.0f, 1.0f, 1.0f, 5.0f); }

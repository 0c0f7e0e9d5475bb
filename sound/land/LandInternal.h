#pragma once
// What the files of the landscape insonificator share: the class-wide tuning
// of the frame update and the engine's paused render timer. Internal to
// sound/land/.
#include "interfaces/Engine.h"
#include "sound/land/LandInsonificator.h"

namespace land {

// Class-wide: written by load under the loading instance's lock, read by the
// frames of the (one) instance under its lock.
extern LandInsonificator::Settings settings;

inline float timerNow() { return thePausedRenderTimer ? thePausedRenderTimer->getTime() : 0.0f; }

}  // namespace land

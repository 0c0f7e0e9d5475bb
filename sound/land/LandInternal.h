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

// The game clock as the time windows read it: the whole hour of the day
// (0 to 23) and the minute of the hour. A frame reads it once for all the
// windows it looks at.
struct ClockReading {
    int hour;
    int minute;
};
ClockReading readClock(DayTime dayTime);

// The time window of a source (hours b to e, wrapping past midnight when
// e < b) at the game clock: whether the hour is inside, and, when it is,
// the fader factor a continuous source takes there with fade `fade`.
bool timeWindow(float beginHour, float endHour, float fade, ClockReading clock, float* factor);
inline bool timeWindow(float beginHour, float endHour, float fade, DayTime dayTime, float* factor) {
    return timeWindow(beginHour, endHour, fade, readClock(dayTime), factor);
}

// Whether `point` lies in the region of `sound` widened by `margin`
// (boundary inside; heights ignored).
bool inside(const LandSound* sound, float margin, const Vector& point);

inline float timerNow() { return thePausedRenderTimer ? thePausedRenderTimer->getTime() : 0.0f; }

}  // namespace land

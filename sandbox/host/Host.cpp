#include "sandbox/host/Host.h"

#include <cmath>

namespace sandbox {

Host::Host(unsigned long width, unsigned long height, uint32_t seed)
    : board(width, height),
      previousTimer(thePausedRenderTimer),
      previousCameras(landcamera::theManager),
      previousClock(ZULUI_INTERFACE),
      previousWindow(theRenderWindow) {
    board.reset(generateLandscape(width, height, seed));
    thePausedRenderTimer = &timer;
    landcamera::theManager = &cameras;
    ZULUI_INTERFACE = &clock;
    theRenderWindow = &window;
    Landscape::setSubtypeNamer(&subtypeName);
}

Host::~Host() {
    Landscape::setSubtypeNamer(nullptr);
    theRenderWindow = previousWindow;
    ZULUI_INTERFACE = previousClock;
    landcamera::theManager = previousCameras;
    thePausedRenderTimer = previousTimer;
}

void Host::runFrame(float seconds) {
    const double now = realTime.load() + seconds;
    realTime.store(now);
    if (!timer.isPaused()) {
        timer.advance(seconds);
        pendingMinutes += seconds * minutesPerSecond.load();
        const double whole = std::floor(pendingMinutes);
        if (whole != 0.0) {
            clock.advance(static_cast<DayTime>(whole));
            pendingMinutes -= whole;
        }
    }
    camera.moveTo(static_cast<float>(now));
    view.frame(static_cast<float>(now));
}

}  // namespace sandbox

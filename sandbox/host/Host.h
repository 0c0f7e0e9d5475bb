#pragma once
// The sandbox game host: one object holding a game board, a view, the paused
// render timer, the landscape camera and its manager, the game clock and the
// game window, and installing them where the library looks for them
// (thePausedRenderTimer, landcamera::theManager, ZULUI_INTERFACE,
// theRenderWindow and the landscape subtype names) for as long as it lives.
// The destructor puts the previous pointers back and the subtype names to
// their numbers. Tests create one per test; one at a time.
//
// The host's own objects outlive nothing they are given to: delete every
// listener's owner (or unregister it) before the host, or at least stop
// running frames and changing cells first.
#include <atomic>

#include "sandbox/host/Board.h"
#include "sandbox/host/Engine.h"
#include "sandbox/host/Game.h"

namespace sandbox {

class Host {
public:
    // A width x height board generated from seed (see generateLandscape).
    explicit Host(unsigned long width = 16, unsigned long height = 12, uint32_t seed = 1);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // One simulated frame of `seconds`, on the calling thread (the rendering
    // thread): the host's real time goes on; unless paused, the render timer
    // advances by seconds and the game clock by seconds x minutesPerSecond
    // (whole minutes, the fraction carried over); the camera moves to the
    // real time along its path (it moves while paused too); then the view
    // runs its frame with the real time. Call from one thread at a time.
    void runFrame(float seconds);
    // Pauses or resumes the render timer and the game clock.
    void setPaused(bool paused) { timer.setPaused(paused); }
    // How fast the game clock runs in runFrame; 0 (the default) stops it.
    void setMinutesPerSecond(double minutes) { minutesPerSecond.store(minutes); }
    // The real time of the frames so far, in seconds.
    double getRealTime() const { return realTime.load(); }

    Board board;
    FrameView view;
    RenderTimer timer;
    PathCamera camera;
    CameraManager cameras{&camera};
    GameClock clock;
    FocusWindow window;

private:
    std::atomic<double> realTime{0.0};
    std::atomic<double> minutesPerSecond{0.0};
    double pendingMinutes = 0.0;  // runFrame's thread only

    PausedRenderTimer* previousTimer;
    landcamera::Manager* previousCameras;
    ZulUIInterface* previousClock;
    RenderWindow* previousWindow;
};

}  // namespace sandbox

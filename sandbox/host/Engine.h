#pragma once
// The sandbox 3D engine: a view that runs simulated frames, the paused render
// timer, and the landscape camera that follows a path.
#include <atomic>
#include <mutex>
#include <vector>

#include "interfaces/Engine.h"
#include "sandbox/host/ListenerList.h"

namespace sandbox {

// A view whose frames the host runs. Each frame calls, on the calling
// thread, every registered listener in registration order, in four rounds:
// initView(nullptr) for all, initFrame(time) for all, termFrame(time) for
// all, termView(nullptr) for all (the sandbox has no RenderView object).
// initView is the once-per-frame call the landscape sounds update on.
// Registering calls nothing.
//
// Threads: register and unregister from any thread while another runs
// frames; no lock is held during a callback (see ListenerList.h).
class FrameView : public View {
public:
    void registerListener(RenderDriverListener* listener) override;
    void unregisterListener(RenderDriverListener* listener) override;

    void frame(float time);
    bool isRegistered(RenderDriverListener* listener) const { return listeners.contains(listener); }
    // How many frames have run.
    unsigned long getFrameCount() const { return frames.load(); }

private:
    ListenerList<RenderDriverListener> listeners;
    std::atomic<unsigned long> frames{0};
};

// Render time in seconds that stands still while the game is paused.
//
// Threads: any thread may read, advance, pause or set it.
class RenderTimer : public PausedRenderTimer {
public:
    float getTime() override;
    // Adds seconds unless paused.
    void advance(float seconds);
    void setPaused(bool paused);
    bool isPaused() const;
    // Sets the time outright, also backwards (a timer that went back).
    void setTime(float seconds);

private:
    mutable std::mutex mutex;
    double time = 0.0;
    bool paused = false;
};

// One point of a camera path: at `time` the camera is at `position`, looking
// along `front` with `top` up.
struct Waypoint {
    float time = 0.0f;
    Vector position;
    Vector front{0.0f, 1.0f, 0.0f};
    Vector top{0.0f, 0.0f, 1.0f};
};

// The landscape camera. It starts at the origin looking north (front
// (0, 1, 0), top (0, 0, 1)) and moves when told: setPose, or moveTo(time)
// along its path.
//
// Threads: any thread may move it while another reads it; one read gives a
// consistent value per component call (position, front and top are read by
// separate calls, so a reader racing a move may mix two poses).
class PathCamera : public landcamera::Camera {
public:
    Vector getPosition() override;
    Vector getFront() override;
    Vector getTop() override;

    void setPose(const Vector& position, const Vector& front, const Vector& top);
    // The path, sorted by time (stable for equal times).
    void setPath(std::vector<Waypoint> path);
    // Moves to the path's pose at time: before the first waypoint the first,
    // after the last the last, between two the linear blend of positions and
    // of directions (directions normalised; a blend of length 0 keeps the
    // earlier waypoint's). An empty path leaves the camera where it is.
    void moveTo(float time);

private:
    std::mutex mutex;
    Vector position;
    Vector front{0.0f, 1.0f, 0.0f};
    Vector top{0.0f, 0.0f, 1.0f};
    std::vector<Waypoint> path;
};

// The landscape camera manager; its current camera may be null.
class CameraManager : public landcamera::Manager {
public:
    explicit CameraManager(landcamera::Camera* camera = nullptr) : current(camera) {}
    landcamera::Camera* getCurrentCamera() override { return current.load(); }
    void setCurrentCamera(landcamera::Camera* camera) { current.store(camera); }

private:
    std::atomic<landcamera::Camera*> current;
};

}  // namespace sandbox

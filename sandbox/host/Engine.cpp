#include "sandbox/host/Engine.h"

#include <algorithm>
#include <cmath>

namespace sandbox {

void FrameView::registerListener(RenderDriverListener* listener) { listeners.add(listener); }

void FrameView::unregisterListener(RenderDriverListener* listener) { listeners.remove(listener); }

void FrameView::frame(float time) {
    listeners.forEach([](RenderDriverListener* l) { l->initView(nullptr); });
    listeners.forEach([time](RenderDriverListener* l) { l->initFrame(time); });
    listeners.forEach([time](RenderDriverListener* l) { l->termFrame(time); });
    listeners.forEach([](RenderDriverListener* l) { l->termView(nullptr); });
    ++frames;
}

float RenderTimer::getTime() {
    std::lock_guard<std::mutex> guard(mutex);
    return static_cast<float>(time);
}

void RenderTimer::advance(float seconds) {
    std::lock_guard<std::mutex> guard(mutex);
    if (!paused) time += seconds;
}

void RenderTimer::setPaused(bool value) {
    std::lock_guard<std::mutex> guard(mutex);
    paused = value;
}

bool RenderTimer::isPaused() const {
    std::lock_guard<std::mutex> guard(mutex);
    return paused;
}

void RenderTimer::setTime(float seconds) {
    std::lock_guard<std::mutex> guard(mutex);
    time = seconds;
}

Vector PathCamera::getPosition() {
    std::lock_guard<std::mutex> guard(mutex);
    return position;
}

Vector PathCamera::getFront() {
    std::lock_guard<std::mutex> guard(mutex);
    return front;
}

Vector PathCamera::getTop() {
    std::lock_guard<std::mutex> guard(mutex);
    return top;
}

void PathCamera::setPose(const Vector& p, const Vector& f, const Vector& t) {
    std::lock_guard<std::mutex> guard(mutex);
    position = p;
    front = f;
    top = t;
}

void PathCamera::setPath(std::vector<Waypoint> waypoints) {
    std::stable_sort(waypoints.begin(), waypoints.end(),
                     [](const Waypoint& a, const Waypoint& b) { return a.time < b.time; });
    std::lock_guard<std::mutex> guard(mutex);
    path = std::move(waypoints);
}

namespace {

Vector blend(const Vector& a, const Vector& b, float k) {
    return Vector(a.x + (b.x - a.x) * k, a.y + (b.y - a.y) * k, a.z + (b.z - a.z) * k);
}

Vector blendDirection(const Vector& a, const Vector& b, float k) {
    const Vector v = blend(a, b, k);
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!(length > 0.0f)) return a;
    return Vector(v.x / length, v.y / length, v.z / length);
}

}  // namespace

void PathCamera::moveTo(float time) {
    std::lock_guard<std::mutex> guard(mutex);
    if (path.empty()) return;
    if (time <= path.front().time) {
        position = path.front().position;
        front = path.front().front;
        top = path.front().top;
        return;
    }
    if (time >= path.back().time) {
        position = path.back().position;
        front = path.back().front;
        top = path.back().top;
        return;
    }
    // The first waypoint after time; the one before it is at or before time.
    auto next = std::upper_bound(path.begin(), path.end(), time,
                                 [](float t, const Waypoint& w) { return t < w.time; });
    const Waypoint& a = *(next - 1);
    const Waypoint& b = *next;
    const float k = (time - a.time) / (b.time - a.time);
    position = blend(a.position, b.position, k);
    front = blendDirection(a.front, b.front, k);
    top = blendDirection(a.top, b.top, k);
}

}  // namespace sandbox

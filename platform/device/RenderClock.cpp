#include "platform/device/RenderClock.h"

#include <algorithm>

#include "interfaces/ThreadPriority.h"

namespace aldevice {

void RenderClock::setFrequency(uint32_t rate) {
    std::lock_guard<std::mutex> guard(mutex);
    frequency = rate;
}

void RenderClock::sleep(unsigned long milliseconds) {
    std::unique_lock<std::mutex> guard(mutex);
    if (released) return;
    Thread& self = threads[osthread::currentThreadId()];
    self.state = State::Asleep;
    self.due = frames + static_cast<uint64_t>(milliseconds) * frequency / 1000;
    settled.notify_all();
    woken.wait(guard, [&] { return released || self.state != State::Asleep; });
}

void RenderClock::workGiven(unsigned int threadId, unsigned long long work) {
    std::lock_guard<std::mutex> guard(mutex);
    Thread& thread = threads[threadId];
    thread.given = std::max(thread.given, work);
    // A sleeper takes up the work when it wakes; the pump waits for it then.
    if (thread.state == State::Idle && !released) thread.state = State::Busy;
}

void RenderClock::setWaitOnSignal(bool on) {
    std::lock_guard<std::mutex> guard(mutex);
    waitOnSignal = on;
}

void RenderClock::workSignalled(unsigned int threadId, unsigned long long) {
    std::unique_lock<std::mutex> guard(mutex);
    if (!waitOnSignal) return;
    settled.wait(guard, [&] { return released || threads[threadId].state != State::Busy; });
}

void RenderClock::idle(unsigned long long workDone) {
    std::lock_guard<std::mutex> guard(mutex);
    Thread& self = threads[osthread::currentThreadId()];
    // Work given after this run began brings another run: still busy.
    if (self.given <= workDone) self.state = State::Idle;
    settled.notify_all();
}

uint64_t RenderClock::now() {
    std::lock_guard<std::mutex> guard(mutex);
    return frames;
}

uint64_t RenderClock::nextDue() {
    std::lock_guard<std::mutex> guard(mutex);
    uint64_t due = std::numeric_limits<uint64_t>::max();
    for (const auto& t : threads)
        if (t.second.state == State::Asleep && t.second.due < due) due = t.second.due;
    return due;
}

void RenderClock::advanceTo(uint64_t frame) {
    std::unique_lock<std::mutex> guard(mutex);
    frames = frame;
    bool woke = false;
    for (auto& t : threads)
        if (t.second.state == State::Asleep && t.second.due <= frames) {
            t.second.state = State::Busy;
            woke = true;
        }
    // Most pieces of a rendering end at a frame, not at a sleeper's due
    // time: the sleepers are woken only when one of them is due.
    if (woke) woken.notify_all();
    settled.wait(guard, [&] { return released || !anyBusy(); });
}

void RenderClock::settle() {
    std::unique_lock<std::mutex> guard(mutex);
    settled.wait(guard, [&] { return released || !anyBusy(); });
}

void RenderClock::release() {
    std::lock_guard<std::mutex> guard(mutex);
    released = true;
    for (auto& t : threads) t.second.state = State::Idle;
    woken.notify_all();
    settled.notify_all();
}

void RenderClock::restart() {
    std::lock_guard<std::mutex> guard(mutex);
    released = false;
    frames = 0;
    // A thread of an earlier session still asleep wakes (its entry is kept:
    // it may still be waiting on it).
    for (auto& t : threads) t.second.state = State::Idle;
    woken.notify_all();
    settled.notify_all();
}

bool RenderClock::anyBusy() const {
    for (const auto& t : threads)
        if (t.second.state == State::Busy) return true;
    return false;
}

}  // namespace aldevice

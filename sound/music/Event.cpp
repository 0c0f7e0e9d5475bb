#include "sound/music/Event.h"

#include "sound/music/EventInternal.h"

namespace thread {

std::mutex& eventLock() {
    static std::mutex* instance = new std::mutex;  // outlives static destructors
    return *instance;
}

Event::Event() : waiters(new EventWaiters) {}

Event::~Event() { delete waiters; }

void Event::set() {
    std::lock_guard<std::mutex> guard(eventLock());
    signalled = true;
    // Woken under the lock: a waiter cannot leave (and destroy its condition)
    // before it is notified.
    for (EventWaiter* w : waiters->list) w->wake.notify_one();
}

void Event::reset() {
    std::lock_guard<std::mutex> guard(eventLock());
    signalled = false;
}

}  // namespace thread

#include "sound/music/WaitingObject.h"

#include <algorithm>

#include "sound/music/EventInternal.h"

namespace thread {

WaitingObject::WaitingObject(Event* const* list, unsigned long n, bool all)
    : events(new Event*[n ? n : 1]), count(n), waitAll(all) {
    for (unsigned long k = 0; k < n; ++k) events[k] = list[k];
}

WaitingObject::WaitingObject(Event* event) : events(new Event*[1]), count(1), waitAll(true) { events[0] = event; }

WaitingObject::~WaitingObject() { delete[] events; }

unsigned long WaitingObject::wait() {
    if (count == 0 || std::find(events, events + count, nullptr) != events + count) throw "WAIT_FAILED";
    std::unique_lock<std::mutex> guard(eventLock());
    EventWaiter self;
    for (unsigned long k = 0; k < count; ++k) events[k]->waiters->list.push_back(&self);
    unsigned long result = 0;
    for (;;) {
        if (waitAll) {
            if (std::all_of(events, events + count, [](Event* e) { return e->signalled; })) {
                for (unsigned long k = 0; k < count; ++k) events[k]->signalled = false;
                result = 0;
                break;
            }
        } else {
            Event** first = std::find_if(events, events + count, [](Event* e) { return e->signalled; });
            if (first != events + count) {
                (*first)->signalled = false;
                result = static_cast<unsigned long>(first - events);
                break;
            }
        }
        self.wake.wait(guard);
    }
    for (unsigned long k = 0; k < count; ++k) {
        auto& list = events[k]->waiters->list;
        auto at = std::find(list.begin(), list.end(), &self);
        if (at != list.end()) list.erase(at);
    }
    return result;
}

}  // namespace thread

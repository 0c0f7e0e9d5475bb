#pragma once
// What Event and WaitingObject share: the one lock of every event and the
// list of waits each event wakes. Internal to sound/music/.
#include <condition_variable>
#include <mutex>
#include <vector>

#include "sound/music/Event.h"

namespace thread {

// Guards every event's flag and waiter list. One lock for all events lets a
// wait test and take several events atomically.
std::mutex& eventLock();

struct EventWaiter {
    std::condition_variable wake;
};

// The waits an event wakes.
struct EventWaiters {
    std::vector<EventWaiter*> list;
};

}  // namespace thread

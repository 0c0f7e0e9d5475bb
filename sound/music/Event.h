#pragma once
// An auto-reset event, the synchronisation of the thread objects.
//
// An Event is created unsignalled. set() signals it; the first wait that
// sees it signalled takes the signal and resets it, so any number of set()
// calls made while nobody waits release exactly one wait. Waits are made
// through a WaitingObject (WaitingObject.h).
//
// Threads: set() and reset() from any thread. All events share one
// process-wide mutex; each wait has its own condition variable, which set()
// wakes.
#include "interfaces/Export.h"

namespace thread {

struct EventWaiters;

class ZULSOUND_API Event {
public:
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();

private:
    friend class WaitingObject;
    bool signalled = false;
    EventWaiters* waiters;
};

}  // namespace thread

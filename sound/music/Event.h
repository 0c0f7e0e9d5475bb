#pragma once
// Auto-reset events and waits on several of them, the synchronisation of the
// thread objects.
//
// An Event is created unsignalled. set() signals it; the first wait that
// sees it signalled takes the signal and resets it, so any number of set()
// calls made while nobody waits release exactly one wait.
//
// A WaitingObject waits, without time limit, for the first signalled of its
// events (the lowest index wins when several are) or for all of them at once
// (every one is then reset together), and returns the index (0 for a wait
// for all). A wait that cannot be made (no event, or a null one) throws the
// constant string "WAIT_FAILED".
//
// Threads: set() from any thread; a WaitingObject is used by one thread at a
// time. All events share one process-wide mutex; each wait has its own
// condition variable, which set() wakes.
#include "interfaces/Export.h"

namespace thread {

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
    struct Waiters;
    bool signalled = false;
    Waiters* waiters;
};

class ZULSOUND_API WaitingObject {
public:
    WaitingObject(Event* const* events, unsigned long count, bool waitAll);
    explicit WaitingObject(Event* event);
    virtual unsigned long wait();
    virtual ~WaitingObject();

    WaitingObject(const WaitingObject&) = delete;
    WaitingObject& operator=(const WaitingObject&) = delete;

private:
    Event** events;
    unsigned long count;
    bool waitAll;
};

}  // namespace thread

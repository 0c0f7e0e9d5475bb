#pragma once
// A thread object that sleeps until one of a set of events is signalled.
//
// startNotifying() gives the thread its events and lets it run. Its loop
// waits for the first signalled of [stopEvent, events...], leaves on
// stopEvent and otherwise calls notify(index) with the index among the given
// events; the suspension gate is passed before each notification. When the
// loop ends the thread signals doneEvent. stopNotifying() signals stopEvent
// and waits for doneEvent: a notification in progress is finished first.
// Notifications start once per object; a second start is refused. A thread
// suspended before startNotifying() never passes its start gate: it ends
// without running the loop, and stopNotifying() returns without waiting.
// A wait that cannot be made ends the loop with the error
// "failed to wait: WAIT_FAILED" (not with the events startNotifying accepts).
//
// Destruction: stopNotifying(), then the thread is terminated and joined. An
// object whose notifications never started ends without running run().
// A derived class that notify() depends on calls stopNotifying() first
// thing in its own destructor.
//
// Threads: the object's thread runs notify(); startNotifying and
// stopNotifying are for the owner's thread. stopNotifying() on the object's
// own thread is refused with a logged error.
#include "sound/music/ActiveObject.h"
#include "sound/music/Event.h"
#include "sound/music/WaitingObject.h"

namespace thread {

class ZULSOUND_API NotifyingObject : public ActiveObject {
public:
    NotifyingObject();
    ~NotifyingObject() override;

protected:
    void run() override;
    virtual void notify(unsigned long index) = 0;

public:
    virtual void startNotifying(Event* event);
    virtual void startNotifying(Event* const* events, unsigned long count);
    virtual void stopNotifying();

protected:
    // Whether notifications run: started, not stopped, and a thread serves
    // them (false when the thread could not be created or the start ran out
    // of memory).
    bool isNotifying() const { return waiter != nullptr && hasThread(); }

    WaitingObject* waiter = nullptr;
    Event stopEvent;
    Event doneEvent;

private:
    bool everStarted = false;
};

}  // namespace thread

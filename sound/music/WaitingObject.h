#pragma once
// A wait, without time limit, for the first signalled of a set of events
// (the lowest index wins when several are) or for all of them at once
// (every one is then reset together). wait() returns the index (0 for a
// wait for all). A wait that cannot be made (no event, or a null one) throws
// the constant string "WAIT_FAILED".
//
// Threads: a WaitingObject is used by one thread at a time; the events it
// waits for are signalled from any thread.
#include "interfaces/Export.h"
#include "sound/music/Event.h"

namespace thread {

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

#pragma once
// A thread object that runs process() on request: each signal of
// initiationEvent asks for one run. The event is auto-reset: any number of
// signals given while process() runs, or before the thread wakes, produce
// exactly one further run, so process() consumes all the work that is
// waiting.
//
// initiate() starts the notifications with initiationEvent alone. The
// destructor stops them (stopNotifying(), which lets a run in progress
// finish); a derived class that process() depends on calls stopNotifying()
// first thing in its own destructor.
//
// Threads: the object's thread runs process(); initiate() is for the owner's
// thread, the signal of initiationEvent for any thread.
#include "sound/music/NotifyingObject.h"

namespace thread {

class ZULSOUND_API InitiationObject : public NotifyingObject {
public:
    InitiationObject();
    ~InitiationObject() override;

protected:
    void notify(unsigned long index) override;
    virtual void process() = 0;

public:
    virtual void initiate();

protected:
    Event initiationEvent;
};

}  // namespace thread

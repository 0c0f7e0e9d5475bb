#include "sound/music/NotifyingObject.h"

#include <exception>
#include <new>
#include <vector>

#include "sound/manager/LogChannels.h"

namespace thread {

NotifyingObject::NotifyingObject() = default;

NotifyingObject::~NotifyingObject() { stopNotifying(); }

void NotifyingObject::startNotifying(Event* event) { startNotifying(&event, 1); }

void NotifyingObject::startNotifying(Event* const* events, unsigned long count) {
    if (everStarted) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Skip startNotifying: already started");
        return;
    }
    for (unsigned long k = 0; k < count; ++k)
        if (!events[k]) {
            channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Skip startNotifying: event " << k << " is null");
            return;
        }
    try {
        std::vector<Event*> all;
        all.reserve(count + 1);
        all.push_back(&stopEvent);
        all.insert(all.end(), events, events + count);
        waiter = new WaitingObject(all.data(), static_cast<unsigned long>(all.size()), false);
    } catch (const std::bad_alloc&) {
        // Nothing started: a later start may try again.
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "failed to startNotifying: out of memory");
        return;
    }
    everStarted = true;
    resume();
}

void NotifyingObject::stopNotifying() {
    if (!waiter) return;
    if (isOwnThread()) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Skip stopNotifying: called on the object's own thread");
        return;
    }
    // A suspended loop must reach its end; a thread suspended before the
    // notifications started never passed the start gate and ends without
    // running the loop, so there is no doneEvent to wait for.
    const bool looping = openGate();
    stopEvent.set();
    if (looping && hasThread()) {
        try {
            WaitingObject(&doneEvent).wait();
        } catch (const std::bad_alloc&) {
            // No memory for the wait (this may run in a destructor): the
            // thread ends right after it signals doneEvent, so waiting for
            // its end is the same wait and needs none.
            threadHandle.join();
        }
    }
    delete waiter;
    waiter = nullptr;
}

void NotifyingObject::run() {
    // Nothing may leave the thread: an uncaught exception would end the
    // whole process.
    try {
        for (;;) {
            const unsigned long index = waiter->wait();
            if (index == 0) break;
            passGate();
            try {
                notify(index - 1);
            } catch (const std::exception& e) {
                // One piece of work failed (out of memory): the next is served.
                channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "failed to notify: " << e.what());
            }
        }
    } catch (const char* text) {
        // A wait that cannot be made ("WAIT_FAILED"; not with the events
        // startNotifying accepts) ends the loop.
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "failed to wait: " << text);
    } catch (const std::exception& e) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "failed to wait: " << e.what());
    }
    doneEvent.set();
}

}  // namespace thread

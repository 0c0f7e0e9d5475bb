#include "sound/music/NotifyingObject.h"

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
    std::vector<Event*> all;
    all.reserve(count + 1);
    all.push_back(&stopEvent);
    all.insert(all.end(), events, events + count);
    waiter = new WaitingObject(all.data(), static_cast<unsigned long>(all.size()), false);
    everStarted = true;
    resume();
}

void NotifyingObject::stopNotifying() {
    if (!waiter) return;
    if (isOwnThread()) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Skip stopNotifying: called on the object's own thread");
        return;
    }
    openGate();  // a suspended loop must reach its end
    stopEvent.set();
    if (hasThread()) WaitingObject(&doneEvent).wait();
    delete waiter;
    waiter = nullptr;
}

void NotifyingObject::run() {
    try {
        for (;;) {
            const unsigned long index = waiter->wait();
            if (index == 0) break;
            passGate();
            notify(index - 1);
        }
    } catch (const char* text) {
        // Cannot happen with the events startNotifying accepts; an uncaught
        // exception would end the whole process.
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << text);
    }
    doneEvent.set();
}

}  // namespace thread

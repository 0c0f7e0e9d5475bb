#pragma once
// The registered listeners of a sandbox object (board, view, window).
//
// Listeners are called without the list's lock held: a listener's callback
// takes its own lock (the landscape insonificator's, the shell manager's),
// and that same listener registers and unregisters itself while holding its
// lock, so holding ours during the call would close a cycle. Instead each
// listener is checked just before its call: one unregistered before its turn
// is not called. A call that has already begun may still be running (or
// waiting for the listener's lock) when unregisterListener returns, so a
// listener must ignore a call that reaches it after it unregistered, and its
// owner must stop the calling thread before deleting it.
#include <algorithm>
#include <mutex>
#include <vector>

namespace sandbox {

template <typename L>
class ListenerList {
public:
    // Adds the listener at the end; false if it is already there.
    bool add(L* listener) {
        std::lock_guard<std::mutex> guard(mutex);
        if (std::find(listeners.begin(), listeners.end(), listener) != listeners.end()) return false;
        listeners.push_back(listener);
        return true;
    }
    // False if it was not there.
    bool remove(L* listener) {
        std::lock_guard<std::mutex> guard(mutex);
        auto it = std::find(listeners.begin(), listeners.end(), listener);
        if (it == listeners.end()) return false;
        listeners.erase(it);
        return true;
    }
    bool contains(L* listener) const {
        std::lock_guard<std::mutex> guard(mutex);
        return std::find(listeners.begin(), listeners.end(), listener) != listeners.end();
    }
    std::vector<L*> snapshot() const {
        std::lock_guard<std::mutex> guard(mutex);
        return listeners;
    }
    // Calls call(listener) for each listener registered now, in registration
    // order, skipping those unregistered before their turn.
    template <typename F>
    void forEach(F call) const {
        for (L* listener : snapshot()) {
            if (contains(listener)) call(listener);
        }
    }

private:
    mutable std::mutex mutex;
    std::vector<L*> listeners;
};

}  // namespace sandbox

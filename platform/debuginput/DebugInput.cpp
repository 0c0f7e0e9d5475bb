// Developer key shortcuts: capturers register codes; dispatch calls each
// capturer that registered a code. A capturer removing its shortcuts (as its
// destructor does) waits until no other thread is inside its process(), so a
// capturer is never called after it has started to go away. A capturer may
// remove its own shortcuts from inside its process().
#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

#include "interfaces/DebugInput.h"

namespace {

struct Registry {
    std::mutex mutex;
    std::condition_variable idle;
    std::multimap<int, DebugInputCapturer*> shortcuts;  // code -> capturer, in order of registration
    std::map<DebugInputCapturer*, int> busy;            // capturers being called, with a count
};

Registry& registry() {
    static Registry* instance = new Registry;
    return *instance;
}

// The capturers whose process() runs on this thread, innermost last.
thread_local std::vector<DebugInputCapturer*> calling;

bool registered(Registry& r, int code, DebugInputCapturer* capturer) {
    auto range = r.shortcuts.equal_range(code);
    return std::any_of(range.first, range.second, [&](const auto& entry) { return entry.second == capturer; });
}

}  // namespace

DebugInputCapturer::DebugInputCapturer() = default;

DebugInputCapturer::~DebugInputCapturer() { delAllShortcuts(); }

void DebugInputCapturer::addShortcut(int code, int flag) {
    (void)flag;  // every shortcut of this library is a plain key press
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    if (!registered(r, code, this)) r.shortcuts.emplace(code, this);
}

void DebugInputCapturer::delAllShortcuts() {
    Registry& r = registry();
    std::unique_lock<std::mutex> guard(r.mutex);
    for (auto it = r.shortcuts.begin(); it != r.shortcuts.end();) {
        if (it->second == this) it = r.shortcuts.erase(it);
        else ++it;
    }
    const long ownCalls = std::count(calling.begin(), calling.end(), this);
    r.idle.wait(guard, [&] {
        auto found = r.busy.find(this);
        return found == r.busy.end() || found->second <= ownCalls;
    });
}

namespace debuginput {

int dispatch(int code, int value) {
    Registry& r = registry();
    std::vector<DebugInputCapturer*> targets;
    {
        std::lock_guard<std::mutex> guard(r.mutex);
        auto range = r.shortcuts.equal_range(code);
        for (auto it = range.first; it != range.second; ++it) targets.push_back(it->second);
    }
    int called = 0;
    for (DebugInputCapturer* capturer : targets) {
        {
            // An earlier capturer's process() may have removed this one.
            std::lock_guard<std::mutex> guard(r.mutex);
            if (!registered(r, code, capturer)) continue;
            ++r.busy[capturer];
        }
        calling.push_back(capturer);
        capturer->process(code, value);
        calling.pop_back();
        ++called;
        std::lock_guard<std::mutex> guard(r.mutex);
        if (--r.busy[capturer] == 0) r.busy.erase(capturer);
        r.idle.notify_all();
    }
    return called;
}

}  // namespace debuginput

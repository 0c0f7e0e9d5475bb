#include "sound/effects/ProcessHearer.h"

#include <algorithm>
#include <exception>
#include <new>

#include "sound/effects/ListenerSettings.h"
#include "sound/manager/LogChannels.h"

ProcessHearerManager::ProcessHearerManager() = default;
ProcessHearerManager::~ProcessHearerManager() = default;

void ProcessHearerManager::addHearer(ProcessHearer* hearer) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    hearers.push_back(hearer);
    // The room of the next pass is made now, not in the frame that runs it.
    if (pending.capacity() < hearers.size()) pending.reserve(hearers.size() * 2);
}

void ProcessHearerManager::removeHearer(ProcessHearer* hearer) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    hearers.remove(hearer);
    pending.erase(std::remove(pending.begin(), pending.end(), hearer), pending.end());
}

void ProcessHearerManager::retireHearer(ProcessHearer* hearer) {
    std::unique_lock<std::recursive_mutex> guard(lock);
    hearers.remove(hearer);
    pending.erase(std::remove(pending.begin(), pending.end(), hearer), pending.end());
    // The pass's own thread may retire the hearer it is calling: no wait then.
    idle.wait(guard, [&] { return calling != hearer || passThread == std::this_thread::get_id(); });
}

size_t ProcessHearerManager::getHearerCount() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return hearers.size();
}

void ProcessHearerManager::processHearers(float elapsedTime) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        elapsed += elapsedTime;
        if (elapsed < ListenerSettings::getProcessTimeLimit()) return;
        elapsed = 0.0f;  // the excess is dropped
        if (calling || !pending.empty()) return;  // a pass is already running (re-entered from a hearer)
        try {
            pending.assign(hearers.rbegin(), hearers.rend());
        } catch (const std::bad_alloc&) {
            // No pass this time; a part-made list must not look like a pass
            // under way, or no pass would ever run again.
            pending.clear();
            channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << "Skip processHearers: out of memory");
            return;
        }
        passThread = std::this_thread::get_id();
    }
    for (;;) {
        ProcessHearer* next = nullptr;
        {
            std::lock_guard<std::recursive_mutex> guard(lock);
            if (pending.empty()) {
                passThread = std::thread::id();
                return;
            }
            next = pending.back();
            pending.pop_back();
            calling = next;
        }
        try {
            next->process();
        } catch (const std::exception& e) {
            // One hearer that fails (out of memory) does not stop the pass.
            channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << "failed to process: " << e.what());
        }
        {
            std::lock_guard<std::recursive_mutex> guard(lock);
            calling = nullptr;
        }
        idle.notify_all();
    }
}

#include "sound/effects/ProcessHearer.h"

#include <algorithm>

#include "sound/effects/ListenerSettings.h"

ProcessHearerManager::ProcessHearerManager() = default;
ProcessHearerManager::~ProcessHearerManager() = default;

void ProcessHearerManager::addHearer(ProcessHearer* hearer) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    hearers.push_back(hearer);
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
        pending.assign(hearers.begin(), hearers.end());
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
            next = pending.front();
            pending.pop_front();
            calling = next;
        }
        next->process();
        {
            std::lock_guard<std::recursive_mutex> guard(lock);
            calling = nullptr;
        }
        idle.notify_all();
    }
}

#include "sound/music/ThreadCreation.h"

#include <atomic>

namespace thread {

namespace {
std::atomic<ThreadCreationHook> creationHook{nullptr};
}

void setThreadCreationHook(ThreadCreationHook hook) { creationHook = hook; }

void beforeThreadCreation() {
    if (ThreadCreationHook hook = creationHook.load()) hook();
}

}  // namespace thread

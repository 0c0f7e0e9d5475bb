// The clock installed for the library's sleeps; null means real time.
#include "interfaces/ThreadClock.h"

#include <atomic>

namespace osthread {

namespace {
std::atomic<ThreadClock*> installed{nullptr};
}

ThreadClock* threadClock() { return installed.load(); }

void setThreadClock(ThreadClock* clock) { installed.store(clock); }

}  // namespace osthread

// Thread priorities as nice values of single threads (Linux keeps one per
// thread, addressed through its kernel id).
#include "interfaces/ThreadPriority.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace osthread {

unsigned int currentThreadId() { return static_cast<unsigned int>(gettid()); }

bool setNiceValue(unsigned int threadId, int nice, std::string* reason) {
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), nice) == 0) return true;
    if (reason) *reason = std::strerror(errno);
    return false;
}

bool getNiceValue(unsigned int threadId, int* nice) {
    errno = 0;
    const int value = getpriority(PRIO_PROCESS, static_cast<id_t>(threadId));
    if (value == -1 && errno != 0) return false;
    *nice = value;
    return true;
}

}  // namespace osthread

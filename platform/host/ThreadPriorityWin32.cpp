// Thread priorities on Windows.
#include <windows.h>

#include "interfaces/ThreadPriority.h"
#include "platform/files/WidePath.h"

namespace osthread {

unsigned int currentThreadId() { return static_cast<unsigned int>(GetCurrentThreadId()); }

bool setNiceValue(unsigned int, int, std::string* reason) {
    if (reason) *reason = "not supported";
    return false;
}

bool getNiceValue(unsigned int, int*) { return false; }

}  // namespace osthread

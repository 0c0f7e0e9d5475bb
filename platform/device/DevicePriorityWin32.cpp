// The device thread at time-critical priority.
#include <windows.h>

#include "platform/device/DevicePriority.h"
#include "platform/files/WidePath.h"

namespace aldevice {

bool raiseDeviceThreadPriority(std::string* why) {
    if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL)) return true;
    if (why) *why = widepath::systemMessage(GetLastError());
    return false;
}

}  // namespace aldevice

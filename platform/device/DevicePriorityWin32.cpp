// The device thread's priority on Windows. First the multimedia class
// scheduler (MMCSS): as a "Pro Audio" task the thread is scheduled like the
// system's own audio threads, with the system keeping the machine
// responsive around it, and it needs no privilege. Where that service is
// missing or refuses (it may be switched off), the thread takes the
// highest priority an ordinary process may give itself, time-critical.
// The task ends with the thread; the thread never gives it back early.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <avrt.h>

#include <string>

#include "platform/device/DevicePriority.h"
#include "platform/files/WidePath.h"

namespace aldevice {

bool raiseDeviceThreadPriority(std::string* why) {
    DWORD taskIndex = 0;
    if (AvSetMmThreadCharacteristicsW(L"Pro Audio", &taskIndex)) return true;
    const std::string scheduler = widepath::systemMessage(GetLastError());
    if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL)) return true;
    if (why)
        *why = "the multimedia scheduler refused the thread (" + scheduler +
               ") and so did the time-critical priority (" + widepath::systemMessage(GetLastError()) + ")";
    return false;
}

}  // namespace aldevice

// The device thread's priority on Windows. First the multimedia class
// scheduler (MMCSS): as a "Pro Audio" task the thread is scheduled like the
// system's own audio threads, with the system keeping the machine
// responsive around it, and it needs no privilege. Where that service is
// missing or refuses (it may be switched off), the thread takes the
// highest priority an ordinary process may give itself, time-critical.
// The task ends with the thread; the thread never gives it back early.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <avrt.h>

#include <string>

#include "platform/device/DevicePriority.h"

namespace aldevice {

namespace {

std::string systemText(DWORD code) {
    char* buffer = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = n && buffer ? std::string(buffer, n) : std::string();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) text = "error " + std::to_string(code);
    return text;
}

}  // namespace

bool raiseDeviceThreadPriority(std::string* why) {
    DWORD taskIndex = 0;
    if (AvSetMmThreadCharacteristicsW(L"Pro Audio", &taskIndex)) return true;
    const std::string scheduler = systemText(GetLastError());
    if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL)) return true;
    if (why)
        *why = "the multimedia scheduler refused the thread (" + scheduler +
               ") and so did the time-critical priority (" + systemText(GetLastError()) + ")";
    return false;
}

}  // namespace aldevice

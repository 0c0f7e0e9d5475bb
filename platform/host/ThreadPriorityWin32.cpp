// Thread priorities on Windows. A thread is named by its thread id
// (GetCurrentThreadId) and opened by it for each call. Windows has seven
// relative priority levels where the interface speaks of nice values; the
// mapping between them:
//
//   nice value      level                           read back as
//   19              THREAD_PRIORITY_IDLE (-15)      19
//   10 .. 18        THREAD_PRIORITY_LOWEST (-2)     10
//    5 ..  9        THREAD_PRIORITY_BELOW_NORMAL    5
//   -4 ..  4        THREAD_PRIORITY_NORMAL          0
//   -9 .. -5        THREAD_PRIORITY_ABOVE_NORMAL    -5
//  -19 .. -10       THREAD_PRIORITY_HIGHEST (2)     -10
//  -20              THREAD_PRIORITY_TIME_CRITICAL   -20
//
// The thread objects ask for exactly the nice values of the right column
// (5 steps per level, the two extremes for idle and time-critical), so a
// priority set through them reads back unchanged. Levels only a process of
// the real-time class has (-7 .. -3, 3 .. 6) read as their nearest.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "interfaces/ThreadPriority.h"
#include "platform/files/WidePath.h"

namespace osthread {

namespace {

int levelOfNice(int nice) {
    if (nice >= 19) return THREAD_PRIORITY_IDLE;
    if (nice >= 10) return THREAD_PRIORITY_LOWEST;
    if (nice >= 5) return THREAD_PRIORITY_BELOW_NORMAL;
    if (nice > -5) return THREAD_PRIORITY_NORMAL;
    if (nice > -10) return THREAD_PRIORITY_ABOVE_NORMAL;
    if (nice > -20) return THREAD_PRIORITY_HIGHEST;
    return THREAD_PRIORITY_TIME_CRITICAL;
}

int niceOfLevel(int level) {
    if (level <= THREAD_PRIORITY_IDLE) return 19;
    if (level >= THREAD_PRIORITY_TIME_CRITICAL) return -20;
    if (level <= THREAD_PRIORITY_LOWEST) return 10;
    if (level >= THREAD_PRIORITY_HIGHEST) return -10;
    return -5 * level;  // below normal, normal, above normal
}


// A thread that has ended is gone, even while a handle still names it.
bool running(HANDLE thread) {
    DWORD code = 0;
    return GetExitCodeThread(thread, &code) && code == STILL_ACTIVE;
}

}  // namespace

unsigned int currentThreadId() { return static_cast<unsigned int>(GetCurrentThreadId()); }

bool setNiceValue(unsigned int threadId, int nice, std::string* reason) {
    // The full right first: Wine honours only that one for a priority.
    HANDLE thread = OpenThread(THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION, FALSE, threadId);
    if (!thread)
        thread = OpenThread(THREAD_SET_LIMITED_INFORMATION | THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId);
    if (!thread) {
        if (reason) *reason = widepath::systemMessage(GetLastError());
        return false;
    }
    bool done = false;
    if (!running(thread)) {
        if (reason) *reason = "the thread has ended";
    } else if (SetThreadPriority(thread, levelOfNice(nice))) {
        done = true;
    } else if (reason) {
        *reason = widepath::systemMessage(GetLastError());
    }
    CloseHandle(thread);
    return done;
}

bool getNiceValue(unsigned int threadId, int* nice) {
    HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId);
    if (!thread) return false;
    const int level = running(thread) ? GetThreadPriority(thread) : THREAD_PRIORITY_ERROR_RETURN;
    CloseHandle(thread);
    if (level == THREAD_PRIORITY_ERROR_RETURN) return false;
    *nice = niceOfLevel(level);
    return true;
}

}  // namespace osthread

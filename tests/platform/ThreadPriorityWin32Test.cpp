// Thread priorities on Windows: what the thread objects and the nice values
// of the priority interface become among the seven Win32 levels (read back
// with GetThreadPriority), a thread that has ended, and the device thread's
// raise.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "interfaces/ThreadPriority.h"
#include "platform/device/DevicePriority.h"
#include "sound/music/ActiveObject.h"
#include "tests/support/LogCapture.h"

namespace {

// A thread object held at its start gate: its thread lives until the end.
class Held : public thread::ActiveObject {
public:
    unsigned int id() const { return threadId; }

protected:
    void run() override {}
};

// The thread's level as the system reports it.
int levelOf(unsigned int threadId) {
    HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId);
    if (!thread) return THREAD_PRIORITY_ERROR_RETURN;
    const int level = GetThreadPriority(thread);
    CloseHandle(thread);
    return level;
}

DWORD WINAPI noteId(void* id) {
    *static_cast<unsigned int*>(id) = osthread::currentThreadId();
    return 0;
}

}  // namespace

TEST(ThreadPriorityWin32, ThreadObjectPrioritiesAreTheWin32LevelsAndReadBack) {
    struct Case {
        int asked;
        int level;  // the Win32 level, also what getPriority() answers
    } cases[] = {
        {-15, THREAD_PRIORITY_IDLE},         {-2, THREAD_PRIORITY_LOWEST},  {-1, THREAD_PRIORITY_BELOW_NORMAL},
        {0, THREAD_PRIORITY_NORMAL},         {1, THREAD_PRIORITY_ABOVE_NORMAL}, {2, THREAD_PRIORITY_HIGHEST},
        {15, THREAD_PRIORITY_TIME_CRITICAL}, {7, THREAD_PRIORITY_HIGHEST},  {-6, THREAD_PRIORITY_LOWEST},
        {-40, THREAD_PRIORITY_IDLE},         {40, THREAD_PRIORITY_TIME_CRITICAL},
    };
    debug::Capture log;
    Held object;
    ASSERT_NE(object.id(), 0u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        object.setPriority(c.asked);
        EXPECT_EQ(levelOf(object.id()), c.level);
        EXPECT_EQ(object.getPriority(), c.level);
    }
    EXPECT_TRUE(log.records().empty());
}

TEST(ThreadPriorityWin32, NiceValuesMapOntoTheSevenLevels) {
    struct Case {
        int nice;
        int level;
        int readBack;
    } cases[] = {
        {30, THREAD_PRIORITY_IDLE, 19},           {19, THREAD_PRIORITY_IDLE, 19},
        {18, THREAD_PRIORITY_LOWEST, 10},         {10, THREAD_PRIORITY_LOWEST, 10},
        {9, THREAD_PRIORITY_BELOW_NORMAL, 5},     {5, THREAD_PRIORITY_BELOW_NORMAL, 5},
        {4, THREAD_PRIORITY_NORMAL, 0},           {-4, THREAD_PRIORITY_NORMAL, 0},
        {-5, THREAD_PRIORITY_ABOVE_NORMAL, -5},   {-9, THREAD_PRIORITY_ABOVE_NORMAL, -5},
        {-10, THREAD_PRIORITY_HIGHEST, -10},      {-19, THREAD_PRIORITY_HIGHEST, -10},
        {-20, THREAD_PRIORITY_TIME_CRITICAL, -20}, {-30, THREAD_PRIORITY_TIME_CRITICAL, -20},
    };
    Held object;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nice);
        std::string reason;
        EXPECT_TRUE(osthread::setNiceValue(object.id(), c.nice, &reason)) << reason;
        EXPECT_EQ(levelOf(object.id()), c.level);
        int nice = 99;
        EXPECT_TRUE(osthread::getNiceValue(object.id(), &nice));
        EXPECT_EQ(nice, c.readBack);
    }
    // The calling thread by its own id.
    EXPECT_EQ(osthread::currentThreadId(), GetCurrentThreadId());
    std::string reason;
    ASSERT_TRUE(osthread::setNiceValue(osthread::currentThreadId(), 5, &reason)) << reason;
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_BELOW_NORMAL);
    ASSERT_TRUE(osthread::setNiceValue(osthread::currentThreadId(), 0, &reason)) << reason;
}

TEST(ThreadPriorityWin32, AThreadThatHasEndedIsGone) {
    // The handle kept open keeps the id from being given to a new thread.
    unsigned int id = 0;
    HANDLE thread = CreateThread(nullptr, 0, noteId, &id, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    ASSERT_NE(id, 0u);
    int nice = 99;
    EXPECT_FALSE(osthread::getNiceValue(id, &nice));
    EXPECT_EQ(nice, 99);
    std::string reason;
    EXPECT_FALSE(osthread::setNiceValue(id, 5, &reason));
    EXPECT_EQ(reason, "the thread has ended");
    CloseHandle(thread);
}

TEST(ThreadPriorityWin32, TheDeviceThreadIsRaised) {
    // On a thread of its own, as the device thread asks for itself.
    bool raised = false;
    std::string why = "untouched";
    int before = 0;
    std::thread([&] {
        before = GetThreadPriority(GetCurrentThread());
        raised = aldevice::raiseDeviceThreadPriority(&why);
    }).join();
    EXPECT_EQ(before, THREAD_PRIORITY_NORMAL);
    EXPECT_TRUE(raised) << why;
    EXPECT_EQ(why, "untouched");
}

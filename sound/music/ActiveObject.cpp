#include "sound/music/ActiveObject.h"

#include <chrono>
#include <exception>
#include <new>
#include <string>

#include "interfaces/ThreadClock.h"
#include "interfaces/ThreadPriority.h"
#include "sound/manager/LogChannels.h"
#include "sound/music/ThreadCreation.h"

namespace thread {

namespace {

int niceOfPriority(int priority) {
    if (priority <= -15) return 19;
    if (priority >= 15) return -20;
    if (priority < -2) priority = -2;
    if (priority > 2) priority = 2;
    return -5 * priority;
}

int priorityOfNice(int nice) {
    if (nice >= 19) return -15;
    if (nice <= -20) return 15;
    if (nice >= 10) return -2;
    if (nice >= 5) return -1;
    if (nice > -5) return 0;
    if (nice > -10) return 1;
    return 2;
}

}  // namespace

ActiveObject::ActiveObject() {
    // No thread to be had (the system's limit on threads or memory): the
    // object lives on without one. Its gates and waits then answer at once,
    // and the class built on it refuses the work that needs the thread.
    try {
        beforeThreadCreation();
        threadHandle = std::thread(&ActiveObject::threadMain, this);
    } catch (const std::bad_alloc&) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "failed to create thread: out of memory");
        return;
    } catch (const std::exception& e) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "failed to create thread: " << e.what());
        return;
    }
    // The thread's id is known before the constructor returns.
    std::unique_lock<std::mutex> guard(gateLock);
    gateChanged.wait(guard, [this] { return idKnown; });
}

ActiveObject::~ActiveObject() {
    terminate();
    // Destroyed by its own thread: nobody can wait for it.
    if (threadHandle.joinable()) threadHandle.detach();
}

void ActiveObject::threadMain() {
    {
        std::unique_lock<std::mutex> guard(gateLock);
        threadId = osthread::currentThreadId();
        idKnown = true;
        gateChanged.notify_all();
        gateChanged.wait(guard, [this] { return released || gateOpen; });
        if (!released) return;  // ended before it was ever resumed
    }
    initialize();
    run();
}

void ActiveObject::terminate() {
    if (isOwnThread()) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Skip terminate: called on the object's own thread");
        return;
    }
    ++terminateRequests;
    onTerminate();
    openGate();
    if (threadHandle.joinable()) threadHandle.join();
}

void ActiveObject::resume() {
    std::lock_guard<std::mutex> guard(gateLock);
    // Once the gates are open for good the object is ending: a thread still
    // at the start gate leaves without running.
    if (gateOpen) return;
    if (suspendCount > 0 && --suspendCount == 0) {
        released = true;  // the first resume lets the thread start for good
        gateChanged.notify_all();
    }
}

void ActiveObject::suspend() {
    std::lock_guard<std::mutex> guard(gateLock);
    ++suspendCount;
}

void ActiveObject::passGate() {
    std::unique_lock<std::mutex> guard(gateLock);
    gateChanged.wait(guard, [this] { return suspendCount == 0 || gateOpen; });
}

bool ActiveObject::openGate() {
    std::lock_guard<std::mutex> guard(gateLock);
    gateOpen = true;
    gateChanged.notify_all();
    return released;
}

void ActiveObject::setPriority(int priority) {
    if (!hasThread()) return;
    std::string reason;
    if (!osthread::setNiceValue(threadId, niceOfPriority(priority), &reason))
        channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f)
                                    << "failed to setPriority " << priority << ": " << reason);
}

int ActiveObject::getPriority() {
    int nice = 0;
    if (!hasThread() || !osthread::getNiceValue(threadId, &nice)) return 0;
    return priorityOfNice(nice);
}

bool ActiveObject::isTerminated() { return terminateRequests.load() != 0; }

void ActiveObject::initialize() {}
void ActiveObject::onTerminate() {}

unsigned long ActiveObject::toMilliseconds(float seconds) {
    const float milliseconds = seconds * 1000.0f;
    if (!(milliseconds > 0.0f)) return 0;  // also not-a-number
    if (milliseconds >= 4.0e9f) return 4000000000ul;
    return static_cast<unsigned long>(milliseconds);
}

void ActiveObject::sleep(float seconds) {
    if (osthread::ThreadClock* clock = osthread::threadClock()) clock->sleep(toMilliseconds(seconds));
    else std::this_thread::sleep_for(std::chrono::milliseconds(toMilliseconds(seconds)));
}

void ActiveObject::announceWork(unsigned long long work) {
    if (osthread::ThreadClock* clock = osthread::threadClock()) clock->workGiven(threadId, work);
}

void ActiveObject::announceSignalled(unsigned long long work) {
    if (osthread::ThreadClock* clock = osthread::threadClock()) clock->workSignalled(threadId, work);
}

void ActiveObject::announceIdle(unsigned long long workDone) {
    if (osthread::ThreadClock* clock = osthread::threadClock()) clock->idle(workDone);
}

bool ActiveObject::isOwnThread() const { return std::this_thread::get_id() == threadHandle.get_id(); }

}  // namespace thread

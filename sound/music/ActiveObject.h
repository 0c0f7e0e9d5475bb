#pragma once
// An object that owns one thread of its own. The thread is created with the
// object and held at a start gate: nothing runs on it until resume() is
// called. It then calls initialize() and run() and ends when run() returns.
//
// Suspension. The system has no way to stop another thread where it stands,
// so suspend() and resume() count like the operating system's suspend count
// (the object starts with one) and close or open a gate: the start gate, and
// the gate that a derived loop passes with passGate() between two pieces of
// work (NotifyingObject passes it before each notification). A suspended
// thread therefore finishes what it is doing and stops at the next gate.
//
// terminate() counts the request, calls onTerminate() and waits without time
// limit until the thread has ended; a thread that never passed the start gate
// ends without running initialize() or run(). The destructor terminates.
//
// No thread. When the thread cannot be created (the system has no thread or
// no memory left; a test refuses it through ThreadCreation.h) the error
// "failed to create thread: REASON" is logged and the object lives on
// without one: hasThread() is false, the gates and terminate() return at
// once, and nothing ever runs initialize() or run().
//
// Priority. Priorities are the usual levels -2 (lowest) to 2 (highest), -15
// (idle) and 15 (time critical). They map onto the thread's nice value (19,
// 10, 5, 0, -5, -10, -20). Raising a priority may be refused by the system:
// that is logged and the caller carries on.
//
// Threads: the object's thread runs initialize() and run(); every other
// operation is for other threads. terminate() on the object's own thread is
// refused with a logged error (it would wait for itself).
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "interfaces/Export.h"

namespace thread {

class ZULSOUND_API ActiveObject {
public:
    ActiveObject();
    virtual ~ActiveObject();

    virtual void terminate();
    virtual void resume();
    virtual void suspend();
    virtual void setPriority(int priority);
    virtual int getPriority();
    virtual bool isTerminated();

protected:
    virtual void initialize();
    virtual void run() = 0;
    virtual void onTerminate();

public:
    // Sleeps the calling thread for seconds x 1000 milliseconds, truncated,
    // of the installed thread clock (interfaces/ThreadClock.h), else of
    // real time.
    virtual void sleep(float seconds);

    // The whole milliseconds sleep() waits for a number of seconds.
    static unsigned long toMilliseconds(float seconds);
    // Whether the caller is this object's own thread.
    bool isOwnThread() const;

    ActiveObject(const ActiveObject&) = delete;
    ActiveObject& operator=(const ActiveObject&) = delete;

protected:
    // Waits while the object is suspended, unless the gate has been opened
    // for good (openGate()). Called by the object's own thread.
    void passGate();
    // Opens every gate for good, so that a loop can reach its end. Returns
    // whether the thread passed the start gate, that is whether run() runs
    // (or ran); a thread still held there now ends without running it.
    bool openGate();
    // Tell the installed thread clock, if any, that this object's thread has
    // been given the piece of work numbered `work` (called by the thread
    // giving it, before the wake-up), and that it has done every piece up to
    // `workDone` (called by the object's own thread).
    void announceWork(unsigned long long work);
    void announceIdle(unsigned long long workDone);
    void announceSignalled(unsigned long long work);
    // Whether the thread exists (false only when it could not be created).
    bool hasThread() const { return threadHandle.joinable(); }

    std::atomic<unsigned int> terminateRequests{0};
    std::thread threadHandle;
    unsigned int threadId = 0;

private:
    void threadMain();

    std::mutex gateLock;
    std::condition_variable gateChanged;
    int suspendCount = 1;
    bool released = false;   // resumed once: past the start gate
    bool gateOpen = false;   // opened for good: the object is ending
    bool idKnown = false;
};

}  // namespace thread

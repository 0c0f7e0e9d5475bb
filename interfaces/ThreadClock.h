#pragma once
// The clock the library's own threads sleep on. Without one installed a
// sleep waits in real time. A host that produces the sound at another pace
// than real time (rendering a mix as fast as the machine allows) installs
// its own clock: a sleep then lasts that many milliseconds of the host's
// clock, and the thread objects tell the clock when a thread is given work
// and when it has done all of it, so that the host can wait, before it moves
// its clock on, until every such thread is asleep or idle.
//
// Threads: sleep() and idle() are called by the thread concerned,
// workGiven() by the thread that gives the work, before it wakes the worker.
// The clock is installed and removed by the host while no library thread
// can be inside it.
#include "interfaces/Export.h"

namespace osthread {

class ZULSOUND_API ThreadClock {
public:
    virtual ~ThreadClock() = default;
    // Returns once the clock has advanced `milliseconds` from now.
    virtual void sleep(unsigned long milliseconds) = 0;
    // The thread `threadId` (a kernel thread id) has been given the piece of
    // work numbered `work` (numbers count up per thread from 1).
    virtual void workGiven(unsigned int threadId, unsigned long long work) = 0;
    // The calling thread has done every piece of work up to the number
    // `workDone`; it is idle unless later work has been given meanwhile.
    virtual void idle(unsigned long long workDone) = 0;
    // The work numbered `work` given to `threadId` has been signalled to it
    // (called by the giving thread, holding no lock of the library). A clock
    // may wait here until that thread has taken it up, so that the giver's
    // next call cannot meet the worker half-way; by default it returns.
    virtual void workSignalled(unsigned int threadId, unsigned long long work) {
        (void)threadId;
        (void)work;
    }
    // The library is shutting down the threads that sleep on this clock:
    // nothing it mixes from now on carries what they still do, so a clock
    // that only moves as a host mixes lets their sleeps end at once instead
    // of waiting for frames that may never come. By default it returns.
    virtual void shuttingDown() {}
};

// The installed clock, or null for real time.
ZULSOUND_API ThreadClock* threadClock();
ZULSOUND_API void setThreadClock(ThreadClock* clock);

}  // namespace osthread

#pragma once
// The thread clock of a rendering: its time is the number of frames mixed
// so far. A library thread's sleep of N ms ends when the mix has advanced N
// ms; the pump (the hand-pumped loopback output, zsdemo's RenderPacer) mixes
// up to the next such moment, wakes the sleepers due and waits until each of
// them is asleep again or idle before it mixes on. A thread given work (the music worker woken by a call) counts
// as busy until it sleeps or reports itself idle, and settle() waits for
// that. Nothing waits for real time, so a rendering is the same, bit for bit,
// on a loaded machine.
//
// Threads: sleep(), idle() on library threads; workGiven() on the thread
// that calls the library; everything else on the pump's thread.
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <map>
#include <mutex>

#include "interfaces/ThreadClock.h"

namespace aldevice {

class RenderClock : public osthread::ThreadClock {
public:
    explicit RenderClock(uint32_t frequency = 48000) : frequency(frequency) {}

    void sleep(unsigned long milliseconds) override;
    void workGiven(unsigned int threadId, unsigned long long work) override;
    void idle(unsigned long long workDone) override;

    // The mixing rate; set before the first sleep.
    void setFrequency(uint32_t rate);
    // Frames mixed so far, and the frame at which the next sleeper is due
    // (the largest value when none sleeps).
    uint64_t now();
    uint64_t nextDue();
    // The mix has reached `frame`: the sleepers due wake, and this returns
    // once every thread is asleep or idle again.
    void advanceTo(uint64_t frame);
    // Waits until no thread is busy.
    void settle();
    // With `on`, a thread that signals work to another waits until that one
    // is asleep or idle again (the game's next call then never races the
    // worker); off (as at first), it returns at once.
    void setWaitOnSignal(bool on);
    void workSignalled(unsigned int threadId, unsigned long long work) override;
    // From now on sleeps end at once (the session is shutting down and
    // nothing more is mixed); sleepers wake.
    void release();
    // The library shuts its threads down: as release().
    void shuttingDown() override { release(); }
    // Back to frame 0 with every thread idle and sleeps waiting again (a new
    // session on the same clock).
    void restart();

private:
    enum class State { Busy, Asleep, Idle };
    struct Thread {
        State state = State::Idle;
        uint64_t due = 0;
        unsigned long long given = 0;  // the latest piece of work given
    };
    bool anyBusy() const;

    std::mutex mutex;
    // Two kinds of waiter: sleepers wait to be woken, the pump (and a thread
    // that signalled work) waits for threads to be asleep or idle again. Each
    // is told only of its own kind of change, so a sleeper is not woken by
    // every period of the mix only to sleep again.
    std::condition_variable woken;
    std::condition_variable settled;
    std::map<unsigned int, Thread> threads;  // by kernel thread id
    uint32_t frequency;
    uint64_t frames = 0;
    bool released = false;
    bool waitOnSignal = false;
};

}  // namespace aldevice

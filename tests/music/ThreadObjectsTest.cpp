// The thread objects: auto-reset events and waits, the start gate and the
// suspension gate, one process() run per wake-up, stopping and ending.
// Threads meet only through the condition variable of the test worker.
#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <memory>
#include <thread>
#include <vector>

#include "sound/music/InitiationObject.h"
#include "tests/support/LogCapture.h"
#include "tests/support/NoThreads.h"

using debug::Kind;
using testsupport::logged;

namespace {

// An initiation object whose process() records each run and can be held
// inside a run until the test lets it go.
class Worker : public thread::InitiationObject {
public:
    ~Worker() override { stopNotifying(); }

    void poke() { initiationEvent.set(); }
    // Starts the loop and holds it inside its first run.
    void startHeld() {
        hold(true);
        initiate();
        poke();
        waitEntered(1);
    }
    void hold(bool on) {
        std::lock_guard<std::mutex> guard(mutex);
        holding = on;
        changed.notify_all();
    }
    void setMarker(int m) {
        std::lock_guard<std::mutex> guard(mutex);
        marker = m;
    }
    void waitEntered(int run) {
        std::unique_lock<std::mutex> guard(mutex);
        changed.wait(guard, [&] { return int(markers.size()) >= run; });
    }
    void waitFinished(int run) {
        std::unique_lock<std::mutex> guard(mutex);
        changed.wait(guard, [&] { return finished >= run; });
    }
    std::vector<int> seen() {
        std::lock_guard<std::mutex> guard(mutex);
        return markers;
    }
    int finishedRuns() {
        std::lock_guard<std::mutex> guard(mutex);
        return finished;
    }
    int initializations = 0;

protected:
    void initialize() override { ++initializations; }
    void process() override {
        std::unique_lock<std::mutex> guard(mutex);
        markers.push_back(marker);
        changed.notify_all();
        changed.wait(guard, [&] { return !holding; });
        ++finished;
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool holding = false;
    int marker = 0;
    int finished = 0;
    std::vector<int> markers;
};

}  // namespace

TEST(Event, SignalsWhileNobodyWaitsReleaseExactlyOneWait) {
    thread::Event a, b;
    a.set();
    a.set();
    a.set();
    thread::Event* both[] = {&a, &b};
    thread::WaitingObject first(both, 2, false);
    EXPECT_EQ(first.wait(), 0u);
    b.set();
    EXPECT_EQ(first.wait(), 1u);  // a was taken by the first wait
    a.set();
    b.set();
    EXPECT_EQ(first.wait(), 0u);  // the lowest index wins
    EXPECT_EQ(first.wait(), 1u);
    a.set();
    a.reset();
    b.set();
    EXPECT_EQ(first.wait(), 1u);
}

TEST(Event, AWaitForAllTakesEveryEventTogether) {
    thread::Event a, b;
    thread::Event* both[] = {&a, &b};
    thread::WaitingObject all(both, 2, true), any(both, 2, false);
    a.set();
    b.set();
    EXPECT_EQ(all.wait(), 0u);
    b.set();
    EXPECT_EQ(any.wait(), 1u);  // a was reset with b

    // Another thread completes the set.
    a.set();
    std::thread setter([&] { b.set(); });
    EXPECT_EQ(all.wait(), 0u);
    setter.join();
}

TEST(Event, AWaitThatCannotBeMadeThrowsWaitFailed) {
    thread::Event a;
    thread::Event* withNull[] = {&a, nullptr};
    thread::WaitingObject none(withNull, 0, false), broken(withNull, 2, false);
    for (thread::WaitingObject* w : {&none, &broken}) {
        try {
            w->wait();
            ADD_FAILURE() << "no exception";
        } catch (const char* text) {
            EXPECT_STREQ(text, "WAIT_FAILED");
        }
    }
}

TEST(ThreadObjects, SleepTruncatesToWholeMilliseconds) {
    const struct {
        float seconds;
        unsigned long milliseconds;
    } cases[] = {{0.0205f, 20}, {0.02f, 20}, {0.0009f, 0}, {1.5f, 1500}, {0.0f, 0}, {-1.0f, 0}};
    for (const auto& c : cases) EXPECT_EQ(thread::ActiveObject::toMilliseconds(c.seconds), c.milliseconds) << c.seconds;
}

TEST(ThreadObjects, SignalsWhileProcessIsBusyYieldExactlyOneMoreRun) {
    Worker worker;
    worker.startHeld();
    for (int k = 0; k < 3; ++k) worker.poke();
    worker.hold(false);
    worker.waitFinished(2);
    worker.setMarker(1);
    worker.poke();
    worker.waitFinished(3);
    // Had the three signals counted, a third run would have begun before the
    // marker changed.
    EXPECT_EQ(worker.seen(), (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(worker.initializations, 1);
}

TEST(ThreadObjects, StopNotifyingWaitsForTheRunningProcess) {
    Worker worker;
    worker.startHeld();
    int finishedWhenStopped = -1;
    std::thread stopper([&] {
        worker.stopNotifying();
        finishedWhenStopped = worker.finishedRuns();
    });
    worker.hold(false);
    stopper.join();
    EXPECT_EQ(finishedWhenStopped, 1);
    worker.poke();  // nobody serves it any more
    EXPECT_EQ(worker.finishedRuns(), 1);
}

TEST(ThreadObjects, AnObjectNeverStartedEndsWithoutRunning) {
    debug::Capture log;
    {
        Worker worker;
        EXPECT_FALSE(worker.isTerminated());
        worker.stopNotifying();  // nothing to stop
        worker.poke();
    }
    Worker terminated;
    terminated.terminate();
    EXPECT_TRUE(terminated.isTerminated());
    EXPECT_EQ(terminated.initializations, 0);
    terminated.initiate();  // the thread has ended: notifications start but nobody runs them
    EXPECT_TRUE(log.records().empty());
}

// The system refuses the thread (no thread left): the object lives on
// without one, every later call returns, and it ends without joining.
TEST(ThreadObjects, AnObjectWhoseThreadCannotBeCreatedAnswersEveryCallAndEnds) {
    const struct {
        const char* calls;
        std::function<void(Worker&)> run;
    } cases[] = {
        {"nothing", [](Worker&) {}},
        {"initiate, signals, stop", [](Worker& w) {
             w.initiate();
             w.poke();
             w.poke();
             w.stopNotifying();
         }},
        {"suspend, resume, priority", [](Worker& w) {
             w.suspend();
             w.resume();
             w.setPriority(1);
             EXPECT_EQ(w.getPriority(), 0);
             w.initiate();
         }},
        {"terminate twice", [](Worker& w) {
             w.initiate();
             w.terminate();
             w.terminate();
             EXPECT_TRUE(w.isTerminated());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.calls);
        debug::Capture log;
        auto refused = std::make_unique<testsupport::NoThreads>();
        {
            Worker worker;
            refused.reset();
            c.run(worker);
            EXPECT_EQ(worker.finishedRuns(), 0);
            EXPECT_EQ(worker.initializations, 0);
        }  // ends without waiting for a thread
        EXPECT_EQ(log.records().size(), 1u);
        EXPECT_TRUE(log.contains("SoundManager", Kind::Error,
                                 "failed to create thread: no thread: Resource temporarily unavailable"));
    }
}

TEST(ThreadObjects, ASuspendedLoopWaitsAtTheGateUntilResumed) {
    Worker worker;
    worker.initiate();
    worker.suspend();
    worker.poke();
    EXPECT_EQ(worker.seen().size(), 0u);
    worker.setMarker(7);
    worker.resume();
    worker.waitFinished(1);
    EXPECT_EQ(worker.seen(), std::vector<int>{7});
    worker.suspend();  // a suspended object still stops when asked
    worker.poke();
}

TEST(ThreadObjects, AWorkerSuspendedBeforeItsStartStopsWithoutRunning) {
    debug::Capture log;
    Worker worker;
    worker.suspend();
    worker.initiate();  // one resume: still held at the start gate
    worker.poke();
    worker.stopNotifying();  // returns: no loop runs, no doneEvent to wait for
    worker.terminate();
    EXPECT_EQ(worker.initializations, 0);
    EXPECT_TRUE(worker.seen().empty());
    worker.resume();  // too late: the object is ending
    EXPECT_TRUE(log.records().empty());
}

TEST(ThreadObjects, MisusesAreRefusedWithAnError) {
    debug::Capture log;
    class SelfStopper : public thread::InitiationObject {
    public:
        ~SelfStopper() override { stopNotifying(); }
        void poke() { initiationEvent.set(); }
        void waitDone() {
            std::unique_lock<std::mutex> guard(mutex);
            changed.wait(guard, [&] { return done; });
        }

    protected:
        void process() override {
            stopNotifying();
            terminate();
            std::lock_guard<std::mutex> guard(mutex);
            done = true;
            changed.notify_all();
        }

    private:
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
    } self;
    self.initiate();
    self.initiate();
    self.poke();
    self.waitDone();
    EXPECT_FALSE(self.isTerminated());
    EXPECT_EQ(log.records(),
              (std::vector<debug::Record>{
                  logged("SoundManager", Kind::Error, 0.0f, "Skip startNotifying: already started"),
                  logged("SoundManager", Kind::Error, 0.0f, "Skip stopNotifying: called on the object's own thread"),
                  logged("SoundManager", Kind::Error, 0.0f, "Skip terminate: called on the object's own thread")}));
}

TEST(ThreadObjects, PriorityFollowsTheThreadsNiceValueAsFarAsAllowed) {
    debug::Capture log;
    Worker worker;
    worker.setPriority(-2);  // lowering is always allowed
    EXPECT_EQ(worker.getPriority(), -2);
    worker.setPriority(15);  // raising may need privileges
    if (log.records().empty()) {
        EXPECT_EQ(worker.getPriority(), 15);
    } else {
        EXPECT_EQ(worker.getPriority(), -2);
        ASSERT_EQ(log.records().size(), 1u);
        EXPECT_EQ(log.records()[0].kind, Kind::Warning);
        EXPECT_EQ(log.records()[0].text.rfind("failed to setPriority 15: ", 0), 0u);
    }
}

// The periodic pass: when it runs, and that it stays safe while other
// threads remove and destroy hearers during it.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "sound/effects/ListenerSettings.h"
#include "sound/effects/ProcessHearer.h"

namespace {

class Counter : public ProcessHearer {
public:
    int calls = 0;
    std::function<void()> during;
    void process() override {
        ++calls;
        if (during) during();
    }
};

// A one-way gate between two threads.
class Gate {
public:
    void open() {
        std::lock_guard<std::mutex> guard(mutex);
        opened = true;
        cv.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> guard(mutex);
        cv.wait(guard, [this] { return opened; });
    }

private:
    std::mutex mutex;
    std::condition_variable cv;
    bool opened = false;
};

}  // namespace

TEST(ProcessHearers, APassRunsWhenTheTimeLimitIsReachedAndDropsTheExcess) {
    ProcessHearerManager manager;
    Counter a, b;
    manager.addHearer(&a);
    manager.addHearer(&b);
    manager.addHearer(&a);  // listed twice: called twice
    manager.processHearers(5.0f);  // 5.0 reaches 5.0
    EXPECT_EQ(a.calls, 2);
    EXPECT_EQ(b.calls, 1);

    int passes = 0;
    for (int frame = 1; frame <= 9; ++frame) {
        const int before = b.calls;
        manager.processHearers(2.0f);
        if (b.calls != before) {
            ++passes;
            EXPECT_EQ(frame % 3, 0) << "a pass at frame " << frame;
        }
    }
    EXPECT_EQ(passes, 3);
    manager.removeHearer(&a);
    manager.processHearers(5.0f);
    EXPECT_EQ(a.calls, 2 + 3 * 2);
    EXPECT_EQ(manager.getHearerCount(), 1u);
}

TEST(ProcessHearers, AHearerRemovedAndDestroyedDuringAPassIsNotCalled) {
    ProcessHearerManager manager;
    Counter first;
    auto second = std::make_unique<Counter>();
    Gate inside, removed;
    first.during = [&] {
        inside.open();
        removed.wait();
    };
    manager.addHearer(&first);
    manager.addHearer(second.get());
    std::thread pass([&] { manager.processHearers(5.0f); });
    inside.wait();
    // The pass is inside the first hearer and holds no lock of the registry:
    // another thread removes and destroys the second, which the pass was
    // about to call (ASan would report a call into freed memory).
    manager.retireHearer(second.get());
    second.reset();
    Counter third;
    manager.addHearer(&third);  // does not wait for the pass either
    removed.open();
    pass.join();
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(third.calls, 0);  // registered after the pass took its list
}

TEST(ProcessHearers, RetiringAHearerWaitsForItsRunningProcess) {
    ProcessHearerManager manager;
    Counter hearer;
    Gate inside, retiring;
    std::atomic<bool> finished{false};
    hearer.during = [&] {
        inside.open();
        retiring.wait();
        finished = true;
    };
    manager.addHearer(&hearer);
    std::thread pass([&] { manager.processHearers(5.0f); });
    inside.wait();
    std::thread destroyer([&] {
        retiring.open();
        manager.retireHearer(&hearer);
        // Retiring returns only after the running process() has returned.
        EXPECT_TRUE(finished.load());
    });
    destroyer.join();
    pass.join();

    // The pass's own thread may retire the hearer it is calling.
    Counter self;
    self.during = [&] { manager.retireHearer(&self); };
    manager.addHearer(&self);
    manager.processHearers(5.0f);
    EXPECT_EQ(self.calls, 1);
    EXPECT_EQ(manager.getHearerCount(), 0u);
}

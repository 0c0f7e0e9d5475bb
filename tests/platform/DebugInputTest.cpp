#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "interfaces/DebugInput.h"

namespace {

class Keys : public DebugInputCapturer {
public:
    std::vector<std::pair<int, int>> seen;
    std::function<void()> during;
    ~Keys() override { delAllShortcuts(); }
    void process(int code, int value) override {
        seen.emplace_back(code, value);
        if (during) during();
    }
};

}  // namespace

TEST(DebugInput, ShortcutsReachTheirCapturersUntilRemoved) {
    Keys a, b;
    a.addShortcut(27, 1);
    a.addShortcut(27, 1);  // once is enough
    a.addShortcut(33, 1);
    b.addShortcut(27, 1);
    EXPECT_EQ(debuginput::dispatch(27, 1), 2);
    EXPECT_EQ(debuginput::dispatch(33, 0), 1);
    EXPECT_EQ(debuginput::dispatch(99, 1), 0);
    EXPECT_EQ(a.seen, (std::vector<std::pair<int, int>>{{27, 1}, {33, 0}}));
    EXPECT_EQ(b.seen, (std::vector<std::pair<int, int>>{{27, 1}}));

    // A capturer that removes its shortcuts while it is being called.
    a.during = [&a] { a.delAllShortcuts(); };
    EXPECT_EQ(debuginput::dispatch(27, 1), 2);
    EXPECT_EQ(debuginput::dispatch(27, 1), 1);
    EXPECT_EQ(a.seen.size(), 3u);
}

TEST(DebugInput, DestroyingACapturerWaitsForAProcessOnAnotherThread) {
    auto keys = std::make_unique<Keys>();
    std::mutex m;
    std::condition_variable cv;
    bool inside = false, release = false;
    std::atomic<bool> finished{false};
    keys->during = [&] {
        std::unique_lock<std::mutex> lock(m);
        inside = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
        finished = true;
    };
    keys->addShortcut(15, 1);
    std::thread dispatcher([] { debuginput::dispatch(15, 1); });
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return inside; });
    }
    std::thread destroyer([&] {
        keys.reset();  // must not return while process() runs
    });
    // Let process() finish only now; the destructor may already be waiting.
    {
        std::lock_guard<std::mutex> lock(m);
        release = true;
    }
    cv.notify_all();
    destroyer.join();
    EXPECT_TRUE(finished.load());
    dispatcher.join();
    EXPECT_EQ(debuginput::dispatch(15, 1), 0);
}

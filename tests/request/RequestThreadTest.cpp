// The request manager shared by threads: two game threads loading and giving
// back effects of one name while the statistics window's thread asks for the
// statistics. Every load must be a static load or a clone of a live effect,
// and everything must be given back.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "sound/request/EffectsFile.h"
#include "sound/request/RequestManager.h"
#include "tests/support/LogCapture.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/ResourceTree.h"

namespace {

// Releases every waiting thread at once.
class StartGate {
public:
    void wait() {
        std::unique_lock<std::mutex> guard(mutex);
        opened.wait(guard, [this] { return open; });
    }
    void release() {
        {
            std::lock_guard<std::mutex> guard(mutex);
            open = true;
        }
        opened.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
};

}  // namespace

TEST(RequestThreadTest, GameThreadsAndTheStatisticsThreadShareTheManager) {
    testsupport::ResourceTree tree;
    auto device = std::make_shared<testsupport::RecordingDevice>();
    testsupport::DeviceProviderGuard provider(device);
    EffectsFile::restoreBuiltInDefaults();
    tree.write("/Configs/Sounds/Effects.snd",
               "device = 'device.cfg';\nhit = 'hit.wav', 1.0, 1.0, memory, false, normal, 0;\n"
               "wind = 'wind.ogg', 1.0, 1.0, disk, true, normal, 0;\n");
    tree.write("/Sounds/device.cfg", "");
    tree.write("/Sounds/hit.wav", std::string(64, 'h'));
    tree.write("/Sounds/wind.ogg", std::string(64, 'w'));
    RequestManager requests;
    debug::Capture log;
    requests.initialize();
    ASSERT_TRUE(requests.isInitialized());

    constexpr int rounds = 150;
    StartGate gate;
    std::atomic<int> refused{0};
    auto game = [&](const char* name) {
        gate.wait();
        for (int k = 0; k < rounds; ++k) {
            Sound3DEffect* a = requests.load(name);
            Sound3DEffect* b = requests.load(name);
            if (!a || !b) ++refused;
            requests.unload(name, a);
            requests.unload(name, b);
        }
    };
    std::thread first(game, "hit"), second(game, "hit"), third(game, "wind");
    std::thread statistics([&] {
        gate.wait();
        std::list<std::list<std::string>> perName;
        std::list<std::string> totals;
        for (int k = 0; k < rounds; ++k) requests.generateInfo(perName, totals);
    });
    gate.release();
    first.join();
    second.join();
    third.join();
    statistics.join();

    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(requests.getHandedOutCount(), 0u);
    EXPECT_TRUE(device->liveEffects().empty());
    // Each "hit" came from the file or from a live effect of its name.
    EXPECT_EQ(device->count("createStatic") + device->count("clone"), 4u * rounds);
    EXPECT_EQ(device->count("createStreaming"), 2u * rounds);
    EXPECT_TRUE(log.records().empty());
    requests.uninitialize();
}

// The statistics window from its debug keys, over the library's singletons:
// a real window under Xvfb, the headless path, the periodic refresh, the
// close button and a lost server while the rendering thread refreshes, and
// the keys pressed over and over from one thread while another refreshes.
#include <gtest/gtest.h>

#include <atomic>
#include <list>
#include <memory>
#include <dirent.h>
#include <thread>

#include "interfaces/DebugInput.h"
#include "sound/diagnostics/RequestInformator.h"
#include "sound/diagnostics/RequestInformatorWindow.h"
#include "sound/effects/Effect.h"
#include "sound/insonificators/ActInsonificator.h"
#include "sound/diagnostics/StatisticsLines.h"
#include "sound/manager/Globals.h"
#include "sound/request/RequestManager.h"
#include "tests/diagnostics/XServer.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestLibrary.h"

using namespace std::chrono_literals;
using testsupport::XClient;
using testsupport::XServer;

namespace {

constexpr unsigned long black = 0x000000, thumb = 0x707070;

const char* const effectsFile =
    "device = 'device.cfg';\n"
    "shot = 'shot.wav', 1.0, 5.0, disk, false, normal, 0;\n"
    "bell = 'bell.wav', 1.0, 5.0, disk, false, normal, 0;\n"
    "door = 'door.wav', 1.0, 5.0, disk, false, normal, 0;\n";

struct InformatorTest : testing::Test {
    testsupport::TestLibrary library{effectsFile};
    debug::Capture log;

    void SetUp() override {
        for (const char* f : {"device.cfg", "shot.wav", "bell.wav", "door.wav"}) library.sound(f);
        library.activate();
    }
    // One pass of the periodic refresh, as the rendering thread runs it.
    void pass() { library.hearers->processHearers(1000.0f); }
    static int threads() {
        int n = 0;
        if (DIR* d = opendir("/proc/self/task")) {
            while (dirent* e = readdir(d)) n += e->d_name[0] != '.' ? 1 : 0;
            closedir(d);
        }
        return n;
    }
};

int textRows(const XClient::Shot& s) {
    int rows = 0;
    for (int slot = 0; 50 + 20 * slot <= s.height; ++slot)
        if (s.count(20, 30 + 20 * slot, s.width - 16, 50 + 20 * slot, black) > 0) rows = slot + 1;
    return rows;
}

}  // namespace

TEST_F(InformatorTest, KeysOpenRefreshToggleAndCloseARealWindow) {
    XServer server;
    ASSERT_TRUE(server.ok()) << "Xvfb did not start";
    ActInsonificator actions;
    actions.createEffect("shot");
    actions.createEffect("bell");
    RequestInformator informator;
    EXPECT_EQ(informator.getWindow(), nullptr);

    debuginput::dispatch(27, 0);  // a release opens nothing
    EXPECT_EQ(informator.getWindow(), nullptr);
    debuginput::dispatch(27, 1);
    RequestInformatorWindow* window = informator.getWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(informator.getIsHearing());
    // Two sounds, the four totals and the device's line, at once.
    const auto lines = window->getLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].rfind("bell     size: 64 state: ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("shot     size: 64 state: ", 0), 0u) << lines[1];
    ASSERT_TRUE(window->waitUntilShown(10s));
    XClient client;
    const Window w = client.find("RequestInformatorWindow");
    ASSERT_NE(w, 0u);
    XClient::Shot s = client.shot(w);
    EXPECT_EQ(textRows(s), 7);
    EXPECT_GT(s.count(784, 0, 800, 600, thumb), 0);

    debuginput::dispatch(27, 1);  // only refreshes
    EXPECT_EQ(informator.getWindow(), window);
    EXPECT_EQ(library.hearers->getHearerCount(), 1u);

    // The periodic pass brings a new sound in.
    actions.createEffect("door");
    pass();
    EXPECT_EQ(window->getLines().size(), 8u);
    ASSERT_TRUE(window->waitUntilShown(10s));
    EXPECT_EQ(textRows(client.shot(w)), 8);

    // 33 stops the refresh; the window keeps its lines.
    debuginput::dispatch(33, 1);
    EXPECT_FALSE(informator.getIsHearing());
    EXPECT_EQ(library.hearers->getHearerCount(), 0u);
    actions.destroyEffect(actions.createEffect("shot"));
    pass();
    EXPECT_EQ(window->getLines().size(), 8u);
    debuginput::dispatch(33, 1);
    EXPECT_TRUE(informator.getIsHearing());

    debuginput::dispatch(15, 1);
    EXPECT_EQ(informator.getWindow(), nullptr);
    EXPECT_FALSE(informator.getIsHearing());
    EXPECT_EQ(client.find("RequestInformatorWindow"), 0u);
    debuginput::dispatch(15, 1);  // closing while closed
    debuginput::dispatch(33, 1);  // toggling while closed: hearing, nothing to refresh
    pass();
    EXPECT_EQ(informator.getWindow(), nullptr);
}

TEST_F(InformatorTest, WithoutADisplayTheWindowIsHeadlessAndSaysSoOnce) {
    unsetenv("DISPLAY");
    ActInsonificator actions;
    actions.createEffect("shot");
    RequestInformator informator;
    debuginput::dispatch(27, 1);
    RequestInformatorWindow* window = informator.getWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->waitUntilWindowEnded(10s));
    EXPECT_FALSE(window->isClosed());
    actions.createEffect("bell");
    pass();
    pass();
    debuginput::dispatch(27, 1);
    EXPECT_EQ(informator.getWindow(), window);
    EXPECT_EQ(window->getLines().size(), 7u);
    EXPECT_EQ(log.count("RequestInformatorWindow has no window: DISPLAY is not set"), 1u);
    EXPECT_TRUE(log.contains("SoundManager", debug::Kind::Warning,
                             "RequestInformatorWindow has no window: DISPLAY is not set"));
    debuginput::dispatch(15, 1);
    EXPECT_EQ(informator.getWindow(), nullptr);
}

TEST_F(InformatorTest, CloseButtonAndLostServerWhileTheRenderingThreadRefreshes) {
    auto server = std::make_unique<XServer>();
    ASSERT_TRUE(server->ok()) << "Xvfb did not start";
    ActInsonificator actions;
    actions.createEffect("shot");
    RequestInformator informator;
    std::atomic<bool> rendering{true};
    std::thread renderer([&] {
        while (rendering) pass();
    });

    debuginput::dispatch(27, 1);
    RequestInformatorWindow* first = informator.getWindow();
    ASSERT_TRUE(first->waitUntilShown(10s));
    {
        XClient client;
        client.closeButton(client.find("RequestInformatorWindow"));
        ASSERT_TRUE(first->waitUntilWindowEnded(10s));
        EXPECT_TRUE(first->isClosed());
        EXPECT_EQ(client.find("RequestInformatorWindow"), 0u);
    }
    // The next 27 opens a new window.
    debuginput::dispatch(27, 1);
    RequestInformatorWindow* second = informator.getWindow();
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(second->waitUntilShown(10s));
    {
        XClient client;
        EXPECT_NE(client.find("RequestInformatorWindow"), 0u);
    }

    server.reset();  // the X server goes away
    ASSERT_TRUE(second->waitUntilWindowEnded(10s));
    EXPECT_TRUE(log.contains("SoundManager", debug::Kind::Warning, "RequestInformatorWindow lost its display"));
    debuginput::dispatch(15, 1);
    rendering = false;
    renderer.join();
    EXPECT_EQ(informator.getWindow(), nullptr);
}

TEST_F(InformatorTest, KeysOverAndOverWhileTheRenderingThreadRefreshes) {
    XServer server;
    ASSERT_TRUE(server.ok()) << "Xvfb did not start";
    ActInsonificator actions;
    actions.createEffect("shot");
    std::thread([] {}).join();  // any helper thread of the runtime (ThreadSanitizer's) exists from here on
    const int threadsBefore = threads();
    {
        RequestInformator informator;
        std::atomic<bool> rendering{true};
        std::thread renderer([&] {
            while (rendering) pass();
        });
        std::thread keys([&] {
            for (int i = 0; i < 50; ++i) {
                for (int code : {27, 27, 33, 33, 15, 15, 33, 27, 15}) debuginput::dispatch(code, 1);
            }
            debuginput::dispatch(27, 1);
        });
        keys.join();
        rendering = false;
        renderer.join();
        ASSERT_NE(informator.getWindow(), nullptr);
        EXPECT_TRUE(informator.getWindow()->waitUntilShown(10s));
        XClient client;
        EXPECT_NE(client.find("RequestInformatorWindow"), 0u);
    }  // destroyed with its window open
    EXPECT_EQ(library.hearers->getHearerCount(), 0u);
    EXPECT_EQ(threads(), threadsBefore);
    XClient client;
    EXPECT_EQ(client.find("RequestInformatorWindow"), 0u);
}

TEST_F(InformatorTest, ReReadingTheConfigurationGivesPlayingEffectsTheirSoundsBack) {
    ActInsonificator actions;
    Effect* shot = actions.createEffect("shot");
    shot->play();
    RequestInformator informator;
    // The file changes while the game runs: "bell" goes, "gong" comes.
    library.tree.write("/Configs/Sounds/Effects.snd",
                       "device = 'device.cfg';\n"
                       "shot = 'shot.wav', 0.5, 5.0, disk, false, normal, 0;\n"
                       "gong = 'bell.wav', 1.0, 5.0, disk, false, normal, 0;\n");
    library.device->clearCalls();
    debuginput::dispatch(28, 1);
    EXPECT_EQ(library.device->count("uninitialize"), 1u);
    EXPECT_EQ(library.device->count("initialize"), 1u);
    EXPECT_NE(library.requests->getRequestEffectConfig("gong"), nullptr);
    EXPECT_EQ(library.requests->getRequestEffectConfig("bell"), nullptr);
    ASSERT_EQ(library.devicesOf("shot.wav").size(), 1u);  // the effect has its sound again
    EXPECT_TRUE(shot->getIsActive());
}

// A refresh writes over the statistics and lines of the one before: as sounds
// come and go, the window shows exactly what statistics built afresh give.
TEST_F(InformatorTest, RefreshesOverThePreviousStorageShowWhatAFreshOneWould) {
    unsetenv("DISPLAY");
    auto fresh = [] {
        std::list<std::list<std::string>> perName;
        std::list<std::string> totals;
        theRequestManager->generateInfo(perName, totals);
        return statisticsLines(perName, totals);
    };
    auto actions = std::make_unique<ActInsonificator>();
    actions->createEffect("shot");
    RequestInformator informator;
    debuginput::dispatch(27, 1);
    RequestInformatorWindow* window = informator.getWindow();
    ASSERT_NE(window, nullptr);
    const size_t one = window->getLines().size();
    actions->createEffect("bell");
    actions->createEffect("door");
    pass();
    EXPECT_EQ(window->getLines(), fresh());
    EXPECT_EQ(window->getLines().size(), one + 2);
    actions.reset();  // every sound given back
    pass();
    EXPECT_EQ(window->getLines(), fresh());
    EXPECT_EQ(window->getLines().size(), one - 1);
    actions = std::make_unique<ActInsonificator>();
    actions->createEffect("door");  // another name in the first row's storage
    pass();
    EXPECT_EQ(window->getLines(), fresh());
    EXPECT_EQ(window->getLines().front().rfind("door ", 0), 0u);
    debuginput::dispatch(15, 1);
}

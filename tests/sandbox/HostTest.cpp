// The sandbox host: board notifications, the generated board, the frame
// loop, the paused timer and game clock, the camera path, the pointers it
// installs, and the board and view used from three threads at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sandbox/host/Host.h"

namespace {

using sandbox::Host;
using testing::ElementsAre;

struct BoardRecorder : GameBoardListener {
    std::mutex mutex;
    std::vector<std::string> calls;
    void afterChangeLandscapeSubtype(Point2D cell, Landscape::Subtype o, Landscape::Subtype n) override {
        std::lock_guard<std::mutex> guard(mutex);
        calls.push_back(std::to_string(cell.x) + "," + std::to_string(cell.y) + ":" + std::to_string(o) + ">" +
                        std::to_string(n));
    }
};

struct FrameRecorder : RenderDriverListener {
    FrameRecorder(std::string n, std::vector<std::string>& l) : name(std::move(n)), log(l) {}
    std::string name;
    std::vector<std::string>& log;
    View* view = nullptr;
    RenderDriverListener* victim = nullptr;  // unregistered from view at this one's initView

    void initView(RenderView*) override {
        log.push_back(name + " initView");
        if (victim) view->unregisterListener(victim);
    }
    void termView(RenderView*) override { log.push_back(name + " termView"); }
    void initFrame(float t) override { log.push_back(name + " initFrame " + std::to_string(int(t * 10))); }
    void termFrame(float t) override { log.push_back(name + " termFrame " + std::to_string(int(t * 10))); }
};

TEST(SandboxHost, BoardTellsItsListenersOfEveryChange) {
    Host host(4, 3);
    BoardRecorder first, second;
    host.board.registerListener(&first, LISTENER_PRIORITY_DEFAULT);
    host.board.registerListener(&second, LISTENER_PRIORITY_DEFAULT);
    host.board.registerListener(&first, LISTENER_PRIORITY_DEFAULT);  // kept once

    host.board.reset(std::vector<Landscape::Subtype>(12, sandbox::Meadow));  // silent
    EXPECT_TRUE(host.board.setSubtype({3, 2}, sandbox::Forest));
    EXPECT_TRUE(host.board.setSubtype({3, 2}, sandbox::Forest));  // same subtype: heard again
    EXPECT_FALSE(host.board.setSubtype({4, 0}, sandbox::Sea));    // off the board
    host.board.unregisterListener(&second);
    std::vector<Landscape::Subtype> cells(12, sandbox::Meadow);
    cells[1] = sandbox::Coast;
    cells[11] = sandbox::Forest;
    EXPECT_TRUE(host.board.apply(cells));  // only the cells that differ
    EXPECT_FALSE(host.board.apply(std::vector<Landscape::Subtype>(11, sandbox::Sea)));

    EXPECT_THAT(first.calls, ElementsAre("3,2:2>3", "3,2:3>3", "1,0:2>1"));
    EXPECT_THAT(second.calls, ElementsAre("3,2:2>3", "3,2:3>3"));
    EXPECT_EQ(host.board.getCells(), cells);
    EXPECT_EQ(host.board.getSubtype({1, 0}), sandbox::Coast);
    EXPECT_EQ(host.board.getSubtype({0, 3}), -1);
}

TEST(SandboxHost, GeneratedBoardRunsFromSeaToMountainsInEveryRow) {
    for (unsigned long width : {1ul, 3ul, 5ul, 16ul, 64ul}) {
        SCOPED_TRACE(width);
        const auto cells = sandbox::generateLandscape(width, 20, 7);
        EXPECT_EQ(cells, sandbox::generateLandscape(width, 20, 7));
        for (unsigned long y = 0; y < 20; ++y) {
            std::vector<int> count(5, 0);
            for (unsigned long x = 0; x < width; ++x) {
                const Landscape::Subtype s = cells[y * width + x];
                ASSERT_TRUE(s >= sandbox::Sea && s <= sandbox::Mountains);
                if (x > 0) {
                    ASSERT_LE(cells[y * width + x - 1], s) << "bands out of order in row " << y;
                }
                ++count[s];
            }
            EXPECT_GE(count[sandbox::Sea], 1);
            if (width >= 2) {
                EXPECT_EQ(count[sandbox::Coast], 1);
            }
            if (width >= 5) {
                EXPECT_THAT(count, testing::Each(testing::Ge(1)));
            }
        }
    }
    EXPECT_NE(sandbox::generateLandscape(64, 20, 7), sandbox::generateLandscape(64, 20, 8));
}

TEST(SandboxHost, FramesCallTheListenersRoundByRound) {
    Host host;
    std::vector<std::string> log;
    FrameRecorder a("a", log), b("b", log), c("c", log);
    a.view = &host.view;
    a.victim = &c;  // goes away in the middle of the frame's first round
    host.view.registerListener(&a);
    host.view.registerListener(&b);
    host.view.registerListener(&c);
    EXPECT_TRUE(log.empty());  // registering calls nothing
    host.runFrame(0.5f);
    EXPECT_THAT(log, ElementsAre("a initView", "b initView", "a initFrame 5", "b initFrame 5", "a termFrame 5",
                                 "b termFrame 5", "a termView", "b termView"));
    EXPECT_EQ(host.view.getFrameCount(), 1u);
    EXPECT_FALSE(host.view.isRegistered(&c));
}

TEST(SandboxHost, PauseStopsTheTimerAndTheClockButNotTheCamera) {
    Host host;
    host.clock.setTimeOfDay(22, 30);
    host.setMinutesPerSecond(1.5);
    host.camera.setPath({{0.0f, {0, 0, 10}, {0, 1, 0}, {0, 0, 1}}, {10.0f, {10, 0, 10}, {1, 0, 0}, {0, 0, 1}}});
    host.runFrame(1.0f);
    EXPECT_EQ(host.timer.getTime(), 1.0f);
    EXPECT_EQ(host.clock.getDayTime(), 22 * 60 + 31);  // 1.5 minutes: one whole, a half carried
    host.setPaused(true);
    host.runFrame(1.0f);
    EXPECT_EQ(host.timer.getTime(), 1.0f);
    EXPECT_EQ(host.clock.getDayTime(), 22 * 60 + 31);
    EXPECT_EQ(host.camera.getPosition(), Vector(2, 0, 10));
    host.setPaused(false);
    host.runFrame(1.0f);
    EXPECT_EQ(host.timer.getTime(), 2.0f);
    EXPECT_EQ(host.clock.getDayTime(), 22 * 60 + 33);
    EXPECT_EQ(host.getRealTime(), 3.0);
}

TEST(SandboxHost, CameraBlendsBetweenWaypoints) {
    sandbox::PathCamera camera;
    camera.moveTo(1.0f);  // no path: stays at the start
    EXPECT_EQ(camera.getPosition(), Vector(0, 0, 0));
    EXPECT_EQ(camera.getFront(), Vector(0, 1, 0));
    // Given out of order; sorted by time.
    camera.setPath({{4.0f, {4, 4, 2}, {0, 1, 0}, {0, 0, 1}}, {2.0f, {0, 4, 2}, {-1, 0, 0}, {0, 0, 1}},
                    {0.0f, {0, 0, 2}, {0, 1, 0}, {0, 0, 1}}});
    struct Case {
        float time;
        Vector position, front;
    };
    const float r = 0.70710677f;  // 1/sqrt(2) as a float
    for (const Case& c : {Case{-1.0f, {0, 0, 2}, {0, 1, 0}}, Case{0.0f, {0, 0, 2}, {0, 1, 0}},
                          Case{1.0f, {0, 2, 2}, {-r, r, 0}}, Case{2.0f, {0, 4, 2}, {-1, 0, 0}},
                          Case{3.0f, {2, 4, 2}, {-r, r, 0}}, Case{9.0f, {4, 4, 2}, {0, 1, 0}}}) {
        SCOPED_TRACE(c.time);
        camera.moveTo(c.time);
        EXPECT_EQ(camera.getPosition(), c.position);
        EXPECT_FLOAT_EQ(camera.getFront().x, c.front.x);
        EXPECT_FLOAT_EQ(camera.getFront().y, c.front.y);
        EXPECT_EQ(camera.getTop(), Vector(0, 0, 1));
    }
    // Opposite directions blend to nothing halfway: the earlier one is kept.
    camera.setPath({{0.0f, {}, {0, 1, 0}, {0, 0, 1}}, {2.0f, {}, {0, -1, 0}, {0, 0, 1}}});
    camera.moveTo(1.0f);
    EXPECT_EQ(camera.getFront(), Vector(0, 1, 0));
}

// A listener like the landscape sounds: its callbacks take its own lock, and
// it registers and unregisters itself with its lock held. A rendering thread
// runs frames, a game thread changes cells, a third thread keeps stopping
// and starting the listener and toggling the focus. No deadlock, no race; a
// permanently registered recorder hears every change in order.
struct Insonifier : GameBoardListener, RenderDriverListener, RenderWindowListener {
    std::recursive_mutex lock;
    Host* host = nullptr;
    int frames = 0, changes = 0, focusEvents = 0;
    void count(int& events) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        ++events;
    }
    void afterChangeLandscapeSubtype(Point2D, Landscape::Subtype, Landscape::Subtype) override { count(changes); }
    void initView(RenderView*) override { count(frames); }
    void getFocus() override { count(focusEvents); }
    void lostFocus() override { count(focusEvents); }
    void start() {
        std::lock_guard<std::recursive_mutex> guard(lock);
        host->view.registerListener(this);
        host->board.registerListener(this, LISTENER_PRIORITY_DEFAULT);
        host->window.registerListener(this);
    }
    void stop() {
        std::lock_guard<std::recursive_mutex> guard(lock);
        host->view.unregisterListener(this);
        host->board.unregisterListener(this);
        host->window.unregisterListener(this);
    }
};

TEST(SandboxHost, ThreeThreadsShareTheBoardAndTheView) {
    Host host(8, 8);
    BoardRecorder recorder;
    Insonifier insonifier;
    insonifier.host = &host;
    host.board.reset(std::vector<Landscape::Subtype>(64, sandbox::Sea));
    host.board.registerListener(&recorder, LISTENER_PRIORITY_DEFAULT);
    insonifier.start();

    constexpr int rounds = 300;
    std::thread game([&] {
        for (int i = 0; i < rounds; ++i) host.board.setSubtype({uint32_t(i % 8), 0}, (i / 8) % 5);
    });
    std::thread toggler([&] {
        for (int i = 0; i < rounds; ++i) {
            insonifier.stop();
            host.window.setFocus(i % 2 == 0);
            insonifier.start();
        }
    });
    for (int i = 0; i < rounds; ++i) host.runFrame(0.01f);
    game.join();
    toggler.join();
    insonifier.stop();

    ASSERT_EQ(recorder.calls.size(), size_t(rounds));
    std::vector<int> last(8, 0);  // each cell's notifications chain old to new
    for (int i = 0; i < rounds; ++i) {
        const int x = i % 8, subtype = (i / 8) % 5;
        EXPECT_EQ(recorder.calls[i], std::to_string(x) + ",0:" + std::to_string(last[x]) + ">" +
                                         std::to_string(subtype));
        last[x] = subtype;
    }
    EXPECT_EQ(host.view.getFrameCount(), unsigned(rounds));
    std::lock_guard<std::recursive_mutex> guard(insonifier.lock);
    EXPECT_LE(insonifier.frames, rounds);
    EXPECT_LE(insonifier.changes, rounds);
}

}  // namespace

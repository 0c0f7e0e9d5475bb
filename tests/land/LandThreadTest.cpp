// The rendering thread runs frames while a game thread changes cells, saves
// and loads, and a third thread toggles the pause and the window focus. Run
// under ThreadSanitizer: no race, no deadlock, and the map ends as the
// changes left it. Bounded: fixed numbers of changes and toggles; the frames
// run until both are done.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "tests/land/LandFixture.h"

namespace {
struct Threads : landtest::LandTest {};
}  // namespace

TEST_F(Threads, FramesBoardChangesSavesLoadsPauseAndFocusTogether) {
    tuning("randomSoundLimiter = 3.0; makeDebugOutput = false;");
    Probe land;
    run(land, "");
    host.setMinutesPerSecond(60.0);
    host.camera.setPath({{0.0f, Vector(-5, -4, 0)}, {20.0f, Vector(5, 4, 0)}});

    std::atomic<int> busy{2};
    std::atomic<unsigned long> frames{0};
    std::thread render([&] {
        while (busy.load() > 0 || frames.load() < 50) {
            host.runFrame(0.05f);
            frames.fetch_add(1);
        }
    });
    std::map<std::pair<uint32_t, uint32_t>, Landscape::Subtype> changed;
    std::thread game([&] {
        for (int k = 0; k < 300; ++k) {
            const Point2D cell{static_cast<uint32_t>((k * 7) % 10), static_cast<uint32_t>((k * 3) % 8)};
            const auto subtype = static_cast<Landscape::Subtype>(k % 5);
            host.board.setSubtype(cell, subtype);
            changed[{cell.x, cell.y}] = subtype;
            if (k % 50 == 49) {
                auto saved = std::make_unique<configmanager::ConfigManager>();
                land.save(saved.get());
                land.load(saved.get());
            }
        }
        busy.fetch_sub(1);
    });
    std::thread window([&] {
        for (int k = 0; k < 300; ++k) {
            host.setPaused(k % 2 == 0);
            host.window.setFocus(k % 3 != 0);
        }
        host.setPaused(false);
        host.window.setFocus(true);
        busy.fetch_sub(1);
    });
    game.join();
    window.join();
    render.join();

    EXPECT_TRUE(land.getIsStarted());
    EXPECT_GE(frames.load(), 50u);
    // Placed sources per subtype: coast two, forest and meadow one each.
    size_t expected = 0;
    for (const auto& cell : changed)
        expected += cell.second == sandbox::Coast ? 2 : cell.second == sandbox::Forest || cell.second == sandbox::Meadow ? 1 : 0;
    EXPECT_EQ(land.mapSounds.size(), expected);
    land.uninitialize();
    EXPECT_EQ(library.manager->getEffectCount(), 0u);
}

// The content watch and the landscape: sources placed on the board stay
// through saved changes of "Effects.snd", the tuning, the default records
// and the map (an editor's files beside it ignored), and follow the new
// levels; frames go on meanwhile.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "sound/manager/ContentWatch.h"
#include "tests/land/LandFixture.h"

namespace {

using namespace std::chrono_literals;

struct LandContent : landtest::LandTest {};

TEST_F(LandContent, PlacedSourcesStayThroughSavedContentAndFollowTheNewLevels) {
    Probe land;
    theLandInsonificator = &land;
    run(land);
    host.board.setSubtype({2, 3}, sandbox::Coast);
    const std::vector<std::string> placed = land.names();
    ASSERT_EQ(placed.size(), 2u);  // surf and gull
    Effect* surf = land.source(placed[0])->effect;
    ASSERT_NE(surf, nullptr);

    std::atomic<long long> now{0};
    ContentWatch::Options options;
    options.quiet = 100ms;
    options.clock = [&] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(now.load())); };
    ContentWatch watch(std::move(options));
    // Frames go on on the rendering thread while the game's thread reloads.
    std::atomic<bool> rendering{true};
    std::atomic<unsigned long> frames{0};
    std::thread render([&] {
        while (rendering.load() || frames.load() < 20) {
            host.runFrame(0.05f);
            frames.fetch_add(1);
        }
    });
    std::string effects = landtest::effectsFile;
    effects.replace(effects.find("1.0, 2.0, disk, true"), 8, "0.5, 3.0");
    library.tree.write("/Configs/Sounds/Effects.snd", effects);
    tuning("isEmulated3d = true;\n");
    std::string defaults = landtest::defaultSounds;
    defaults.replace(defaults.find("endHour = 20.0"), 14, "endHour = 18.0");
    library.tree.write("/Configs/Sounds/DefaultSounds.cfg", defaults);
    library.tree.write("/Maps/valley.cfg", "Sounds = { };\n");
    // The editor's files beside the map (a swap file, a probe file created
    // and removed) are not the library's: the log line below names none.
    library.tree.write("/Maps/.valley.cfg.swp", "b0VIM 9.0");
    library.tree.write("/Maps/4913", "");
    library.tree.remove("/Maps/4913");
    // Moved in: one event, after every change above.
    testsupport::TemporaryDirectory scratch;
    { std::ofstream(scratch.file("sync")).put('\n'); }
    std::filesystem::rename(scratch.file("sync"), library.tree.pathOf("/sync"));
    ASSERT_TRUE(watch.waitForChange(library.tree.pathOf("/sync"), 20s));
    now += 200;
    log.clear();
    EXPECT_TRUE(watch.update());
    rendering = false;
    render.join();

    EXPECT_EQ(land.names(), placed);
    EXPECT_EQ(land.source(placed[0])->effect, surf);
    EXPECT_FLOAT_EQ(surf->getVolume("ShellManager"), 0.5f);
    EXPECT_FLOAT_EQ(surf->getRadius("ShellManager"), 3.0f);
    EXPECT_TRUE(land.isEmulated3d);
    bool birdsUntil18 = false;
    for (LandSound* d : land.defaultSounds) birdsUntil18 = birdsUntil18 || (d->name == "birds" && d->endHour == 18.0f);
    EXPECT_TRUE(birdsUntil18);
    EXPECT_EQ(log.count("Content changed: Configs/Sounds/AdaptSettings.cfg, Configs/Sounds/DefaultSounds.cfg, "
                        "Configs/Sounds/Effects.snd, Maps/valley.cfg; reloaded: effect records, landscape tuning, "
                        "landscape default sounds (for later placements), maps not applied: the sources on the "
                        "board stay (a re-read of the configuration reads Maps/valley.cfg)"),
              1u);
    land.uninitialize();
    theLandInsonificator = nullptr;
}

}  // namespace

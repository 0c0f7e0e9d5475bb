#pragma once
// The landscape insonificator over the recording device and the sandbox
// host (board, view, timer, camera, clock), with a seeded randomizer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "interfaces/Config.h"
#include "sandbox/host/Host.h"
#include "sound/effects/Effect.h"
#include "sound/land/LandInsonificator.h"
#include "sound/manager/Globals.h"
#include "sound/random/Randomizer.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestLibrary.h"

namespace landtest {

// Every landscape sound of the tests is streamed ("disk"), so each source
// has a device effect of its own.
inline const char* const effectsFile =
    "device = 'device.cfg';\n"
    "surf = 'surf.ogg', 1.0, 2.0, disk, true, normal, 0;\n"
    "gull = 'gull.wav', 1.0, 2.0, disk, false, normal, 0;\n"
    "birds = 'birds.ogg', 1.0, 2.0, disk, false, normal, 0;\n"
    "crickets = 'crickets.ogg', 1.0, 1.5, disk, true, normal, 0;\n"
    "wind = 'wind.ogg', 1.0, 4.0, disk, true, normal, 0;\n";

// Templates: two automatic ones on the coast, one manual; birds in the
// forest by day; crickets on the meadow across midnight.
inline const char* const defaultSounds =
    "surf = { regionType = \"coast\"; regionWidth = 3.0; regionHeight = 3.0; powerRadius = 2.0;\n"
    "  threshold = 1.0; starter = 0.5; probability = 1.0; auto = true; priority = 2.0;\n"
    "  soundName = \"surf\"; z = 0.5; beginHour = 0.0; endHour = 0.0; };\n"
    "gull = { regionType = \"coast\"; powerRadius = 2.0; threshold = 1.0; probability = 0.5;\n"
    "  auto = true; soundName = \"gull\"; z = 4.0; beginHour = 0.0; endHour = 0.0; };\n"
    "bell = { regionType = \"coast\"; powerRadius = 2.0; threshold = 1.0; probability = 0.5;\n"
    "  auto = false; soundName = \"gull\"; };\n"
    "birds = { regionType = \"forest\"; powerRadius = 2.0; threshold = 1.0; probability = 0.25;\n"
    "  auto = true; soundName = \"birds\"; z = 3.0; beginHour = 6.0; endHour = 20.0; };\n"
    "crickets = { regionType = \"meadow\"; powerRadius = 1.0; threshold = 1.0; probability = 1.0;\n"
    "  auto = true; soundName = \"crickets\"; beginHour = 22.0; endHour = 6.0; };\n";

// The insonificator with its protected parts in reach of the tests.
class Probe : public LandInsonificator {
public:
    using LandInsonificator::afterChangeLandscapeSubtype;
    using LandInsonificator::continuousSounds;
    using LandInsonificator::convertGameBoardCoordinatesToAbsolute;
    using LandInsonificator::defaultSounds;
    using LandInsonificator::emulatorPassword;
    using LandInsonificator::fade;
    using LandInsonificator::faderPassword;
    using LandInsonificator::gameBoard;
    using LandInsonificator::getEmulatedVolume;
    using LandInsonificator::getNearbyRectanglePoint;
    using LandInsonificator::isEmulated3d;
    using LandInsonificator::isInside;
    using LandInsonificator::listener;
    using LandInsonificator::mapSounds;
    using LandInsonificator::playingRandomSounds;
    using LandInsonificator::projectToRectangle;
    using LandInsonificator::schedule;
    using LandInsonificator::updateCoordinates;
    using LandInsonificator::updateTime;
    using LandInsonificator::view;

    LandSound* source(const std::string& sourceName) {
        for (LandSound* s : mapSounds)
            if (s->name == sourceName) return s;
        return nullptr;
    }
    std::vector<std::string> names() {
        std::vector<std::string> all;
        for (LandSound* s : mapSounds) all.push_back(s->name);
        return all;
    }
    std::vector<LandSound*> queued() {
        std::vector<LandSound*> all;
        schedule.forEach([&](LandSound* s) { all.push_back(s); });
        return all;
    }
};

// A block read from configuration text.
inline std::unique_ptr<configmanager::ConfigManager> blockOf(const std::string& text) {
    auto block = std::make_unique<configmanager::ConfigManager>();
    EXPECT_TRUE(block->readText(text, "test")) << text;
    return block;
}

struct LandTest : testing::Test {
    testsupport::TestLibrary library{effectsFile};
    Randomizer randomizer;
    sandbox::Host host{10, 8};
    debug::Capture log;

    void SetUp() override {
        for (const char* f : {"device.cfg", "surf.ogg", "gull.wav", "birds.ogg", "crickets.ogg", "wind.ogg"})
            library.sound(f);
        library.tree.write("/Configs/Sounds/DefaultSounds.cfg", defaultSounds);
        library.activate();
        LandInsonificator::resetSettings();
        theRandomizer = &randomizer;
        log.clear();
    }
    void TearDown() override {
        library.deactivate();  // unregisters from the host's window while it exists
        theRandomizer = nullptr;
        LandInsonificator::resetSettings();
    }

    void tuning(const std::string& text) { library.tree.write("/Configs/Sounds/AdaptSettings.cfg", text); }
    // The insonificator Running on the host's board and view.
    void run(LandInsonificator& land) {
        land.initialize(&host.view, &host.board);
        land.start();
    }
    // The map text loaded, then the insonificator Ready or Running on them.
    void ready(LandInsonificator& land, const std::string& map) {
        land.load(blockOf(map).get());
        land.initialize(&host.view, &host.board);
    }
    void run(LandInsonificator& land, const std::string& map) {
        land.load(blockOf(map).get());
        run(land);
    }
    void cameraAt(float x, float y, float z = 0.0f) {
        host.camera.setPose(Vector(x, y, z), Vector(0, 1, 0), Vector(0, 0, 1));
    }
    // Live device effects streaming "/Sounds/" + file.
    size_t devices(const std::string& file) { return library.devicesOf(file).size(); }
};

}  // namespace landtest

// Names every landscape test file uses.
using debug::Kind;
using landtest::blockOf;
using landtest::Probe;
using testing::ElementsAre;
using testing::IsEmpty;
using testsupport::logged;

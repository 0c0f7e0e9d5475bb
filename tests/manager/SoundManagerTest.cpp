// The façade as the game drives it, over the recording device, a temporary
// resource tree and the sandbox host: what it builds and publishes, the
// order in which it lets go, the game cycle, the music switch, the
// configuration re-read, save and load, and the misuse of a second manager.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/Config.h"
#include "platform/device/Sink.h"
#include "sandbox/host/Host.h"
#include "sound/effects/Effect.h"
#include "sound/effects/ProcessHearer.h"
#include "sound/effects/ShellManager.h"
#include "sound/insonificators/ActInsonificator.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/land/LandInsonificator.h"
#include "sound/manager/Globals.h"
#include "sound/manager/SoundManager.h"
#include "sound/music/MusicInsonificator.h"
#include "sound/request/RequestManager.h"
#include "tests/support/LogCapture.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/ResourceTree.h"

using testsupport::RecordingDevice;

namespace {

const char* const effects =
    "device = 'device.cfg';\n"
    "shot = 'shot.wav', 1.0, 6.0, memory, false, normal, 0;\n"
    "surf = 'surf.ogg', 1.0, 2.0, disk, true, normal, 0;\n"
    "theme = 'theme.ogg', 1.0, 1.0, disk, false, disable, 0;\n"
    "nocturne = 'nocturne.ogg', 1.0, 1.0, disk, false, disable, 0;\n";

// Surf on every coast cell the game lays out.
const char* const defaultSounds =
    "surf = { regionType = \"coast\"; regionWidth = 1.0; regionHeight = 1.0; powerRadius = 2.0;\n"
    "  threshold = 1.0; probability = 1.0; auto = true; soundName = \"surf\"; beginHour = 0.0; endHour = 0.0; };\n";

// The recording device, noting at each initialize and uninitialize whether
// what is heard was held then (a re-read's hold on the library's outputs).
struct HoldNotingDevice : RecordingDevice {
    void initialize() override {
        held.push_back(aldevice::outputHeld());
        RecordingDevice::initialize();
    }
    void uninitialize() override {
        held.push_back(aldevice::outputHeld());
        RecordingDevice::uninitialize();
    }
    std::vector<bool> held;
};

struct SoundManagerTest : testing::Test {
    testsupport::ResourceTree tree;
    std::shared_ptr<HoldNotingDevice> device = std::make_shared<HoldNotingDevice>();
    testsupport::DeviceProviderGuard provider{device};
    sandbox::Host host{8, 6};
    debug::Capture log;

    void SetUp() override {
        tree.write("/Configs/Sounds/Effects.snd", effects);
        for (const char* f : {"device.cfg", "shot.wav", "surf.ogg", "theme.ogg", "nocturne.ogg"})
            tree.write(std::string("/Sounds/") + f, std::string(64, 'x'));
        tree.write("/Configs/Sounds/DefaultSounds.cfg", defaultSounds);
        tree.write("/Configs/Sounds/MusicSettings.cfg", "fadeStepNumber = 2; sleepMilliseconds = 0;\n");
        LandInsonificator::resetSettings();
    }
    void TearDown() override { LandInsonificator::resetSettings(); }

    // The file each live device effect plays, by its label.
    std::map<std::string, std::string> sources() {
        std::map<std::string, std::string> found;
        for (auto* e : device->liveEffects()) found[e->label()] = e->snapshot().source;
        return found;
    }
    size_t live(const std::string& file) {
        size_t n = 0;
        for (auto* e : device->liveEffects()) n += e->snapshot().source == "/Sounds/" + file;
        return n;
    }
    size_t playing(const std::string& file) {
        size_t n = 0;
        for (auto* e : device->liveEffects()) {
            auto s = e->snapshot();
            n += s.source == "/Sounds/" + file && s.playing;
        }
        return n;
    }
    void coastAt(uint32_t x, uint32_t y) { host.board.setSubtype(Point2D{x, y}, sandbox::Coast); }
};

bool allPointersNull() {
    return !theRequestManager && !theRequestEffectInterface && !theRequestListenerInterface && !theShellManager &&
           !theEffectManager && !theListenerManager && !theInsonificatorManager && !theActInsonificator &&
           !theLandInsonificator && !theMusicInsonificator && !theProcessHearerManager && !theRandomizer &&
           !theRequestInformator;
}

TEST_F(SoundManagerTest, BuildsAndPublishesEveryObjectAndLetsGoMusicFirstAndTheDeviceLast) {
    ASSERT_TRUE(allPointersNull());
    auto manager = std::make_unique<SoundManager>();

    // One object behind several pointers, each seen as its own base.
    EXPECT_EQ(theRequestEffectInterface, static_cast<RequestEffectInterface*>(theRequestManager));
    EXPECT_EQ(theRequestListenerInterface, static_cast<RequestListenerInterface*>(theRequestManager));
    EXPECT_EQ(theEffectManager, static_cast<EffectManager*>(theShellManager));
    EXPECT_EQ(theListenerManager, static_cast<ListenerManager*>(theShellManager));
    // The groups found the registry while they were built: a group's volume
    // set by id reaches its insonificator.
    theInsonificatorManager->setVolume(0, 0.25f);
    theInsonificatorManager->setVolume(1, 0.5f);
    theInsonificatorManager->setVolume(3, 0.75f);
    EXPECT_EQ(theActInsonificator->getVolume(), 0.25f);
    EXPECT_EQ(theLandInsonificator->getVolume(), 0.5f);
    EXPECT_EQ(theMusicInsonificator->getVolume(), 0.75f);
    EXPECT_NE(theProcessHearerManager, nullptr);
    EXPECT_NE(theRandomizer, nullptr);
    EXPECT_NE(theRequestInformator, nullptr);
    // The host's own pointers stay its own.
    EXPECT_EQ(theSoundManager, nullptr);
    EXPECT_EQ(theTestInsonificator, nullptr);
    EXPECT_FALSE(manager->isMusicQuiet());

    manager->activate();
    ASSERT_TRUE(device->isInitialized());
    theActInsonificator->createEffect("shot")->play();
    manager->prepareGame(&host.view, &host.board);
    manager->startGame();
    coastAt(2, 2);
    manager->startMusic("theme");
    theMusicInsonificator->waitUntilServed();
    ASSERT_EQ(live("theme.ogg"), 1u);
    ASSERT_EQ(live("surf.ogg"), 1u);
    ASSERT_EQ(live("shot.wav"), 2u);  // the playing one and the name's keeper

    // The game forgets deactivate: the request manager, deleted last, gives
    // the device back itself.
    const auto from = sources();
    device->clearCalls();
    manager.reset();
    std::vector<std::string> order;
    for (const auto& call : device->calls())
        if (call.name == "destroyEffect") order.push_back(from.at(call.args.at(0)));
        else if (call.name == "uninitialize") order.push_back("device");
    // Music, landscape, actions, then the manager's keeper, then the device.
    const std::vector<std::string> expected{"/Sounds/theme.ogg", "/Sounds/surf.ogg", "/Sounds/shot.wav",
                                            "/Sounds/shot.wav", "device"};
    EXPECT_EQ(order, expected);
    EXPECT_FALSE(device->isInitialized());
    EXPECT_TRUE(allPointersNull());
}

TEST_F(SoundManagerTest, GameCyclePauseAndMusicSwitch) {
    SoundManager manager;
    manager.activate();
    manager.prepareGame(&host.view, &host.board);
    manager.startGame();
    EXPECT_TRUE(host.view.isRegistered(theLandInsonificator));
    EXPECT_TRUE(host.board.isRegistered(theLandInsonificator));
    coastAt(1, 1);
    coastAt(5, 3);
    EXPECT_EQ(live("surf.ogg"), 2u);

    // Music: the flag changes, and the worker hears quiet and loud.
    manager.startMusic("theme");
    manager.quiet();
    EXPECT_TRUE(manager.isMusicQuiet());
    theMusicInsonificator->waitUntilServed();
    EXPECT_EQ(playing("theme.ogg"), 1u);
    manager.loud();
    EXPECT_FALSE(manager.isMusicQuiet());

    // Pause lets every effect go quiet; unpause brings them back together,
    // in one batch of the device, so what played together resumes in step.
    manager.pause();
    EXPECT_EQ(playing("theme.ogg"), 0u);
    device->clearCalls();
    manager.unpause();
    theMusicInsonificator->waitUntilServed();
    EXPECT_EQ(playing("theme.ogg"), 1u);
    {
        const auto files = sources();
        std::vector<std::string> order;  // the batch's ends and the theme's plays
        for (const auto& call : device->calls()) {
            auto file = files.find(call.object);
            if (call.name == "beginBatch" || call.name == "endBatch" ||
                (call.name == "play" && file != files.end() && file->second == "/Sounds/theme.ogg"))
                order.push_back(call.name);
        }
        EXPECT_THAT(order, testing::ElementsAre("beginBatch", "play", "endBatch"));
    }

    // Switching the music: stop, then the next piece.
    manager.stopMusic();
    manager.startMusic("nocturne");
    theMusicInsonificator->waitUntilServed();
    EXPECT_EQ(live("theme.ogg"), 0u);
    EXPECT_EQ(playing("nocturne.ogg"), 1u);

    manager.stopGame();
    EXPECT_FALSE(host.view.isRegistered(theLandInsonificator));
    EXPECT_FALSE(host.board.isRegistered(theLandInsonificator));
    coastAt(4, 4);  // no longer heard
    manager.releaseGame();
    EXPECT_EQ(live("surf.ogg"), 0u);
    manager.stopMusic();
    theMusicInsonificator->waitUntilServed();
    manager.deactivate();
    EXPECT_FALSE(device->isInitialized());
    EXPECT_EQ(device->liveEffects().size(), 0u);
}

TEST_F(SoundManagerTest, SaveAndLoadThroughOneBlockWrittenToAFile) {
    const std::string file = (std::filesystem::temp_directory_path() / "zulsound-save-test.cfg").string();
    {
        SoundManager manager;
        manager.activate();
        manager.prepareGame(&host.view, &host.board);
        manager.startGame();
        coastAt(3, 2);
        configmanager::ConfigManager start;  // a new game's block names its music
        ASSERT_TRUE(start.readText("bgmID = \"nocturne\";\n", "new game"));
        theMusicInsonificator->load(&start);

        configmanager::ConfigManager save;
        manager.saveGame(&save);
        ASSERT_TRUE(save.writePlainFile(file));
        manager.stopGame();
        manager.releaseGame();
        manager.deactivate();
    }
    {
        SoundManager manager;
        manager.activate();
        configmanager::ConfigManager read;
        ASSERT_TRUE(read.readPlainFile(file));
        manager.loadGame(&read);  // a saved game is loaded before it is prepared
        manager.prepareGame(&host.view, &host.board);
        manager.startGame();
        EXPECT_EQ(live("surf.ogg"), 1u) << "the placed source comes back";
        theMusicInsonificator->start();
        theMusicInsonificator->waitUntilServed();
        EXPECT_EQ(playing("nocturne.ogg"), 1u) << "the saved music plays";

        // Saving what was read gives the same text.
        configmanager::ConfigManager again;
        manager.saveGame(&again);
        std::string first, second;
        ASSERT_TRUE(read.writeText(&first));
        ASSERT_TRUE(again.writeText(&second));
        EXPECT_EQ(first, second);
        manager.releaseGame();
        manager.stopMusic();
        theMusicInsonificator->waitUntilServed();
        manager.deactivate();
    }
    std::filesystem::remove(file);
}

TEST_F(SoundManagerTest, ReReadConfigKeepsTheGameRunningWithOrWithoutADevice) {
    SoundManager manager;
    // Without a device: every step but the device's runs, nothing breaks.
    manager.reReadConfig("/none.cfg");
    EXPECT_EQ(device->count("initialize"), 0u);

    manager.activate();
    manager.prepareGame(&host.view, &host.board);
    manager.startGame();
    coastAt(1, 1);
    Effect* shot = theActInsonificator->createEffect("shot");
    ASSERT_EQ(live("surf.ogg"), 1u);

    // New content: the surf is louder, the map has a hand-placed source.
    tree.write("/Configs/Sounds/Effects.snd", std::string(effects) + "gull = 'shot.wav';\n");
    tree.write("/Maps/isle.cfg",
               "Sounds = { fade = 1.0; rock = { x = 2.0; y = 2.0; regionWidth = 1.0; regionHeight = 1.0;\n"
               "  powerRadius = 2.0; threshold = 1.0; probability = 1.0; soundName = \"surf\"; }; };\n");
    device->clearCalls();
    device->held.clear();
    manager.reReadConfig("/isle.cfg");
    EXPECT_EQ(device->count("uninitialize"), 1u);
    EXPECT_EQ(device->count("initialize"), 1u);
    // What is heard is held from the first step to the last (the device's
    // sounds play on while the device is made again), and only then.
    EXPECT_EQ(device->held, (std::vector<bool>{true, true}));
    EXPECT_FALSE(aldevice::outputHeld());
    EXPECT_TRUE(device->isInitialized());
    EXPECT_NE(theRequestManager->getRequestEffectConfig("gull"), nullptr) << "Effects.snd was read again";
    // The game goes on: its effects have device effects again and the
    // landscape holds the map's source in place of the one placed before.
    EXPECT_EQ(live("surf.ogg"), 1u);
    shot->play();
    EXPECT_EQ(playing("shot.wav"), 1u);
    EXPECT_TRUE(host.view.isRegistered(theLandInsonificator));

    // A broken Effects.snd and a missing map: the request layer says so,
    // frames go on, and once the file is mended the sounds come back.
    tree.write("/Configs/Sounds/Effects.snd", "shot = 'shot.wav', ;;\n");
    log.clear();
    manager.reReadConfig("/missing.cfg");
    EXPECT_TRUE(log.contains("SoundManager", debug::Kind::Error, "Syntax error in line 1"));
    EXPECT_EQ(live("shot.wav"), 0u);
    host.runFrame(1.0f / 60);
    tree.write("/Configs/Sounds/Effects.snd", effects);
    manager.reReadConfig("/isle.cfg");
    shot->play();
    EXPECT_EQ(playing("shot.wav"), 1u);
    EXPECT_EQ(live("surf.ogg"), 1u);
    manager.releaseGame();
    manager.deactivate();
}

TEST_F(SoundManagerTest, ASecondManagerIsRefusedAndChangesNothing) {
    auto first = std::make_unique<SoundManager>();
    RequestManager* requests = theRequestManager;
    {
        SoundManager second;
        EXPECT_TRUE(log.contains("SoundManager", debug::Kind::Error, "Skip SoundManager: one already exists"));
        second.activate();
        EXPECT_TRUE(log.contains("SoundManager", debug::Kind::Error, "Skip activate: inactive SoundManager"));
        EXPECT_FALSE(device->isInitialized());
        EXPECT_EQ(theRequestManager, requests);
    }
    // The refused one went away without touching the live objects.
    EXPECT_EQ(theRequestManager, requests);
    first->activate();
    EXPECT_TRUE(device->isInitialized());
    first.reset();
    EXPECT_TRUE(allPointersNull());
    // A manager built after the first is gone is a working one again.
    SoundManager third;
    third.activate();
    EXPECT_TRUE(device->isInitialized());
    third.deactivate();
}

}  // namespace

// The music-muted flag is written and read by different game threads at
// once (ThreadSanitizer checks); it ends as the last call left it.
TEST_F(SoundManagerTest, TheMusicQuietFlagFromTwoGameThreads) {
    SoundManager manager;
    manager.activate();
    constexpr int rounds = 200;
    int quietSeen = 0;  // any count: the reads only have to be clean
    std::thread switcher([&] {
        for (int k = 0; k < rounds; ++k) {
            manager.quiet();
            manager.loud();
        }
    });
    std::thread reader([&] {
        for (int k = 0; k < rounds; ++k) quietSeen += manager.isMusicQuiet();
    });
    switcher.join();
    reader.join();
    EXPECT_LE(quietSeen, rounds);  // each read saw a whole flag
    EXPECT_FALSE(manager.isMusicQuiet());
    manager.quiet();
    EXPECT_TRUE(manager.isMusicQuiet());
    theMusicInsonificator->waitUntilServed();
    manager.deactivate();
}

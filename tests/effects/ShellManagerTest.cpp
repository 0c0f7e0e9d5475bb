// The shell manager and the unload manager over the real request manager
// and the recording device: configuration of new effects, the global switch,
// focus muting, the listener settings, keepers and the periodic pass.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "interfaces/Window.h"
#include "sound/effects/Listener.h"
#include "sound/effects/ListenerSettings.h"
#include "sound/effects/ShellEffect.h"
#include "sound/effects/UnloadingEffect.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestLibrary.h"

using debug::Kind;
using testing::ElementsAre;
using testsupport::logged;
using testsupport::RecordingEffect;

namespace {

const char* const effectsFile =
    "device = 'device.cfg';\n"
    "river = 'river.ogg', 0.8, 5.0, disk, true, headrelative, 0;\n"
    "bell = 'bell.wav', 0.5, 2.0, disk, false, disable, 0;\n"
    "hit = 'hit.wav', 0.9, 3.0, memory, false, normal, 0;\n"
    "hum = 'hum.wav', 1.0, 3.0, memory, true, normal, 0;\n"
    "plain = 'plain.wav';\n";

struct ManagerTest : testing::Test {
    testsupport::TestLibrary library{effectsFile};
    debug::Capture log;

    void SetUp() override {
        for (const char* f : {"device.cfg", "river.ogg", "bell.wav", "hit.wav", "hum.wav", "plain.wav"})
            library.sound(f);
        library.activate();
        log.clear();
    }

    // The device effect an effect plays through now (the newest live one
    // loaded from its file), or null.
    RecordingEffect* deviceOf(const std::string& file) {
        const auto found = library.devicesOf(file);
        return found.empty() ? nullptr : found.back();
    }
};

class Window : public RenderWindow {
public:
    bool focused = true;
    RenderWindowListener* listener = nullptr;
    bool hasFocus() override { return focused; }
    void registerListener(RenderWindowListener* l) override { listener = l; }
    void unregisterListener(RenderWindowListener* l) override {
        if (listener == l) listener = nullptr;
    }
};

}  // namespace

TEST_F(ManagerTest, NewEffectsTakeTheirRecordsSettings) {
    Effect* river = library.manager->createEffect("river");
    auto state = deviceOf("river.ogg")->snapshot();
    EXPECT_EQ(state.mode, SOUND3D_MODE_HEADRELATIVE);
    EXPECT_EQ(state.volume, 0.8f);
    EXPECT_EQ(state.radius, 5.0f);
    EXPECT_TRUE(state.looped);
    EXPECT_EQ(river->getVolume("ShellManager"), 0.8f);
    EXPECT_EQ(river->getVolume("ShellManagerFocusProcessor"), 1.0f);

    // A short entry before any default: zero volume and radius, normal mode.
    library.manager->createEffect("plain");
    state = deviceOf("plain.wav")->snapshot();
    EXPECT_EQ(state.mode, SOUND3D_MODE_NORMAL);
    EXPECT_EQ(state.volume, 0.0f);

    // No record: volume 1, radius 1, no device effect, and both layers say so.
    Effect* unknown = library.manager->createEffect("nothing");
    EXPECT_EQ(unknown->getVolume(), 1.0f);
    EXPECT_EQ(unknown->getRadius(), 1.0f);
    EXPECT_TRUE(log.contains("RequestManager", Kind::Warning, "Skip load nothing: not found EffectConfig"));
    EXPECT_TRUE(log.contains("SoundManager", Kind::Warning, "failed to activate: nothing sound3DEffect == 0"));
    EXPECT_EQ(library.manager->getEffectCount(), 3u);
}

TEST_F(ManagerTest, FocusLossSilencesWithoutStoppingAndItsReturnRestoresEachVolume) {
    Effect* river = library.manager->createEffect("river");
    Effect* bell = library.manager->createEffect("bell");
    river->setVolume(0.5f, "ShellManager");
    river->play();
    bell->play();
    RecordingEffect* riverDevice = deviceOf("river.ogg");
    RecordingEffect* bellDevice = deviceOf("bell.wav");

    library.manager->lostFocus();
    EXPECT_EQ(riverDevice->snapshot().volume, 0.0f);
    EXPECT_EQ(bellDevice->snapshot().volume, 0.0f);
    EXPECT_TRUE(river->isPlaying());
    EXPECT_EQ(library.device->count("stop"), 0u);

    // Created while the window lacks the focus: silent from the start.
    Effect* late = library.manager->createEffect("river");
    EXPECT_EQ(late->getVolume(), 0.0f);

    library.manager->lostFocus();
    library.manager->getFocus();
    EXPECT_EQ(riverDevice->snapshot().volume, 0.5f);
    EXPECT_EQ(bellDevice->snapshot().volume, 0.5f);
    EXPECT_EQ(late->getVolume(), 0.8f);
    EXPECT_TRUE(bell->isPlaying());
    library.manager->getFocus();
    EXPECT_THAT(log.records(), ElementsAre(logged("SoundManager", Kind::Warning, 1.0f, "Skip lostFocus: already done"),
                                           logged("SoundManager", Kind::Warning, 1.0f, "Skip getFocus: already done")));
}

TEST_F(ManagerTest, PauseThroughTheSwitchResumesWhereItStopped) {
    Effect* river = library.manager->createEffect("river");
    river->play();
    deviceOf("river.ogg")->advanceTo(4410);

    library.manager->deactivateAllEffects();
    EXPECT_EQ(deviceOf("river.ogg"), nullptr);  // the device effect went back
    library.manager->deactivateAllEffects();
    library.manager->activateAllEffects();
    RecordingEffect* resumed = deviceOf("river.ogg");
    ASSERT_NE(resumed, nullptr);
    EXPECT_EQ(resumed->snapshot().position, 4410u);
    EXPECT_TRUE(resumed->snapshot().playing);
    library.manager->activateAllEffects();
    EXPECT_THAT(log.records(),
                ElementsAre(logged("SoundManager", Kind::Error, 0.0f, "Skip deactivateAllEffects: already done"),
                            logged("SoundManager", Kind::Error, 0.0f, "Skip activateAllEffects: already done")));
}

TEST_F(ManagerTest, EachRefusedSwitchCarriesThePositionOfItsReport) {
    library.manager->activateAllEffects();
    library.manager->activateAllListeners();
    library.manager->deactivateAllEffects();
    library.manager->deactivateAllEffects();
    library.manager->deactivateAllListeners();
    library.manager->deactivateAllListeners();
    const std::vector<debug::Record> records = log.records();
    ASSERT_EQ(records.size(), 4u);
    for (const debug::Record& r : records) EXPECT_THAT(r.context, testing::StartsWith("(ShellManager.cpp,")) << r.text;
    for (size_t i = 0; i < records.size(); ++i)
        for (size_t j = i + 1; j < records.size(); ++j) EXPECT_NE(records[i].context, records[j].context);
}

TEST_F(ManagerTest, DeactivateAndActivateRememberTheSwitches) {
    Effect* river = library.manager->createEffect("river");
    river->play();
    library.manager->deactivate();
    EXPECT_FALSE(river->getIsActive());
    library.manager->activate();
    EXPECT_TRUE(river->getIsActive());
    EXPECT_TRUE(river->isPlaying());

    library.manager->deactivateAllEffects();  // paused by the game
    library.manager->deactivate();
    library.manager->activate();
    EXPECT_FALSE(river->getIsActive());  // stays paused
    library.manager->activateAllEffects();
    EXPECT_TRUE(river->getIsActive());
    EXPECT_TRUE(log.records().empty());
}

TEST_F(ManagerTest, TheWindowsFocusIsReadAtActivationAndItsListenerRemoved) {
    Window window;
    window.focused = false;
    theRenderWindow = &window;
    library.manager->deactivate();
    library.manager->activate();
    EXPECT_EQ(window.listener, library.manager.get());
    Effect* bell = library.manager->createEffect("bell");
    EXPECT_EQ(bell->getVolume(), 0.0f);
    window.listener->getFocus();
    EXPECT_EQ(bell->getVolume(), 0.5f);
    library.manager->deactivate();
    EXPECT_EQ(window.listener, nullptr);

    library.manager->activate();
    theRenderWindow = nullptr;  // the window went away first
    library.manager->deactivate();
    EXPECT_THAT(log.records(), ElementsAre(logged("SoundManager", Kind::Error, 0.0f, "theRenderWindow != 0")));
}

TEST_F(ManagerTest, ListenerSettingsComeFromListenerCfg) {
    library.tree.write("/Configs/Sounds/Listener.cfg", "rolloff = 0.5;\ndistance = 2;\nscaleXY = 10.0;\n");
    library.manager->reloadListenerConfig();
    EXPECT_TRUE(library.manager->getIsActivated());
    EXPECT_EQ(ListenerSettings::getScaleXY(), 10.0f);
    EXPECT_EQ(ListenerSettings::getScaleZ(), 1.0f);  // missing key: unchanged
    EXPECT_EQ(ListenerSettings::getProcessTimeLimit(), 5.0f);

    Listener* listener = library.manager->createListener();
    EXPECT_EQ(library.device->listener().rolloffFactor, 0.5f);
    EXPECT_EQ(library.device->listener().distanceFactor, 2.0f);
    Effect* river = library.manager->createEffect("river");
    river->setPosition(Vector(1, 2, 3));
    EXPECT_EQ(deviceOf("river.ogg")->snapshot().place, Vector(10, 20, 3));

    library.tree.write("/Configs/Sounds/Listener.cfg", "rolloff = ;");  // malformed: settings stay
    library.manager->reloadListenerConfig();
    EXPECT_EQ(ListenerSettings::getRolloff(), 0.5f);
    library.manager->destroyListener(listener);
}

TEST_F(ManagerTest, OnlyItsOwnObjectsAreDestroyed) {
    struct Alien : Listener {
        void activate() override {}
        void deactivate() override {}
        void setPosition(const Vector&, const Vector&, const Vector&) override {}
        void getPosition(Vector&, Vector&, Vector&) override {}
        void update() override {}
        void setRolloffFactor(float) override {}
        void setDistanceFactor(float) override {}
        float getRolloffFactor() override { return 1; }
        float getDistanceFactor() override { return 1; }
    } alien;
    library.manager->destroyListener(&alien);
    EXPECT_THAT(log.records(), ElementsAre(logged("SoundManager", Kind::Error, 0.0f, "Skip destroyListener: cast failed")));
}

// ---------------------------------------------------------------- unloading

TEST_F(ManagerTest, MemorySoundsShareOneKeeperWhileTheirEffectsLive) {
    Effect* first = library.manager->createEffect("hit");
    Effect* second = library.manager->createEffect("hit");
    EXPECT_NE(dynamic_cast<UnloadingEffect*>(first), nullptr);
    EXPECT_EQ(dynamic_cast<UnloadingEffect*>(library.manager->createEffect("river")), nullptr);
    EXPECT_EQ(library.device->count("createStatic"), 1u);  // the keeper, loaded once
    EXPECT_EQ(library.manager->getKeeperCount("hit"), 1u);
    EXPECT_EQ(library.device->liveEffects().size(), 2u);    // keeper and the river stream; no buffers yet

    library.manager->destroyEffect(first);
    EXPECT_EQ(library.manager->getKeeperCount("hit"), 1u);
    library.manager->deactivate();  // keepers go back, names stay
    EXPECT_EQ(library.manager->getLoadedKeeperCount(), 0u);
    library.manager->activate();
    EXPECT_EQ(library.manager->getLoadedKeeperCount(), 1u);
    library.manager->destroyEffect(second);
    EXPECT_EQ(library.manager->getKeeperCount("hit"), 0u);
    EXPECT_EQ(library.device->count("createStatic"), 2u);
    EXPECT_TRUE(log.records().empty());
}

TEST_F(ManagerTest, AOneShotsBufferGoesBackAtTheFirstPassAfterItEnds) {
    Effect* hit = library.manager->createEffect("hit");
    const size_t idle = library.device->liveEffects().size();  // the keeper
    hit->play();
    ASSERT_EQ(library.device->liveEffects().size(), idle + 1);
    RecordingEffect* buffer = library.device->liveEffects().back();
    EXPECT_EQ(buffer->snapshot().state, "clone");
    EXPECT_EQ(library.hearers->getHearerCount(), 1u);

    library.hearers->processHearers(2.0f);
    buffer->setPlaying(false);  // the sound ends between frames
    library.hearers->processHearers(2.0f);
    EXPECT_EQ(library.device->liveEffects().size(), idle + 1);  // no pass yet
    library.hearers->processHearers(2.0f);                      // 6.0 >= 5.0: the pass
    EXPECT_EQ(library.device->liveEffects().size(), idle);
    EXPECT_EQ(library.hearers->getHearerCount(), 0u);

    // A looped one keeps its buffer through passes until it is stopped.
    Effect* hum = library.manager->createEffect("hum");
    hum->play();
    library.hearers->processHearers(5.0f);
    EXPECT_TRUE(hum->isPlaying());
    EXPECT_EQ(library.device->liveEffects().size(), idle + 2);  // hum's keeper and its buffer
    hum->stop();
    library.hearers->processHearers(5.0f);
    EXPECT_EQ(library.device->liveEffects().size(), idle + 1);
}

TEST_F(ManagerTest, DeactivatingAPlayingUnloadingEffectGivesItsBufferBack) {
    Effect* hum = library.manager->createEffect("hum");
    hum->play();
    const size_t playing = library.device->liveEffects().size();
    library.manager->deactivateAllEffects();
    EXPECT_EQ(library.device->liveEffects().size(), playing - 1);
    EXPECT_FALSE(hum->isPlaying());
    library.manager->activateAllEffects();  // switched on: no buffer, no sound
    EXPECT_EQ(library.device->liveEffects().size(), playing - 1);
    EXPECT_FALSE(hum->isPlaying());

    // Looped and asked to play while switched off: it starts at the first
    // play() after it is switched on, not at the switch.
    library.manager->deactivateAllEffects();
    hum->play();
    library.manager->activateAllEffects();
    EXPECT_EQ(library.device->liveEffects().size(), playing - 1);
    hum->play();
    EXPECT_EQ(library.device->liveEffects().size(), playing);
    EXPECT_TRUE(log.records().empty());
}

// Sound groups over the whole effect stack: gain reaching the device, the
// switch, the registry's lookup by id, shared action sounds, menu sounds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "sound/effects/Effect.h"
#include "sound/insonificators/ActInsonificator.h"
#include "sound/insonificators/UIInsonificator.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestLibrary.h"

using debug::Kind;
using testing::ElementsAre;
using testsupport::logged;
using testsupport::RecordingEffect;

namespace {

const char* const effectsFile =
    "device = 'device.cfg';\n"
    "shot = 'shot.wav', 0.8, 5.0, disk, false, normal, 0;\n"
    "click = 'click.wav', 1.0, 1.0, disk, false, disable, 0;\n"
    "back = 'back.wav', 1.0, 1.0, disk, false, disable, 0;\n";

struct GroupTest : testing::Test {
    testsupport::TestLibrary library{effectsFile};
    debug::Capture log;

    void SetUp() override {
        for (const char* f : {"device.cfg", "shot.wav", "click.wav", "back.wav"}) library.sound(f);
        library.activate();
        log.clear();
    }

    std::vector<RecordingEffect*> devicesOf(const std::string& file) { return library.devicesOf(file); }
};

// A fifth group member, for the registry's lookup.
class Extra : public Insonificator {
public:
    explicit Extra(const std::string& n) {
        Guard guard(lock);
        name = n;
    }
};

}  // namespace

TEST_F(GroupTest, GroupVolumeReachesTheDeviceAsAGainTimesConfiguredVolumeAndFocus) {
    ActInsonificator actions;
    EXPECT_EQ(actions.getName(), "Sound effects");
    Effect* shot = actions.createEffect("shot");
    shot->play();
    library.registry->setVolume(0, 0.5f);
    RecordingEffect* device = devicesOf("shot.wav").at(0);
    EXPECT_FLOAT_EQ(device->snapshot().volume, 0.8f * 0.03125f);  // 2^-5 times the configured 0.8
    EXPECT_FLOAT_EQ(library.registry->getVolume(0), 0.5f);
    actions.setVolume(1.5f);
    EXPECT_FLOAT_EQ(device->snapshot().volume, 0.8f * 32.0f);
    actions.setVolume(0.0f);  // not silent: 2^-10
    EXPECT_FLOAT_EQ(device->snapshot().volume, 0.8f / 1024.0f);
    library.manager->lostFocus();
    EXPECT_EQ(device->snapshot().volume, 0.0f);
    library.manager->getFocus();
    EXPECT_FLOAT_EQ(device->snapshot().volume, 0.8f / 1024.0f);
}

TEST_F(GroupTest, TheSwitchDeactivatesUnderTheGroupPassword) {
    ActInsonificator actions;
    Effect* shot = actions.createEffect("shot");
    library.registry->disable(0);
    EXPECT_FALSE(shot->getIsActive());
    EXPECT_TRUE(devicesOf("shot.wav").empty());
    library.registry->disable(0);

    // Created while the group is off: inactive until the group is enabled.
    Extra other("Music");
    Effect* late = actions.createEffect("click");
    EXPECT_FALSE(late->getIsActive());
    EXPECT_TRUE(devicesOf("click.wav").empty());
    library.registry->enable(0);
    EXPECT_TRUE(late->getIsActive());
    EXPECT_EQ(devicesOf("click.wav").size(), 1u);
    library.registry->enable(0);
    EXPECT_THAT(log.records(),
                ElementsAre(logged("SoundManager", Kind::Error, 0.0f,
                                   "failed to disable insonificator Sound effects: already disabled"),
                            logged("SoundManager", Kind::Error, 0.0f,
                                   "failed to enable insonificator Sound effects: already enabled")));
}

TEST_F(GroupTest, LookupByIdSeesOnlyTheFirstFourAndRejectsUnknownIds) {
    ActInsonificator actions;
    Extra music("Music");
    EXPECT_TRUE(library.registry->getIsEnabled(3));
    library.registry->setQuality(3, 0.25f);
    EXPECT_EQ(music.getQuality(), 0.25f);
    // Nobody carries "Environment sounds" or "Menu sounds": nothing happens.
    library.registry->disable(1);
    library.registry->setVolume(2, 0.1f);
    EXPECT_FALSE(library.registry->getIsEnabled(1));
    EXPECT_EQ(library.registry->getVolume(2), 0.0f);
    EXPECT_EQ(library.registry->getName(2), "Menu sounds");
    EXPECT_EQ(library.registry->getName(4), "");
    library.registry->disable(7);
    EXPECT_EQ(library.registry->getMaxVolume(7), 0.0f);

    Extra third("undefined insonificator"), fourth("undefined insonificator");
    Extra fifth("Environment sounds");  // registered fifth: never found
    EXPECT_EQ(library.registry->getQuantity(), 5u);
    library.registry->disable(1);
    EXPECT_TRUE(fifth.getIsEnabledAllEffects());
    EXPECT_TRUE(log.records().empty());
}

TEST_F(GroupTest, ActionSoundsAreSharedByName) {
    ActInsonificator actions;
    Effect* a = actions.createEffect("shot");
    Effect* b = actions.createEffect("shot");
    EXPECT_EQ(a, b);
    EXPECT_EQ(library.device->count("createStreaming"), 1u);
    actions.destroyEffect(a);  // kept
    EXPECT_EQ(actions.createEffect("shot"), a);
    EXPECT_EQ(library.manager->getEffectCount(), 1u);
}

TEST_F(GroupTest, MenuSoundsSharingAnEffectShareItsSound) {
    library.tree.write("/Configs/Sounds/UI.cfg",
                       "open = { sound = \"click\"; };\n"
                       "close = { sound = \"click\"; };\n"
                       "cancel = { sound = \"back\"; };\n"
                       "broken = { volume = 1.0; };\n");
    UIInsonificator menus;
    EXPECT_EQ(menus.getName(), "Menu sounds");
    EXPECT_EQ(library.manager->getEffectCount(), 2u);  // one per distinct effect
    menus.play("open");
    ASSERT_EQ(devicesOf("click.wav").size(), 1u);
    EXPECT_TRUE(devicesOf("click.wav")[0]->snapshot().playing);
    menus.stop("close");
    EXPECT_FALSE(devicesOf("click.wav")[0]->snapshot().playing);
    menus.play("broken");  // a block without "sound" is not a menu sound
    menus.play("unknown");
    EXPECT_EQ(library.device->count("play"), 1u);
    library.registry->disable(2);
    EXPECT_TRUE(devicesOf("click.wav").empty());
}

TEST_F(GroupTest, AReloadedMenuTableKeepsTheEffectsStillNamedAndAMalformedOneChangesNothing) {
    library.tree.write("/Configs/Sounds/UI.cfg", "open = { sound = \"click\"; };\ncancel = { sound = \"back\"; };\n");
    UIInsonificator menus;
    menus.play("open");
    RecordingEffect* playing = devicesOf("click.wav").at(0);

    library.tree.write("/Configs/Sounds/UI.cfg", "open = { sound = \"click\"; ");
    EXPECT_FALSE(menus.reloadTable());
    library.tree.write("/Configs/Sounds/UI.cfg", "open = { sound = \"click\"; };\nfire = { sound = \"shot\"; };\n");
    EXPECT_TRUE(menus.reloadTable());
    EXPECT_EQ(library.manager->getEffectCount(), 2u);  // click kept, back destroyed, shot created
    ASSERT_EQ(devicesOf("click.wav").size(), 1u);
    EXPECT_EQ(devicesOf("click.wav")[0], playing);
    EXPECT_TRUE(playing->snapshot().playing);  // a menu sound playing goes on
    EXPECT_TRUE(devicesOf("back.wav").empty());
    menus.play("cancel");  // no longer a menu sound
    menus.play("fire");
    EXPECT_EQ(devicesOf("back.wav").size(), 0u);
    ASSERT_EQ(devicesOf("shot.wav").size(), 1u);
    EXPECT_TRUE(devicesOf("shot.wav")[0]->snapshot().playing);
}

TEST_F(GroupTest, MissingEmptyOrMalformedMenuTablesLeaveTheMenusSilent) {
    for (const char* text : std::initializer_list<const char*>{"", "open = { sound = \"click\"; ", nullptr}) {
        if (text) library.tree.write("/Configs/Sounds/UI.cfg", text);
        else library.tree.remove("/Configs/Sounds/UI.cfg");
        UIInsonificator menus;
        menus.play("open");
        menus.stop("open");
        EXPECT_EQ(library.manager->getEffectCount(), 0u);
    }
    EXPECT_EQ(library.device->count("play"), 0u);
}

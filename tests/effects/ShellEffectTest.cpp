// Shell effects and the shell listener at their boundary: what reaches the
// device, what is kept while unloaded, and what is reported.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sound/effects/ListenerSettings.h"
#include "sound/effects/ShellEffect.h"
#include "sound/effects/ShellListener.h"
#include "tests/support/DirectRequests.h"
#include "tests/support/LogCapture.h"

using debug::Kind;
using testing::ElementsAre;
using testsupport::logged;

namespace {

std::vector<std::string> callTexts(testsupport::RecordingDevice& device) {
    std::vector<std::string> texts;
    for (const auto& c : device.calls()) texts.push_back(c.text());
    device.clearCalls();
    return texts;
}

struct ShellEffectTest : testing::Test {
    testsupport::RecordingDevice device;
    testsupport::DirectRequests requests{device};
    debug::Capture log;
    void TearDown() override { ListenerSettings::reset(); }
};

}  // namespace

TEST_F(ShellEffectTest, PausedByDeactivationItResumesAtTheSavedPositionOnANewDeviceEffect) {
    ShellEffect effect("river");
    effect.addCommonPassword(true, "group");
    effect.setLooped(true);
    effect.setPosition(Vector(1, 2, 3));
    effect.setVolume(0.5f, "group");
    effect.play();
    device.effect(1)->advanceTo(1234);
    device.clearCalls();

    effect.deactivate("group");
    EXPECT_THAT(callTexts(device),
                ElementsAre("effect#1.isPlaying()", "effect#1.isPlaying()", "effect#1.stop()",
                            "effect#1.getPlayPosition()", "effect#1.release()", "device.destroyEffect(effect#1)"));
    EXPECT_TRUE(effect.isPlaying());  // still wanted

    effect.activate("group");
    // Every stored value is re-applied at once (apply 0), unchanged or not.
    EXPECT_THAT(callTexts(device),
                ElementsAre("device.createEffect()", "effect#2.setLooped(1)", "effect#2.setPlayPosition(1234)",
                            "effect#2.setPosition((1,2,3),0)", "effect#2.setMode(0,0)", "effect#2.setRadius(1,0)",
                            "effect#2.setVolume(0.5)", "effect#2.play()"));

    // After stop() the next activation starts from 0 and does not play.
    effect.stop();
    effect.deactivate("group");
    effect.activate("group");
    const auto again = callTexts(device);
    EXPECT_THAT(again, testing::Contains("effect#3.setLooped(1)"));
    EXPECT_THAT(again, testing::Not(testing::Contains(testing::HasSubstr("effect#3.play"))));
    EXPECT_THAT(again, testing::Not(testing::Contains(testing::HasSubstr("effect#3.setPlayPosition"))));
    EXPECT_FALSE(effect.isPlaying());
    EXPECT_TRUE(log.records().empty());
}

TEST_F(ShellEffectTest, OneShotPlayWhileUnloadedIsDroppedALoopedOneWaits) {
    ShellEffect shot("shot"), loop("loop");
    shot.addCommonPassword(false, "group");
    loop.addCommonPassword(false, "group");
    loop.setLooped(true);
    shot.play();
    loop.play();
    EXPECT_FALSE(shot.isPlaying());
    EXPECT_TRUE(loop.isPlaying());
    EXPECT_TRUE(device.calls().empty());

    shot.activate("group");
    loop.activate("group");
    EXPECT_EQ(device.count("play"), 1u);
    EXPECT_TRUE(device.effect(2)->snapshot().playing);
    EXPECT_FALSE(device.effect(1)->snapshot().playing);
}

TEST_F(ShellEffectTest, UnchangedValuesAndLoopChangesWhilePlayingStayOffTheDevice) {
    ShellEffect effect("x");
    effect.addCommonPassword(true, "group");
    device.clearCalls();
    effect.setVolume(0.5f, "group");
    effect.setVolume(0.5f, "group");
    effect.setRadius(3.0f, "group");
    effect.setRadius(3.0f, "group");
    effect.setPosition(Vector(1, 1, 0));
    effect.setPosition(Vector(1, 1, 0));
    EXPECT_EQ(device.count("setVolume"), 1u);
    EXPECT_EQ(device.count("setRadius"), 1u);
    EXPECT_EQ(device.count("setPosition"), 1u);

    effect.play();
    effect.setLooped(true);  // playing: only the stored flag changes
    EXPECT_EQ(device.count("setLooped"), 0u);
    EXPECT_TRUE(effect.getLooped());

    // A sound that ended on the device is no longer playing, and trigger()
    // of a sound that is not playing does nothing.
    device.effect(1)->setPlaying(false);
    EXPECT_FALSE(effect.isPlaying());
    effect.trigger();
    EXPECT_EQ(device.count("trigger"), 0u);
}

TEST_F(ShellEffectTest, PositionsReachTheDeviceScaled) {
    ListenerSettings::set(1.0f, 1.0f, 10.0f, 2.0f, 5.0f);
    ShellEffect effect("x");
    effect.setSound3DApply(SOUND3D_APPLY_DEFERRED);
    effect.addCommonPassword(true, "group");
    device.clearCalls();
    effect.setPosition(Vector(1.5f, -2.0f, 3.0f));
    EXPECT_THAT(callTexts(device), ElementsAre("effect#1.setPosition((15,-20,6),1)"));
    EXPECT_EQ(effect.getPosition(), Vector(1.5f, -2.0f, 3.0f));
}

TEST_F(ShellEffectTest, FailuresAreReportedAndTheEffectGoesOn) {
    ShellEffect effect("door");
    requests.refuse("door");
    effect.setLooped(true);
    effect.addCommonPassword(true, "group");
    EXPECT_TRUE(effect.getIsActive());
    EXPECT_FALSE(effect.isLoaded());
    effect.play();  // waits for a device effect
    effect.activate();
    effect.deactivate();
    effect.deactivate();
    EXPECT_THAT(log.records(),
                ElementsAre(logged("SoundManager", Kind::Warning, 0.1f, "failed to activate: door sound3DEffect == 0"),
                            logged("SoundManager", Kind::Error, 0.0f, "failed to activate: door already activated"),
                            logged("SoundManager", Kind::Error, 0.0f, "failed to deactivate: door already deactived")));
    EXPECT_THAT(log.records()[0].context, testing::StartsWith("(ShellEffect.cpp,"));

    log.clear();
    ShellEffect other("bell");
    other.addCommonPassword(true, "group");
    device.failNext("setVolume", "device lost");
    other.setVolume(0.25f, "group");
    EXPECT_EQ(other.getVolume(), 0.25f);  // stored all the same
    other.play();
    EXPECT_EQ(device.count("play"), 1u);
    device.failNext("isPlaying", "device lost again");
    EXPECT_FALSE(other.isPlaying());  // a getter that raised answers its default
    EXPECT_THAT(log.records(),
                ElementsAre(logged("SoundManager", Kind::Warning, 0.1f, "device lost"),
                            logged("SoundManager", Kind::Warning, 0.1f, "device lost again")));
}

TEST_F(ShellEffectTest, APauseWhoseDevicePositionCannotBeReadKeepsNoStalePosition) {
    ShellEffect effect("river");
    effect.addCommonPassword(true, "group");
    effect.play();
    device.effect(1)->advanceTo(1234);
    effect.pause();
    EXPECT_EQ(effect.getSavedPlayPosition(), 1234u);
    effect.play();
    device.effect(1)->advanceTo(2000);
    device.failNext("getPlayPosition", "device lost");
    effect.pause();
    EXPECT_EQ(effect.getSavedPlayPosition(), 0u);  // the getter's default, not the 1234 of before
    device.clearCalls();
    effect.deactivate("group");
    effect.activate("group");
    EXPECT_EQ(device.count("setPlayPosition"), 0u);  // the new device effect starts from the beginning
    EXPECT_THAT(log.records(), ElementsAre(logged("SoundManager", Kind::Warning, 0.1f, "device lost")));
}

TEST_F(ShellEffectTest, ListenerPlacementIsNudgedNormalisedAndDeferred) {
    ListenerSettings::set(0.5f, 2.0f, 2.0f, 1.0f, 5.0f);
    ShellListener listener;
    listener.activate();
    // The stored placement equals its nudged self: only the factors and the
    // commit reach the new device listener.
    EXPECT_THAT(callTexts(device), ElementsAre("device.getListener()", "listener.setRolloffFactor(0.5,0)",
                                               "listener.setDistanceFactor(2,0)", "listener.commit()"));

    listener.setPosition(Vector(0.0004f, 0, 0), Vector(1, 0, 0), Vector(0, 0, 1));
    EXPECT_THAT(callTexts(device), ElementsAre("listener.setPosition((0.002,0,0),1)"));
    listener.setPosition(Vector(0.0008f, 0, 0), Vector(1, 0, 0), Vector(0, 0, 1));  // both nudge to 0.001
    EXPECT_TRUE(device.calls().empty());

    listener.setPosition(Vector(0.0008f, 0, 0), Vector(3, 4, 0), Vector(0, 0, 5));
    EXPECT_THAT(callTexts(device), ElementsAre("listener.setOrientation((0.6,0.8,0),(0,0,1),1)"));
    Vector p, f, t;
    listener.getPosition(p, f, t);
    EXPECT_EQ(f, Vector(3, 4, 0));  // stored unscaled
    listener.update();
    EXPECT_THAT(callTexts(device), ElementsAre("listener.commit()"));
    EXPECT_EQ(listener.getRolloffFactor(), 0.5f);  // the device's own value
    listener.deactivate();
    EXPECT_EQ(requests.listenersOut(), 0);
}

TEST_F(ShellEffectTest, AListenerWithoutADeviceListenerAnswersDefaults) {
    requests.refuseListener(true);
    ShellListener listener;
    listener.activate();
    EXPECT_EQ(listener.getRolloffFactor(), 1.0f);
    EXPECT_EQ(listener.getDistanceFactor(), 1.0f);
    listener.setPosition(Vector(5, 5, 5), Vector(0, 1, 0), Vector(0, 0, 1));
    listener.activate();
    EXPECT_THAT(log.records(),
                ElementsAre(logged("SoundManager", Kind::Warning, 0.1f, "failed to activate: Listener theSound3DListener == 0"),
                            logged("SoundManager", Kind::Error, 0.0f, "failed to activate: Listener already activated")));
    EXPECT_TRUE(device.calls().empty());
}

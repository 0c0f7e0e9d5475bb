// Placement by subtype changes, the schedule and its limiter, continuous
// sources crossing their margin, emulated 3D: through the sandbox board,
// view, timer, camera and clock and the recording device.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "sound/effects/ProcessHearer.h"
#include "tests/land/LandFixture.h"

using testsupport::RecordingEffect;

namespace {

struct Frames : landtest::LandTest {};

}  // namespace

TEST_F(Frames, SubtypeChangesPlaceAndRemoveSourcesWithTheirEffects) {
    Probe land;
    run(land);
    ASSERT_TRUE(host.board.isRegistered(&land));
    host.board.setSubtype({2, 3}, sandbox::Coast);
    // Cell (2, 3) of 10 x 8 is centred at (-2.5, 0.5); the manual "bell" stays out.
    EXPECT_THAT(land.names(), ElementsAre("surf-2-3", "gull-2-3"));
    LandSound* surf = land.source("surf-2-3");
    LandSound* gull = land.source("gull-2-3");
    EXPECT_EQ(surf->position, Vector(-2.5f, 0.5f, 0.5f));
    EXPECT_EQ(surf->regionWidth, 1.0f);  // one cell, whatever the template says
    EXPECT_EQ(surf->threshold, 2.0f);    // 1.0 x powerRadius 2
    EXPECT_EQ(surf->starter, 1.0f);
    EXPECT_EQ(gull->starter, 2.0f);  // no "starter": the threshold's
    EXPECT_EQ(gull->interval, 2.0f);
    EXPECT_THAT(land.continuousSounds, ElementsAre(surf));
    EXPECT_THAT(land.queued(), ElementsAre(surf, gull));
    Effect* effect = surf->effect;
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->getRadius(land.getName()), 2.0f);
    EXPECT_EQ(effect->getVolume(land.faderPassword), 1.0f);
    EXPECT_EQ(effect->getVolume(land.emulatorPassword), 1.0f);
    EXPECT_EQ(effect->getPosition(), surf->position);
    EXPECT_EQ(devices("surf.ogg"), 1u);
    EXPECT_EQ(devices("gull.wav"), 1u);

    // The same subtype again: fresh sources with new effects.
    host.board.setSubtype({2, 3}, sandbox::Coast);
    EXPECT_THAT(land.names(), ElementsAre("surf-2-3", "gull-2-3"));
    EXPECT_EQ(library.device->count("createStreaming"), 4u);
    EXPECT_EQ(devices("surf.ogg"), 1u);

    // To a subtype without templates: both go, with their effects.
    host.board.setSubtype({2, 3}, sandbox::Sea);
    EXPECT_THAT(land.names(), IsEmpty());
    EXPECT_THAT(land.continuousSounds, IsEmpty());
    EXPECT_EQ(devices("surf.ogg") + devices("gull.wav"), 0u);

    // A forest cell elsewhere; its record survives the frames that drop the
    // removed records from the schedule.
    host.board.setSubtype({9, 7}, sandbox::Forest);
    EXPECT_THAT(land.names(), ElementsAre("birds-9-7"));
    EXPECT_EQ(land.source("birds-9-7")->position, Vector(4.5f, -3.5f, 3.0f));
    host.runFrame(100.0f);
    EXPECT_THAT(land.queued(), ElementsAre(land.source("birds-9-7")));
    land.stop();
    EXPECT_THAT(land.queued(), IsEmpty());
    EXPECT_FALSE(host.board.isRegistered(&land));
    EXPECT_TRUE(log.onChannel("LandInsonificator").empty());
}

TEST_F(Frames, RemovingARunningContinuousSourceLeavesNothingForLaterFrames) {
    Probe land;
    run(land);
    cameraAt(-2.5f, 0.5f);
    host.board.setSubtype({2, 3}, sandbox::Coast);
    host.runFrame(0.1f);
    LandSound* surf = land.source("surf-2-3");
    ASSERT_TRUE(surf->effect->isPlaying());
    const size_t stops = library.device->count("stop");
    host.board.setSubtype({2, 3}, sandbox::Meadow);  // crickets, night only: noon now
    EXPECT_EQ(library.device->count("stop"), stops + 1);
    EXPECT_EQ(devices("surf.ogg"), 0u);
    for (int k = 0; k < 5; ++k) host.runFrame(1.0f);
    EXPECT_THAT(land.names(), ElementsAre("crickets-2-3"));
    EXPECT_THAT(land.playingRandomSounds, IsEmpty());
    EXPECT_EQ(library.device->count("play"), 1u);
}

TEST_F(Frames, TheScheduleTriesDueSourcesOncePerFrameWithinTheLimiter) {
    tuning("randomSoundLimiter = 1.0; randomTimeStep = 1.0;");
    Probe land;
    // Two random sources around the camera, one continuous far away.
    run(land, "a = { regionWidth = 4.0; regionHeight = 4.0; powerRadius = 1.0; threshold = 1.0;\n"
              "  probability = 0.5; soundName = \"gull\"; };\n"
              "b = { regionWidth = 4.0; regionHeight = 4.0; powerRadius = 1.0; threshold = 1.0;\n"
              "  probability = 0.5; soundName = \"gull\"; };\n"
              "c = { regionWidth = 1.0; regionHeight = 1.0; powerRadius = 1.0; threshold = 1.0;\n"
              "  probability = 1.0; soundName = \"surf\"; x = 40.0; };\n");
    randomizer.setSeed(0.25f);  // start seeded it from the clock
    Randomizer expected;
    expected.setSeed(0.25f);
    LandSound *a = land.source("a"), *b = land.source("b"), *c = land.source("c");

    host.runFrame(0.5f);  // the first frame queues every source, in map order
    EXPECT_THAT(land.queued(), ElementsAre(a, b, c));
    const float na = 0.5f + expected.random() * 2.0f, nb = 0.5f + expected.random() * 2.0f;
    const float nc = 0.5f + expected.random() * 1.0f;
    EXPECT_EQ(a->nextTime, na);
    EXPECT_EQ(b->nextTime, nb);
    EXPECT_EQ(c->nextTime, nc);
    EXPECT_THAT(land.playingRandomSounds, IsEmpty());

    host.runFrame(3.0f);  // now 3.5: all three due; the first plays, the limiter holds the others
    EXPECT_THAT(land.playingRandomSounds, ElementsAre(a));
    EXPECT_TRUE(a->effect->isPlaying());
    EXPECT_FALSE(b->effect->isPlaying());
    EXPECT_THAT(land.queued(), ElementsAre(a, b, c));
    EXPECT_EQ(a->nextTime, 3.5f + expected.random() * 2.0f);
    EXPECT_EQ(b->nextTime, 3.5f + expected.random() * 2.0f);
    EXPECT_EQ(c->nextTime, 3.5f + expected.random() * 1.0f);

    // The sound ends on its own: the next frame lets it go, and the next due try of b may start b.
    library.devicesOf("gull.wav").at(0)->setPlaying(false);
    host.runFrame(0.01f);
    EXPECT_THAT(land.playingRandomSounds, IsEmpty());
    host.runFrame(3.0f);
    EXPECT_EQ(land.playingRandomSounds.size(), 1u);
    EXPECT_FALSE(c->effect->isPlaying());  // tried, but out of range

    // The listener leaves the threshold: a followed sound is stopped and dropped.
    cameraAt(3.5f, 0);
    host.runFrame(0.01f);
    EXPECT_THAT(land.playingRandomSounds, IsEmpty());
    EXPECT_FALSE(a->effect->isPlaying());
    EXPECT_FALSE(b->effect->isPlaying());
}

TEST_F(Frames, ALimiterOfZeroBlocksEveryTryAndProbabilityZeroIsNeverQueued) {
    tuning("randomSoundLimiter = 0.0;");
    Probe land;
    run(land, "a = { regionWidth = 4.0; regionHeight = 4.0; powerRadius = 1.0; threshold = 1.0;\n"
              "  probability = 0.5; soundName = \"gull\"; };\n"
              "never = { regionWidth = 4.0; regionHeight = 4.0; powerRadius = 1.0; threshold = 1.0;\n"
              "  probability = 0.0; soundName = \"gull\"; };\n");
    for (int k = 0; k < 20; ++k) host.runFrame(1.0f);
    EXPECT_EQ(library.device->count("play"), 0u);
    EXPECT_THAT(land.queued(), ElementsAre(land.source("a")));
}

TEST_F(Frames, AContinuousSourcePlaysOnlyWithinItsThresholdMargin) {
    tuning("randomSoundLimiter = 0.0;");  // no random tries of it
    Probe land;
    // 2 x 2 at the origin, heard 1 around: |x| <= 2 on the line y = 0.
    run(land, "s = { regionWidth = 2.0; regionHeight = 2.0; powerRadius = 1.0; threshold = 1.0;\n"
              "  probability = 1.0; soundName = \"surf\"; z = 0.5; };\n");
    LandSound* s = land.source("s");
    RecordingEffect* device = library.devicesOf("surf.ogg").at(0);
    struct Step {
        float x;
        bool playing;
        Vector at;  // where the effect sounds from afterwards
    } steps[] = {
        {5.0f, false, Vector(0, 0, 0.5f)},   {2.0f, true, Vector(1, 0, 0.5f)},
        {1.5f, true, Vector(1, 0, 0.5f)},    {2.01f, false, Vector(1, 0, 0.5f)},
        {0.25f, true, Vector(0.25f, 0, 0.5f)}, {-3.0f, false, Vector(0.25f, 0, 0.5f)},
    };
    for (const Step& step : steps) {
        cameraAt(step.x, 0);
        host.runFrame(0.1f);
        EXPECT_EQ(device->snapshot().playing, step.playing) << step.x;
        EXPECT_EQ(s->effect->getPosition(), step.at) << step.x;
    }
    EXPECT_EQ(library.device->count("play"), 2u);
    EXPECT_EQ(library.device->listener().position, Vector(-3.0f, 0.0f, 0.0f));
}

TEST_F(Frames, WithLandSoundDisabledOnlyTheListenerFollowsTheCamera) {
    tuning("enableLandSound = false;");
    Probe land;
    run(land, "s = { regionWidth = 2.0; regionHeight = 2.0; powerRadius = 1.0; threshold = 1.0;\n"
              "  probability = 1.0; soundName = \"surf\"; };\n");
    cameraAt(0.5f, 0.5f);
    host.runFrame(0.1f);
    EXPECT_EQ(library.device->count("play"), 0u);
    EXPECT_EQ(library.device->listener().position, Vector(0.5f, 0.5f, 0.0f));
    EXPECT_THAT(land.queued(), IsEmpty());
}

TEST_F(Frames, TheFaderFollowsTheClockAndTheDebugLineReportsEachFollowedSound) {
    tuning("makeDebugOutput = true; randomSoundLimiter = 0.0;");
    Probe land;
    run(land, "fade = 1.0;\n"
              "s = { regionWidth = 2.0; regionHeight = 2.0; powerRadius = 2.0; threshold = 1.0;\n"
              "  probability = 1.0; soundName = \"surf\"; beginHour = 22.0; endHour = 6.0; };\n");
    host.clock.setTimeOfDay(22, 30);
    cameraAt(0, 3.0f);
    host.runFrame(0.1f);
    LandSound* s = land.source("s");
    EXPECT_TRUE(s->effect->isPlaying());
    EXPECT_FLOAT_EQ(s->effect->getVolume(land.faderPassword), 0.6f);
    // The line is written before the source is placed: distance to its centre, 3; 2 / 3.
    EXPECT_THAT(log.onChannel("LandInsonificator"),
                ElementsAre(logged("LandInsonificator", Kind::Message, 0.0f, "name: surf play: 0 dist: 3 att: 0.666667")));
    log.clear();
    host.clock.setTimeOfDay(6, 0);
    host.runFrame(0.1f);  // not moved: no line; outside the window: stopped
    EXPECT_FALSE(s->effect->isPlaying());
    EXPECT_TRUE(log.onChannel("LandInsonificator").empty());
}

TEST_F(Frames, EmulatedThreeDSilencesUntilTheNextFrameGivesVolumeByDistance) {
    tuning("randomSoundLimiter = 0.0;");
    Probe land;
    land.emulate3dsound(true);  // Idle: only the flag
    run(land, "s = { regionWidth = 2.0; regionHeight = 2.0; powerRadius = 1.0; threshold = 4.0;\n"
              "  probability = 1.0; soundName = \"surf\"; };\n");
    RecordingEffect* device = library.devicesOf("surf.ogg").at(0);
    EXPECT_EQ(device->snapshot().mode, SOUND3D_MODE_DISABLE);
    cameraAt(3.0f, 0);  // nearest point (1, 0, 0): distance 2
    host.runFrame(0.1f);
    LandSound* s = land.source("s");
    EXPECT_EQ(s->effect->getVolume(land.emulatorPassword), 0.5f);
    land.emulate3dsound(false);
    EXPECT_EQ(device->snapshot().mode, SOUND3D_MODE_NORMAL);
    EXPECT_EQ(s->effect->getVolume(land.emulatorPassword), 1.0f);
    land.emulate3dsound(false);
    land.emulate3dsound(true);
    EXPECT_EQ(s->effect->getVolume(land.emulatorPassword), 0.0f);
    EXPECT_EQ(device->snapshot().mode, SOUND3D_MODE_DISABLE);
    land.emulate3dsound(true);
    cameraAt(1.5f, 0);
    host.runFrame(0.1f);
    EXPECT_EQ(s->effect->getVolume(land.emulatorPassword), 1.0f);  // 1 / 0.5, at most 1
    EXPECT_THAT(log.onChannel("LandInsonificator"),
                ElementsAre(logged("LandInsonificator", Kind::Warning, 1.0f, "skip to emulate 3dsound: isEmulated3d == flag == 0"),
                            logged("LandInsonificator", Kind::Warning, 1.0f, "skip to emulate 3dsound: isEmulated3d == flag == 1")));
}

TEST_F(Frames, BadMapValuesLoadWithDefaultsAndNoFrameProducesNaN) {
    const char* const map =
        "fade = \"long\";\n"
        "typed = { regionWidth = \"wide\"; powerRadius = 2.0; threshold = 1.0; probability = 1.0; soundName = \"surf\"; };\n"
        "negative = { regionWidth = -3.0; regionHeight = 0.0; powerRadius = 1.0; threshold = 0.5; probability = 1.0; soundName = \"surf\"; };\n"
        "flat = { powerRadius = 0.0; threshold = 5.0; probability = 1.0; soundName = \"surf\"; };\n"
        "huge = { regionWidth = 3.4028234663852886e38; regionHeight = 3e38; powerRadius = 3e38; threshold = 3e38; x = 3.4e38;\n"
        "  probability = 1e-40; soundName = \"surf\"; };\n"
        "unknown = { powerRadius = 1.0; threshold = 100.0; probability = 0.5; soundName = \"nosuch\"; };\n";
    for (const char* tune : {"algorithm = 0.0; isEmulated3d = true;", "algorithm = 4.0; expsqsigma = 0.0; isEmulated3d = true;",
                             "algorithm = 6.0; adaptCoefficient = 1e38; adaptDistance1 = 0.0; isEmulated3d = true;"}) {
        tuning(tune);
        Probe land;
        land.load(blockOf(map).get());
        EXPECT_EQ(land.fade, 1.0f);
        EXPECT_EQ(land.source("typed")->regionWidth, 0.0f);
        EXPECT_EQ(land.source("huge")->regionWidth, 3.40282347e38f);  // the largest float, not infinity
        run(land);
        EXPECT_TRUE(log.contains("RequestManager", Kind::Warning, "Skip load nosuch: not found EffectConfig"));
        for (float x : {-5.0f, 0.0f, 0.3f, 3e38f, -3e38f, 1.0f}) {
            cameraAt(x, x / 2, 1.0f);
            host.runFrame(2.0f);
            for (LandSound* s : land.mapSounds) {
                EXPECT_TRUE(std::isfinite(s->currentPosition.x) && std::isfinite(s->currentPosition.y) &&
                            std::isfinite(s->currentPosition.z))
                    << tune << " " << s->name;
                const float volume = s->effect->getVolume(land.emulatorPassword);
                EXPECT_TRUE(volume >= 0.0f && volume <= 1.0f) << tune << " " << s->name;
            }
        }
        auto saved = std::make_unique<configmanager::ConfigManager>();
        land.save(saved.get());
        Probe again;
        again.load(saved.get());
        auto resaved = std::make_unique<configmanager::ConfigManager>();
        again.save(resaved.get());
        EXPECT_TRUE(*saved == *resaved) << tune;
        std::string text;
        ASSERT_TRUE(saved->writeText(&text));
        EXPECT_EQ(text.find("inf"), std::string::npos) << text;
        EXPECT_EQ(text.find("nan"), std::string::npos) << text;
        LandInsonificator::resetSettings();
    }
}

TEST_F(Frames, ATimerThatWentBackAddsNothingToThePeriodicPass) {
    struct Hearer : ProcessHearer {
        int calls = 0;
        void process() override { ++calls; }
    } hearer;
    library.hearers->addHearer(&hearer);
    Probe land;
    run(land);
    host.runFrame(4.0f);       // 4 of the 5 seconds between passes
    host.timer.setTime(0.0f);  // back by 4: counted as 0, not as -4
    host.runFrame(0.0f);
    EXPECT_EQ(hearer.calls, 0);
    host.runFrame(1.5f);  // 5.5 in all
    EXPECT_EQ(hearer.calls, 1);
    library.hearers->removeHearer(&hearer);
}

TEST_F(Frames, ASourceWithoutAnEffectRemovedWhileRunningLeavesEveryList) {
    tuning("makeDebugOutput = true;");
    // No effect factory: the sources placed get no effect.
    struct NoEffects : Probe {
        void dropFactory() { effectManager = nullptr; }
    } land;
    run(land);
    land.dropFactory();
    host.board.setSubtype({9, 7}, sandbox::Forest);  // a source that stays, so frames update sources
    host.board.setSubtype({2, 3}, sandbox::Coast);
    LandSound* surf = land.source("surf-2-3");
    ASSERT_NE(surf, nullptr);
    EXPECT_EQ(surf->effect, nullptr);
    EXPECT_THAT(land.continuousSounds, ElementsAre(surf));
    EXPECT_EQ(log.count("failed to create effect surf in insonificator Environment sounds"), 1u);

    host.board.setSubtype({2, 3}, sandbox::Sea);
    EXPECT_THAT(land.names(), ElementsAre("birds-9-7"));
    EXPECT_THAT(land.continuousSounds, IsEmpty());
    EXPECT_THAT(land.playingRandomSounds, IsEmpty());
    // Later frames, the camera moving (debug lines of every followed sound)
    // and the schedule reaching the removed records: nothing of them is read
    // again (AddressSanitizer checks).
    for (int k = 0; k < 4; ++k) {
        cameraAt(-2.5f + static_cast<float>(k), 0.5f);
        host.runFrame(2.0f);
    }
    EXPECT_THAT(land.queued(), ElementsAre(land.source("birds-9-7")));
    EXPECT_TRUE(log.onChannel("LandInsonificator").empty());
}

TEST_F(Frames, ARandomTimeStepOfZeroTriesTheSourceAtEveryFrame) {
    tuning("randomTimeStep = 0.0;");
    Probe land;
    run(land, "a = { regionWidth = 4.0; regionHeight = 4.0; powerRadius = 1.0; threshold = 1.0;\n"
              "  probability = 0.5; soundName = \"gull\"; };\n");
    cameraAt(0, 0);
    LandSound* a = land.source("a");
    EXPECT_EQ(a->interval, 0.0f);
    host.runFrame(0.5f);  // queued for now: not due in the frame that queued it
    EXPECT_THAT(land.queued(), ElementsAre(a));
    EXPECT_FALSE(a->effect->isPlaying());
    for (int k = 1; k <= 3; ++k) {
        host.runFrame(0.5f);  // due at each later frame: tried, started, queued again
        EXPECT_TRUE(a->effect->isPlaying()) << k;
        EXPECT_THAT(land.playingRandomSounds, ElementsAre(a));
        EXPECT_THAT(land.queued(), ElementsAre(a));
        EXPECT_EQ(library.device->count("play"), static_cast<size_t>(k));
        library.devicesOf("gull.wav").at(0)->setPlaying(false);  // it ends
    }
}

TEST_F(Frames, TheCameraIsComparedWithTheListenerBitForBit) {
    tuning("makeDebugOutput = true; randomSoundLimiter = 0.0;");
    Probe land;
    run(land, "s = { regionWidth = 2.0; regionHeight = 2.0; powerRadius = 1.0; threshold = 1.0;\n"
              "  probability = 1.0; soundName = \"surf\"; };\n");
    cameraAt(0.0f, 0.0f);
    host.runFrame(0.1f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // A moved frame writes one debug line for the continuous source.
    const struct {
        float x;
        size_t lines;
    } steps[] = {{0.0f, 0}, {-0.0f, 1}, {nan, 1}, {nan, 0}};
    for (const auto& step : steps) {
        log.clear();
        cameraAt(step.x, 0.0f);
        host.runFrame(0.1f);
        EXPECT_EQ(log.onChannel("LandInsonificator").size(), step.lines) << step.x;
    }
}

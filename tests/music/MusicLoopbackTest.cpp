// The music path on the real mixer: a hand-pumped loopback device under the
// request manager and the effect manager. A looped tone is started as music,
// heard at half level in the middle of its fade-in, at full level after it,
// and at half again when the music goes quiet.
#include <gtest/gtest.h>

#include "sandbox/host/SoundStack.h"
#include "sound/music/MusicInsonificator.h"
#include "tests/support/Loopback.h"
#include "tests/support/ResourceTree.h"

TEST(MusicLoopback, FadedInWithRealStepsHeardAtItsLevelThenQuietHalvesIt) {
    testsupport::ResourceTree tree;
    // One second of tone, a whole number of periods.
    testsupport::writeToneContent(tree, "tone = 'tone.wav', 1.0, 1.0, memory, true, disable, 0;", "tone.wav", 400.0,
                                  0.5f, 48000);
    // Two steps: the fader stands at 0.5 for a whole second before it ends.
    tree.write("/Configs/Sounds/MusicSettings.cfg", "fadeStepNumber = 2;\nsleepMilliseconds = 1000;\nlouder = 0.5;\n");
    testsupport::Loopback loopback(4096);
    // Root mean square of the next block, after the device's de-click ramp.
    auto level = [&] {
        loopback.skip(1);
        return loopback.rms(1);
    };
    sandbox::SoundStack stack;
    MusicInsonificator music;
    const double silent = level();
    music.start("tone");
    music.waitUntilFadeSteps(1);
    const double halfway = level();
    music.waitUntilServed();
    const double full = level();
    music.quiet();
    music.waitUntilServed();
    const double quiet = level();
    music.loud();
    music.waitUntilServed();
    const double loud = level();

    EXPECT_LT(silent, 1e-6);
    // A 0.5 sine is 0.354 RMS; without spatialisation a mono voice
    // reaches both channels at its level or panned equal-power.
    EXPECT_GT(full, 0.2);
    EXPECT_LT(full, 0.4);
    EXPECT_NEAR(halfway / full, 0.5, 0.03);
    EXPECT_NEAR(quiet / full, 0.5, 0.03);
    EXPECT_NEAR(loud / full, 1.0, 0.03);
    music.stop();
    music.waitUntilServed();  // a fade-out of one second
    EXPECT_LT(level(), 1e-6);
}

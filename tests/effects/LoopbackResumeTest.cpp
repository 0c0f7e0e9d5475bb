// A sound paused through the effects switch and resumed continues where it
// stopped, on the real mixer: the request manager over a hand-pumped
// loopback device.
#include <gtest/gtest.h>

#include "sandbox/host/SoundStack.h"
#include "sound/effects/ShellEffect.h"
#include "tests/support/Loopback.h"
#include "tests/support/ResourceTree.h"

TEST(LoopbackResume, APausedAndResumedSoundContinuesAtTheSameFrame) {
    testsupport::ResourceTree tree;
    testsupport::writeToneContent(tree, "tone = 'tone.wav', 1.0, 1.0, disk, false, disable, 0;", "tone.wav", 440.0,
                                  0.5f, 48000 * 3);
    const uint32_t block = 1024;
    testsupport::Loopback loopback(block);
    sandbox::SoundStack stack;
    UnloadManager& manager = stack.manager;
    auto* effect = dynamic_cast<ShellEffect*>(manager.createEffect("tone"));
    ASSERT_NE(effect, nullptr);
    effect->play();
    loopback.skip(30);

    manager.deactivateAllEffects();  // paused: its device effect goes back
    EXPECT_EQ(stack.requests.getHandedOutCount(), 0u);
    const uint32_t paused = effect->getSavedPlayPosition();
    EXPECT_NEAR(paused, 30 * block, block);
    loopback.skip(10);  // time passes; nothing plays

    manager.activateAllEffects();  // a new device effect, started at the saved frame
    EXPECT_TRUE(effect->isPlaying());
    loopback.skip(4);
    const double energy = loopback.meanSquare(1) * 2 * block;  // of the fifth block
    EXPECT_GT(energy, 1.0);  // heard again
    manager.deactivateAllEffects();
    EXPECT_NEAR(effect->getSavedPlayPosition(), paused + 5 * block, block);
    manager.activateAllEffects();
    manager.destroyEffect(effect);
}

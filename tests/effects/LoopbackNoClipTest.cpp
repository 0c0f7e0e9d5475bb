// Sounds configured louder than full scale, 64 of them at once and each
// turned up again under a password of its own, through the request manager
// on the real mixer: the mix stays within full scale, keeps its shape (is
// limited, not clipped) and is not silenced.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sandbox/host/SoundStack.h"
#include "sound/effects/Effect.h"
#include "tests/support/Loopback.h"
#include "tests/support/ResourceTree.h"

TEST(LoopbackNoClip, EveryVolumeTurnedUpPastOneNeverClipsTheMix) {
    testsupport::ResourceTree tree;
    testsupport::writeToneContent(tree, "loud = 'loud.wav', 8.0, 1.0, memory, true, disable, 0;", "loud.wav", 50.0,
                                  1.0f, 48000);
    const uint32_t block = 1024;
    testsupport::Loopback loopback(block);
    std::vector<Effect*> effects;
    {
        sandbox::SoundStack stack;
        for (int k = 0; k < 64; ++k) {
            Effect* effect = stack.manager.createEffect("loud");
            ASSERT_NE(effect, nullptr);
            effect->addCommonPassword(true, "Louder");
            effect->setVolume(4.0f, "Louder");
            ASSERT_FLOAT_EQ(effect->getVolume(), 32.0f);
            effect->play();
            effects.push_back(effect);
        }
        loopback.skip(10);  // the limiter settles
        const auto p = loopback.peaks(90);
        EXPECT_LE(p.peak, 1.0f);
        EXPECT_GT(p.peak, 0.9f);
        // Limited, a few peaks touch full scale; clipped, nearly every sample would.
        EXPECT_LT(p.atFullScale, 0.2);
        EXPECT_LE(loopback.device().loudness().truePeak, 1.0);
        for (Effect* effect : effects) stack.manager.destroyEffect(effect);
    }
}

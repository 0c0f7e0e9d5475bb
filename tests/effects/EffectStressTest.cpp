// Three threads at once over the same effects, as in a running game: the
// game thread creates, plays and destroys unloading effects, the rendering
// thread runs the periodic pass every frame, the window thread toggles the
// focus. Run under ThreadSanitizer in CI: no race, no deadlock, no leak.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sound/effects/Effect.h"
#include "sound/effects/ListenerSettings.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestLibrary.h"

TEST(EffectStress, GameRenderAndWindowThreadsShareTheEffects) {
    testsupport::TestLibrary library("device = 'device.cfg';\n"
                                     "hit = 'hit.wav', 1.0, 1.0, memory, false, normal, 0;\n"
                                     "hum = 'hum.wav', 1.0, 1.0, memory, true, normal, 0;\n");
    library.sound("device.cfg");
    library.sound("hit.wav");
    library.sound("hum.wav");
    library.activate();
    ListenerSettings::set(1.0f, 1.0f, 1.0f, 1.0f, 0.0f);  // a pass at every frame
    library.device->setPlayStarts(false);                  // sounds end at once: every pass finds idle buffers
    debug::Capture log;

    constexpr int rounds = 300;
    std::atomic<bool> gameDone{false};

    std::thread game([&] {
        std::vector<Effect*> live;
        for (int k = 0; k < rounds; ++k) {
            Effect* effect = library.manager->createEffect(k % 4 == 0 ? "hum" : "hit");
            effect->play();
            effect->setVolume(0.5f, "ShellManager");
            live.push_back(effect);
            if (k % 3 == 0) live.front()->stop();
            if (live.size() > 5) {
                library.manager->destroyEffect(live.front());
                live.erase(live.begin());
            }
        }
        for (Effect* effect : live) library.manager->destroyEffect(effect);
        gameDone = true;
    });
    std::thread render([&] {
        int frames = 0;
        while (!gameDone.load() && frames < 1000000) {
            library.hearers->processHearers(0.016f);
            ++frames;
        }
    });
    std::thread window([&] {
        for (int k = 0; k < rounds; ++k) {
            library.manager->lostFocus();
            library.manager->getFocus();
        }
    });
    game.join();
    render.join();
    window.join();

    EXPECT_EQ(library.manager->getEffectCount(), 0u);
    EXPECT_EQ(library.manager->getKeeperCount("hit"), 0u);
    EXPECT_EQ(library.hearers->getHearerCount(), 0u);
    EXPECT_TRUE(library.device->liveEffects().empty());  // every buffer and keeper went back
    for (const auto& record : log.records()) ADD_FAILURE() << "unexpected: " << record.text;
}

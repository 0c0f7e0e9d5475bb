// A continuous landscape sound on the real mixer (OpenAL Soft's loopback,
// rendered by hand): heard only while the camera is within its region's
// margin, louder nearer, and at 22:30 at the fader's 0.6.
#include <gtest/gtest.h>

#include <cmath>

#include "interfaces/Config.h"
#include "sandbox/host/Host.h"
#include "sandbox/host/SoundStack.h"
#include "sound/land/LandInsonificator.h"
#include "tests/support/Loopback.h"
#include "tests/support/ResourceTree.h"

TEST(LandLoopback, HeardInsideItsMarginLouderNearerAndFadedAtHalfPastTen) {
    testsupport::ResourceTree tree;
    // One second of 400 Hz: whole periods, a clean loop.
    testsupport::writeToneContent(tree, "tone = 'tone.wav', 1.0, 1.0, disk, true, normal, 0;", "tone.wav", 400.0, 0.5f,
                                  48000);
    tree.write("/Configs/Sounds/AdaptSettings.cfg", "randomSoundLimiter = 0.0; algorithm = 0.0;\n");
    LandInsonificator::resetSettings();

    testsupport::Loopback loopback;
    sandbox::Host host(10, 8);
    {
        sandbox::SoundStack stack;
        LandInsonificator land;
        auto map = std::make_unique<configmanager::ConfigManager>();
        // 2 x 2 at the origin, heard 4 around: up to x = 5 on the line y = 0.
        ASSERT_TRUE(map->readText("fade = 1.0;\n"
                                  "tone = { regionWidth = 2.0; regionHeight = 2.0; powerRadius = 1.0; threshold = 4.0;\n"
                                  "  probability = 1.0; soundName = \"tone\"; beginHour = 22.0; endHour = 6.0; };\n",
                                  "map"));
        land.load(map.get());
        land.initialize(&host.view, &host.board);
        land.start();

        // Mean square of both channels over 0.2 s, after 0.1 s to settle.
        auto level = [&](float x, int hour, int minute) {
            host.clock.setTimeOfDay(hour, minute);
            host.camera.setPose(Vector(x, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
            host.runFrame(0.02f);
            loopback.skip(5);
            return loopback.meanSquare(10);
        };
        const double outside = level(5.5f, 23, 0);
        const double far = level(4.5f, 23, 0);   // 3.5 from the region's edge
        const double near = level(2.0f, 23, 0);  // 1.0 from it: full loudness
        const double faded = level(2.0f, 22, 30);
        EXPECT_LT(outside, 1e-8);
        EXPECT_GT(far, 1e-4);
        EXPECT_GT(near, 4.0 * far);
        // Amplitude ratio = the fader volume, 0.6.
        EXPECT_NEAR(std::sqrt(faded / near), 0.6, 0.03);

        land.uninitialize();
    }
    LandInsonificator::resetSettings();
}

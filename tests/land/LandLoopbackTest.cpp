// A continuous landscape sound on the real mixer (OpenAL Soft's loopback,
// rendered by hand): heard only while the camera is within its region's
// margin, louder nearer, and at 22:30 at the fader's 0.6.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <vector>

#include "interfaces/Config.h"
#include "platform/device/AlDevice.h"
#include "sandbox/host/Host.h"
#include "sound/effects/UnloadManager.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/land/LandInsonificator.h"
#include "sound/manager/Globals.h"
#include "sound/random/Randomizer.h"
#include "sound/request/RequestManager.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/ResourceTree.h"

namespace {

void writeTone(const std::string& path) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> samples(48000);  // one second of 400 Hz: whole periods, a clean loop
    for (size_t k = 0; k < samples.size(); ++k) samples[k] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 400.0 * k / 48000));
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

}  // namespace

TEST(LandLoopback, HeardInsideItsMarginLouderNearerAndFadedAtHalfPastTen) {
    testsupport::ResourceTree tree;
    tree.write("/Configs/Sounds/Effects.snd", "device = 'device.cfg';\ntone = 'tone.wav', 1.0, 1.0, disk, true, normal, 0;\n");
    tree.write("/Sounds/device.cfg", "frequency = 48000;\n");
    tree.write("/Sounds/tone.wav", "");
    writeTone(tree.pathOf("/Sounds/tone.wav"));
    tree.write("/Configs/Sounds/AdaptSettings.cfg", "randomSoundLimiter = 0.0; algorithm = 0.0;\n");
    LandInsonificator::resetSettings();

    auto device = std::make_shared<aldevice::AlDevice>(aldevice::Output{aldevice::Output::Loopback, ""});
    testsupport::DeviceProviderGuard provider(device);
    sandbox::Host host(10, 8);
    RequestManager requests;
    theRequestManager = &requests;
    theRequestEffectInterface = &requests;
    theRequestListenerInterface = &requests;
    Randomizer randomizer;
    theRandomizer = &randomizer;
    {
        UnloadManager manager;
        theEffectManager = &manager;
        theListenerManager = &manager;
        InsonificatorManager registry;
        theInsonificatorManager = &registry;
        requests.initialize();
        manager.activate();

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
        std::vector<float> out(2 * 1024);
        auto level = [&](float x, int hour, int minute) {
            host.clock.setTimeOfDay(hour, minute);
            host.camera.setPose(Vector(x, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
            host.runFrame(0.02f);
            for (int k = 0; k < 5; ++k) device->render(out.data(), 1024);
            double energy = 0;
            for (int k = 0; k < 10; ++k) {
                device->render(out.data(), 1024);
                for (float s : out) energy += double(s) * s;
            }
            return energy / (10 * out.size());
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
        manager.deactivate();
        requests.uninitialize();
        theInsonificatorManager = nullptr;
        theEffectManager = nullptr;
        theListenerManager = nullptr;
    }
    theRandomizer = nullptr;
    theRequestManager = nullptr;
    theRequestEffectInterface = nullptr;
    theRequestListenerInterface = nullptr;
    LandInsonificator::resetSettings();
}

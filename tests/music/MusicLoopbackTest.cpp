// The music path on the real mixer: a hand-pumped loopback device under the
// request manager and the effect manager. A looped tone is started as music,
// heard at half level in the middle of its fade-in, at full level after it,
// and at half again when the music goes quiet.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <vector>

#include "platform/device/AlDevice.h"
#include "sound/effects/UnloadManager.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/manager/Globals.h"
#include "sound/music/MusicInsonificator.h"
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
    std::vector<float> samples(48000);  // one second, a whole number of periods
    for (size_t k = 0; k < samples.size(); ++k) samples[k] = 0.5f * float(std::sin(2 * M_PI * 400.0 * k / 48000));
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

// Root mean square of the next block, after the device's de-click ramp.
double level(aldevice::AlDevice& device) {
    std::vector<float> out(2 * 4096);
    device.render(out.data(), 4096);
    device.render(out.data(), 4096);
    double sum = 0;
    for (float s : out) sum += double(s) * s;
    return std::sqrt(sum / out.size());
}

}  // namespace

TEST(MusicLoopback, FadedInWithRealStepsHeardAtItsLevelThenQuietHalvesIt) {
    testsupport::ResourceTree tree;
    tree.write("/Configs/Sounds/Effects.snd",
               "device = 'device.cfg';\ntone = 'tone.wav', 1.0, 1.0, memory, true, disable, 0;\n");
    tree.write("/Sounds/device.cfg", "frequency = 48000;\n");
    // Two steps: the fader stands at 0.5 for a whole second before it ends.
    tree.write("/Configs/Sounds/MusicSettings.cfg", "fadeStepNumber = 2;\nsleepMilliseconds = 1000;\nlouder = 0.5;\n");
    writeTone(tree.pathOf("/Sounds/tone.wav"));
    auto device = std::make_shared<aldevice::AlDevice>(aldevice::Output{aldevice::Output::Loopback, ""});
    testsupport::DeviceProviderGuard provider(device);
    RequestManager requests;
    theRequestManager = &requests;
    theRequestEffectInterface = &requests;
    theRequestListenerInterface = &requests;
    {
        UnloadManager manager;
        theEffectManager = &manager;
        InsonificatorManager registry;
        theInsonificatorManager = &registry;
        requests.initialize();
        manager.activate();
        {
            MusicInsonificator music;
            const double silent = level(*device);
            music.start("tone");
            music.waitUntilFadeSteps(1);
            const double halfway = level(*device);
            music.waitUntilServed();
            const double full = level(*device);
            music.quiet();
            music.waitUntilServed();
            const double quiet = level(*device);
            music.loud();
            music.waitUntilServed();
            const double loud = level(*device);

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
            EXPECT_LT(level(*device), 1e-6);
        }
        manager.deactivate();
        requests.uninitialize();
        theInsonificatorManager = nullptr;
        theEffectManager = nullptr;
    }
    theRequestManager = nullptr;
    theRequestEffectInterface = nullptr;
    theRequestListenerInterface = nullptr;
}

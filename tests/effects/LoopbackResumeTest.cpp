// A sound paused through the effects switch and resumed continues where it
// stopped, on the real mixer: the request manager over a hand-pumped
// loopback device.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>

#include "platform/device/AlDevice.h"
#include "sound/effects/ShellEffect.h"
#include "sound/effects/UnloadManager.h"
#include "sound/manager/Globals.h"
#include "sound/request/RequestManager.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/ResourceTree.h"

TEST(LoopbackResume, APausedAndResumedSoundContinuesAtTheSameFrame) {
    testsupport::ResourceTree tree;
    tree.write("/Configs/Sounds/Effects.snd", "device = 'device.cfg';\ntone = 'tone.wav', 1.0, 1.0, disk, false, disable, 0;\n");
    tree.write("/Sounds/device.cfg", "frequency = 48000;\n");
    tree.write("/Sounds/tone.wav", "");
    {
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(tree.pathOf("/Sounds/tone.wav").c_str(), SFM_WRITE, &info);
        std::vector<float> samples(48000 * 3);
        for (size_t k = 0; k < samples.size(); ++k) samples[k] = 0.5f * std::sin(2 * M_PI * 440.0 * k / 48000);
        sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(file);
    }
    auto device = std::make_shared<aldevice::AlDevice>(aldevice::Output{aldevice::Output::Loopback, ""});
    testsupport::DeviceProviderGuard provider(device);
    RequestManager requests;
    theRequestManager = &requests;
    theRequestEffectInterface = &requests;
    theRequestListenerInterface = &requests;
    {
        UnloadManager manager;
        requests.initialize();
        manager.activate();
        auto* effect = dynamic_cast<ShellEffect*>(manager.createEffect("tone"));
        ASSERT_NE(effect, nullptr);
        effect->play();
        const uint32_t block = 1024;
        std::vector<float> out(2 * block);
        for (int k = 0; k < 30; ++k) device->render(out.data(), block);

        manager.deactivateAllEffects();  // paused: its device effect goes back
        EXPECT_EQ(requests.getHandedOutCount(), 0u);
        const uint32_t paused = effect->getSavedPlayPosition();
        EXPECT_NEAR(paused, 30 * block, block);
        for (int k = 0; k < 10; ++k) device->render(out.data(), block);  // time passes; nothing plays

        manager.activateAllEffects();  // a new device effect, started at the saved frame
        EXPECT_TRUE(effect->isPlaying());
        for (int k = 0; k < 5; ++k) device->render(out.data(), block);
        double energy = 0;
        for (float s : out) energy += double(s) * s;
        EXPECT_GT(energy, 1.0);  // heard again
        manager.deactivateAllEffects();
        EXPECT_NEAR(effect->getSavedPlayPosition(), paused + 5 * block, block);
        manager.activateAllEffects();
        manager.destroyEffect(effect);
        manager.deactivate();
        requests.uninitialize();
    }
    theRequestManager = nullptr;
    theRequestEffectInterface = nullptr;
    theRequestListenerInterface = nullptr;
}

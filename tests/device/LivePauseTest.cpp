// The library's pause and focus over the live output: a sound paused through
// the effects switch falls silent at the server's monitor and is heard again
// from where it stopped; losing the window's focus silences it, the focus
// back brings it back. Silence is a whole 100 ms block below the threshold,
// longer than the gap a period handed over late leaves; the looped tone is
// longer than every wait of the test together, so a position never wraps.
#include <gtest/gtest.h>

#include "platform/device/AlDevice.h"
#include "sandbox/host/SoundStack.h"
#include "sound/effects/ShellEffect.h"
#include "tests/support/Loopback.h"
#include "tests/support/PulseServer.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/ResourceTree.h"

TEST(LivePause, PauseAndFocusAreHeardAsSuchAtTheMonitor) {
    testsupport::PulseServer server;
    ASSERT_TRUE(server.ok()) << server.log();
    testsupport::ResourceTree tree;
    tree.write("/Configs/Sounds/Effects.snd", "device = 'device.cfg';\ntone = 'tone.wav', 1.0, 1.0, disk, true, disable, 0;\n");
    tree.write("/Sounds/device.cfg", "frequency = 48000;\n");
    tree.write("/Sounds/tone.wav", "");
    testsupport::writeSine(tree.pathOf("/Sounds/tone.wav"), 48000, 440.0, 0.5f, 48000 * 40);
    auto device = std::make_shared<aldevice::AlDevice>(aldevice::Output{aldevice::Output::System, "", false});
    testsupport::DeviceProviderGuard provider(device);
    sandbox::SoundStack stack;
    UnloadManager& manager = stack.manager;
    auto* effect = dynamic_cast<ShellEffect*>(manager.createEffect("tone"));
    ASSERT_NE(effect, nullptr);
    testsupport::Monitor monitor(server);
    ASSERT_TRUE(monitor.ok());
    const uint32_t second = 48000, block = 480, silence = 4800;
    effect->play();
    ASSERT_TRUE(monitor.waitHeard(0.05f, block, 10 * second));

    manager.deactivateAllEffects();  // paused
    const uint32_t paused = effect->getSavedPlayPosition();
    EXPECT_TRUE(monitor.waitQuiet(0.001f, silence, 10 * second));
    manager.activateAllEffects();  // resumed where it was
    EXPECT_TRUE(monitor.waitHeard(0.05f, block, 10 * second));
    EXPECT_TRUE(effect->isPlaying());
    manager.deactivateAllEffects();
    EXPECT_GT(effect->getSavedPlayPosition(), paused);  // it went on from the saved frame
    EXPECT_LT(effect->getSavedPlayPosition(), paused + 20 * second);  // the two waits between, at most
    manager.activateAllEffects();
    EXPECT_TRUE(monitor.waitHeard(0.05f, block, 10 * second));

    manager.lostFocus();
    EXPECT_TRUE(monitor.waitQuiet(0.001f, silence, 10 * second));
    EXPECT_TRUE(effect->isPlaying());  // silenced, not stopped
    manager.getFocus();
    EXPECT_TRUE(monitor.waitHeard(0.05f, block, 10 * second));
    manager.destroyEffect(effect);
}

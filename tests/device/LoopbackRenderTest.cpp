// The hand-pumped loopback output a game drives through the exported
// interface: what the library plays between activate and deactivate comes
// out of renderLoopback and renderLoopbackToFile, silence before and after,
// a refusal without openLoopback, and one warning for a file that does not
// open.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/SoundDevice.h"
#include "sound/effects/Effect.h"
#include "sound/insonificators/ActInsonificator.h"
#include "sound/manager/Globals.h"
#include "sound/manager/SoundManager.h"
#include "tests/support/Loopback.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ResourceTree.h"

using namespace std::chrono_literals;

namespace {

constexpr uint32_t block = 4800;  // 0.1 s at 48 kHz

using testsupport::rmsOf;

struct WavFile {
    SF_INFO info{};
    std::vector<float> samples;
    explicit WavFile(const std::string& path) {
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        if (!file) return;
        samples.resize(static_cast<size_t>(info.frames * info.channels));
        sf_readf_float(file, samples.data(), info.frames);
        sf_close(file);
    }
};

struct LoopbackRenderTest : testing::Test {
    testsupport::ResourceTree tree;
    testsupport::TemporaryDirectory files;
    debug::Capture log;

    void SetUp() override {
        tree.write("/Configs/Sounds/Effects.snd", "tone = 'tone.wav', 1.0, 6.0, memory, true, disable, 0;\n");
        tree.makeDirectory("/Sounds");
        testsupport::writeSine(tree.pathOf("/Sounds/tone.wav"), 48000, 440.0, 0.5f, 48000);
    }
    void TearDown() override { Sound3DDeviceManager::closeLoopback(); }
};

TEST_F(LoopbackRenderTest, WithoutOpenLoopbackNothingIsRenderedAndTheCallsSaySo) {
    std::vector<float> out(2 * block, 1.0f);
    EXPECT_FALSE(Sound3DDeviceManager::renderLoopback(out.data(), block));
    EXPECT_EQ(rmsOf(out), 0.0);
    EXPECT_FALSE(Sound3DDeviceManager::renderLoopbackToFile(files.file("none.wav"), block));
    EXPECT_EQ(WavFile(files.file("none.wav")).info.frames, 0);
    EXPECT_EQ(Sound3DDeviceManager::getLoopbackFrequency(), 0u);
}

TEST_F(LoopbackRenderTest, TheGamesSoundComesOutWhileActivatedAndSilenceAfter) {
    Sound3DDeviceManager::openLoopback();
    EXPECT_EQ(Sound3DDeviceManager::getLoopbackFrequency(), 48000u);
    std::vector<float> out(2 * block, 1.0f);
    // Before activation the output is not open: silence.
    EXPECT_TRUE(Sound3DDeviceManager::renderLoopback(out.data(), block));
    EXPECT_EQ(rmsOf(out), 0.0);

    auto* sound = new SoundManager;
    sound->activate();
    Effect* tone = theActInsonificator->createEffect("tone");
    ASSERT_NE(tone, nullptr);
    tone->play();
    Sound3DDeviceManager::renderLoopback(out.data(), block);  // the device's start-up ramp
    ASSERT_TRUE(Sound3DDeviceManager::renderLoopback(out.data(), block));
    // A steady sine of amplitude 0.5 (panned to the middle): well above
    // silence, and the same level block after block.
    const double level = rmsOf(out);
    EXPECT_GT(level, 0.1);

    // Into a file: frames append while the path stays, a new path starts anew.
    const std::string first = files.file("first.wav");
    const std::string second = files.file("second.wav");
    EXPECT_TRUE(Sound3DDeviceManager::renderLoopbackToFile(first, block));
    EXPECT_TRUE(Sound3DDeviceManager::renderLoopbackToFile(first, block));
    WavFile written(first);  // complete on disk while it is still being written
    EXPECT_EQ(written.info.frames, 2 * block);
    EXPECT_EQ(written.info.channels, 2);
    EXPECT_EQ(written.info.samplerate, 48000);
    EXPECT_NEAR(rmsOf(written.samples), level, 0.02);
    EXPECT_TRUE(Sound3DDeviceManager::renderLoopbackToFile(second, block / 2));
    EXPECT_EQ(WavFile(second).info.frames, block / 2);
    EXPECT_EQ(WavFile(first).info.frames, 2 * block);

    sound->deactivate();
    delete sound;
    EXPECT_TRUE(Sound3DDeviceManager::renderLoopback(out.data(), block));
    EXPECT_EQ(rmsOf(out), 0.0);

    Sound3DDeviceManager::closeLoopback();
    EXPECT_FALSE(Sound3DDeviceManager::renderLoopback(out.data(), block));
}

TEST_F(LoopbackRenderTest, AFileThatDoesNotOpenIsRefusedAndReportedOnce) {
    Sound3DDeviceManager::openLoopback();
    const std::string nowhere = files.file("missing/dir/out.wav");
    EXPECT_FALSE(Sound3DDeviceManager::renderLoopbackToFile(nowhere, block));
    EXPECT_FALSE(Sound3DDeviceManager::renderLoopbackToFile(nowhere, block));
    const auto reports = log.onChannel("SoundDevice");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].kind, debug::Kind::Warning);
    EXPECT_EQ(reports[0].text.rfind("failed to render loopback to " + nowhere, 0), 0u) << reports[0].text;
    // A good path afterwards works.
    EXPECT_TRUE(Sound3DDeviceManager::renderLoopbackToFile(files.file("good.wav"), block));
}

}  // namespace

// A game that shuts down with its loopback still open, a fade under way and
// no frame rendered after: the worker's pauses wait for no frame that will
// never come, so the shutdown returns, and a session opened afterwards runs
// its fades on the mix again.
TEST_F(LoopbackRenderTest, AShutdownWithTheLoopbackStillOpenDoesNotWaitForFrames) {
    tree.write("/Configs/Sounds/MusicSettings.cfg", "fadeStepNumber = 2;\nsleepMilliseconds = 500;\nlouder = 0.5;\n");
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        Sound3DDeviceManager::openLoopback();
        auto* sound = new SoundManager;
        sound->activate();
        sound->startMusic("tone");
        std::vector<float> out(2 * block);
        Sound3DDeviceManager::renderLoopback(out.data(), block);
        sound->stopMusic();  // its fade-out waits on frames nobody renders
        std::promise<void> ended;
        std::future<void> shutdown = ended.get_future();
        std::thread game([&] {
            sound->deactivate();
            delete sound;
            ended.set_value();
        });
        const bool returned = shutdown.wait_for(60s) == std::future_status::ready;
        EXPECT_TRUE(returned) << "the shutdown waited for frames that never come";
        if (!returned) std::abort();  // a hung worker cannot be joined
        game.join();
        Sound3DDeviceManager::closeLoopback();
    }
}

// The music's fades run on the mix's clock while the loopback is open: a
// two-step fade-in of 500 ms steps stands at half level for exactly the
// first half second of mix however fast the frames are asked for, two runs
// give the same samples, and closing the loopback before the shutdown lets
// the fades still under way end at once.
TEST_F(LoopbackRenderTest, TheMusicsFadesRunOnTheMixSoTwoRendersAreTheSame) {
    tree.write("/Configs/Sounds/MusicSettings.cfg", "fadeStepNumber = 2;\nsleepMilliseconds = 500;\nlouder = 0.5;\n");
    auto session = [&] {
        Sound3DDeviceManager::openLoopback();
        auto* sound = new SoundManager;
        sound->activate();
        sound->startMusic("tone");
        std::vector<float> mix, out(2 * block);
        for (int k = 0; k < 10; ++k) {  // one second
            Sound3DDeviceManager::renderLoopback(out.data(), block);
            mix.insert(mix.end(), out.begin(), out.end());
        }
        sound->stopMusic();  // its fade-out is still under way at the close
        Sound3DDeviceManager::renderLoopback(out.data(), block);
        mix.insert(mix.end(), out.begin(), out.end());
        Sound3DDeviceManager::closeLoopback();
        sound->deactivate();
        delete sound;  // the worker's last fades do not wait for frames
        return mix;
    };
    const std::vector<float> first = session();
    const std::vector<float> second = session();
    ASSERT_EQ(first.size(), 2u * 11 * block);
    EXPECT_TRUE(first == second);
    auto rmsBetween = [&](size_t from, size_t to) {
        return rmsOf(std::vector<float>(first.begin() + 2 * from, first.begin() + 2 * to));
    };
    auto blockRms = [&](int k) { return rmsBetween(k * block, (k + 1) * block); };
    // The second step comes at frame 24000 exactly: blocks 1-4 (after the
    // device's start-up ramp) and the last 1000 frames before it stand at
    // half level; block 5 begins with the mixer's smoothing of the step up;
    // blocks 6-9 are at full level. Faded on the wall clock, a render this
    // fast would still be at half level at its end.
    const double full = blockRms(7);
    EXPECT_GT(full, 0.1);
    for (int k = 1; k < 5; ++k) EXPECT_NEAR(blockRms(k) / full, 0.5, 0.01) << "block " << k;
    EXPECT_NEAR(rmsBetween(23000, 24000) / full, 0.5, 0.01);
    EXPECT_GT(blockRms(5) / full, 0.6);
    EXPECT_LT(blockRms(5) / full, 0.999);  // how long the smoothing lasts is the mixer version's
    for (int k = 6; k < 10; ++k) EXPECT_NEAR(blockRms(k) / full, 1.0, 0.01) << "block " << k;
    // The fade-out has begun (its first step, smoothed by the mixer) and
    // not ended: the rest ends at the close without waiting for frames.
    EXPECT_LT(blockRms(10) / full, 0.8);
    EXPECT_GT(blockRms(10) / full, 0.4);
    for (const auto& record : log.records()) EXPECT_EQ(record.text.find("was destroyed"), std::string::npos);
}

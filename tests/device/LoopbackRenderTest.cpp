// The hand-pumped loopback output a game drives through the exported
// interface: what the library plays between activate and deactivate comes
// out of renderLoopback and renderLoopbackToFile, silence before and after,
// a refusal without openLoopback, and one warning for a file that does not
// open.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <string>
#include <vector>

#include "interfaces/SoundDevice.h"
#include "sound/effects/Effect.h"
#include "sound/insonificators/ActInsonificator.h"
#include "sound/manager/Globals.h"
#include "sound/manager/SoundManager.h"
#include "tests/support/Loopback.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ResourceTree.h"

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

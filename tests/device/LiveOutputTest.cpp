// The live output over a sound server of the test's own: what the device
// plays is heard at the sink's monitor at the level the loopback render
// gives; the server killed and started again costs the game nothing, and
// the sound comes back where it is. Waits are on events (periods mixed,
// blocks recorded) with generous limits; timings are printed for the report,
// never asserted. A busy machine (the whole suite under a sanitizer on two
// cores) may leave a period late and a short gap at the monitor: levels are
// therefore judged on the median of 10 ms blocks, and a gap heard counts
// against the device only when the device did not count a late period.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "interfaces/Resource.h"
#include "platform/debug/Capture.h"
#include "platform/device/AlDevice.h"
#include "tests/device/SoundFiles.h"
#include "tests/support/Loopback.h"
#include "tests/support/PulseServer.h"
#include "tests/support/ResourceTree.h"

namespace {

using aldevice::AlDevice;
using aldevice::Output;
using soundfiles::Format;

constexpr uint32_t rate = 48000;
constexpr float heardLevel = 0.02f;  // a 0.5 sine is at 0.35: far above, silence far below

class LiveOutput : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ok()) << server.log();
        for (const char* name : {"/Sounds/tone.wav", "/Sounds/tone.ogg", "/Sounds/blip.wav"}) tree.write(name, "");
        soundfiles::writeTone(tree.pathOf("/Sounds/tone.wav"), 1.0, 440.0, 48000, 1, Format::Wav);
        soundfiles::writeTone(tree.pathOf("/Sounds/tone.ogg"), 1.0, 440.0, 48000, 1, Format::Ogg);
        soundfiles::writeTone(tree.pathOf("/Sounds/blip.wav"), 0.2, 660.0, 48000, 1, Format::Wav);
    }

    // A looped effect that plays without 3D placement on `device`.
    Sound3DEffect* looped(AlDevice& device, const std::string& path, bool streamed) {
        ResourceStream* stream = nullptr;
        Sound3DEffect* effect = testsupport::loadEffect(device, path, true, true, streamed ? &stream : nullptr);
        if (stream) streams.push_back(stream);
        return effect;
    }

    // Mixes on (the device's own thread) until `done` holds, at most
    // `seconds` of mixed time: the wait of every state change here.
    static bool mixUntil(AlDevice& device, const std::function<bool()>& done, double seconds = 20) {
        const uint64_t limit = device.framesMixed() + uint64_t(seconds * rate);
        while (!done()) {
            const uint64_t next = device.framesMixed() + rate / 100;
            if (next > limit || !device.waitMixed(next, std::chrono::seconds(10))) return done();
        }
        return true;
    }

    void TearDown() override {
        for (ResourceStream* s : streams) theResourceManager->closeStream(s);
    }

    testsupport::ResourceTree tree;
    testsupport::PulseServer server;
    std::vector<ResourceStream*> streams;
};

// The median RMS of the `blockFrames`-frame blocks of a stereo recording:
// the level of a steady sound, which a gap of a few blocks does not move.
double medianLevel(const std::vector<float>& stereo, uint32_t blockFrames) {
    const size_t step = size_t(blockFrames) * 2;
    std::vector<double> levels;
    for (size_t at = 0; at + step <= stereo.size(); at += step)
        levels.push_back(testsupport::rmsOf(std::vector<float>(stereo.begin() + at, stereo.begin() + at + step)));
    if (levels.empty()) return 0;
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    return levels[levels.size() / 2];
}

std::string slowest(const std::function<void()>& call, int times) {
    double worst = 0;
    for (int k = 0; k < times; ++k) {
        const auto start = std::chrono::steady_clock::now();
        call();
        worst = std::max(worst, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f ms", worst);
    return text;
}

}  // namespace

// A static sound and a stream are heard at the monitor at the level the
// hand-pumped render of the same mixer gives (within 1 dB, over a second).
TEST_F(LiveOutput, AnEffectAndAStreamAreHeardAtTheLevelOfTheRender) {
    for (const bool streamed : {false, true}) {
        SCOPED_TRACE(streamed ? "stream" : "static");
        const std::string path = streamed ? "/Sounds/tone.ogg" : "/Sounds/tone.wav";
        double rendered = 0;
        {
            AlDevice reference{Output{Output::Loopback, "", false}};
            reference.initialize();
            Sound3DEffect* effect = looped(reference, path, streamed);
            effect->play();
            std::vector<float> mix(size_t(rate) * 2);
            reference.render(mix.data(), 4800);  // past the start
            reference.render(mix.data(), rate);
            rendered = medianLevel(mix, 480);
            reference.destroyEffect(effect);
            reference.uninitialize();
        }
        AlDevice device{Output{Output::System, "", false}};
        device.initialize();
        EXPECT_EQ(device.currentSink(), "pulseaudio");
        EXPECT_EQ(Sound3DDeviceManager::openOutput(), "pulseaudio");
        testsupport::Monitor monitor(server);
        ASSERT_TRUE(monitor.ok());
        Sound3DEffect* effect = looped(device, path, streamed);
        effect->play();
        ASSERT_TRUE(monitor.waitHeard(heardLevel, 480, rate * 10));
        std::vector<float> heard;
        ASSERT_TRUE(monitor.read(heard, 4800));  // the first block may hold the sound's onset
        ASSERT_TRUE(monitor.read(heard, rate));
        const double level = medianLevel(heard, 480);
        const double db = 20 * std::log10(level / rendered);
        EXPECT_NEAR(db, 0.0, 1.0) << "rendered " << rendered << ", heard " << level;
        std::printf("live output: heard %.2f dB from the render\n", db);
        const auto info = testsupport::infoOf(device);
        EXPECT_THAT(info, testing::Contains(testing::StartsWith("Latency: ")));
        for (const std::string& line : info)
            if (line.rfind("Latency", 0) == 0) std::printf("live output: %s\n", line.c_str());
        device.destroyEffect(effect);
        device.uninitialize();
        EXPECT_EQ(Sound3DDeviceManager::openOutput(), "");
    }
}

// The server killed while a sound plays (a static loop on the device's own
// clock, then a looped stream): one warning, the game's calls go on at once,
// the clock runs on (positions advance, a one-shot ends on time), and once
// the server is back the sound is heard again from where it is, with one
// message saying so.
TEST_F(LiveOutput, AnOutputLostAndBackKeepsEveryEffectAndIsHeardAgain) {
    for (const bool streamed : {false, true}) {
        SCOPED_TRACE(streamed ? "stream" : "static");
        ASSERT_TRUE(server.start());
        debug::Capture log;
        AlDevice device{Output{Output::System, "", false}};
        device.initialize();
        Sound3DEffect* effect = looped(device, streamed ? "/Sounds/tone.ogg" : "/Sounds/tone.wav", streamed);
        effect->play();
        {
            testsupport::Monitor monitor(server);
            ASSERT_TRUE(monitor.waitHeard(heardLevel, 480, rate * 10));
        }
        server.kill();
        ASSERT_TRUE(mixUntil(device, [&] { return device.currentSink() == "disconnected"; }));
        EXPECT_EQ(Sound3DDeviceManager::openOutput(), "disconnected");
        EXPECT_THAT(testsupport::infoOf(device),
                    testing::Contains("Output: default (disconnected, reconnecting)"));

        // The game goes on: calls answer, the clock runs, a one-shot ends.
        std::printf("live output lost: slowest isPlaying %s\n",
                    slowest([&] { EXPECT_TRUE(effect->isPlaying()); }, 200).c_str());
        Sound3DEffect* blip = testsupport::loadEffect(device, "/Sounds/blip.wav", false);
        blip->play();
        const uint32_t before = effect->getPlayPosition();
        ASSERT_TRUE(device.waitMixed(device.framesMixed() + rate * 3 / 10, std::chrono::seconds(10)));
        EXPECT_FALSE(blip->isPlaying());
        EXPECT_NE(effect->getPlayPosition(), before);
        EXPECT_TRUE(effect->isPlaying());
        device.destroyEffect(blip);

        ASSERT_TRUE(server.start());
        const auto back = std::chrono::steady_clock::now();
        ASSERT_TRUE(mixUntil(device, [&] { return device.currentSink() == "pulseaudio"; }));
        std::printf("live output back after %.0f ms\n",
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - back).count());
        testsupport::Monitor monitor(server);
        EXPECT_TRUE(monitor.waitHeard(heardLevel, 480, rate * 10));
        EXPECT_TRUE(effect->isPlaying());
        device.destroyEffect(effect);
        device.uninitialize();
        EXPECT_EQ(log.count("Sound device OpenAL default output: the output is back (pulseaudio); the mix is heard again"),
                  1u);
        const auto warnings = log.onChannel("SoundDevice");
        size_t lost = 0;
        for (const auto& r : warnings)
            if (r.kind == debug::Kind::Warning) {
                ++lost;
                EXPECT_THAT(r.text, testing::HasSubstr(": the output was disconnected ("));
            }
        EXPECT_EQ(lost, 1u);
    }
}

// No server when the game starts: "default" lists the null output, which
// says why and keeps looking; a server that appears later is played on.
// Then the server goes and comes back twice within a second, the second
// time with an output at another rate and channel count (the server
// converts; the mixer keeps its format), and goes once more just as the
// device closes: the sound is heard at the end and closing does not wait on
// the lost server.
TEST_F(LiveOutput, ALateServerIsFoundAndQuickReconnectionsAreSurvived) {
    server.kill();
    Sound3DDeviceManager::setOutput("default");
    debug::Capture log;
    {
        Sound3DDeviceManager manager;
        auto* listed = manager.enumerateSoundDevices(1);
        ASSERT_FALSE(listed->empty());
        auto* device = dynamic_cast<AlDevice*>(listed->front());
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->getName(), "null");
        device->initialize();
        EXPECT_EQ(Sound3DDeviceManager::openOutput(), "null");
        EXPECT_THAT(log.onChannel("SoundDevice").at(0).text,
                    testing::StartsWith("Sound device null: playing on null (no system output opens: sound server: "));
        Sound3DEffect* effect = looped(*device, "/Sounds/tone.ogg", true);
        effect->play();

        ASSERT_TRUE(server.start());
        ASSERT_TRUE(mixUntil(*device, [&] { return device->currentSink() == "pulseaudio"; }));
        EXPECT_EQ(log.count("Sound device null: a system output opened (pulseaudio); the mix is heard from now on"), 1u);
        server.kill();
        ASSERT_TRUE(server.start());
        server.kill();
        ASSERT_TRUE(server.start("rate=44100 channels=1 format=s16le"));
        ASSERT_TRUE(mixUntil(*device, [&] { return device->currentSink() == "pulseaudio"; }));
        {
            testsupport::Monitor monitor(server);
            EXPECT_TRUE(monitor.waitHeard(heardLevel, 480, rate * 10));
        }
        // Every loss seen was followed by a return.
        size_t lost = 0;
        for (const auto& r : log.onChannel("SoundDevice")) lost += r.kind == debug::Kind::Warning;
        EXPECT_EQ(log.count("Sound device null: the output is back (pulseaudio); the mix is heard again"), lost);
        server.kill();
        const auto start = std::chrono::steady_clock::now();
        device->destroyEffect(effect);
        device->uninitialize();
        std::printf("live output: uninitialize with the server just killed took %.1f ms\n",
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    Sound3DDeviceManager::setOutput("");
}

// A looped stream is heard for ten seconds without a gap of its own: every
// quiet stretch at the monitor (10 ms blocks) is one the device counted as a
// period handed over late, which a busy machine may cause; a stretch it did
// not count (the mix itself silent: a block missed at the loop point, a
// stream not refilled in time) fails.
TEST_F(LiveOutput, ALoopedStreamPlaysTenSecondsWithoutAGap) {
    AlDevice device{Output{Output::System, "", false}};
    device.initialize();
    testsupport::Monitor monitor(server);
    Sound3DEffect* effect = looped(device, "/Sounds/tone.ogg", true);
    effect->play();
    ASSERT_TRUE(monitor.waitHeard(heardLevel, 480, rate * 10));
    std::vector<float> block;
    int quiet = 0;
    uint64_t stretches = 0;
    bool inStretch = false;
    std::string where;
    for (int k = 0; k < 1000; ++k) {
        ASSERT_TRUE(monitor.read(block, 480));
        const bool silent = testsupport::rmsOf(block) < 0.1;
        if (silent) {
            ++quiet;
            stretches += inStretch ? 0 : 1;
            where += " " + std::to_string(k * 10) + " ms";
        }
        inStretch = silent;
    }
    // The device reads the output's count after each period it hands over:
    // it may trail what the monitor heard by a few periods.
    mixUntil(device, [&] { return device.latePeriods() >= stretches; }, 2);
    const uint64_t late = device.latePeriods();
    std::printf("live output: %d quiet blocks in %llu stretches, %llu periods late\n", quiet,
                static_cast<unsigned long long>(stretches), static_cast<unsigned long long>(late));
    EXPECT_LE(stretches, late) << "quiet blocks at" << where;
    device.destroyEffect(effect);
    device.uninitialize();
}

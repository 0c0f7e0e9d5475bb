// A long sound loaded whole on a game thread while a stream plays live: the
// decoding takes a good part of a second, and the stream must be heard
// through it without a gap at the server's monitor. As in the other live
// tests, the verdict does not rest on the scheduler: a quiet stretch heard
// counts against the device only when the device did not count a period
// handed over late (a busy machine's gap). A late period is counted once per
// time the server ran dry, however long it stayed dry, so a load that held
// the mix up would pass that count alone; the load is therefore also held in
// the middle of its file until the monitor has heard a second of the stream,
// which a load that blocks the mix never lets happen.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "interfaces/Resource.h"
#include "platform/device/AlDevice.h"
#include "tests/device/HeldStream.h"
#include "tests/device/QuietStretches.h"
#include "tests/device/SoundFiles.h"
#include "tests/support/Loopback.h"
#include "tests/support/PulseServer.h"
#include "tests/support/ResourceTree.h"

namespace {

using aldevice::AlDevice;
using aldevice::Output;

constexpr uint32_t rate = 48000;
constexpr uint32_t period = 512;  // the live output's period: 10.7 ms
constexpr float heardLevel = 0.02f;

// A stereo Ogg Vorbis sine of `seconds`, handed to the encoder 0.1 s at a
// time (one write of a minute's samples is more than it takes).
void writeLongOgg(const std::string& path, int seconds, double hertz) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 2;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    const long chunk = rate / 10;
    std::vector<float> samples(static_cast<size_t>(chunk) * 2);
    for (long at = 0; at < long(seconds) * rate; at += chunk) {
        for (long k = 0; k < chunk; ++k)
            samples[2 * k] = samples[2 * k + 1] = 0.5f * static_cast<float>(std::sin(2 * M_PI * hertz * (at + k) / rate));
        ASSERT_EQ(sf_writef_float(file, samples.data(), chunk), chunk);
    }
    sf_close(file);
}

using testsupport::QuietStretches;
using testsupport::HeldStream;

}  // namespace

// A looped stream plays on the test server's output; a game thread loads a
// 60 s stereo Ogg whole (a static sound), held halfway through its file
// until the monitor has heard one more second of the stream; the monitor is
// recorded until the load has finished plus one second. No quiet stretch
// longer than one period is heard that the device did not count as a period
// handed over late.
TEST(LiveLoad, AMinuteLongSoundLoadedWholeLeavesNoGapInAStreamHeardLive) {
    testsupport::PulseServer server;
    ASSERT_TRUE(server.ok()) << server.log();
    testsupport::ResourceTree tree;
    tree.write("/Sounds/tone.ogg", "");
    tree.write("/Sounds/long.ogg", "");
    soundfiles::writeTone(tree.pathOf("/Sounds/tone.ogg"), 1.0, 440.0, 48000, 1, soundfiles::Format::Ogg);
    writeLongOgg(tree.pathOf("/Sounds/long.ogg"), 60, 330.0);
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    const std::string ogg = testsupport::readWholeFile(tree.pathOf("/Sounds/long.ogg"));
    HeldStream held("/Sounds/long.ogg", ogg, static_cast<long>(ogg.size() / 2));

    AlDevice device{Output{Output::System, "", false}};
    device.initialize();
    ASSERT_EQ(device.currentSink(), "pulseaudio");
    testsupport::Monitor monitor(server);
    ASSERT_TRUE(monitor.ok());
    ResourceStream* streamed = nullptr;
    Sound3DEffect* tone = testsupport::loadEffect(device, "/Sounds/tone.ogg", true, true, &streamed);
    tone->play();
    ASSERT_TRUE(monitor.waitHeard(heardLevel, 480, rate * 10));
    std::vector<float> block;
    ASSERT_TRUE(monitor.read(block, 4800));  // past the onset
    const uint64_t lateBefore = device.latePeriods();

    std::atomic<bool> loaded{false};
    Sound3DEffect* memory = device.createEffect();
    double loadMillis = 0;
    std::thread game([&] {
        const auto start = std::chrono::steady_clock::now();
        memory->createStatic(&held);
        loadMillis = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        loaded = true;
    });
    // The monitor is read at the server's pace in 10 ms blocks. The hold
    // ends after 100 blocks of the stream heard (one second), or after ten
    // seconds of the monitor: a mix held up by the load hears nothing. The
    // load's end is seen at the next block, then one second more is heard.
    QuietStretches quiet(rate, period);
    uint64_t blocks = 0, after = 0, whileHeld = 0, heardWhileHeld = 0;
    bool recorded = true, releasedByHearing = false, released = false;
    while (after < 100 && blocks < 120 * 100) {
        if (!monitor.read(block, 480)) {
            recorded = false;
            break;
        }
        quiet.add(block);
        ++blocks;
        if (!released && held.isHeld()) {
            ++whileHeld;
            heardWhileHeld += testsupport::rmsOf(block) >= 0.1;
            releasedByHearing = heardWhileHeld >= 100;
            if (releasedByHearing || whileHeld >= 1000) {
                held.release();
                released = true;
            }
        }
        after += loaded ? 1 : 0;
    }
    held.release();
    game.join();
    quiet.end();
    EXPECT_TRUE(recorded);
    EXPECT_TRUE(loaded) << "the load did not end within two minutes";
    EXPECT_TRUE(releasedByHearing) << "the stream was heard for " << heardWhileHeld * 10
                                   << " ms of the 10 s the load was held in the middle of its file";

    // The device reads the server's count after each period it hands over:
    // it may trail what the monitor heard by a few periods.
    const uint64_t limit = device.framesMixed() + rate * 2;
    while (device.latePeriods() - lateBefore < quiet.longer && device.framesMixed() < limit)
        device.waitMixed(device.framesMixed() + period, std::chrono::seconds(10));
    const uint64_t late = device.latePeriods() - lateBefore;
    std::printf("live load: the 60 s Ogg loaded in %.0f ms (held %.2f s of it); %.2f s heard; longest quiet "
                "stretch %.1f ms; %llu stretches over one period, %llu periods late\n",
                loadMillis, whileHeld / 100.0, blocks / 100.0, quiet.longest * 1000.0 / rate,
                static_cast<unsigned long long>(quiet.longer), static_cast<unsigned long long>(late));
    EXPECT_LE(quiet.longer, late) << "quiet at" << quiet.where;

    std::string state;
    memory->getState(state);
    EXPECT_EQ(state, "static");
    EXPECT_EQ(memory->getSize(), rate * 60 * 2 * 2);
    device.destroyEffect(memory);
    device.destroyEffect(tone);
    theResourceManager->closeStream(streamed);
    device.uninitialize();
}

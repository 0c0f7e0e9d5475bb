// The device off the happy path: a long sound loading on a game thread while
// the mix goes on, a settings file that changes the mixer's rate after the
// device started, and sounds whose position or volume is not a number among
// more sounds than there are voices.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <future>
#include <limits>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/device/AlDevice.h"
#include "platform/debug/Capture.h"
#include "tests/device/HeldStream.h"
#include "tests/device/SoundFiles.h"
#include "tests/support/Loopback.h"
#include "tests/support/ResourceTree.h"

using aldevice::AlDevice;
using aldevice::AlEffect;
using aldevice::Output;
using soundfiles::Format;

using testsupport::HeldStream;

// A game thread loads a long sound whole while a looped sound plays. The
// load is held in the middle of reading its file; meanwhile the mix must go
// on: a hand-pumped render returns with the loop in it, a real-time
// output's thread mixes on. The load then completes as any load does.
TEST(DeviceLoads, ALongSoundLoadingOnAGameThreadNeverHoldsUpTheMix) {
    testsupport::ResourceTree tree;
    tree.write("/Sounds/hum.wav", "");
    soundfiles::writeTone(tree.pathOf("/Sounds/hum.wav"), 1.0, 220.0, 48000, 1, Format::Wav);
    tree.write("/Sounds/long.ogg", "");
    soundfiles::writeTone(tree.pathOf("/Sounds/long.ogg"), 10.0, 440.0, 48000, 2, Format::Ogg);
    const std::string ogg = testsupport::readWholeFile(tree.pathOf("/Sounds/long.ogg"));

    for (Output::Kind kind : {Output::Loopback, Output::Null}) {
        SCOPED_TRACE(kind == Output::Loopback ? "loopback" : "null output");
        AlDevice device(Output{kind, ""});
        device.initialize();
        Sound3DEffect* hum = testsupport::loadEffect(device, "/Sounds/hum.wav", true, true);
        hum->play();
        const uint64_t before = device.framesMixed();

        HeldStream held("/Sounds/long.ogg", ogg, static_cast<long>(ogg.size() / 2));
        Sound3DEffect* loaded = device.createEffect();
        std::thread loader([&] {
            try {
                loaded->createStatic(&held);
            } catch (const SoundObjectException& e) {
                ADD_FAILURE() << e.getString();
            }
        });
        held.waitUntilHeld();
        auto mix = std::async(std::launch::async, [&] {
            if (kind == Output::Null) return device.waitMixed(before + 8 * 512, std::chrono::seconds(20)) ? 1.0 : 0.0;
            std::vector<float> out(2 * 4096);
            device.render(out.data(), 4096);
            return testsupport::rmsOf(out);
        });
        // Generous: a mix takes milliseconds; one that waits for the load
        // waits until the release below.
        const bool mixedWhileLoading = mix.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        held.release();
        loader.join();
        EXPECT_TRUE(mixedWhileLoading);
        EXPECT_GT(mix.get(), 0.05);

        std::string state;
        loaded->getState(state);
        EXPECT_EQ(state, "static");
        EXPECT_EQ(loaded->getFrequency(), 48000u);
        EXPECT_EQ(loaded->getChannels(), 2u);
        EXPECT_EQ(loaded->getSize(), 48000u * 10 * 2 * 2);
        device.destroyEffect(loaded);
        device.destroyEffect(hum);
        device.uninitialize();
    }
}

// The request manager opens the device, then reads its settings file: a
// "frequency" there makes the mixer again at that rate after the device
// started. The WAV output's file and the loudness meter follow the mixer:
// the header says 44100, the tone plays at its pitch, and the meter's time
// is the file's.
TEST(DeviceRates, TheWavFileAndTheMeterFollowARateTheSettingsFileGivesAfterTheStart) {
    testsupport::ResourceTree tree;
    testsupport::TemporaryDirectory dir;
    tree.write("/Sounds/tone.wav", "");
    soundfiles::writeTone(tree.pathOf("/Sounds/tone.wav"), 2.0, 441.0, 44100, 1, Format::Wav);
    tree.write("/Sounds/device.cfg", "frequency = 44100;\n");
    auto readSettings = [](AlDevice& device) {
        ResourceStream* stream = theResourceManager->openStream("/Sounds/device.cfg");
        device.loadSettings(stream);
        theResourceManager->closeStream(stream);
    };

    const std::string file = dir.file("mix.wav");
    aldevice::Loudness metered;
    debug::Capture log;
    auto beganAgain = [&] {
        int n = 0;
        for (const debug::Record& r : log.records())
            n += r.text == "Sound device wav:" + file + ": the mixer runs at 44100 Hz now; the file begins again at that rate";
        return n;
    };
    {
        AlDevice device(Output{Output::Wav, file});
        device.initialize();
        readSettings(device);
        Sound3DEffect* tone = testsupport::loadEffect(device, "/Sounds/tone.wav");
        tone->play();
        ASSERT_TRUE(device.waitMixed(device.framesMixed() + 44100, std::chrono::seconds(20)));
        device.destroyEffect(tone);
        device.uninitialize();
        metered = device.loudness();
    }
    EXPECT_EQ(beganAgain(), 0);  // only silence was mixed before the settings were read
    SF_INFO info{};
    SNDFILE* wav = sf_open(file.c_str(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr);
    EXPECT_EQ(info.samplerate, 44100);
    std::vector<float> samples(static_cast<size_t>(info.frames) * 2);
    sf_readf_float(wav, samples.data(), info.frames);
    sf_close(wav);
    // 441 Hz at the header's rate: one rising zero crossing every 100 frames.
    size_t first = 0;
    while (first < samples.size() / 2 && std::fabs(samples[2 * first]) < 0.01f) ++first;
    ASSERT_GT(info.frames, static_cast<sf_count_t>(first + 22050));
    int rising = 0;
    for (size_t k = first + 1; k <= first + 22050; ++k) rising += samples[2 * (k - 1)] < 0 && samples[2 * k] >= 0;
    EXPECT_NEAR(rising * double(info.samplerate) / 22050, 441.0, 5.0);
    EXPECT_NEAR(metered.seconds * 44100, double(info.frames), 512.0);

    // A re-read that changes the rate while the file holds sound: the file
    // begins again at the new rate, and says so.
    {
        AlDevice device(Output{Output::Wav, file});
        device.initialize();
        Sound3DEffect* tone = testsupport::loadEffect(device, "/Sounds/tone.wav");
        tone->play();
        ASSERT_TRUE(device.waitMixed(device.framesMixed() + 4800, std::chrono::seconds(20)));
        readSettings(device);
        ASSERT_TRUE(device.waitMixed(device.framesMixed() + 4410, std::chrono::seconds(20)));
        device.destroyEffect(tone);
        device.uninitialize();
    }
    EXPECT_EQ(beganAgain(), 1);
    info = SF_INFO{};
    wav = sf_open(file.c_str(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr);
    EXPECT_EQ(info.samplerate, 44100);
    sf_close(wav);

    // The hand-pumped output: one second rendered reads one second metered.
    AlDevice loopback(Output{Output::Loopback, ""});
    loopback.initialize();
    readSettings(loopback);
    std::vector<float> out(2 * 4410);
    for (int k = 0; k < 10; ++k) loopback.render(out.data(), 4410);
    EXPECT_DOUBLE_EQ(loopback.loudness().seconds, 1.0);
    loopback.uninitialize();
}

// More sounds play than there are voices, some with a position or a volume
// that is not a number: those count as silent, so the voices go to the
// loudest of the others (the nearest), however the two kinds are mixed in
// the device's list and whichever played first.
TEST(DeviceVoices, SoundsWhosePositionOrVolumeIsNotANumberCountAsSilentForTheVoices) {
    testsupport::ResourceTree tree;
    tree.write("/Sounds/a.wav", "");
    soundfiles::writeTone(tree.pathOf("/Sounds/a.wav"), 5.0, 440.0, 48000, 1, Format::Wav);
    AlDevice device(Output{Output::Loopback, ""});
    device.initialize();
    aldevice::Settings settings;
    settings.voices = 8;
    device.applySettings(settings);
    device.getListener()->setPosition(Vector(0, 0, 0), SOUND3D_APPLY_IMMEDIATE);
    Sound3DEffect* source = testsupport::loadEffect(device, "/Sounds/a.wav", false);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Sound {
        AlEffect* effect;
        bool number;   // position and volume are numbers
        float distance;
    };
    std::vector<Sound> sounds;
    for (int k = 0; k < 60; ++k) {
        auto* effect = static_cast<AlEffect*>(device.createEffect());
        effect->clone(source);
        effect->setRadius(1.0f, SOUND3D_APPLY_IMMEDIATE);
        const float distance = float(2 + (k * 37) % 60);  // each distance once, in a scrambled order
        switch (k % 4) {
            case 0: effect->setPosition(Vector(nan, 0, 0), SOUND3D_APPLY_IMMEDIATE); break;
            case 1:
                effect->setPosition(Vector(distance, 0, 0), SOUND3D_APPLY_IMMEDIATE);
                effect->setVolume(nan);
                break;
            default: effect->setPosition(Vector(distance, 0, 0), SOUND3D_APPLY_IMMEDIATE); break;
        }
        sounds.push_back({effect, k % 4 >= 2, distance});
    }
    // The sounds without a number play first and take the free voices.
    for (const Sound& s : sounds)
        if (!s.number) s.effect->play();
    for (const Sound& s : sounds)
        if (s.number) s.effect->play();
    // The heard ones, by distance (-1: one without a number), against the
    // nearest of those with numbers that still play.
    auto heardAndNearest = [&] {
        std::vector<float> out(2 * 1024);
        device.render(out.data(), 1024);
        std::vector<float> heard, nearest;
        for (const Sound& s : sounds) {
            if (s.effect->isHeard()) heard.push_back(s.number ? s.distance : -1.0f);
            if (s.number && s.effect->isPlaying()) nearest.push_back(s.distance);
        }
        std::sort(heard.begin(), heard.end());
        std::sort(nearest.begin(), nearest.end());
        nearest.resize(8);
        return std::make_pair(heard, nearest);
    };
    auto [heard, nearest] = heardAndNearest();
    EXPECT_EQ(heard, nearest);
    for (const Sound& s : sounds) EXPECT_TRUE(s.effect->isPlaying());
    // The four nearest stop: the next four take their voices.
    for (const Sound& s : sounds)
        if (s.number && s.distance <= nearest[3]) s.effect->stop();
    std::tie(heard, nearest) = heardAndNearest();
    EXPECT_EQ(heard, nearest);

    for (const Sound& s : sounds) device.destroyEffect(s.effect);
    device.destroyEffect(source);
    device.uninitialize();
}

// The OpenAL device through a hand-pumped loopback output: render a number
// of frames, then measure the samples. Deterministic: no output thread, no
// sleeps (but for the WAV output, which runs in real time by design).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#define AL_ALEXT_PROTOTYPES
#include <AL/alc.h>
#include <AL/alext.h>
#include <sndfile.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>

#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <future>
#include <thread>
#include <vector>

#include "interfaces/Config.h"
#include "interfaces/Resource.h"
#include "platform/device/AlDevice.h"
#include "tests/device/SoundFiles.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Loopback.h"
#include "tests/support/ResourceTree.h"

using aldevice::AlDevice;
using aldevice::AlEffect;
using aldevice::Output;
using soundfiles::Format;
using soundfiles::rms;

namespace {

constexpr uint32_t ramp = 2048;  // parameter changes are de-clicked over this many frames

// Writes a 440 Hz tone of `seconds` as /Sounds/<name> of `tree`; returns its path.
std::string writeTone(testsupport::ResourceTree& tree, const std::string& name, double seconds, int channels = 1,
                      Format format = Format::Wav, int rate = 48000) {
    const std::string path = "/Sounds/" + name;
    tree.write(path, "");
    soundfiles::writeTone(tree.pathOf(path), seconds, 440.0, rate, channels, format);
    return path;
}

struct DeviceTest : testing::Test {
    testsupport::ResourceTree tree;
    AlDevice device{Output{Output::Loopback, ""}};
    Sound3DListener* listener = nullptr;

    void SetUp() override {
        device.initialize();
        listener = device.getListener();
        listener->setPosition(Vector(0, 0, 0), SOUND3D_APPLY_IMMEDIATE);
        listener->setOrientation(Vector(1, 0, 0), Vector(0, 0, 1), SOUND3D_APPLY_IMMEDIATE);  // facing +x, z up
    }
    void TearDown() override { device.uninitialize(); }

    std::string tone(const std::string& name, double seconds, int channels = 1, Format format = Format::Wav,
                     int rate = 48000) {
        return writeTone(tree, name, seconds, channels, format, rate);
    }
    AlEffect* load(const std::string& path) {
        return static_cast<AlEffect*>(testsupport::loadEffect(device, path, false));
    }
    // The effect playing without panning or distance loss.
    AlEffect* playFlat(AlEffect* effect, bool looped) {
        effect->setLooped(looped);
        effect->setMode(SOUND3D_MODE_DISABLE, SOUND3D_APPLY_IMMEDIATE);
        effect->play();
        return effect;
    }
    // A looped effect of `path` at `at`, heard from a radius of one unit, playing.
    AlEffect* playLoopedAt(const std::string& path, const Vector& at) {
        AlEffect* effect = load(path);
        effect->setLooped(true);
        effect->setRadius(1.0f, SOUND3D_APPLY_IMMEDIATE);
        effect->setPosition(at, SOUND3D_APPLY_IMMEDIATE);
        effect->play();
        return effect;
    }
    // A new effect playing what `source` plays, from the same buffer.
    AlEffect* cloneOf(AlEffect* source) {
        auto* clone = static_cast<AlEffect*>(device.createEffect());
        clone->clone(source);
        return clone;
    }
    // A new effect and an open stream of `path`; create() loads the sound
    // whole or streams it, close() lets go of both.
    struct Opened {
        AlEffect* effect;
        ResourceStream* stream;
    };
    Opened open(const std::string& path, std::optional<bool> streaming = std::nullopt) {
        const Opened opened{static_cast<AlEffect*>(device.createEffect()), theResourceManager->openStream(path.c_str())};
        if (streaming) create(opened, *streaming);
        return opened;
    }
    static void create(const Opened& opened, bool streaming) {
        if (streaming) opened.effect->createStreaming(opened.stream, 4);
        else opened.effect->createStatic(opened.stream);
    }
    void close(const Opened& opened) {
        device.destroyEffect(opened.effect);
        theResourceManager->closeStream(opened.stream);
    }
    std::vector<float> render(uint32_t frames) {
        std::vector<float> out(static_cast<size_t>(frames) * 2);
        device.render(out.data(), frames);
        return out;
    }
    std::vector<float> settled(uint32_t frames) {
        render(ramp);
        return render(frames);
    }
};

}  // namespace

TEST_F(DeviceTest, HalvingTheVolumeHalvesTheRms) {
    AlEffect* effect = playFlat(load(tone("a.wav", 1.0)), true);
    const double full = rms(settled(4800), 0);
    effect->setVolume(0.5f);
    const double half = rms(settled(4800), 0);
    EXPECT_GT(full, 0.1);
    EXPECT_NEAR(half / full, 0.5, 0.01);
}

// A thread that drives effects gets back the OpenAL context it had when its
// last call returns: none at all, or one of its own, which the device's
// calls neither replace nor leave replaced. Its calls still take effect.
TEST_F(DeviceTest, AThreadThatPlaysEffectsIsLeftHoldingTheContextItHad) {
    const std::string path = tone("a.wav", 1.0);
    ALCdevice* otherDevice = alcLoopbackOpenDeviceSOFT(nullptr);
    ASSERT_NE(otherDevice, nullptr);
    const ALCint format[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                             ALC_FREQUENCY, 48000, 0};
    ALCcontext* other = alcCreateContext(otherDevice, format);
    ASSERT_NE(other, nullptr);
    AlEffect* effect = nullptr;
    ALCcontext* afterPlaying = other;
    ALCcontext* afterVolume = nullptr;
    std::thread game([&] {
        effect = playFlat(load(path), true);
        afterPlaying = alcGetThreadContext();
        alcSetThreadContext(other);
        effect->setVolume(0.5f);
        effect->isPlaying();
        afterVolume = alcGetThreadContext();
        alcSetThreadContext(nullptr);
    });
    game.join();
    EXPECT_EQ(afterPlaying, nullptr);
    EXPECT_EQ(afterVolume, other);
    ASSERT_NE(effect, nullptr);
    EXPECT_TRUE(effect->isPlaying());
    const double half = rms(settled(4800), 0);
    effect->setVolume(1.0f);
    const double full = rms(settled(4800), 0);
    EXPECT_GT(full, 0.1);
    EXPECT_NEAR(half / full, 0.5, 0.01);
    alcDestroyContext(other);
    alcCloseDevice(otherDevice);
}

TEST_F(DeviceTest, PlacementPansAndDeferredPlacementWaitsForCommit) {
    AlEffect* effect = playLoopedAt(tone("a.wav", 1.0), Vector(0, 2, 0));  // +y is the left of a listener facing +x
    auto out = settled(4800);
    EXPECT_GT(rms(out, 0), 2 * rms(out, 1));

    // Deferred to the right: still heard on the left until the commit.
    effect->setPosition(Vector(0, -2, 0), SOUND3D_APPLY_DEFERRED);
    out = settled(4800);
    EXPECT_GT(rms(out, 0), 2 * rms(out, 1));
    // An effect destroyed with a placement still waiting takes it along; the
    // commit applies the others' (and the listener's moves leave the voices'
    // factors as they are).
    AlEffect* gone = playLoopedAt(tone("b.wav", 1.0), Vector(0, 2, 0));
    gone->setPosition(Vector(0, -2, 0), SOUND3D_APPLY_DEFERRED);
    gone->setRadius(2.0f, SOUND3D_APPLY_DEFERRED);
    device.destroyEffect(gone);
    listener->setPosition(Vector(0, 0, 0), SOUND3D_APPLY_DEFERRED);
    listener->commit();
    out = settled(4800);
    EXPECT_GT(rms(out, 1), 2 * rms(out, 0));
    EXPECT_GT(rms(out, 1), 0.05);

    // Head-relative (forward, left, up): left of the head wherever the
    // listener looks; "disable": no panning and no distance loss.
    listener->setOrientation(Vector(-1, 0, 0), Vector(0, 0, 1), SOUND3D_APPLY_IMMEDIATE);
    effect->setMode(SOUND3D_MODE_HEADRELATIVE, SOUND3D_APPLY_IMMEDIATE);
    effect->setPosition(Vector(0, 2, 0), SOUND3D_APPLY_IMMEDIATE);
    out = settled(4800);
    EXPECT_GT(rms(out, 0), 2 * rms(out, 1));
    effect->setMode(SOUND3D_MODE_DISABLE, SOUND3D_APPLY_IMMEDIATE);
    effect->setPosition(Vector(0, 50, 0), SOUND3D_APPLY_IMMEDIATE);
    out = settled(4800);
    EXPECT_NEAR(rms(out, 0), rms(out, 1), 0.01 * rms(out, 0));
    EXPECT_GT(rms(out, 0), 0.2);  // no distance loss at 50 units
}

// The listener's distance factor (metres per world unit) and rolloff reach
// every source, those playing and those started later, at once or at the
// commit.
TEST_F(DeviceTest, TheListenersFactorsReachEverySourceNowOrAtTheCommit) {
    const std::string path = tone("a.wav", 1.0);
    auto level = [&] {
        const auto out = settled(4800);
        return rms(out, 0) + rms(out, 1);
    };
    AlEffect* effect = playLoopedAt(path, Vector(4, 0, 0));  // 4 m ahead: a quarter of full loudness
    const double far = level();
    listener->setDistanceFactor(0.25f, SOUND3D_APPLY_IMMEDIATE);  // now 1 m ahead: full loudness
    EXPECT_NEAR(level() / far, 4.0, 0.2);
    listener->setDistanceFactor(1.0f, SOUND3D_APPLY_IMMEDIATE);
    EXPECT_NEAR(level() / far, 1.0, 0.05);

    listener->setRolloffFactor(0.0f, SOUND3D_APPLY_DEFERRED);  // no loss with distance, after the commit
    EXPECT_NEAR(level() / far, 1.0, 0.05);
    listener->commit();
    EXPECT_NEAR(level() / far, 4.0, 0.2);
    // A sound started later gets the same rolloff.
    effect->stop();
    playLoopedAt(path, Vector(4, 0, 0));
    EXPECT_NEAR(level() / far, 4.0, 0.2);
}

TEST_F(DeviceTest, AClonePlaysTheSameSamplesFromTheSameBuffer) {
    AlEffect* source = load(tone("a.wav", 0.5, 2));
    source->setMode(SOUND3D_MODE_DISABLE, SOUND3D_APPLY_IMMEDIATE);
    const uint64_t bytes = device.getBufferBytes();
    std::vector<AlEffect*> clones;
    for (int k = 0; k < 100; ++k) clones.push_back(cloneOf(source));
    EXPECT_EQ(device.getBufferBytes(), bytes);  // one copy of the samples
    std::string state;
    clones[0]->getState(state);
    EXPECT_EQ(state, "clone");
    clones[0]->setMode(SOUND3D_MODE_DISABLE, SOUND3D_APPLY_IMMEDIATE);

    source->play();
    const auto a = render(8192);
    source->stop();
    render(ramp);
    clones[0]->play();
    const auto b = render(8192);
    ASSERT_EQ(a.size(), b.size());
    double difference = 0;
    for (size_t k = 0; k < a.size(); ++k) difference = std::max(difference, double(std::abs(a[k] - b[k])));
    EXPECT_LT(difference, 1e-4);

    // The buffer outlives the effect it was loaded with.
    device.destroyEffect(source);
    EXPECT_EQ(device.getBufferBytes(), bytes);
    for (AlEffect* c : clones) device.destroyEffect(c);
    EXPECT_EQ(device.getBufferBytes(), 0u);
}

TEST_F(DeviceTest, ATenSecondStreamPlaysThroughWithoutGapsAndLoopsSeamlessly) {
    const Opened streamed = open(tone("long.ogg", 10.0, 1, Format::Ogg, 22050), true);
    AlEffect* effect = playFlat(streamed.effect, true);
    render(ramp);
    const uint32_t block = 1024;
    int quiet = 0;
    for (uint32_t rendered = ramp; rendered < 48000 * 12; rendered += block)  // 12 s: through the loop point
        if (rms(render(block), 0) < 0.05) ++quiet;
    EXPECT_EQ(quiet, 0);
    EXPECT_TRUE(effect->isPlaying());
    const uint32_t at = effect->getPlayPosition();  // in the stream's frames, second time round
    EXPECT_NEAR(at, 22050 * 2, 22050 / 10);

    // Not looped: it ends by itself after its ten seconds.
    effect->setLooped(false);
    effect->stop();
    effect->setPlayPosition(22050 * 9);
    effect->play();
    for (int k = 0; k < 60 && effect->isPlaying(); ++k) render(block);
    EXPECT_FALSE(effect->isPlaying());
    close(streamed);
}

TEST_F(DeviceTest, ASavedPlayPositionResumesAtTheSameFrame) {
    const uint32_t block = 1024;
    AlEffect* loaded = load(tone("a.wav", 2.0));
    const Opened streamed = open(tone("b.ogg", 2.0, 1, Format::Ogg), true);
    for (AlEffect* effect : {loaded, streamed.effect}) {
        effect->play();
        for (int k = 0; k < 20; ++k) render(block);
        effect->stop();
        const uint32_t saved = effect->getPlayPosition();
        EXPECT_NEAR(saved, 20 * block, block);
        render(block);  // time passes while it is stopped
        EXPECT_EQ(effect->getPlayPosition(), saved);
        // Another effect of the same sound picks up where this one stopped.
        AlEffect* next = cloneOf(effect);
        next->setPlayPosition(saved);
        next->play();
        render(block);
        EXPECT_NEAR(next->getPlayPosition(), saved + block, block);
        device.destroyEffect(next);
    }
    close(streamed);
}

// Every format the device reads plays, loaded whole or streamed, with the
// format the file holds.
TEST_F(DeviceTest, EveryFormatLoadsAndStreams) {
    const struct {
        const char* name;
        Format format;
        int channels;
    } files[] = {{"f.wav", Format::Wav, 2}, {"f.flac", Format::Flac, 1}, {"f.ogg", Format::Ogg, 2},
                 {"f.opus", Format::Opus, 1},
#ifndef _WIN32  // the Windows build's libsndfile has no MP3 (no mpg123 or LAME there)
                 {"f.mp3", Format::Mp3, 1}
#endif
    };
    for (const auto& file : files) {
        const std::string path = tone(file.name, 1.0, file.channels, file.format, 48000);
        for (bool streaming : {false, true}) {
            const Opened opened = open(path, streaming);
            AlEffect* effect = opened.effect;
            EXPECT_EQ(effect->getFrequency(), 48000u) << file.name;
            EXPECT_EQ(effect->getChannels(), uint32_t(file.channels)) << file.name;
            playFlat(effect, false);
            EXPECT_GT(rms(settled(4096), 0), 0.1) << file.name << (streaming ? " streamed" : " loaded");
            effect->stop();
            close(opened);
        }
    }
}

TEST_F(DeviceTest, CorruptAndMissingSoundsFailCleanlyAndTheDeviceGoesOn) {
    tone("good.wav", 0.5);
    std::string wav = testsupport::readWholeFile(tree.pathOf("/Sounds/good.wav"));
    tree.write("/Sounds/truncated.wav", wav.substr(0, wav.size() / 2));
    tree.write("/Sounds/junk.ogg", std::string(4000, '\x5a'));
    tree.write("/Sounds/empty.wav", "");
    tree.write("/Sounds/text.mp3", "this is not a sound\n");
    for (Format format : {Format::Ogg, Format::Flac}) {
        const std::string name = format == Format::Ogg ? "whole.ogg" : "whole.flac";
        tone(name, 0.5, 1, format);
        const std::string bytes = testsupport::readWholeFile(tree.pathOf("/Sounds/" + name));
        tree.write("/Sounds/truncated" + name.substr(5), bytes.substr(0, bytes.size() / 2));
    }
    for (const char* name : {"truncated.wav", "truncated.ogg", "truncated.flac", "junk.ogg", "empty.wav", "text.mp3"}) {
        const std::string path = std::string("/Sounds/") + name;
        for (bool streaming : {false, true}) {
            const Opened opened = open(path);
            try {
                create(opened, streaming);
                // A stream learns of a cut-off end only when it reaches it.
                if (std::string(name) != "truncated.flac" || !streaming) ADD_FAILURE() << name << " was accepted";
            } catch (const SoundObjectException& e) {
                EXPECT_THAT(e.getString(), testing::HasSubstr(path)) << name;
            }
            close(opened);
        }
    }
    AlEffect* good = load("/Sounds/good.wav");
    good->play();
    EXPECT_GT(rms(settled(2048), 0), 0.05);
}

TEST_F(DeviceTest, BeyondTheVoiceLimitTheQuietestPlayVirtually) {
    aldevice::Settings settings;
    settings.voices = 255;
    device.applySettings(settings);
    AlEffect* source = load(tone("a.wav", 5.0));
    std::vector<AlEffect*> effects;
    for (int k = 0; k < 10000; ++k) effects.push_back(cloneOf(source));
    // 300 play, effect k at distance k + 1: the nearer, the louder.
    for (int k = 0; k < 300; ++k) {
        effects[k]->setRadius(1.0f, SOUND3D_APPLY_IMMEDIATE);
        effects[k]->setPosition(Vector(float(k + 1), 0, 0), SOUND3D_APPLY_IMMEDIATE);
    }
    for (int k = 299; k >= 0; --k) effects[k]->play();  // the farthest first: they must give way
    render(1024);
    EXPECT_EQ(device.getVoicesInUse(), 255u);
    for (int k = 0; k < 300; ++k) {
        EXPECT_TRUE(effects[k]->isPlaying()) << k;
        EXPECT_EQ(effects[k]->isHeard(), k < 255) << k;
    }
    // A heard one stops: the loudest waiting one takes its voice, at the
    // point its time has reached.
    effects[0]->stop();
    render(1024);
    EXPECT_TRUE(effects[255]->isHeard());
    EXPECT_GE(effects[255]->getPlayPosition(), 1024u);
    EXPECT_FALSE(effects[256]->isHeard());
    // A waiting one moved next to the listener takes the quietest heard voice.
    effects[299]->setPosition(Vector(0.5f, 0, 0), SOUND3D_APPLY_IMMEDIATE);
    render(1024);
    EXPECT_TRUE(effects[299]->isHeard());
    EXPECT_FALSE(effects[255]->isHeard());
    // Once nobody waits, plays beyond the limit wait again, and the nearest
    // of them takes a voice that comes free.
    for (int k = 200; k < 300; ++k) effects[k]->stop();
    render(1024);
    EXPECT_EQ(device.getVoicesInUse(), 199u);  // 1 to 199
    for (int k = 300; k < 400; ++k) {
        effects[k]->setRadius(1.0f, SOUND3D_APPLY_IMMEDIATE);
        effects[k]->setPosition(Vector(float(k + 1), 0, 0), SOUND3D_APPLY_IMMEDIATE);
        effects[k]->play();
    }
    render(1024);
    EXPECT_EQ(device.getVoicesInUse(), 255u);
    EXPECT_TRUE(effects[355]->isHeard());
    EXPECT_FALSE(effects[356]->isHeard());
    effects[1]->stop();
    render(1024);
    EXPECT_TRUE(effects[356]->isHeard());
    EXPECT_FALSE(effects[357]->isHeard());
    // A play next to the listener with every voice taken takes the
    // quietest heard one's at once.
    effects[400]->setPosition(Vector(0.5f, 0, 0), SOUND3D_APPLY_IMMEDIATE);
    effects[400]->play();
    EXPECT_TRUE(effects[400]->isHeard());
    EXPECT_FALSE(effects[356]->isHeard());
    for (AlEffect* e : effects) device.destroyEffect(e);
    device.destroyEffect(source);
}

// Effects played in a batch start in one mixing period, all from the
// batch's beginning, even when periods are mixed among the plays (the
// device's own thread mixes while a game thread plays): eight clones of one
// tone sum in phase, eight times one. Started as played, the four after the
// period are 300 frames (three quarters of a 440 Hz cycle) behind and the
// sum is 4 x sqrt(2) times one.
TEST_F(DeviceTest, EffectsPlayedInABatchStartInStepThoughAPeriodIsMixedAmongThePlays) {
    AlEffect* source = load(tone("a.wav", 2.0));
    std::vector<AlEffect*> clones;
    for (int k = 0; k < 8; ++k) {
        clones.push_back(cloneOf(source));
        clones.back()->setMode(SOUND3D_MODE_DISABLE, SOUND3D_APPLY_IMMEDIATE);
        clones.back()->setVolume(0.05f);
    }
    auto stopAll = [&] {
        for (AlEffect* c : clones) c->stop();
        for (AlEffect* c : clones) c->setPlayPosition(0);
        render(ramp);
    };
    clones[0]->play();
    const double one = rms(settled(4800), 0);
    stopAll();
    ASSERT_GT(one, 0.001);

    struct Run {
        double during, level;
        bool heardDuring;
    };
    auto playAll = [&](bool batch) {
        if (batch) device.beginBatch();
        for (int k = 0; k < 4; ++k) clones[k]->play();
        Run run{};
        run.during = rms(render(300), 0);  // a period mixed among the plays
        run.heardDuring = clones[0]->isHeard();
        for (int k = 4; k < 8; ++k) clones[k]->play();
        if (batch) device.endBatch();
        run.level = rms(settled(4800), 0);
        stopAll();
        return run;
    };
    const Run together = playAll(true);
    EXPECT_LT(together.during, 1e-6);  // nothing starts before the batch ends
    EXPECT_FALSE(together.heardDuring);
    EXPECT_NEAR(together.level / one, 8.0, 0.08);
    for (AlEffect* c : clones) EXPECT_FALSE(c->isPlaying());
    const Run asPlayed = playAll(false);
    EXPECT_GT(asPlayed.during, 0.5 * one);
    EXPECT_NEAR(asPlayed.level / one, 4.0 * std::sqrt(2.0), 0.3);

    // Batches nest: the effects start at the outermost end; an end without a
    // beginning changes nothing.
    device.endBatch();
    device.beginBatch();
    device.beginBatch();
    clones[0]->play();
    device.endBatch();
    render(64);
    EXPECT_FALSE(clones[0]->isHeard());
    device.endBatch();
    render(64);
    EXPECT_TRUE(clones[0]->isHeard());
    clones[1]->play();
    EXPECT_TRUE(clones[1]->isHeard());  // outside a batch, at once

    for (AlEffect* c : clones) device.destroyEffect(c);
    device.destroyEffect(source);
}

TEST(DeviceOutputs, TheWavOutputMixesInRealTimeAndFinishesItsFile) {
    testsupport::ResourceTree tree;
    testsupport::TemporaryDirectory dir;
    writeTone(tree, "beep.wav", 0.2);
    const std::string file = dir.file("mix.wav");
    {
        AlDevice device(Output{Output::Wav, file});
        device.initialize();
        Sound3DEffect* effect = testsupport::loadEffect(device, "/Sounds/beep.wav");
        effect->play();
        // The device's own thread plays the 0.2 s sound in real time; once it
        // has mixed 0.3 s the sound has ended by itself.
        ASSERT_TRUE(device.waitMixed(48000 * 3 / 10, std::chrono::seconds(20)));
        EXPECT_FALSE(effect->isPlaying());
        device.destroyEffect(effect);
        device.uninitialize();
    }
    SF_INFO info{};
    SNDFILE* wav = sf_open(file.c_str(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr);
    EXPECT_EQ(info.channels, 2);
    EXPECT_GE(info.frames, 48000 * 2 / 10);
    std::vector<float> samples(static_cast<size_t>(info.frames) * 2);
    sf_readf_float(wav, samples.data(), info.frames);
    sf_close(wav);
    EXPECT_GT(rms(samples, 0), 0.05);
}

// Content, a save and the mix's file in a folder whose name is not ASCII:
// the library's UTF-8 paths reach the system whole (as wide strings on
// Windows), from the mount to the sound read, the file written and the
// configuration replaced.
TEST(DeviceOutputs, AFolderWithNonAsciiCharactersHoldsContentSavesAndTheMix) {
    namespace fs = std::filesystem;
    testsupport::ResourceTree source(false);
    testsupport::TemporaryDirectory dir;
    const std::string base = dir.path() + "/Kl\xC3\xA4nge \xD0\xB7\xD0\xB2\xD1\x83\xD0\xBA";  // "Klänge звук"
    fs::create_directories(fs::u8path(base + "/Configs/Sounds"));
    fs::create_directories(fs::u8path(base + "/Sounds"));
    source.makeDirectory("/Sounds");
    soundfiles::writeTone(source.pathOf("/Sounds/beep.wav"), 0.2, 440.0, 48000, 1, soundfiles::Format::Wav);
    fs::copy_file(source.pathOf("/Sounds/beep.wav"), fs::u8path(base + "/Sounds/b\xC3\xBCp.wav"));
    ASSERT_TRUE(theResourceManager->mount(base, "/"));
    const std::string mix = base + "/mix \xC3\xBC.wav";
    {
        AlDevice device(Output{Output::Wav, mix});
        device.initialize();
        Sound3DEffect* effect = testsupport::loadEffect(device, "/Sounds/b\xC3\xBCp.wav");
        ASSERT_NE(effect, nullptr);
        effect->play();
        ASSERT_TRUE(device.waitMixed(48000 * 3 / 10, std::chrono::seconds(20)));
        device.destroyEffect(effect);
        device.uninitialize();
    }
    EXPECT_TRUE(theResourceManager->unmount(base));
    EXPECT_GT(fs::file_size(fs::u8path(mix)), 48000u * 4 / 5);

    configmanager::ConfigManager save;
    const int level = 7;
    save.setProperty("level", &level);
    const std::string saved = base + "/Spielst\xC3\xA4nde.cfg";
    ASSERT_TRUE(save.writePlainFile(saved));
    ASSERT_TRUE(save.writePlainFile(saved));  // the second write replaces the first
    configmanager::ConfigManager loaded;
    ASSERT_TRUE(loaded.readPlainFile(saved));
    int read = 0;
    EXPECT_TRUE(loaded.getProperty("level", &read));
    EXPECT_EQ(read, 7);
    EXPECT_FALSE(fs::exists(fs::u8path(saved + ".tmp")));
}

TEST_F(DeviceTest, SettingsFilesTuneTheMixerAndBadOnesChangeNothing) {
    debug::Capture log;
    auto settingsFrom = [&](const std::string& text) {
        tree.write("/Sounds/device.cfg", text);
        ResourceStream* stream = theResourceManager->openStream("/Sounds/device.cfg");
        device.loadSettings(stream);
        theResourceManager->closeStream(stream);
        return testsupport::infoOf(device);
    };
    auto info = settingsFrom("frequency = 44100;\nvoices = 32;\nhrtf = false;\ncolour = \"blue\";\n");
    EXPECT_THAT(info, testing::Contains("Sample rate: 44100"));
    EXPECT_THAT(info, testing::Contains("Voices: 0 of 32"));
    EXPECT_TRUE(log.records().empty());  // unknown keys are ignored

    // A malformed file: the configuration layer says where and why, the
    // device what it does about it, and nothing changes.
    info = settingsFrom("voices = 64;\nfrequency = ;\n");
    EXPECT_THAT(info, testing::Contains("Sample rate: 44100"));
    EXPECT_THAT(info, testing::Contains("Voices: 0 of 32"));
    ASSERT_EQ(log.records().size(), 2u);
    EXPECT_EQ(log.records()[0].channel, "ConfigManager");
    EXPECT_EQ(log.records()[0].text,
              "failed to read /Sounds/device.cfg at line 2: syntax error: unexpected ';', a value was expected");
    EXPECT_EQ(log.records()[1].channel, "SoundDevice");
    EXPECT_EQ(log.records()[1].text, "/Sounds/device.cfg: not read; the device keeps its settings");

    // Values out of range or of another type are ignored, an unknown distance
    // model is named; the rest of the file still applies.
    log.clear();
    settingsFrom("frequency = 4000;\nvoices = 0;\nhrtf = 1;\ndistanceModel = \"cubic\";\n");
    settingsFrom("frequency = 44100.0;\nvoices = 5000;\ndistanceModel = \"linear\";\n");
    EXPECT_EQ(device.getSettings().frequency, 44100u);
    EXPECT_EQ(device.getSettings().voices, 32u);
    EXPECT_FALSE(device.getSettings().hrtf);
    EXPECT_EQ(device.getSettings().distanceModel, "linear");
    ASSERT_EQ(log.records().size(), 1u);
    EXPECT_EQ(log.records()[0].text, "/Sounds/device.cfg: unknown distanceModel cubic (inverse, linear, exponent, none)");

    // The mixer made again at the new rate still plays.
    playFlat(load(tone("a.wav", 0.5)), false);
    EXPECT_GT(rms(settled(2048), 0), 0.05);
    device.loadSettings(nullptr);  // no file: nothing changes
    EXPECT_EQ(device.getSettings().frequency, 44100u);
}

// The null output's thread mixes and refills a stream in real time while the
// game thread changes the effect: the stream neither stalls nor runs dry.
TEST(DeviceOutputs, TheNullOutputStreamsInRealTimeWhileTheGameChangesTheEffect) {
    testsupport::ResourceTree tree;
    writeTone(tree, "long.ogg", 2.0, 1, Format::Ogg, 22050);
    AlDevice device(Output{Output::Null, ""});
    device.initialize();
    Sound3DEffect* effect = device.createEffect();
    ResourceStream* stream = theResourceManager->openStream("/Sounds/long.ogg");
    effect->createStreaming(stream, 4);
    effect->setLooped(true);
    effect->play();
    for (int k = 1; k <= 10; ++k) {
        // 50 ms of mixing each time; the game thread moves the sound between.
        ASSERT_TRUE(device.waitMixed(uint64_t(k) * 2400, std::chrono::seconds(20)));
        effect->setPosition(Vector(float(k), 1.0f, 0.0f), SOUND3D_APPLY_IMMEDIATE);
        effect->setVolume(1.0f / k);
        EXPECT_TRUE(effect->isPlaying());
    }
    // Half a second mixed: the stream stands about 0.5 s into its 2 s.
    const uint32_t at = effect->getPlayPosition();
    EXPECT_GT(at, 22050u / 4);
    EXPECT_LT(at, 22050u * 2);
    EXPECT_THAT(testsupport::infoOf(device), testing::Contains("Output: null"));
    device.destroyEffect(effect);
    theResourceManager->closeStream(stream);
    device.uninitialize();
}

#ifndef _WIN32  // Windows has no limit of a file's size to set
// A WAV output whose file stops taking samples mid-run (here: the process
// may write no more than 32 KiB into a file) is reported lost; the mix goes
// on unheard and every call is still accepted.
TEST(DeviceOutputs, AnOutputLostMidRunIsReportedAndCallsGoOn) {
    testsupport::ResourceTree tree;
    testsupport::TemporaryDirectory dir;
    writeTone(tree, "beep.wav", 0.2);
    debug::Capture log;
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 32 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    {
        AlDevice device(Output{Output::Wav, dir.file("mix.wav")});
        device.initialize();
        // 0.4 s of 16-bit stereo at 48 kHz is far more than 32 KiB.
        ASSERT_TRUE(device.waitMixed(48000 * 4 / 10, std::chrono::seconds(20)));
        EXPECT_THAT(testsupport::infoOf(device),
                    testing::AllOf(testing::Contains(testing::HasSubstr("(disconnected)")),
                                   testing::Contains(testing::StartsWith(
                                       "Loudness of the mix (not heard: the output was lost): momentary "))));
        Sound3DEffect* effect = testsupport::loadEffect(device, "/Sounds/beep.wav", false);
        effect->play();
        EXPECT_TRUE(effect->isPlaying());
        const uint64_t played = 48000 * 4 / 10 + 48000 * 3 / 10;
        ASSERT_TRUE(device.waitMixed(played, std::chrono::seconds(20)));
        EXPECT_FALSE(effect->isPlaying());  // its time ran on unheard
        device.destroyEffect(effect);
        device.uninitialize();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    // The output named when it opened; the loss reported once, not once per
    // period, and never tried again (a file is not a server that comes back).
    const auto records = log.onChannel("SoundDevice");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_THAT(records[0].text, testing::EndsWith(": playing on wav:" + dir.file("mix.wav")));
    EXPECT_EQ(records[1].kind, debug::Kind::Warning);
    EXPECT_THAT(records[1].text, testing::HasSubstr(": the output was lost: "));
}
#endif

// A thread that drives an effect (as the music worker does) and ends only
// after the device has closed must not keep the mixer alive: the leak check
// of the sanitizer build sees the device and its buffers otherwise.
TEST(DeviceThreads, AThreadEndingAfterTheDeviceClosedLeavesNothingOfTheMixerBehind) {
    testsupport::ResourceTree tree;
    writeTone(tree, "t.wav", 0.5);
    AlDevice device{Output{Output::Loopback, ""}};
    device.initialize();
    auto* effect = static_cast<AlEffect*>(device.createEffect());
    std::promise<void> played, closed;
    std::thread worker([&] {
        ResourceStream* stream = theResourceManager->openStream("/Sounds/t.wav");
        effect->createStatic(stream);
        theResourceManager->closeStream(stream);
        effect->setMode(SOUND3D_MODE_DISABLE, SOUND3D_APPLY_IMMEDIATE);
        effect->play();
        played.set_value();
        closed.get_future().wait();
    });
    played.get_future().wait();
    std::vector<float> out(2 * 4800);
    device.render(out.data(), 4800);
    EXPECT_GT(rms(out, 0), 0.1) << "what the thread started plays";
    device.uninitialize();
    closed.set_value();
    worker.join();
}

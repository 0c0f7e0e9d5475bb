// Streams of one file share its decoding: what each source hears, where it
// stands, a file changed while streamed, a file broken part-way, and many
// threads starting and stopping streams of one file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "platform/debug/Capture.h"
#include "platform/device/AlDevice.h"
#include "tests/device/SoundFiles.h"
#include "tests/support/Loopback.h"
#include "tests/support/ResourceTree.h"

using aldevice::AlDevice;
using aldevice::AlEffect;
using aldevice::Output;

namespace {

constexpr int rate = 48000;

// Stereo noise: every frame differs from its neighbours, so a source that
// stands one frame off is heard differently.
void writeNoise(const std::string& path, int frames, unsigned seed, int format) {
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = 2;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path;
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> sample(-0.4f, 0.4f);
    std::vector<float> samples(static_cast<size_t>(frames) * 2);
    for (float& s : samples) s = sample(random);
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
}

struct SharedStreamTest : testing::Test {
    testsupport::ResourceTree tree;
    AlDevice device{Output{Output::Loopback, ""}};
    std::vector<std::pair<AlEffect*, ResourceStream*>> made;

    void SetUp() override { device.initialize(); }
    void TearDown() override {
        for (auto& [effect, stream] : made) {
            device.destroyEffect(effect);
            if (stream) theResourceManager->closeStream(stream);
        }
        device.uninitialize();
    }
    std::string noise(const std::string& name, int frames, unsigned seed,
                      int format = SF_FORMAT_OGG | SF_FORMAT_VORBIS) {
        const std::string path = "/Sounds/" + name;
        tree.write(path, "");
        writeNoise(tree.pathOf(path), frames, seed, format);
        return path;
    }
    // A source of the file, not placed in 3D (no pan, no distance), looped.
    AlEffect* effect(const std::string& path, bool streamed) {
        ResourceStream* stream = nullptr;
        auto* e = static_cast<AlEffect*>(
            testsupport::loadEffect(device, path, true, true, streamed ? &stream : nullptr));
        made.emplace_back(e, stream);
        return e;
    }
    std::vector<float> render(uint32_t frames) {
        std::vector<float> out(static_cast<size_t>(frames) * 2);
        for (uint32_t done = 0; done < frames; done += 1024)
            device.render(out.data() + size_t(done) * 2, std::min<uint32_t>(1024, frames - done));
        return out;
    }
    // What a source started at `frame` plays for `frames` frames, alone.
    // Silence first: the output limiter looks ahead, and what it holds of
    // the sound heard before must be out of the mix.
    std::vector<float> heard(AlEffect* e, uint32_t frame, uint32_t frames) {
        render(8192);
        e->setPlayPosition(frame);
        e->play();
        std::vector<float> out = render(frames);
        e->stop();
        return out;
    }
};

double soundLevel(const std::vector<float>& stereo) { return soundfiles::rms(stereo, 0); }

double largestDifference(const std::vector<float>& a, const std::vector<float>& b) {
    double d = a.size() == b.size() ? 0.0 : 1.0;
    for (size_t k = 0; k < std::min(a.size(), b.size()); ++k) d = std::max(d, double(std::abs(a[k] - b[k])));
    return d;
}

}  // namespace

// Sources of one streamed file, started at different moments and positions
// (one in the middle of a block, one just before the loop point), each hear
// exactly what the file decoded whole gives from their own position, through
// the loop point; the file is decoded once for all of them.
TEST_F(SharedStreamTest, StreamsOfOneFileHearTheFileAsDecodedWholeEachFromItsOwnPosition) {
    const int frames = 70000;  // about 8.5 blocks of a stream
    const std::string path = noise("noise.ogg", frames, 1);
    AlEffect* whole = effect(path, false);
    AlEffect* first = effect(path, true);
    first->setVolume(0.0f);  // plays along unheard: the file is first decoded from its middle
    first->setPlayPosition(50000);
    first->play();
    render(10000);
    EXPECT_GT(first->getPlayPosition(), 55000u);
    for (uint32_t at : {0u, 12345u, 69000u}) {
        const std::vector<float> expected = heard(whole, at, 2 * frames);
        AlEffect* later = effect(path, true);
        const std::vector<float> got = heard(later, at, 2 * frames);
        EXPECT_LT(largestDifference(expected, got), 1e-6) << "started at " << at;
        EXPECT_GT(soundLevel(got), 0.1) << "started at " << at;
    }
    // One decoded copy of the file besides the loaded one, however many streams.
    EXPECT_EQ(device.getBufferBytes(), 2u * frames * 2 * 2);
}

// A file too long to keep whole (more than 8 MB decoded) keeps only the
// blocks voices have queued, and still sounds as the file decoded whole,
// also when a stream goes back to a block given up before.
TEST_F(SharedStreamTest, ALongFileKeepsOnlyQueuedBlocksAndSoundsTheSame) {
    const int frames = 48 * rate;  // 9.2 MB of decoded stereo
    const std::string path = noise("long.wav", frames, 6, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    AlEffect* whole = effect(path, false);
    const uint64_t loadedBytes = device.getBufferBytes();
    AlEffect* streamed = effect(path, true);
    for (uint32_t at : {uint32_t(frames - 20000), 100000u, 100000u}) {
        const std::vector<float> expected = heard(whole, at, 48000);
        const std::vector<float> got = heard(streamed, at, 48000);
        EXPECT_LT(largestDifference(expected, got), 1e-6) << "started at " << at;
    }
    streamed->setPlayPosition(0);
    streamed->play();
    render(2 * rate);
    // The queued blocks (four of 8192 stereo frames) and nothing more.
    EXPECT_LE(device.getBufferBytes() - loadedBytes, 5u * 8192 * 2 * 2);
}

// A file rewritten on disk while a stream of it plays (a content reload):
// a stream opened afterwards hears the new content, never the old blocks;
// the old stream keeps its own.
TEST_F(SharedStreamTest, AFileChangedWhileStreamedIsReadAfresh) {
    const int frames = 30000;
    const struct {
        const char* name;
        int format;
    } files[] = {{"f.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS}, {"f.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16}};
    for (const auto& [name, format] : files) {
        const std::string path = noise(name, frames, 1, format);
        AlEffect* old = effect(path, true);
        old->play();
        render(frames);  // every block of the old content decoded
        old->stop();
        noise(name, frames, 2, format);  // same length and format, other samples
        const std::vector<float> expected = heard(effect(path, false), 0, frames);
        const std::vector<float> got = heard(effect(path, true), 0, frames);
        EXPECT_LT(largestDifference(expected, got), 1e-6) << path;
    }
}

// A file whose frames are broken part-way: every source on it ends, with one
// warning for all of them; a source of another file plays on.
TEST_F(SharedStreamTest, AFileBrokenPartWayEndsEverySourceOnItWithOneMessage) {
    const int frames = 40000;
    const std::string good = noise("good.ogg", frames, 3);
    const std::string flac = noise("whole.flac", frames, 4, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    std::string bytes = testsupport::readWholeFile(tree.pathOf(flac));
    for (size_t k = bytes.size() / 2; k < bytes.size(); ++k) bytes[k] = static_cast<char>(k * 7919 % 251);
    tree.write("/Sounds/broken.flac", bytes);
    debug::Capture log;
    std::vector<AlEffect*> broken;
    for (int k = 0; k < 3; ++k) {
        broken.push_back(effect("/Sounds/broken.flac", true));
        broken.back()->setPlayPosition(uint32_t(k) * 3000);
        broken.back()->play();
    }
    AlEffect* other = effect(good, true);
    other->play();
    render(3 * frames);
    for (AlEffect* e : broken) EXPECT_FALSE(e->isPlaying());
    EXPECT_TRUE(other->isPlaying());
    EXPECT_GT(soundLevel(render(4096)), 0.1);
    size_t messages = 0;
    for (const debug::Record& r : log.records())
        if (r.text.find("the stream ends there") != std::string::npos) {
            ++messages;
            EXPECT_THAT(r.text, testing::HasSubstr("/Sounds/broken.flac"));
        }
    EXPECT_EQ(messages, 1u);
}

// Game threads start, move and stop streams of one file while the device
// mixes: every stream ends given back, and the file's blocks with the last.
TEST_F(SharedStreamTest, ManyThreadsStartAndStopStreamsOfOneFile) {
    const std::string path = noise("busy.ogg", 40000, 5);
    std::atomic<int> running{4};
    std::vector<std::thread> games;
    for (int t = 0; t < 4; ++t)
        games.emplace_back([&, t] {
            for (int k = 0; k < 25; ++k) {
                Sound3DEffect* e = device.createEffect();
                ResourceStream* stream = theResourceManager->openStream(path.c_str());
                e->createStreaming(stream, 4);
                e->setLooped(k % 2 == 0);
                e->setPlayPosition(uint32_t(t * 5000 + k * 300));
                e->play();
                if (k % 3 == 0) e->setPlayPosition(1000);
                e->isPlaying();
                e->stop();
                e->release();
                device.destroyEffect(e);
                theResourceManager->closeStream(stream);
            }
            --running;
        });
    while (running > 0) render(1024);
    for (std::thread& g : games) g.join();
    render(1024);
    EXPECT_EQ(device.getBufferBytes(), 0u);
    EXPECT_EQ(device.getVoicesInUse(), 0u);
}

// The live output's life off the happy path, over a sound server of the
// test's own: a server stopped (SIGSTOP: it still takes connections, it
// answers nothing) is reported lost within about a second while the game's
// calls go on, uninitialize and initialize end within their bound, and the
// sound comes back when the server goes on; a re-read keeps the server's
// stream and, under its hold, what is heard; a batch left open ends with the mixer; the periods handed over late
// are counted. Waits are on events (the device's sink, periods mixed, blocks
// recorded) with generous limits; timings are printed for the report.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/Resource.h"
#include "platform/debug/Capture.h"
#include "platform/device/AlDevice.h"
#include "tests/device/QuietStretches.h"
#include "tests/device/SoundFiles.h"
#include "tests/support/Loopback.h"
#include "tests/support/PulseServer.h"
#include "tests/support/ResourceTree.h"

namespace {

using aldevice::AlDevice;
using aldevice::Output;
using Clock = std::chrono::steady_clock;

constexpr uint32_t rate = 48000;
constexpr float heardLevel = 0.02f;
constexpr auto bound = std::chrono::seconds(3);  // "about a second", generously
const std::string lostText = "Sound device OpenAL default output: the output was disconnected (";

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The test server's process, for SIGSTOP and SIGCONT: its pid file lies in
// the runtime directory beside its socket.
int serverPid(const testsupport::PulseServer& server) {
    std::string dir = server.address().substr(std::string("unix:").size());
    dir = dir.substr(0, dir.rfind('/'));
    return std::atoi(testsupport::readWholeFile(dir + "/runtime/pid").c_str());
}

// The server's playback streams ("sink inputs") by index, as the server
// lists them.
std::vector<int> sinkInputs(const testsupport::PulseServer& server) {
    const std::string command = "pactl -s " + server.address() + " list short sink-inputs 2>/dev/null";
    std::vector<int> found;
    if (FILE* out = popen(command.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, out)) found.push_back(std::atoi(line));
        pclose(out);
    }
    return found;
}

// Waits until `done` holds or `limit` of wall time went by, looking after
// each period the device mixes (or every 100 ms when it mixes none).
bool waitFor(AlDevice& device, const std::function<bool()>& done, Clock::duration limit) {
    const auto until = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= until) return done();
        device.waitMixed(device.framesMixed() + 512, std::chrono::milliseconds(100));
    }
    return true;
}

size_t warningsOf(const debug::Capture& log) {
    size_t n = 0;
    for (const auto& r : log.onChannel("SoundDevice"))
        if (r.kind == debug::Kind::Warning) {
            ++n;
            EXPECT_THAT(r.text, testing::StartsWith(lostText));
        }
    return n;
}

class OutputLife : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ok()) << server.log();
        pid = serverPid(server);
        ASSERT_GT(pid, 0);
        for (const char* name : {"/Sounds/tone.wav", "/Sounds/blip.wav"}) tree.write(name, "");
        soundfiles::writeTone(tree.pathOf("/Sounds/tone.wav"), 1.0, 440.0, 48000, 1, soundfiles::Format::Wav);
        soundfiles::writeTone(tree.pathOf("/Sounds/blip.wav"), 0.2, 660.0, 48000, 1, soundfiles::Format::Wav);
    }
    void TearDown() override { resume(); }

    void stop() {
        kill(pid, SIGSTOP);
        stopped = true;
    }
    void resume() {
        if (stopped) kill(pid, SIGCONT);
        stopped = false;
    }

    testsupport::ResourceTree tree;
    testsupport::PulseServer server;
    int pid = -1;
    bool stopped = false;
};

}  // namespace

// A server stopped while a tone plays: one "disconnected" warning within
// about a second, the game's calls answer at once and the clock runs on;
// once the server goes on, the sound is heard again. Stopped once more,
// uninitialize ends within its bound although a write is under way.
TEST_F(OutputLife, AStoppedServerIsLostWithinASecondAndHeardAgainWhenItGoesOn) {
    debug::Capture log;
    AlDevice device{Output{Output::System, "", false}};
    device.initialize();
    ASSERT_EQ(device.currentSink(), "pulseaudio");
    Sound3DEffect* tone = testsupport::loadEffect(device, "/Sounds/tone.wav", true, true);
    tone->play();
    {
        testsupport::Monitor monitor(server);
        ASSERT_TRUE(monitor.waitHeard(heardLevel, 480, rate * 10));
    }

    stop();
    const auto stoppedAt = Clock::now();
    ASSERT_TRUE(waitFor(device, [&] { return device.currentSink() == "disconnected"; }, bound));
    std::printf("output life: SIGSTOP to the warning %.0f ms\n", msSince(stoppedAt));
    EXPECT_EQ(warningsOf(log), 1u);
    EXPECT_EQ(Sound3DDeviceManager::openOutput(), "disconnected");

    // The game goes on: every call answers, a one-shot ends on the clock.
    const auto calls = Clock::now();
    EXPECT_TRUE(tone->isPlaying());
    Sound3DEffect* blip = testsupport::loadEffect(device, "/Sounds/blip.wav", true);
    blip->play();
    EXPECT_THAT(testsupport::infoOf(device), testing::Contains("Output: default (disconnected, reconnecting)"));
    EXPECT_LT(Clock::now() - calls, bound);
    ASSERT_TRUE(device.waitMixed(device.framesMixed() + rate * 3 / 10, std::chrono::seconds(10)));
    EXPECT_FALSE(blip->isPlaying());
    device.destroyEffect(blip);

    resume();
    const auto resumedAt = Clock::now();
    ASSERT_TRUE(waitFor(device, [&] { return device.currentSink() == "pulseaudio"; }, std::chrono::seconds(10)));
    std::printf("output life: SIGCONT to the output back %.0f ms\n", msSince(resumedAt));
    {
        testsupport::Monitor monitor(server);
        EXPECT_TRUE(monitor.waitHeard(heardLevel, 480, rate * 10));
    }
    EXPECT_EQ(log.count("Sound device OpenAL default output: the output is back (pulseaudio); the mix is heard again"), 1u);

    // Stopped again just before the mixer goes: the write under way gives up
    // within its bound, and so does uninitialize.
    stop();
    const auto closing = Clock::now();
    device.destroyEffect(tone);
    device.uninitialize();
    std::printf("output life: uninitialize with the server stopped %.0f ms\n", msSince(closing));
    EXPECT_LT(Clock::now() - closing, bound);
    EXPECT_EQ(Sound3DDeviceManager::openOutput(), "");

    // The rest of a re-read: the devices listed again and the first one
    // initialised do not wait on the server again; the null output stands in.
    Sound3DDeviceManager::setOutput("default");
    {
        Sound3DDeviceManager manager;
        auto* next = dynamic_cast<AlDevice*>(manager.enumerateSoundDevices(1)->front());
        ASSERT_NE(next, nullptr);
        next->initialize();
        std::printf("output life: a re-read with the server stopped %.0f ms\n", msSince(closing));
        EXPECT_LT(Clock::now() - closing, bound + std::chrono::seconds(1));
        EXPECT_EQ(Sound3DDeviceManager::openOutput(), "null");
        next->uninitialize();
    }
    Sound3DDeviceManager::setOutput("");
}

// With the server stopped from the start: the listing and initialize end
// within their bound and answer "disconnected" (the server took the
// connection and never answered); uninitialize ends within its bound with a
// try to reconnect under way; once the server goes on, a new device plays.
TEST_F(OutputLife, AServerStoppedBeforeTheStartHoldsNothingUp) {
    debug::Capture log;
    stop();
    for (const bool listed : {false, true}) {
        SCOPED_TRACE(listed ? "through the listing" : "the system output itself");
        const auto start = Clock::now();
        std::unique_ptr<Sound3DDeviceManager> manager;
        AlDevice* device = nullptr;
        std::unique_ptr<AlDevice> own;
        if (listed) {
            // Listed for "default" the null output stands in and looks on.
            manager = std::make_unique<Sound3DDeviceManager>();
            device = dynamic_cast<AlDevice*>(manager->enumerateSoundDevices(1)->front());
            ASSERT_NE(device, nullptr);
            EXPECT_EQ(device->getName(), "null");
        } else {
            own = std::make_unique<AlDevice>(Output{Output::System, "", false});
            device = own.get();
        }
        device->initialize();
        std::printf("output life: %s with the server stopped %.0f ms\n", listed ? "listing and initialize" : "initialize",
                    msSince(start));
        EXPECT_LT(Clock::now() - start, bound);
        EXPECT_EQ(Sound3DDeviceManager::openOutput(), listed ? "null" : "disconnected");
        // A second and more: the next try to reconnect is under way or near.
        ASSERT_TRUE(device->waitMixed(device->framesMixed() + rate * 12 / 10, std::chrono::seconds(10)));
        const auto closing = Clock::now();
        device->uninitialize();
        EXPECT_LT(Clock::now() - closing, bound);
        std::printf("output life: uninitialize while reconnecting %.0f ms\n", msSince(closing));
    }
    EXPECT_EQ(warningsOf(log), 1u);  // the system output, lost from its start

    resume();
    AlDevice device{Output{Output::System, "", false}};
    device.initialize();
    Sound3DEffect* tone = testsupport::loadEffect(device, "/Sounds/tone.wav", true, true);
    tone->play();
    ASSERT_TRUE(waitFor(device, [&] { return device.currentSink() == "pulseaudio"; }, std::chrono::seconds(10)));
    testsupport::Monitor monitor(server);
    EXPECT_TRUE(monitor.waitHeard(heardLevel, 480, rate * 10));
    device.destroyEffect(tone);
    device.uninitialize();
}

// A re-read remakes the mixer, not the connection: the manager of devices
// made again (as the request manager does) plays on the very stream the
// start opened, and the listing's probe opened no stream of its own.
TEST_F(OutputLife, AReReadKeepsTheServersStream) {
    Sound3DDeviceManager::setOutput("default");
    std::vector<int> first;
    for (int life = 0; life < 2; ++life) {
        Sound3DDeviceManager manager;
        auto* device = dynamic_cast<AlDevice*>(manager.enumerateSoundDevices(1)->front());
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->getName(), "OpenAL default output");
        device->initialize();
        ASSERT_EQ(device->currentSink(), "pulseaudio");
        const std::vector<int> streams = sinkInputs(server);
        ASSERT_EQ(streams.size(), 1u) << "life " << life;
        if (life == 0) first = streams;
        EXPECT_EQ(streams, first) << "life " << life;
        device->uninitialize();
    }
    Sound3DDeviceManager::setOutput("");
}

// A re-read as the sound manager makes it, while a looped tone plays: the
// hold begun, the tone stopped and given back, the device uninitialised and
// its manager deleted; the monitor hears 150 ms of the re-read's work; a new
// manager's device initialised, the tone loaded and played again, the hold
// released. The tone is heard throughout: no quiet stretch longer than one
// period that the devices did not count as a period handed over late, one
// stream on the server, and afterwards the tone alone at its former level
// (the one that played on through the re-read is silenced). Then a hold
// that no device takes over: its end parks the stream for the next device.
TEST_F(OutputLife, AReReadUnderTheHoldIsHeardWithoutAGap) {
    std::vector<std::shared_ptr<SoundDevice>> lives;  // the devices outlive their managers here
    Sound3DDeviceManager::setDeviceProvider([&] {
        Sound3DDeviceManager::DeviceList listed = Sound3DDeviceManager::listOwnDevices();
        lives.push_back(listed.front());
        return listed;
    });
    auto manager = std::make_unique<Sound3DDeviceManager>();
    auto life = [&] { return dynamic_cast<AlDevice*>(manager->enumerateSoundDevices(1)->front()); };
    AlDevice* device = life();
    ASSERT_NE(device, nullptr);
    device->initialize();
    ASSERT_EQ(device->currentSink(), "pulseaudio");
    const std::vector<int> streams = sinkInputs(server);
    Sound3DEffect* tone = testsupport::loadEffect(*device, "/Sounds/tone.wav", true, true);
    tone->play();
    testsupport::Monitor monitor(server, 240);
    ASSERT_TRUE(monitor.waitHeard(heardLevel, 240, rate * 10));
    std::vector<float> block;
    ASSERT_TRUE(monitor.read(block, 4800));  // past the onset
    const float before = float(testsupport::rmsOf(block));

    // The monitor is read on a thread of its own, 5 ms a block.
    std::mutex mutex;
    std::condition_variable heard;
    uint64_t blocks = 0;
    bool done = false;
    testsupport::QuietStretches quiet(rate, 512);
    std::vector<float> levels;
    std::thread recorder([&] {
        std::vector<float> part;
        for (;;) {
            {
                std::lock_guard<std::mutex> guard(mutex);
                if (done) return;
            }
            if (!monitor.read(part, 240)) return;
            std::lock_guard<std::mutex> guard(mutex);
            quiet.add(part);
            levels.push_back(float(testsupport::rmsOf(part)));
            ++blocks;
            heard.notify_all();
        }
    });
    auto hear = [&](uint64_t more) {
        std::unique_lock<std::mutex> guard(mutex);
        const uint64_t until = blocks + more;
        return heard.wait_for(guard, std::chrono::seconds(10), [&] { return blocks >= until; });
    };

    Sound3DDeviceManager::holdOutput();
    tone->stop();
    tone->release();
    device->destroyEffect(tone);
    device->uninitialize();
    EXPECT_EQ(Sound3DDeviceManager::openOutput(), "");
    manager = std::make_unique<Sound3DDeviceManager>();
    EXPECT_TRUE(hear(30));
    device = life();
    device->initialize();
    EXPECT_EQ(device->currentSink(), "pulseaudio");
    tone = testsupport::loadEffect(*device, "/Sounds/tone.wav", true, true);
    tone->play();
    EXPECT_TRUE(hear(10));
    Sound3DDeviceManager::releaseOutput();
    EXPECT_TRUE(device->waitMixed(rate / 2, std::chrono::seconds(10)));
    EXPECT_TRUE(hear(20));
    {
        std::lock_guard<std::mutex> guard(mutex);
        done = true;
    }
    recorder.join();
    quiet.end();
    uint64_t late = 0;
    for (auto& each : lives) late += dynamic_cast<AlDevice*>(each.get())->latePeriods();
    std::printf("output life: a re-read under the hold, longest quiet stretch %.1f ms, %llu periods late\n",
                quiet.longest * 1000.0 / rate, static_cast<unsigned long long>(late));
    EXPECT_LE(quiet.longer, late) << "quiet at" << quiet.where;
    EXPECT_EQ(sinkInputs(server), streams);
    ASSERT_GE(levels.size(), 10u);
    const float after = *std::max_element(levels.end() - 10, levels.end());
    EXPECT_NEAR(after, before, before * 0.12f) << "a tone of the former mixer plays on";

    // A hold nobody takes over: at its end the stream waits in the park.
    Sound3DDeviceManager::holdOutput();
    tone->stop();
    device->uninitialize();
    Sound3DDeviceManager::releaseOutput();
    device->destroyEffect(tone);
    manager = std::make_unique<Sound3DDeviceManager>();
    device = life();
    device->initialize();
    EXPECT_EQ(sinkInputs(server), streams);
    device->uninitialize();
    manager.reset();
    Sound3DDeviceManager::setDeviceProvider(nullptr);
}

// The server stopped for well over its buffer's length and then going on
// finds the stream dry: the device counts periods handed over late, shows
// them in its statistics, keeps it after uninitialize and starts it again
// at initialize.
TEST_F(OutputLife, PeriodsHandedOverLateAreCounted) {
    AlDevice device{Output{Output::System, "", false}};
    device.initialize();
    Sound3DEffect* tone = testsupport::loadEffect(device, "/Sounds/tone.wav", true, true);
    tone->play();
    {
        testsupport::Monitor monitor(server);
        ASSERT_TRUE(monitor.waitHeard(heardLevel, 480, rate * 10));
    }
    const uint64_t before = device.latePeriods();
    stop();
    // Stopped for well past the 85 ms buffer (the stimulus, not a verdict):
    // going on, the server finds the stream dry.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // far below the 1 s that loses it
    resume();
    ASSERT_TRUE(waitFor(device, [&] { return device.latePeriods() > before; }, std::chrono::seconds(10)));
    EXPECT_THAT(testsupport::infoOf(device),
                testing::Contains(testing::MatchesRegex("Late periods: [1-9][0-9]* \\(the output ran dry before the mix came\\)")));
    device.destroyEffect(tone);
    device.uninitialize();
    const uint64_t lastLife = device.latePeriods();
    EXPECT_GT(lastLife, before);  // kept for a look after uninitialize
    // The next life starts at 0; without a server it has no output to run dry.
    server.kill();
    device.initialize();
    EXPECT_EQ(device.latePeriods(), 0u);
    device.uninitialize();
}

// A start-together batch left open does not outlive the mixer: after the
// next initialize an effect played starts at once (no batch holds it), and
// an endBatch without its begin changes nothing.
TEST(OutputLifeBatch, ABatchLeftOpenEndsAtUninitialize) {
    testsupport::ResourceTree tree;
    tree.write("/Sounds/tone.wav", "");
    soundfiles::writeTone(tree.pathOf("/Sounds/tone.wav"), 1.0, 440.0, 48000, 1, soundfiles::Format::Wav);
    AlDevice device{Output{Output::Loopback, "", false}};
    device.initialize();
    Sound3DEffect* waiting = testsupport::loadEffect(device, "/Sounds/tone.wav", true, true);
    std::vector<float> mix(4800 * 2);
    device.beginBatch();
    waiting->play();
    device.render(mix.data(), 4800);
    EXPECT_EQ(device.getVoicesInUse(), 0u);  // held by the open batch
    device.destroyEffect(waiting);           // as a re-read unloads every effect
    device.uninitialize();
    device.initialize();
    for (const bool strayEnd : {false, true}) {
        SCOPED_TRACE(strayEnd ? "after a stray endBatch" : "first");
        if (strayEnd) device.endBatch();
        Sound3DEffect* later = testsupport::loadEffect(device, "/Sounds/tone.wav", true, true);
        later->play();
        EXPECT_EQ(device.getVoicesInUse(), 1u);
        device.render(mix.data(), 4800);
        EXPECT_GT(testsupport::rmsOf(mix), heardLevel);
        device.destroyEffect(later);
    }
    device.uninitialize();
}

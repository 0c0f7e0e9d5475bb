// The music insonificator over the recording device: what the game's calls
// queue, what the worker logs and what the device sees (the fades' volume
// steps, the levels, stops), the settings, the save block and destruction.
// The test waits for the worker with waitUntilServed / waitUntilFadeSteps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <map>
#include <memory>
#include <thread>

#include "interfaces/Config.h"
#include "interfaces/ThreadClock.h"
#include "sound/music/MusicInsonificator.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ResourceTree.h"
#include "tests/support/TestLibrary.h"

using debug::Kind;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testsupport::logged;

// Queues commands the game's calls never produce.
class MusicInsonificatorTestAccess {
public:
    static void queue(MusicInsonificator& music, const std::string& command, const std::string& argument) {
        music.messages.addMessage(command, argument);
        music.wakeWorker();
    }
};

namespace {

const char* const effectsFile =
    "device = 'device.cfg';\n"
    "theme = 'theme.ogg', 1.0, 1.0, disk, false, disable, 0;\n"
    "second = 'second.ogg', 0.5, 1.0, disk, false, disable, 0;\n"
    "lost = 'lost.ogg', 1.0, 1.0, disk, false, disable, 0;\n";

struct MusicTest : testing::Test {
    testsupport::TestLibrary library{effectsFile};
    debug::Capture log;

    void SetUp() override {
        for (const char* f : {"device.cfg", "theme.ogg", "second.ogg"}) library.sound(f);
        settings("fadeStepNumber = 4;\n");
        library.activate();
        log.clear();
    }

    void settings(const std::string& text) { library.tree.write("/Configs/Sounds/MusicSettings.cfg", text); }

    // The device calls on music effects since the last mark(), as
    // "file call(args)" lines: play, stop and setVolume.
    size_t marked = 0;
    void mark() { marked = library.device->calls().size(); }
    std::vector<std::string> trace() {
        std::map<std::string, std::string> fileOf;
        std::vector<std::string> lines;
        const std::vector<testsupport::Call> calls = library.device->calls();
        for (size_t k = 0; k < calls.size(); ++k) {
            const testsupport::Call& call = calls[k];
            if (call.name == "createStreaming" || call.name == "createStatic") {
                std::string path = call.args.at(0);
                fileOf[call.object] = path.substr(path.rfind('/') + 1);
            } else if (k < marked) {
                continue;
            } else if (call.name == "play" || call.name == "stop" || call.name == "setVolume") {
                std::string line = fileOf[call.object] + " " + call.name;
                if (!call.args.empty()) line += "(" + call.args[0] + ")";
                lines.push_back(line);
            }
        }
        return lines;
    }

    // A start or a stop of the music, once the worker has served it.
    static void startServed(MusicInsonificator& music, const char* name) {
        music.start(name);
        music.waitUntilServed();
    }
    static void stopServed(MusicInsonificator& music) {
        music.stop();
        music.waitUntilServed();
    }

    // The worker's command log without its "no command" lines.
    std::vector<std::string> commands() {
        std::vector<std::string> texts;
        for (const debug::Record& r : log.onChannel("MusicInsonificator"))
            if (r.text != "no command") texts.push_back(r.text);
        return texts;
    }
};

}  // namespace

TEST_F(MusicTest, CommandsWaitingTogetherAreServedInOneRunAndOnlyTheLastFades) {
    MusicInsonificator music;
    music.suspend();  // the worker wakes but waits at its gate
    music.start("theme");
    music.stop();
    music.start("second");
    music.resume();
    music.waitUntilServed();
    EXPECT_THAT(commands(), ElementsAre("play theme", "stop all", "play second"));
    // theme: no intermediate fader value in or out (stopped at full
    // volume); second (configured volume 0.5): four steps.
    EXPECT_THAT(trace(), ElementsAre("theme.ogg setVolume(1)", "theme.ogg setVolume(0)", "theme.ogg play",
                                     "theme.ogg setVolume(1)", "theme.ogg stop", "second.ogg setVolume(1)",
                                     "second.ogg setVolume(0.5)", "second.ogg setVolume(0)", "second.ogg play",
                                     "second.ogg setVolume(0.125)", "second.ogg setVolume(0.25)",
                                     "second.ogg setVolume(0.375)", "second.ogg setVolume(0.5)"));
    EXPECT_EQ(library.manager->getEffectCount(), 1u);
    stopServed(music);
    EXPECT_EQ(library.manager->getEffectCount(), 0u);
}

TEST_F(MusicTest, QuietAndLoudReachThePlayingMusicAndTheNextOne) {
    MusicInsonificator music;
    startServed(music, "theme");
    EXPECT_THAT(trace(), ElementsAre("theme.ogg setVolume(1)", "theme.ogg setVolume(0)", "theme.ogg play",
                                     "theme.ogg setVolume(0.25)", "theme.ogg setVolume(0.5)",
                                     "theme.ogg setVolume(0.75)", "theme.ogg setVolume(1)"));
    mark();
    music.quiet();
    music.waitUntilServed();
    EXPECT_THAT(trace(), ElementsAre("theme.ogg setVolume(0.5)"));  // at once, not faded
    mark();
    music.stop();
    music.waitUntilServed();  // the full fade-out: nothing else was waiting
    startServed(music, "second");
    EXPECT_THAT(trace(), ElementsAre("theme.ogg setVolume(0.375)", "theme.ogg setVolume(0.25)",
                                     "theme.ogg setVolume(0.125)", "theme.ogg stop", "theme.ogg setVolume(0.5)",
                                     "second.ogg setVolume(1)", "second.ogg setVolume(0.5)",
                                     "second.ogg setVolume(0.25)", "second.ogg setVolume(0)", "second.ogg play",
                                     "second.ogg setVolume(0.0625)", "second.ogg setVolume(0.125)",
                                     "second.ogg setVolume(0.1875)", "second.ogg setVolume(0.25)"));
    mark();
    music.loud();
    music.loud();
    music.waitUntilServed();
    EXPECT_THAT(trace(), ElementsAre("second.ogg setVolume(0.5)"));
    stopServed(music);
}

TEST_F(MusicTest, CallsTheStartedFlagRefusesChangeNothing) {
    MusicInsonificator music;
    music.start("");  // started, nothing queued: the worker only wakes
    music.waitUntilServed();
    music.start("theme");  // ignored while started: the worker is not even woken
    EXPECT_THAT(log.onChannel("MusicInsonificator"),
                ElementsAre(logged("MusicInsonificator", Kind::Message, 0.5f, "no command")));
    music.stop();  // nothing plays: the worker has nothing to stop
    music.stop();  // ignored
    music.start("theme");
    music.start("second");  // ignored
    music.waitUntilServed();
    EXPECT_THAT(commands(), ElementsAre("stop all", "play theme"));
    EXPECT_EQ(library.devicesOf("second.ogg").size(), 0u);
    stopServed(music);
    EXPECT_TRUE(library.devicesOf("theme.ogg").empty());
}

TEST_F(MusicTest, APlayOfThePlayingMusicLeavesItAndUnknownCommandsAreSkipped) {
    MusicInsonificator music;
    startServed(music, "theme");
    mark();
    MusicInsonificatorTestAccess::queue(music, "play", "theme");
    MusicInsonificatorTestAccess::queue(music, "Play", "theme");
    music.waitUntilServed();
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(library.devicesOf("theme.ogg").size(), 1u);
    EXPECT_TRUE(log.contains("SoundManager", Kind::Warning, "Skip to process unrecognized command: Play for music: theme"));
    // Another name replaces it at once, without a fade-out.
    mark();
    MusicInsonificatorTestAccess::queue(music, "play", "second");
    music.waitUntilServed();
    std::vector<std::string> lines = trace();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "theme.ogg stop");
    EXPECT_EQ(lines.back(), "second.ogg setVolume(0.5)");
    EXPECT_TRUE(library.devicesOf("theme.ogg").empty());
    stopServed(music);
}

TEST_F(MusicTest, AnUnknownOrMissingMusicPlaysNothingAndTheWorkerGoesOn) {
    MusicInsonificator music;
    for (const char* name : {"nosuch", "lost"}) {
        music.start(name);
        music.stop();
    }
    startServed(music, "theme");
    EXPECT_THAT(commands(), ElementsAre("play nosuch", "stop all", "play lost", "stop all", "play theme"));
    EXPECT_EQ(library.device->count("play"), 1u);
    EXPECT_EQ(library.devicesOf("theme.ogg").size(), 1u);
    EXPECT_FALSE(log.onChannel("RequestManager").empty());  // the request layer said why
    stopServed(music);
}

TEST_F(MusicTest, SettingsShapeTheFadesAndBadOnesLeaveTheCurrentValues) {
    const struct {
        const char* text;  // null: no file
        size_t fadeInSteps;
        bool pauseWarning;
    } cases[] = {
        {"fadeStepNumber = 3;\nsleepMilliseconds = 20;\n", 2, false},
        {"fadeStepNumber = 0;\n", 0, true},  // read as 1
        {"fadeStepNumber = -5;\nlouder = 0.25;\n", 0, true},
        // The default 1000 steps: single-precision sums of 0.001 stay short
        // of 1.0 after 999 steps, so one more value is set.
        {"fadeStepNumber = 3;\nthis is not a settings file\n", 1000, true},
        {nullptr, 1000, true},
        {"sleepMilliseconds = 19;\n", 1000, true},
    };
    for (const auto& c : cases) {
        if (c.text) settings(c.text);
        else library.tree.remove("/Configs/Sounds/MusicSettings.cfg");
        log.clear();
        mark();
        {
            MusicInsonificator music;
            EXPECT_EQ(log.count("sleepMilliseconds < 20 defaulting to zero"), c.pauseWarning ? 1u : 0u) << c.text;
            startServed(music, "theme");
            // setVolume 1 (louder), 0 (fader), play, the steps, then 1.
            const std::vector<std::string> lines = trace();
            const size_t played = std::find(lines.begin(), lines.end(), "theme.ogg play") - lines.begin();
            ASSERT_LT(played, lines.size()) << c.text;
            EXPECT_EQ(lines.size() - played - 2, c.fadeInSteps) << c.text;
            stopServed(music);
        }
    }
}

TEST_F(MusicTest, ReReadingTheSettingsChangesLaterFadesAndTheQuietLevel) {
    MusicInsonificator music;
    settings("fadeStepNumber = 2;\nlouder = 0.25;\n");
    music.reReadConfig();
    startServed(music, "theme");
    music.quiet();
    music.waitUntilServed();
    EXPECT_THAT(trace(), ElementsAre("theme.ogg setVolume(1)", "theme.ogg setVolume(0)", "theme.ogg play",
                                     "theme.ogg setVolume(0.5)", "theme.ogg setVolume(1)",
                                     "theme.ogg setVolume(0.25)"));
    mark();
    stopServed(music);
    EXPECT_THAT(trace(), ElementsAre("theme.ogg setVolume(0.125)", "theme.ogg stop", "theme.ogg setVolume(0.25)"));
}

TEST_F(MusicTest, TheMusicIdTravelsThroughASavedGame) {
    testsupport::TemporaryDirectory dir;
    {
        MusicInsonificator music;
        configmanager::Block game;
        const std::string id = "second";
        game.setProperty("bgmID", &id);
        music.load(&game);
        configmanager::ConfigManager save;
        music.save(&save);
        ASSERT_TRUE(save.writePlainFile(dir.file("save.cfg")));
        EXPECT_EQ(log.onChannel("MusicInsonificator").size(), 0u);  // load does not start the music
    }
    MusicInsonificator music;
    configmanager::ConfigManager loaded;
    ASSERT_TRUE(loaded.readPlainFile(dir.file("save.cfg")));
    music.load(&loaded);
    configmanager::Block withoutId;
    music.load(&withoutId);  // keeps "second"
    music.load(nullptr);
    music.start();
    music.waitUntilServed();
    EXPECT_THAT(commands(), ElementsAre("play second"));
    EXPECT_EQ(library.devicesOf("second.ogg").size(), 1u);
    EXPECT_TRUE(log.contains("SoundManager", Kind::Error, "Skip load: no block"));
    stopServed(music);
}

TEST_F(MusicTest, ShutdownServesEveryQueuedCommandAndFinishesTheFadesUnderWay) {
    // The second music faded in with all its steps, then stopped when the
    // music still playing is destroyed.
    const std::vector<std::string> second{
        "second.ogg setVolume(1)",     "second.ogg setVolume(0.5)",  "second.ogg setVolume(0)",
        "second.ogg play",             "second.ogg setVolume(0.125)", "second.ogg setVolume(0.25)",
        "second.ogg setVolume(0.375)", "second.ogg setVolume(0.5)",  "second.ogg stop"};
    // A stop and a start given just before the delete: the worker held at
    // its gate with the wake-up in hand, or still asleep when the stop
    // signal comes. Both are served, the start with its whole fade.
    for (bool heldAtGate : {true, false}) {
        SCOPED_TRACE(heldAtGate ? "worker held at its gate" : "worker asleep");
        log.clear();
        {
            MusicInsonificator music;
            startServed(music, "theme");
            mark();
            if (heldAtGate) music.suspend();
            music.stop();
            music.start("second");
        }
        EXPECT_THAT(commands(), ElementsAre("play theme", "stop all", "play second"));
        std::vector<std::string> served = trace();
        // Held, the two commands wait together: the stop has no fade. Asleep,
        // the worker may take the stop before the start is queued and fade
        // the first music out.
        ASSERT_GE(served.size(), second.size() + 1);
        const std::vector<std::string> first(served.begin(),
                                             served.end() - static_cast<std::ptrdiff_t>(second.size()));
        if (heldAtGate) {
            EXPECT_THAT(first, ElementsAre("theme.ogg stop"));
        } else {
            EXPECT_THAT(first, testing::Contains("theme.ogg stop"));
        }
        served.erase(served.begin(), served.begin() + static_cast<std::ptrdiff_t>(first.size()));
        EXPECT_EQ(served, second);
        EXPECT_EQ(log.count("Not all the messages was destroyed: size = 2"), 0u);
        EXPECT_TRUE(log.contains("SoundManager", Kind::Warning, "Not all the musics was destroyed: size = 1"));
        EXPECT_TRUE(library.devicesOf("second.ogg").empty());
    }

    // A fade under way when the delete comes runs to its end, pauses included.
    settings("fadeStepNumber = 4;\nsleepMilliseconds = 20;\n");
    mark();
    {
        MusicInsonificator music;
        music.start("theme");
        music.waitUntilFadeSteps(1);
    }
    EXPECT_THAT(trace(), ElementsAre("theme.ogg setVolume(1)", "theme.ogg setVolume(0)", "theme.ogg play",
                                     "theme.ogg setVolume(0.25)", "theme.ogg setVolume(0.5)", "theme.ogg setVolume(0.75)",
                                     "theme.ogg setVolume(1)", "theme.ogg stop"));
    EXPECT_TRUE(library.devicesOf("theme.ogg").empty());
}

TEST_F(MusicTest, GameThreadsCallingAtOnceLoseNothingAndLeaveOneConsistentState) {
    settings("fadeStepNumber = 50;\n");
    {
        MusicInsonificator music;
        std::vector<std::thread> game;
        constexpr int threads = 4, calls = 150;
        for (int t = 0; t < threads; ++t)
            game.emplace_back([this, &music, t] {
                for (int k = 0; k < calls; ++k) switch ((k * 7 + t * 3) % 5) {
                        case 0: music.start(t % 2 ? "theme" : "second"); break;
                        case 1: music.stop(); break;
                        case 2: music.quiet(); break;
                        case 3: music.loud(); break;
                        default: library.registry->setVolume(3, k % 2 ? 0.8f : 1.0f); break;  // the group, meanwhile
                    }
            });
        for (auto& t : game) t.join();
        music.waitUntilServed();
        EXPECT_LE(library.manager->getEffectCount(), 1u);
        // One stop ends whatever plays: the started flag agrees with the worker.
        stopServed(music);
        EXPECT_EQ(library.manager->getEffectCount(), 0u);

        // Every call came through whole and in order: plays and stops alternate.
        size_t quiet = 0, loud = 0;
        bool playing = false, alternating = true;
        for (const std::string& c : commands()) {
            if (c == "quiet all") ++quiet;
            else if (c == "loud all") ++loud;
            else if (c == "stop all") alternating = alternating && playing, playing = false;
            else if (c == "play theme" || c == "play second") alternating = alternating && !playing, playing = true;
            else ADD_FAILURE() << c;
        }
        EXPECT_TRUE(alternating);
        EXPECT_EQ(quiet, size_t(threads * calls / 5));
        EXPECT_EQ(loud, size_t(threads * calls / 5));
    }
    EXPECT_EQ(log.count("Not all the musics was destroyed: size = 1"), 0u);
    EXPECT_THAT(log.onChannel("SoundManager"), ElementsAre(logged("SoundManager", Kind::Warning, 0.1f,
                                                                   "sleepMilliseconds < 20 defaulting to zero")));
}

namespace {

// A thread clock that lets every sleep end at once and notes what it hears.
class NotingClock : public osthread::ThreadClock {
public:
    void sleep(unsigned long milliseconds) override {
        std::lock_guard<std::mutex> guard(mutex);
        sleeps.push_back(milliseconds);
    }
    void workGiven(unsigned int, unsigned long long work) override {
        std::lock_guard<std::mutex> guard(mutex);
        given.push_back(work);
    }
    void idle(unsigned long long workDone) override {
        std::lock_guard<std::mutex> guard(mutex);
        done.push_back(workDone);
        changed.notify_all();
    }
    void waitForIdles(int count) {
        std::unique_lock<std::mutex> guard(mutex);
        changed.wait(guard, [&] { return done.size() >= static_cast<size_t>(count); });
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<unsigned long> sleeps;
    std::vector<unsigned long long> given, done;
};

}  // namespace

TEST_F(MusicTest, AnInstalledThreadClockTimesTheFadeStepsAndHearsWorkGivenAndDone) {
    settings("fadeStepNumber = 4;\nsleepMilliseconds = 25;\n");
    NotingClock clock;
    osthread::setThreadClock(&clock);
    {
        MusicInsonificator music;
        music.start("theme");
        clock.waitForIdles(1);
        {
            std::lock_guard<std::mutex> guard(clock.mutex);
            // One sleep after each of the three intermediate steps, of the
            // configured pause.
            EXPECT_THAT(clock.sleeps, ElementsAre(25ul, 25ul, 25ul));
            EXPECT_THAT(clock.given, ElementsAre(1ull));
            EXPECT_THAT(clock.done, ElementsAre(1ull));
        }
        music.stop();
        clock.waitForIdles(2);
        std::lock_guard<std::mutex> guard(clock.mutex);
        EXPECT_EQ(clock.sleeps.size(), 6u);
        EXPECT_THAT(clock.given, ElementsAre(1ull, 2ull));
        EXPECT_THAT(clock.done, ElementsAre(1ull, 2ull));
    }
    osthread::setThreadClock(nullptr);
    EXPECT_THAT(trace(), testing::Contains("theme.ogg stop"));
}

// The content watch over a temporary content tree and the hand-pumped
// loopback mixer: files saved while sounds play are heard at the next
// rendered frames, broken saves keep the last good content, editors' files
// are ignored. The watch's clock is the test's own and every wait is on the
// watch having seen a file (a sentinel written after the change: the system
// reports changes in order). Where the order of events is the point, a
// scripted file watch reports what the test says, as the system would.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/FileWatch.h"
#include "interfaces/Resource.h"
#include "sandbox/host/SoundStack.h"
#include "sound/effects/ShellEffect.h"
#include "sound/effects/ListenerSettings.h"
#include "sound/land/LandInsonificator.h"
#include "sound/manager/ContentWatch.h"
#include "sound/manager/Singletons.h"
#include "sound/music/MusicInsonificator.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Loopback.h"
#include "tests/support/NoThreads.h"
#include "tests/support/ResourceTree.h"

namespace {

using namespace std::chrono_literals;
using testsupport::writeSine;

constexpr int rate = 48000;
const std::string effectsPath = "/Configs/Sounds/Effects.snd";

std::string effects(const std::string& toneLine) {
    return "device = 'device.cfg';\n" + toneLine + "\nother = 'other.wav', 1.0, 1.0, memory, false, disable, 0;\n";
}

std::string tone(float volume, const std::string& storage = "memory") {
    return "tone = 'tone.wav', " + std::to_string(volume) + ", 1.0, " + storage + ", true, disable, 0;";
}

using filewatch::ChangeKind;

// A file watch that reports the changes the test scripts, one at a time.
class ScriptedWatch : public filewatch::FileWatch {
public:
    explicit ScriptedWatch(bool quietCompletes) : quietCompletes(quietCompletes) {}
    filewatch::AddResult addDirectory(const std::string&) override { return filewatch::AddResult::Watched; }
    filewatch::Changes wait() override {
        std::unique_lock<std::mutex> guard(mutex);
        wake.wait(guard, [&] { return stopped || !queue.empty(); });
        filewatch::Changes changes;
        if (queue.empty()) {
            changes.stopped = true;
        } else {
            changes.files.push_back(queue.front());
            queue.pop_front();
        }
        return changes;
    }
    void stop() override {
        std::lock_guard<std::mutex> guard(mutex);
        stopped = true;
        wake.notify_all();
    }
    bool completesOnQuiet() const override { return quietCompletes; }
    void report(const std::string& path, ChangeKind kind) {
        std::lock_guard<std::mutex> guard(mutex);
        queue.push_back({path, kind});
        wake.notify_all();
    }

private:
    const bool quietCompletes;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<filewatch::Change> queue;
    bool stopped = false;
};

// Log lines of the content watch that start with `prefix` (of one kind only,
// when given).
size_t linesStartingWith(const debug::Capture& log, const std::string& prefix,
                         std::optional<debug::Kind> kind = std::nullopt) {
    size_t n = 0;
    for (const auto& r : log.onChannel("SoundManager"))
        n += (!kind || r.kind == *kind) && r.text.compare(0, prefix.size(), prefix) == 0;
    return n;
}

// Log lines of the content watch that name `part` anywhere.
size_t linesNaming(const debug::Capture& log, const std::string& part) {
    size_t n = 0;
    for (const auto& r : log.onChannel("SoundManager")) n += r.text.find(part) != std::string::npos;
    return n;
}

class ContentWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeContent();
        loopback = std::make_unique<testsupport::Loopback>(block);
        stack = std::make_unique<sandbox::SoundStack>();
    }
    void TearDown() override {
        endRun();
        stack.reset();
        ListenerSettings::reset();
    }
    // The content every test starts from: the tone at full level, both
    // samples, the device and listener settings.
    void writeContent() {
        tree.write(effectsPath, effects(tone(1.0f)));
        tree.write("/Sounds/device.cfg", "frequency = 48000;\n");
        tree.write("/Configs/Sounds/Listener.cfg", "processTimeLimit = 5.0;\n");
        writeSine(tree.pathOf("/Sounds/tone.wav"), rate, 440.0, 0.5f, rate * 3);
        writeSine(tree.pathOf("/Sounds/other.wav"), rate, 440.0, 0.5f, rate);
    }
    // Ends one run of a looped test: the watch stops, the effect goes.
    void endRun() {
        watch.reset();
        if (effect) stack->manager.destroyEffect(effect);
        effect = nullptr;
    }

    void startWatch(std::unique_ptr<filewatch::FileWatch> fileWatch = nullptr) {
        ContentWatch::Options options;
        options.quiet = 200ms;
        options.clock = [this] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(now.load())); };
        options.watch = std::move(fileWatch);
        watch = std::make_unique<ContentWatch>(std::move(options));
    }
    // The scripted watch instead of the system's; it lives as long as `watch`.
    ScriptedWatch* startScripted(bool quietCompletes = false) {
        auto scripted = std::make_unique<ScriptedWatch>(quietCompletes);
        ScriptedWatch* raw = scripted.get();
        startWatch(std::move(scripted));
        return raw;
    }
    // The scripted watch reports a change of a content file; returns when
    // the content watch has taken it in.
    void report(ScriptedWatch* scripted, const std::string& resource, ChangeKind kind) {
        scripted->report(tree.pathOf(resource), kind);
        ASSERT_TRUE(watch->waitForChange(tree.pathOf(resource), 20s));
    }
    ShellEffect* play(const std::string& name) {
        effect = dynamic_cast<ShellEffect*>(stack->manager.createEffect(name));
        effect->play();
        loopback->skip(4);
        return effect;
    }
    // Waits until the watch has seen every change made so far: a sentinel
    // moved into the tree comes as one event, after all of them.
    void sync() {
        const std::string sentinel = "/sync-" + std::to_string(++syncs);
        const std::string outside = scratch.file("sync");
        { std::ofstream(outside).put('\n'); }
        std::filesystem::rename(outside, tree.pathOf(sentinel));
        ASSERT_TRUE(watch->waitForChange(tree.pathOf(sentinel), 20s));
    }
    // The quiet period passes; the game's next frame applies the changes.
    bool quietFrame() {
        now += 250;
        return watch->update();
    }
    // Every change made so far is seen, then applied after its quiet period.
    bool applied() {
        sync();
        return quietFrame();
    }

    static constexpr uint32_t block = 1024;
    testsupport::ResourceTree tree;
    testsupport::TemporaryDirectory scratch;
    std::unique_ptr<testsupport::Loopback> loopback;
    std::unique_ptr<sandbox::SoundStack> stack;
    std::unique_ptr<ContentWatch> watch;
    ShellEffect* effect = nullptr;
    std::atomic<long long> now{1000000};
    int syncs = 0;
};

TEST_F(ContentWatchTest, ALevelChangedInEffectsIsHeardAtTheNextFramesAfterTheQuietPeriod) {
    for (const std::string storage : {"memory", "disk"}) {
        SCOPED_TRACE(storage);
        startWatch();
        tree.write(effectsPath, effects(tone(1.0f, storage)));  // the storage changes through the watch too
        sync();
        quietFrame();
        play("tone");
        const double before = loopback->rms(4);
        ASSERT_GT(before, 0.05);

        debug::Capture log;
        tree.write(effectsPath, effects(tone(0.25f, storage)));
        sync();
        EXPECT_FALSE(watch->update());  // not quiet for long enough yet
        EXPECT_NEAR(loopback->rms(2) / before, 1.0, 0.05);
        EXPECT_TRUE(quietFrame());
        loopback->skip(1);
        EXPECT_NEAR(loopback->rms(4) / before, 0.25, 0.03);
        EXPECT_TRUE(effect->isPlaying());
        EXPECT_FLOAT_EQ(effect->getVolume("ShellManager"), 0.25f);
        EXPECT_EQ(log.count("Content changed: Configs/Sounds/Effects.snd; reloaded: effect records"), 1u);
        endRun();
    }
}

TEST_F(ContentWatchTest, AReplacedSampleIsHeardAndAPositionPastItsEndStartsOver) {
    for (const std::string storage : {"memory", "disk"}) {
        SCOPED_TRACE(storage);
        startWatch();
        tree.write(effectsPath, effects("tone = 'tone.wav', 1.0, 1.0, " + storage + ", false, disable, 0;"));
        writeSine(tree.pathOf("/Sounds/tone.wav"), rate, 440.0, 0.5f, rate * 3);
        sync();
        quietFrame();
        play("tone");
        loopback->skip(70);  // about 1.5 s in
        const double before = loopback->rms(4);

        // Shorter than where it is, and quieter.
        writeSine(tree.pathOf("/Sounds/tone.wav"), rate, 440.0, 0.1f, rate / 2);
        EXPECT_TRUE(applied());
        EXPECT_TRUE(effect->isPlaying());
        loopback->skip(1);
        EXPECT_NEAR(loopback->rms(4) / before, 0.2, 0.03);
        loopback->skip(30);  // past the new sound's half second
        EXPECT_FALSE(effect->isPlaying());
        endRun();
    }
}

TEST_F(ContentWatchTest, ABrokenSaveKeepsTheLastGoodContentUntilACleanSave) {
    startWatch();
    play("tone");
    const double before = loopback->rms(4);
    struct Case {
        const char* what;
        std::function<void()> breakIt;
        std::vector<std::string> logged;  // errors, each at the start of a logged line
        std::string file;
    };
    const std::string snd = "Configs/Sounds/Effects.snd";
    const Case cases[] = {
        {"syntax errors", [&] { tree.write(effectsPath, effects(tone(0.25f)) + "broken = 'x.wav', ;\nok = 'other.wav';\nnot ok\n"); },
         {snd + ":4: YYERROR: parse error at line 4", snd + ":6: YYERROR: parse error at line 6"}, snd},
        {"sound file missing", [&] { tree.write(effectsPath, effects(tone(0.25f)) + "gone = 'gone.wav', 1.0, 1.0, memory, false, disable, 0;\n"); },
         {snd + ":4: Sounds/gone.wav: not found"}, snd},
        {"broken sample", [&] { tree.write("/Sounds/tone.wav", "RIFF and nothing a decoder could read"); }, {"Sounds/tone.wav: "}, "Sounds/tone.wav"},
        {"deleted sample", [&] { tree.remove("/Sounds/tone.wav"); }, {"Sounds/tone.wav: not found"}, "Sounds/tone.wav"},
        {"removed directory", [&] { tree.remove("/Sounds"); },
         {"Sounds/other.wav: not found", "Sounds/tone.wav: not found"}, "Sounds/device.cfg, Sounds/other.wav, Sounds/tone.wav"},
        {"unreadable settings", [&] { tree.write("/Configs/Sounds/Listener.cfg", "processTimeLimit = ;\n"); },
         {"Configs/Sounds/Listener.cfg:1: "}, "Configs/Sounds/Listener.cfg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        debug::Capture log;
        c.breakIt();
        EXPECT_TRUE(applied());
        for (const std::string& expected : c.logged)
            EXPECT_GE(linesStartingWith(log, expected, debug::Kind::Error), 1u) << expected;
        const size_t n = c.logged.size();
        EXPECT_EQ(log.count("Content not reloaded: " + std::to_string(n) + (n == 1 ? " error in " : " errors in ") + c.file +
                            "; the last good content plays on"),
                  1u);
        EXPECT_TRUE(watch->hasHeld());
        EXPECT_TRUE(effect->isPlaying());
        EXPECT_NEAR(loopback->rms(4) / before, 1.0, 0.05);  // the old level and sound play on
        // The clean save applies what was held with it.
        writeContent();
        EXPECT_TRUE(applied());
        EXPECT_FALSE(watch->hasHeld());
        EXPECT_EQ(log.count("Content not reloaded"), 0u);
        loopback->skip(1);
        EXPECT_NEAR(loopback->rms(4) / before, 1.0, 0.05);
    }
}

TEST_F(ContentWatchTest, ABurstOfSavesGivesOneReload) {
    startWatch();
    play("tone");
    const double before = loopback->rms(4);
    debug::Capture log;
    for (int k = 0; k < 1000; ++k) {
        // Half-written saves among them: the quiet period waits for the last.
        const std::string text = effects(tone(k == 999 ? 0.5f : 0.1f + 0.0005f * static_cast<float>(k)));
        tree.write(effectsPath, k % 2 ? text.substr(0, text.size() / 2) : text);
        if (k % 100 == 0) now += 10;  // not quiet in between
    }
    tree.remove(effectsPath);  // deleted and written again, as editors save
    tree.write(effectsPath, effects(tone(0.5f)));
    EXPECT_TRUE(applied());
    EXPECT_FALSE(quietFrame());
    EXPECT_EQ(watch->getReloadCount(), 1u);
    EXPECT_EQ(watch->getRefusedCount(), 0u);
    loopback->skip(1);
    EXPECT_NEAR(loopback->rms(4) / before, 0.5, 0.04);
}

TEST_F(ContentWatchTest, ChangesWhilePausedAreHeardOnResume) {
    startWatch();
    tree.write(effectsPath, effects(tone(1.0f, "disk")));
    EXPECT_TRUE(applied());
    play("tone");
    const double before = loopback->rms(4);
    stack->manager.deactivateAllEffects();  // the game's pause
    writeSine(tree.pathOf("/Sounds/tone.wav"), rate, 440.0, 0.25f, rate * 3);
    tree.write("/Configs/Sounds/Listener.cfg", "processTimeLimit = 2.5;\n");
    EXPECT_TRUE(applied());
    EXPECT_FLOAT_EQ(ListenerSettings::getProcessTimeLimit(), 2.5f);
    EXPECT_FALSE(effect->getIsActive());  // the pause holds
    EXPECT_EQ(stack->requests.getHandedOutCount(), 0u);
    stack->manager.activateAllEffects();
    EXPECT_TRUE(effect->isPlaying());
    loopback->skip(1);
    EXPECT_NEAR(loopback->rms(4) / before, 0.5, 0.04);
}

TEST_F(ContentWatchTest, SwitchedOffWithChangesPendingSaysWhatWasNotApplied) {
    startWatch();
    debug::Capture log;
    tree.write(effectsPath, effects(tone(0.5f)));
    sync();
    watch.reset();
    EXPECT_EQ(log.count("Content watch stopped: changes not applied: Configs/Sounds/Effects.snd"), 1u);
}

TEST_F(ContentWatchTest, AWatchWhoseThreadTheSystemRefusesSaysSoAndTheGameGoesOn) {
    debug::Capture log;
    {
        testsupport::NoThreads refused;
        startWatch();
    }
    EXPECT_EQ(linesStartingWith(log, "Content watch: failed to create thread: "), 1u);
    tree.write(effectsPath, effects(tone(0.25f)));
    now += 1000;
    EXPECT_FALSE(watch->update());  // nothing gathers: the content in use plays on
    play("tone");
    EXPECT_FLOAT_EQ(effect->getVolume("ShellManager"), 1.0f);
    watch.reset();  // nothing to join
}

TEST_F(ContentWatchTest, ArchivesAndTheWatchLimitAreReportedOnce) {
    testsupport::TemporaryDirectory zipDir;
    tree.packZip(zipDir.file("content.zip"));
    theResourceManager->mount(zipDir.file("content.zip"), "/packed");
    debug::Capture log;
    startWatch(filewatch::createFileWatch(2));  // the root and one directory below it
    sync();  // the watch thread has reported what it could not watch
    EXPECT_EQ(log.count("Content watch: archives are not watched: " + zipDir.file("content.zip")), 1u);
    EXPECT_EQ(linesNaming(log, "limit of watched directories is reached"), 1u);
    watch.reset();
    theResourceManager->unmount(zipDir.file("content.zip"));
}

// What vim does on every save, over the system's watch: a swap file beside
// the file while it is open, a probe file ("4913") created and removed to
// learn whether the directory can be written, the new text written and
// moved into place, a backup left behind. The same beside a map open in
// another window. Only the saved file is applied, once; the editor's files
// are never mentioned and hold back no later save.
TEST_F(ContentWatchTest, AVimLikeSaveAppliesTheSaveOnceAndNothingElse) {
    startWatch();
    play("tone");
    const double before = loopback->rms(4);
    tree.write("/Maps/valley.cfg", "Sounds = { };\n");
    sync();
    quietFrame();
    debug::Capture log;
    tree.write("/Maps/.valley.cfg.swp", "b0VIM 9.0");  // a map open in another window
    auto vimSave = [&](const std::string& text) {
        tree.write("/Configs/Sounds/.Effects.snd.swp", "b0VIM 9.0");
        tree.write("/Configs/Sounds/4913", "");
        tree.remove("/Configs/Sounds/4913");
        tree.write("/Maps/4913", "");
        tree.remove("/Maps/4913");
        tree.write(effectsPath + "~", testsupport::readWholeFile(tree.pathOf(effectsPath)));
        tree.write("/Configs/Sounds/.Effects.snd.tmp", text);
        std::filesystem::rename(tree.pathOf("/Configs/Sounds/.Effects.snd.tmp"), tree.pathOf(effectsPath));
        sync();
    };
    for (const float volume : {0.25f, 0.5f}) {
        SCOPED_TRACE(volume);
        log.clear();
        vimSave(effects(tone(volume)));
        EXPECT_TRUE(quietFrame());
        EXPECT_FALSE(quietFrame());  // nothing else
        EXPECT_EQ(log.count("Content changed: Configs/Sounds/Effects.snd; reloaded: effect records"), 1u);
        EXPECT_EQ(linesStartingWith(log, "Content"), 1u);
        for (const char* name : {"swp", "4913", "~", ".tmp"}) EXPECT_EQ(linesNaming(log, name), 0u) << name;
        EXPECT_FALSE(watch->hasHeld());
        EXPECT_FLOAT_EQ(effect->getVolume("ShellManager"), volume);
        loopback->skip(1);
        EXPECT_NEAR(loopback->rms(4) / before, volume, 0.03);
    }
    EXPECT_EQ(watch->getReloadCount(), 3u);
    EXPECT_EQ(watch->getRefusedCount(), 0u);
}

// A file in error is held until it is fixed or removed (or the sound it
// named comes); meanwhile a clean save of another file is applied on its
// own. A removed settings file reads as empty (its defaults), a removed map
// is ignored.
TEST_F(ContentWatchTest, AFileInErrorIsReleasedWhenFixedOrRemovedAndHoldsBackNoOther) {
    const std::string listener = "/Configs/Sounds/Listener.cfg";
    const std::string map = "/Maps/valley.cfg";
    struct Case {
        const char* what;
        std::string file, bad;
        std::function<std::string()> release;  // fixes or removes it; the file the watch reports
        ChangeKind releasedAs;
        std::string applied;  // the log line of the release
        std::function<void()> check;
    };
    const Case cases[] = {
        {"Effects.snd fixed", effectsPath, effects(tone(0.25f)) + "broken = ;\n",
         [&] {
             tree.write(effectsPath, effects(tone(0.5f)));
             return effectsPath;
         },
         ChangeKind::Written, "Content changed: Configs/Sounds/Effects.snd; reloaded: effect records",
         [&] { EXPECT_FLOAT_EQ(effect->getVolume("ShellManager"), 0.5f); }},
        {"Effects.snd naming a sound that comes later", effectsPath,
         effects(tone(0.5f)) + "gone = 'gone.wav', 1.0, 1.0, memory, false, disable, 0;\n",
         [&] {
             writeSine(tree.pathOf("/Sounds/gone.wav"), rate, 440.0, 0.5f, rate);
             return std::string("/Sounds/gone.wav");
         },
         ChangeKind::MovedIn, "Content changed: Configs/Sounds/Effects.snd, Sounds/gone.wav; reloaded: effect records",
         [&] { EXPECT_FLOAT_EQ(effect->getVolume("ShellManager"), 0.5f); }},
        {"settings removed", listener, "processTimeLimit = ;\n",
         [&] {
             tree.remove(listener);
             return listener;
         },
         ChangeKind::Removed, "Content changed: Configs/Sounds/Listener.cfg; reloaded: listener settings (defaults)",
         [&] { EXPECT_FLOAT_EQ(ListenerSettings::getProcessTimeLimit(), 5.0f); }},
        {"map removed", map, "Sounds = {\n",
         [&] {
             tree.remove(map);
             return map;
         },
         ChangeKind::Removed,
         "Content changed: Maps/valley.cfg; reloaded: maps removed, nothing to apply: Maps/valley.cfg", [] {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedWatch* scripted = startScripted();
        ListenerSettings::set(1.0f, 1.0f, 1.0f, 1.0f, 2.5f);
        play("tone");
        debug::Capture log;
        tree.write(c.file, c.bad);
        report(scripted, c.file, ChangeKind::Written);
        EXPECT_TRUE(quietFrame());
        EXPECT_EQ(linesStartingWith(log, "Content not reloaded: "), 1u);
        EXPECT_TRUE(watch->hasHeld());

        // Another file's clean save: applied alone, the file in error not tried.
        const bool effectsInError = c.file == effectsPath;
        const std::string other = effectsInError ? listener : effectsPath;
        tree.write(other, effectsInError ? "processTimeLimit = 3.0;\n" : effects(tone(0.75f)));
        report(scripted, other, ChangeKind::Written);
        EXPECT_TRUE(quietFrame());
        EXPECT_EQ(log.count(effectsInError ? "Content changed: Configs/Sounds/Listener.cfg; reloaded: listener settings"
                                           : "Content changed: Configs/Sounds/Effects.snd; reloaded: effect records"),
                  1u);
        EXPECT_EQ(linesStartingWith(log, "Content not reloaded: "), 1u);
        EXPECT_TRUE(watch->hasHeld());

        report(scripted, c.release(), c.releasedAs);
        EXPECT_TRUE(quietFrame());
        EXPECT_EQ(log.count(c.applied), 1u);
        EXPECT_FALSE(watch->hasHeld());
        c.check();
        EXPECT_EQ(watch->getReloadCount(), 2u);
        EXPECT_EQ(watch->getRefusedCount(), 1u);

        endRun();
        tree.write(effectsPath, effects(tone(1.0f)));
        tree.write(listener, "processTimeLimit = 5.0;\n");
        if (std::filesystem::exists(tree.pathOf("/Sounds/gone.wav"))) tree.remove("/Sounds/gone.wav");
    }
}

// A removed settings file means its built-in values, as a missing one does
// at start-up, even where the file's reader starts from the values in use:
// what a save changed is in force until the file goes, then the defaults
// are, and the message says so.
TEST_F(ContentWatchTest, ARemovedSettingsFileBringsBackItsBuiltInValues) {
    MusicInsonificator music;
    LandInsonificator land;
    theMusicInsonificator = &music;
    theLandInsonificator = &land;
    startWatch();
    music.start("tone");
    music.waitUntilServed();
    loopback->skip(4);
    const double loud = loopback->rms(4);
    ASSERT_GT(loud, 0.05);
    // The music's level while quiet, as a share of its full level.
    auto quietShare = [&] {
        music.quiet();
        music.waitUntilServed();
        loopback->skip(1);
        const double share = loopback->rms(4) / loud;
        music.loud();
        music.waitUntilServed();
        return share;
    };
    // Whether the landscape emulates 3D: switching it off again is refused.
    auto emulated = [&] {
        debug::Capture log;
        land.emulate3dsound(false);
        const bool was = log.count("skip to emulate 3dsound: isEmulated3d == flag == 0") == 0;
        if (was) land.emulate3dsound(true);  // as it was
        return was;
    };
    struct Case {
        const char* what;
        std::string file, text;
        std::string reloaded;  // what the message names
        std::function<void()> saved, removed;
    };
    const Case cases[] = {
        {"listener", "/Configs/Sounds/Listener.cfg", "processTimeLimit = 2.5;\nrolloff = 3.0;\n", "listener settings",
         [] {
             EXPECT_FLOAT_EQ(ListenerSettings::getProcessTimeLimit(), 2.5f);
             EXPECT_FLOAT_EQ(ListenerSettings::getRolloff(), 3.0f);
         },
         [] {
             EXPECT_FLOAT_EQ(ListenerSettings::getProcessTimeLimit(), 5.0f);
             EXPECT_FLOAT_EQ(ListenerSettings::getRolloff(), 1.0f);
         }},
        {"music", "/Configs/Sounds/MusicSettings.cfg", "louder = 0.25;\nsleepMilliseconds = 20;\n", "music settings",
         [&] { EXPECT_NEAR(quietShare(), 0.25, 0.03); }, [&] { EXPECT_NEAR(quietShare(), 0.5, 0.03); }},
        {"landscape", "/Configs/Sounds/AdaptSettings.cfg",
         "randomTimeStep = 4.0;\nalgorithm = 3;\nenableLandSound = false;\nisEmulated3d = true;\n", "landscape tuning",
         [&] {
             const LandInsonificator::Settings tuning = LandInsonificator::getSettings();
             EXPECT_FLOAT_EQ(tuning.randomTimeStep, 4.0f);
             EXPECT_FLOAT_EQ(tuning.algorithm, 3.0f);
             EXPECT_FALSE(tuning.enableLandSound);
             EXPECT_TRUE(emulated());
         },
         [&] {
             const LandInsonificator::Settings tuning = LandInsonificator::getSettings();
             EXPECT_FLOAT_EQ(tuning.randomTimeStep, 1.0f);
             EXPECT_FLOAT_EQ(tuning.algorithm, 0.0f);
             EXPECT_TRUE(tuning.enableLandSound);
             EXPECT_FALSE(emulated());
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string shown = c.file.substr(1);
        debug::Capture log;
        tree.write(c.file, c.text);
        EXPECT_TRUE(applied());
        EXPECT_EQ(log.count("Content changed: " + shown + "; reloaded: " + c.reloaded), 1u);
        c.saved();

        tree.remove(c.file);
        EXPECT_TRUE(applied());
        EXPECT_EQ(log.count("Content changed: " + shown + "; reloaded: " + c.reloaded + " (defaults)"), 1u);
        c.removed();
    }
    EXPECT_EQ(watch->getReloadCount(), 6u);
    EXPECT_EQ(watch->getRefusedCount(), 0u);

    music.stop();
    music.waitUntilServed();
    watch.reset();
    theMusicInsonificator = nullptr;
    theLandInsonificator = nullptr;
    LandInsonificator::resetSettings();
}

// A file changed every 100 ms in a watched folder never becomes quiet; a
// save of another file is applied after its own quiet period all the same.
TEST_F(ContentWatchTest, ABusyFileHoldsBackOnlyItself) {
    struct Case {
        const char* what;
        std::string file;
        ChangeKind kind;
    };
    const Case cases[] = {
        {"a log beside the settings", "/Configs/Sounds/session.log", ChangeKind::Written},
        {"a map saved over and over", "/Maps/valley.cfg", ChangeKind::Written},
        {"a sound still being written", "/Sounds/other.wav", ChangeKind::Modified},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedWatch* scripted = startScripted();
        play("tone");
        debug::Capture log;
        tree.write(effectsPath, effects(tone(0.25f)));
        report(scripted, effectsPath, ChangeKind::Written);
        int appliedAt = 0;
        for (int step = 1; step <= 10; ++step) {
            tree.write(c.file, "Sounds = { };\n");
            report(scripted, c.file, c.kind);
            now += 100;
            if (watch->update() && !appliedAt) appliedAt = step;
        }
        EXPECT_EQ(appliedAt, 2);  // 200 ms after the save: its own quiet period
        EXPECT_FLOAT_EQ(effect->getVolume("ShellManager"), 0.25f);
        EXPECT_EQ(log.count("Content changed: Configs/Sounds/Effects.snd; reloaded: effect records"), 1u);
        EXPECT_EQ(linesStartingWith(log, "Content"), 1u);  // the busy file not yet
        EXPECT_TRUE(watch->hasPending() == (c.file != "/Configs/Sounds/session.log"));

        endRun();
        tree.remove(c.file);
        tree.write(effectsPath, effects(tone(1.0f)));
    }
}

// A file is taken only once its writer is done: for a watch that sees
// writers close their files, a file last seen written is still being
// written however long it is quiet; for one that cannot, quiet is enough.
TEST_F(ContentWatchTest, AFileIsTakenOnlyWhenItsWatchSaysItIsWhole) {
    const std::string text = effects(tone(0.25f));
    struct Case {
        const char* what;
        bool quietCompletes;
        std::vector<std::pair<std::string, ChangeKind>> writes;  // text written, then what the watch says
        std::vector<bool> applied;                               // after each write and a long quiet
    };
    const Case cases[] = {
        {"written in two halves, then closed", false,
         {{text.substr(0, text.size() / 2), ChangeKind::Modified}, {text, ChangeKind::Written}}, {false, true}},
        {"written elsewhere and moved in", false, {{text, ChangeKind::MovedIn}}, {true}},
        {"written, with a watch that sees no closes", true, {{text, ChangeKind::Modified}}, {true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedWatch* scripted = startScripted(c.quietCompletes);
        play("tone");
        debug::Capture log;
        for (size_t k = 0; k < c.writes.size(); ++k) {
            tree.write(effectsPath, c.writes[k].first);
            report(scripted, effectsPath, c.writes[k].second);
            now += 10000;
            EXPECT_EQ(watch->update(), c.applied[k]) << k;
            EXPECT_FLOAT_EQ(effect->getVolume("ShellManager"), c.applied[k] ? 0.25f : 1.0f) << k;
        }
        EXPECT_EQ(watch->getReloadCount(), 1u);
        EXPECT_EQ(linesStartingWith(log, "Content not reloaded"), 0u);

        endRun();
        tree.write(effectsPath, effects(tone(1.0f)));
    }
}

// The same over the system's watch: a file still open after its first half
// is not applied, however long it is quiet. A system that cannot tell when
// the writer is done (completesOnQuiet) hands the half over once quiet: it
// is refused, the last good content plays on, and the whole file applies.
TEST_F(ContentWatchTest, AFileStillBeingWrittenIsAppliedOnlyWhole) {
    const bool quietCompletes = filewatch::createFileWatch()->completesOnQuiet();
    startWatch();
    play("tone");
    const double before = loopback->rms(4);
    debug::Capture log;
    const std::string text = effects(tone(0.25f));
    std::ofstream out(tree.pathOf(effectsPath), std::ios::binary | std::ios::trunc);
    out << text.substr(0, text.size() / 2) << std::flush;
    sync();
    now += 10000;
    EXPECT_EQ(watch->update(), quietCompletes);
    EXPECT_EQ(watch->hasPending(), !quietCompletes);
    EXPECT_EQ(watch->hasHeld(), quietCompletes);
    EXPECT_FLOAT_EQ(effect->getVolume("ShellManager"), 1.0f);
    out << text.substr(text.size() / 2);
    out.close();
    EXPECT_TRUE(applied());
    EXPECT_EQ(log.count("Content changed: Configs/Sounds/Effects.snd; reloaded: effect records"), 1u);
    EXPECT_EQ(linesStartingWith(log, "Content not reloaded"), quietCompletes ? 1u : 0u);
    EXPECT_EQ(linesStartingWith(log, "Content"), quietCompletes ? 2u : 1u);
    loopback->skip(1);
    EXPECT_NEAR(loopback->rms(4) / before, 0.25, 0.03);
}

// A host's resource manager over the library's own that replaces a file
// right after it is first read (its stream closed: Windows refuses to
// replace a file that is open): an editor saving again while the watch
// checks the last save.
class RacingResources : public ResourceManager {
public:
    RacingResources(ResourceManager* own, std::string path, std::function<void()> race)
        : own(own), path(std::move(path)), race(std::move(race)) {}
    ResourceStream* openStream(const char* p) override {
        ResourceStream* stream = own->openStream(p);
        if (race && !first && path == p) first = stream;
        return stream;
    }
    void closeStream(ResourceStream* stream) override {
        own->closeStream(stream);
        if (race && stream && stream == first) std::exchange(race, nullptr)();
    }
    int notFound(const char* p) override { return own->notFound(p); }
    void lock() override { own->lock(); }
    void unlock() override { own->unlock(); }
    bool mount(const std::string& d, const std::string& m) override { return own->mount(d, m); }
    bool unmount(const std::string& d) override { return own->unmount(d); }
    std::vector<std::pair<std::string, std::string>> getMounts() override { return own->getMounts(); }
    bool pin(const std::string& p, std::shared_ptr<const std::string> bytes) override { return own->pin(p, bytes); }
    void unpin(const std::string& p) override { own->unpin(p); }

private:
    ResourceManager* own;
    std::string path;
    std::function<void()> race;
    ResourceStream* first = nullptr;
};

// The bytes applied are the bytes checked: a sample replaced by a broken
// one between the check and the reload plays the checked sample; the broken
// one, seen next, is refused and the checked one plays on.
TEST_F(ContentWatchTest, TheBytesAppliedAreTheBytesChecked) {
    startWatch();
    play("tone");
    const double before = loopback->rms(4);
    RacingResources racing(theResourceManager, "/Sounds/tone.wav", [&] {
        tree.write("/Sounds/broken.tmp", "RIFF and nothing a decoder could read");
        std::filesystem::rename(tree.pathOf("/Sounds/broken.tmp"), tree.pathOf("/Sounds/tone.wav"));
    });
    struct Restore {
        ResourceManager* own;
        ~Restore() { theResourceManager = own; }
    } restore{theResourceManager};
    theResourceManager = &racing;
    debug::Capture log;
    writeSine(tree.pathOf("/Sounds/tone.wav"), rate, 440.0, 0.1f, rate * 3);
    EXPECT_TRUE(applied());
    EXPECT_EQ(log.count("Content changed: Sounds/tone.wav; reloaded: 1 effect loaded again"), 1u);
    EXPECT_EQ(linesNaming(log, "Failed to create"), 0u);
    EXPECT_TRUE(effect->isPlaying());
    loopback->skip(1);
    EXPECT_NEAR(loopback->rms(4) / before, 0.2, 0.03);

    sync();  // the broken file's own change
    EXPECT_TRUE(quietFrame());
    EXPECT_EQ(log.count("Content not reloaded: 1 error in Sounds/tone.wav; the last good content plays on"), 1u);
    EXPECT_TRUE(effect->isPlaying());
    EXPECT_NEAR(loopback->rms(4) / before, 0.2, 0.03);
}

}  // namespace

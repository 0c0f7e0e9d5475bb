// The content watch over a temporary content tree and the hand-pumped
// loopback mixer: files saved while sounds play are heard at the next
// rendered frames, broken saves keep the last good content. The watch's
// clock is the test's own and every wait is on the watch having seen a file
// (a sentinel written after the change: the system reports changes in order).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <functional>
#include <string>
#include <vector>

#include "interfaces/FileWatch.h"
#include "sandbox/host/SoundStack.h"
#include "sound/effects/ShellEffect.h"
#include "sound/effects/ListenerSettings.h"
#include "sound/manager/ContentWatch.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Loopback.h"
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

class ContentWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.write(effectsPath, effects(tone(1.0f)));
        tree.write("/Sounds/device.cfg", "frequency = 48000;\n");
        tree.write("/Configs/Sounds/Listener.cfg", "processTimeLimit = 5.0;\n");
        writeSine(tree.pathOf("/Sounds/tone.wav"), rate, 440.0, 0.5f, rate * 3);
        writeSine(tree.pathOf("/Sounds/other.wav"), rate, 440.0, 0.5f, rate);
        loopback = std::make_unique<testsupport::Loopback>(block);
        stack = std::make_unique<sandbox::SoundStack>();
    }
    void TearDown() override {
        watch.reset();
        if (effect) stack->manager.destroyEffect(effect);
        stack.reset();
        ListenerSettings::reset();
    }

    void startWatch(std::unique_ptr<filewatch::FileWatch> fileWatch = nullptr) {
        ContentWatch::Options options;
        options.quiet = 200ms;
        options.clock = [this] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(now.load())); };
        options.watch = std::move(fileWatch);
        watch = std::make_unique<ContentWatch>(std::move(options));
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
        stack->manager.destroyEffect(effect);
        effect = nullptr;
        watch.reset();
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
        sync();
        EXPECT_TRUE(quietFrame());
        EXPECT_TRUE(effect->isPlaying());
        loopback->skip(1);
        EXPECT_NEAR(loopback->rms(4) / before, 0.2, 0.03);
        loopback->skip(30);  // past the new sound's half second
        EXPECT_FALSE(effect->isPlaying());
        stack->manager.destroyEffect(effect);
        effect = nullptr;
        watch.reset();
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
        sync();
        EXPECT_TRUE(quietFrame());
        for (const std::string& expected : c.logged) {
            bool found = false;
            for (const auto& r : log.onChannel("SoundManager"))
                found = found || (r.kind == debug::Kind::Error && r.text.compare(0, expected.size(), expected) == 0);
            EXPECT_TRUE(found) << expected;
        }
        const size_t n = c.logged.size();
        EXPECT_EQ(log.count("Content not reloaded: " + std::to_string(n) + (n == 1 ? " error in " : " errors in ") + c.file +
                            "; the last good content plays on"),
                  1u);
        EXPECT_TRUE(watch->hasHeld());
        EXPECT_TRUE(effect->isPlaying());
        EXPECT_NEAR(loopback->rms(4) / before, 1.0, 0.05);  // the old level and sound play on
        // The clean save applies what was held with it.
        tree.write(effectsPath, effects(tone(1.0f)));
        tree.write("/Sounds/device.cfg", "frequency = 48000;\n");
        writeSine(tree.pathOf("/Sounds/tone.wav"), rate, 440.0, 0.5f, rate * 3);
        writeSine(tree.pathOf("/Sounds/other.wav"), rate, 440.0, 0.5f, rate);
        tree.write("/Configs/Sounds/Listener.cfg", "processTimeLimit = 5.0;\n");
        sync();
        EXPECT_TRUE(quietFrame());
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
    sync();
    EXPECT_TRUE(quietFrame());
    EXPECT_FALSE(quietFrame());
    EXPECT_EQ(watch->getReloadCount(), 1u);
    EXPECT_EQ(watch->getRefusedCount(), 0u);
    loopback->skip(1);
    EXPECT_NEAR(loopback->rms(4) / before, 0.5, 0.04);
}

TEST_F(ContentWatchTest, ChangesWhilePausedAreHeardOnResume) {
    startWatch();
    tree.write(effectsPath, effects(tone(1.0f, "disk")));
    sync();
    EXPECT_TRUE(quietFrame());
    play("tone");
    const double before = loopback->rms(4);
    stack->manager.deactivateAllEffects();  // the game's pause
    writeSine(tree.pathOf("/Sounds/tone.wav"), rate, 440.0, 0.25f, rate * 3);
    tree.write("/Configs/Sounds/Listener.cfg", "processTimeLimit = 2.5;\n");
    sync();
    EXPECT_TRUE(quietFrame());
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

TEST_F(ContentWatchTest, ArchivesAndTheWatchLimitAreReportedOnce) {
    testsupport::TemporaryDirectory zipDir;
    tree.packZip(zipDir.file("content.zip"));
    theResourceManager->mount(zipDir.file("content.zip"), "/packed");
    debug::Capture log;
    startWatch(filewatch::createFileWatch(2));  // the root and one directory below it
    sync();  // the watch thread has reported what it could not watch
    EXPECT_EQ(log.count("Content watch: archives are not watched: " + zipDir.file("content.zip")), 1u);
    size_t limit = 0;
    for (const auto& r : log.onChannel("SoundManager"))
        limit += r.text.find("limit of watched directories is reached") != std::string::npos;
    EXPECT_EQ(limit, 1u);
    watch.reset();
    theResourceManager->unmount(zipDir.file("content.zip"));
}

}  // namespace

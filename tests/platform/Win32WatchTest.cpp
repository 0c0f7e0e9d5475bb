// The file watch over ReadDirectoryChangesW, driven directly: what editors
// do when they save comes as the kinds the content watch relies on,
// directories made later are covered with their files, a stop from another
// thread ends a wait, too many changes at once are said and every file
// counted, paths come as the root was added then '/' and UTF-8, and the
// limits are reported once. Every gathering waits on a sentinel file moved
// into the tree after the changes (the system reports changes in order).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/FileWatch.h"
#include "tests/support/ResourceTree.h"

namespace {

namespace fs = std::filesystem;
using filewatch::ChangeKind;

const char* nameOf(ChangeKind kind) {
    switch (kind) {
        case ChangeKind::Written: return "Written";
        case ChangeKind::MovedIn: return "MovedIn";
        case ChangeKind::Modified: return "Modified";
        case ChangeKind::Removed: return "Removed";
    }
    return "?";
}

// What a watch said over several waits: each file once with the last thing
// seen of it, in the order first seen, and the notices.
struct Gathered {
    std::vector<filewatch::Change> files;
    std::vector<std::string> notices;
    bool twiceInOneWait = false;  // a Changes that named a file twice
    bool stopped = false;

    const filewatch::Change* find(const std::string& path) const {
        for (const auto& change : files)
            if (change.path == path) return &change;
        return nullptr;
    }
    size_t placeOf(const std::string& path) const {
        for (size_t k = 0; k < files.size(); ++k)
            if (files[k].path == path) return k;
        return files.size();
    }
    size_t noticesNaming(const std::string& part) const {
        return static_cast<size_t>(std::count_if(notices.begin(), notices.end(), [&](const std::string& notice) {
            return notice.find(part) != std::string::npos;
        }));
    }
    void take(const filewatch::Changes& changes) {
        std::vector<std::string> inThis;
        for (const auto& change : changes.files) {
            twiceInOneWait = twiceInOneWait || std::count(inThis.begin(), inThis.end(), change.path) != 0;
            inThis.push_back(change.path);
            const size_t at = placeOf(change.path);
            if (at == files.size()) files.push_back(change);
            else files[at].kind = change.kind;
        }
        notices.insert(notices.end(), changes.notices.begin(), changes.notices.end());
        stopped = stopped || changes.stopped;
    }
};

// Stops a watch that has not said what a test waits for within a long time,
// so that a fault fails the test instead of hanging it; the verdict is
// always what the watch said.
class Watchdog {
public:
    explicit Watchdog(filewatch::FileWatch& watch)
        : thread([this, &watch] {
              std::unique_lock<std::mutex> guard(mutex);
              if (!wake.wait_for(guard, std::chrono::seconds(60), [this] { return done; })) watch.stop();
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> guard(mutex);
            done = true;
        }
        wake.notify_all();
        thread.join();
    }

private:
    std::mutex mutex;
    std::condition_variable wake;
    bool done = false;
    std::thread thread;
};

class Win32WatchTest : public ::testing::Test {
protected:
    std::string pathOf(const std::string& name) const { return root.path() + "/" + name; }
    void write(const std::string& name, const std::string& text) const {
        fs::create_directories(fs::u8path(pathOf(name)).parent_path());
        std::ofstream(fs::u8path(pathOf(name)), std::ios::binary | std::ios::trunc) << text;
    }
    // A new file moved into the root from outside: reported after every
    // change made before it. Returns its path.
    std::string sentinel() {
        const std::string name = "sync-" + std::to_string(++syncs);
        std::ofstream(scratch.file(name)).put('\n');
        fs::rename(scratch.file(name), pathOf(name));
        return pathOf(name);
    }
    // What the watch says until it has reported `until` (or stopped).
    static Gathered gatherUntil(filewatch::FileWatch& watch, const std::string& until) {
        Gathered gathered;
        Watchdog watchdog(watch);
        while (!gathered.stopped && !gathered.find(until)) gathered.take(watch.wait());
        return gathered;
    }
    Gathered gatherAll(filewatch::FileWatch& watch) { return gatherUntil(watch, sentinel()); }

    testsupport::TemporaryDirectory root;
    testsupport::TemporaryDirectory scratch;  // outside the watched tree
    int syncs = 0;
};

TEST_F(Win32WatchTest, WhatEditorsDoComesAsTheLastThingSeenOfEachFile) {
    struct Expected {
        std::string name;
        ChangeKind kind;
    };
    struct Case {
        const char* what;
        std::function<void()> before, act;
        std::vector<Expected> expected;  // in the order first seen, when `ordered`
        bool ordered;
        std::vector<std::string> absent;  // never reported
    };
    const Case cases[] = {
        {"saved through a temporary file renamed over it", [&] { write("Effects.snd", "old"); },
         [&] {
             write(".Effects.snd.tmp", "new");
             fs::rename(pathOf(".Effects.snd.tmp"), pathOf("Effects.snd"));
         },
         {{".Effects.snd.tmp", ChangeKind::Removed}, {"Effects.snd", ChangeKind::MovedIn}}, true, {}},
        {"a backup copied beside it, then written in place", [&] { write("Effects.snd", "old"); },
         [&] {
             fs::copy_file(pathOf("Effects.snd"), pathOf("Effects.snd~"));
             write("Effects.snd", "new");
         },
         {{"Effects.snd~", ChangeKind::Modified}, {"Effects.snd", ChangeKind::Modified}}, true, {}},
        {"deleted", [&] { write("Effects.snd", "old"); }, [&] { fs::remove(pathOf("Effects.snd")); },
         {{"Effects.snd", ChangeKind::Removed}}, true, {}},
        {"deleted and written again", [&] { write("Effects.snd", "old"); },
         [&] {
             fs::remove(pathOf("Effects.snd"));
             write("Effects.snd", "new");
         },
         {{"Effects.snd", ChangeKind::Modified}}, true, {}},
        {"written in pieces", [] {},
         [&] {
             std::ofstream out(pathOf("Effects.snd"), std::ios::binary);
             out << "the first half" << std::flush;
             out << " and the rest";
         },
         {{"Effects.snd", ChangeKind::Modified}}, true, {}},
        {"a directory made later, with files", [] {},
         [&] {
             fs::create_directories(pathOf("Sounds/deep"));
             write("Sounds/tone.wav", "RIFF");
             write("Sounds/deep/other.wav", "RIFF");
         },
         {{"Sounds/tone.wav", ChangeKind::Modified}, {"Sounds/deep/other.wav", ChangeKind::Modified}}, false,
         {"Sounds", "Sounds/deep"}},
        {"a file written in a directory made before the watch", [&] { fs::create_directories(pathOf("Maps/old")); },
         [&] { write("Maps/old/valley.cfg", "Sounds = { };\n"); }, {{"Maps/old/valley.cfg", ChangeKind::Modified}},
         true, {"Maps", "Maps/old"}},
        {"a directory removed with its files",
         [&] {
             write("Sounds/tone.wav", "RIFF");
             write("Sounds/deep/other.wav", "RIFF");
         },
         [&] { fs::remove_all(pathOf("Sounds")); },
         {{"Sounds/tone.wav", ChangeKind::Removed}, {"Sounds/deep/other.wav", ChangeKind::Removed}}, false,
         {"Sounds", "Sounds/deep"}},
        // The system says "added" for a file whose old name was outside.
        {"moved in from outside the tree", [] {},
         [&] {
             std::ofstream(scratch.file("tone.wav")) << "RIFF";
             fs::rename(scratch.file("tone.wav"), pathOf("tone.wav"));
         },
         {{"tone.wav", ChangeKind::Modified}}, true, {}},
        // A one-letter name makes a record shorter than the record's struct.
        {"a directory moved in from outside, with its files", [] {},
         [&] {
             fs::create_directories(scratch.file("d/e"));
             std::ofstream(scratch.file("d/tone.wav")) << "RIFF";
             std::ofstream(scratch.file("d/e/x")) << "RIFF";
             fs::rename(scratch.file("d"), pathOf("d"));
         },
         {{"d/tone.wav", ChangeKind::Modified}, {"d/e/x", ChangeKind::Modified}}, true, {"d", "d/e"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.before();
        auto watch = filewatch::createFileWatch();
        ASSERT_EQ(watch->addDirectory(root.path()), filewatch::AddResult::Watched);
        EXPECT_TRUE(watch->completesOnQuiet());
        c.act();
        const Gathered gathered = gatherAll(*watch);
        ASSERT_FALSE(gathered.stopped);
        EXPECT_FALSE(gathered.twiceInOneWait);
        EXPECT_TRUE(gathered.notices.empty()) << gathered.notices.front();
        size_t last = 0;
        for (const Expected& e : c.expected) {
            const filewatch::Change* change = gathered.find(pathOf(e.name));
            ASSERT_NE(change, nullptr) << e.name;
            EXPECT_STREQ(nameOf(change->kind), nameOf(e.kind)) << e.name;
            if (c.ordered) {
                EXPECT_GE(gathered.placeOf(pathOf(e.name)), last) << e.name;
            }
            last = gathered.placeOf(pathOf(e.name));
        }
        for (const std::string& name : c.absent) EXPECT_EQ(gathered.find(pathOf(name)), nullptr) << name;
        watch.reset();
        for (const auto& entry : fs::directory_iterator(root.path())) fs::remove_all(entry.path());
    }
}

TEST_F(Win32WatchTest, AStopFromAnotherThreadEndsTheWaitNowAndLater) {
    auto watch = filewatch::createFileWatch();
    ASSERT_EQ(watch->addDirectory(root.path()), filewatch::AddResult::Watched);
    std::mutex mutex;
    std::condition_variable wake;
    bool waiting = false;
    filewatch::Changes first, later;
    std::thread waiter([&] {
        {
            std::lock_guard<std::mutex> guard(mutex);
            waiting = true;
        }
        wake.notify_all();
        first = watch->wait();  // nothing changes: only the stop ends it
        later = watch->wait();
    });
    {
        std::unique_lock<std::mutex> guard(mutex);
        wake.wait(guard, [&] { return waiting; });
    }
    watch->stop();
    waiter.join();
    EXPECT_TRUE(first.stopped);
    EXPECT_TRUE(first.files.empty());
    EXPECT_TRUE(later.stopped);
    // Changes after the stop are not waited for either.
    write("late.cfg", "x");
    EXPECT_TRUE(watch->wait().stopped);
}

// More records than a read holds: the watch says so and counts every file
// of the tree as changed, so none is missed.
TEST_F(Win32WatchTest, TooManyChangesAtOnceAreSaidAndEveryFileCounts) {
    auto watch = filewatch::createFileWatch();
    ASSERT_EQ(watch->addDirectory(root.path()), filewatch::AddResult::Watched);
    const int files = 3000;  // about 400 KB of records, far over a read's 64 KB
    const std::string name = "a-sound-file-with-a-rather-long-name-as-tools-make-them-";
    for (int k = 0; k < files; ++k) write(name + std::to_string(k) + ".wav", "RIFF");
    const Gathered gathered = gatherUntil(*watch, pathOf(name + std::to_string(files - 1) + ".wav"));
    ASSERT_FALSE(gathered.stopped);
    EXPECT_EQ(gathered.noticesNaming("too many changes at once below " + root.path()), 1u);
    for (int k = 0; k < files; ++k) {
        const filewatch::Change* change = gathered.find(pathOf(name + std::to_string(k) + ".wav"));
        ASSERT_NE(change, nullptr) << k;
        EXPECT_EQ(change->kind, ChangeKind::Modified) << k;
    }
}

// A reported path is the root as it was added, without its trailing
// separators, then '/' and the path below it; names are UTF-8 both ways.
TEST_F(Win32WatchTest, PathsComeAsTheRootWasAddedThenSlashesInUtf8) {
    std::string given = root.path() + "/Grüße";
    std::replace(given.begin(), given.end(), '/', '\\');
    fs::create_directories(fs::u8path(given));
    auto watch = filewatch::createFileWatch();
    EXPECT_EQ(watch->addDirectory(pathOf("missing")), filewatch::AddResult::NotDirectory);
    write("plain.cfg", "x");
    EXPECT_EQ(watch->addDirectory(pathOf("plain.cfg")), filewatch::AddResult::NotDirectory);
    ASSERT_EQ(watch->addDirectory(given + "\\\\"), filewatch::AddResult::Watched);
    fs::create_directories(fs::u8path(given + "\\Sounds"));
    { std::ofstream(fs::u8path(given + "\\Sounds\\Töne.wav")) << "RIFF"; }
    const Gathered gathered = gatherUntil(*watch, given + "/Sounds/Töne.wav");
    ASSERT_FALSE(gathered.stopped);
    EXPECT_EQ(gathered.find(given + "/Sounds/Töne.wav")->kind, ChangeKind::Modified);
    EXPECT_EQ(gathered.find(given + "/Sounds"), nullptr);
}

// A cap counts the root and every directory below it, as the inotify watch
// does: what lies in a directory over the cap is not reported. A thread
// waits on at most 64 handles, the stop among them: the 64th root is
// refused. Each limit is said once.
TEST_F(Win32WatchTest, TheCapAndTheSystemsLimitAreReportedOnce) {
    {
        fs::create_directories(pathOf("Sounds/deep"));
        auto watch = filewatch::createFileWatch(2);  // the root and "Sounds"
        ASSERT_EQ(watch->addDirectory(root.path()), filewatch::AddResult::Watched);
        write("Sounds/tone.wav", "RIFF");
        write("Sounds/deep/other.wav", "RIFF");
        write("Sounds/deep/more/third.wav", "RIFF");
        const Gathered gathered = gatherAll(*watch);
        ASSERT_FALSE(gathered.stopped);
        EXPECT_NE(gathered.find(pathOf("Sounds/tone.wav")), nullptr);
        EXPECT_EQ(gathered.find(pathOf("Sounds/deep/other.wav")), nullptr);
        EXPECT_EQ(gathered.find(pathOf("Sounds/deep/more/third.wav")), nullptr);
        EXPECT_EQ(gathered.noticesNaming("limit of watched directories is reached"), 1u);
        EXPECT_EQ(gathered.noticesNaming(pathOf("Sounds/deep") + " and the directories after it are not watched"), 1u);
    }
    auto watch = filewatch::createFileWatch();
    std::vector<std::unique_ptr<testsupport::TemporaryDirectory>> roots;
    for (int k = 0; k < 65; ++k) roots.push_back(std::make_unique<testsupport::TemporaryDirectory>());
    for (int k = 0; k < 63; ++k)
        EXPECT_EQ(watch->addDirectory(roots[k]->path()), filewatch::AddResult::Watched) << k;
    EXPECT_EQ(watch->addDirectory(roots[63]->path()), filewatch::AddResult::Failed);
    EXPECT_EQ(watch->addDirectory(roots[64]->path()), filewatch::AddResult::Failed);
    const filewatch::Changes changes = watch->wait();  // the notice is waiting: no wait
    ASSERT_EQ(changes.notices.size(), 1u);
    EXPECT_NE(changes.notices[0].find("limit of watched directories is reached"), std::string::npos);
    EXPECT_NE(changes.notices[0].find(roots[63]->path()), std::string::npos);
    // The last root watched still reports.
    { std::ofstream(roots[62]->file("tone.wav")) << "RIFF"; }
    const Gathered gathered = gatherUntil(*watch, roots[62]->file("tone.wav"));
    EXPECT_FALSE(gathered.stopped);
}

}  // namespace

// Nothing thrown inside the library reaches the game. Two failures of the
// language's own machinery are made on purpose: a thread that cannot be
// created (through the thread objects' creation hook, as the system refuses
// one when it can make no more), and one allocation that fails (this
// executable replaces the global operator new; the allocations of the
// arming thread are counted and the Nth fails). After each, the game's calls
// keep returning, the failure is logged, later calls work and shutdown lets
// go of everything.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "interfaces/Config.h"
#include "interfaces/DebugInput.h"
#include "interfaces/Engine.h"
#include "interfaces/GameLogic.h"
#include "sandbox/host/Host.h"
#include "sound/diagnostics/RequestInformator.h"
#include "sound/diagnostics/RequestInformatorWindow.h"
#include "sound/effects/Effect.h"
#include "sound/effects/ProcessHearer.h"
#include "sound/insonificators/ActInsonificator.h"
#include "sound/land/LandInsonificator.h"
#include "sound/manager/Globals.h"
#include "sound/manager/SoundManager.h"
#include "sound/music/MusicInsonificator.h"
#include "tests/support/LogCapture.h"
#include "tests/support/NoThreads.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/ResourceTree.h"

// ---- one failing allocation ----

namespace {
// Allocations still to go on this thread before the one that fails; 0 when
// nothing is armed. Other threads are never failed, so the count does not
// depend on how they are scheduled.
thread_local long allocationsLeft = 0;
thread_local bool allocationFailed = false;
}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
    if (allocationsLeft > 0 && --allocationsLeft == 0) {
        allocationFailed = true;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// Not inlined: the optimiser would otherwise see free() meet operator new.
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Fails the nth allocation made on this thread while it lives.
struct FailingAllocation {
    explicit FailingAllocation(long nth) {
        allocationsLeft = nth;
        allocationFailed = false;
    }
    ~FailingAllocation() { allocationsLeft = 0; }
    bool happened() const { return allocationFailed; }
};

using testsupport::NoThreads;
using testsupport::RecordingDevice;

const char* const effects =
    "device = 'device.cfg';\n"
    "shot = 'shot.wav', 1.0, 6.0, memory, false, normal, 0;\n"
    "surf = 'surf.ogg', 1.0, 2.0, disk, true, normal, 0;\n"
    "theme = 'theme.ogg', 1.0, 1.0, disk, false, disable, 0;\n";

struct NoThrowTest : testing::Test {
    testsupport::ResourceTree tree;
    std::shared_ptr<RecordingDevice> device = std::make_shared<RecordingDevice>();
    testsupport::DeviceProviderGuard provider{device};
    sandbox::Host host{8, 6};
    debug::Capture log;

    void SetUp() override {
        tree.write("/Configs/Sounds/Effects.snd", effects);
        for (const char* f : {"device.cfg", "shot.wav", "surf.ogg", "theme.ogg"})
            tree.write(std::string("/Sounds/") + f, std::string(64, 'x'));
        tree.write("/Configs/Sounds/MusicSettings.cfg", "fadeStepNumber = 2; sleepMilliseconds = 0;\n");
        // Surf on every coast cell.
        tree.write("/Configs/Sounds/DefaultSounds.cfg",
                   "surf = { regionType = \"coast\"; regionWidth = 1.0; regionHeight = 1.0; powerRadius = 2.0;\n"
                   "  threshold = 1.0; probability = 1.0; auto = true; soundName = \"surf\"; beginHour = 0.0;\n"
                   "  endHour = 0.0; };\n");
        LandInsonificator::resetSettings();
    }
    void TearDown() override { LandInsonificator::resetSettings(); }

    size_t playing(const std::string& file) {
        size_t n = 0;
        for (auto* e : device->liveEffects()) {
            auto s = e->snapshot();
            n += s.source == "/Sounds/" + file && s.playing;
        }
        return n;
    }
    bool logged(debug::Kind kind, const std::string& text) { return log.contains("SoundManager", kind, text); }
    // A shot played through the action group is heard.
    bool shotIsHeard() {
        Effect* shot = theActInsonificator ? theActInsonificator->createEffect("shot") : nullptr;
        if (!shot) return false;
        shot->play();
        return playing("shot.wav") >= 1;
    }
};

bool allPointersNull() {
    return !theRequestManager && !theShellManager && !theEffectManager && !theListenerManager &&
           !theInsonificatorManager && !theActInsonificator && !theLandInsonificator && !theMusicInsonificator &&
           !theProcessHearerManager && !theRandomizer && !theRequestInformator;
}

// Which thread is refused, and what the game then sees.
struct ThreadCase {
    const char* thread;
    bool refusedWhileBuilding;  // the manager itself is built without threads
    std::function<void(NoThrowTest&, SoundManager&)> run;
};

TEST_F(NoThrowTest, AThreadThatCannotBeCreatedIsLoggedAndTheGameCarriesOn) {
    const std::vector<ThreadCase> cases{
        {"the music worker", true,
         [](NoThrowTest& t, SoundManager& manager) {
             // The manager was built without threads: the music is refused
             // call by call, everything else plays.
             manager.activate();
             EXPECT_TRUE(t.logged(debug::Kind::Error,
                                  "failed to initiate: no thread for the music worker, music is refused"));
             manager.startMusic("theme");
             manager.quiet();
             manager.loud();
             manager.stopMusic();
             theMusicInsonificator->start();
             theMusicInsonificator->waitUntilServed();  // returns: nothing can be served
             theMusicInsonificator->waitUntilFadeSteps(5);
             for (const char* op : {"start", "quiet", "loud"})
                 EXPECT_TRUE(t.logged(debug::Kind::Warning, std::string("Skip ") + op + ": no music worker")) << op;
             EXPECT_EQ(t.log.count("Skip stop: no music worker"), 1u);
             EXPECT_EQ(t.playing("theme.ogg"), 0u);
             EXPECT_TRUE(t.shotIsHeard());
         }},
        {"the statistics window", false,
         [](NoThrowTest& t, SoundManager& manager) {
             manager.activate();
             ASSERT_TRUE(t.shotIsHeard());
             {
                 NoThreads refused;
                 debuginput::dispatch(27, 1);  // open the window
             }
             // The window has no thread to show it, but it is kept up to date
             // and goes away on its key.
             RequestInformatorWindow* window = theRequestInformator->getWindow();
             ASSERT_NE(window, nullptr);
             EXPECT_FALSE(window->getLines().empty());
             EXPECT_FALSE(window->isClosed());
             debuginput::dispatch(33, 1);  // toggle the refresh
             debuginput::dispatch(15, 1);  // close
             EXPECT_EQ(theRequestInformator->getWindow(), nullptr);
             debuginput::dispatch(27, 1);  // threads are back: a window opens again
             ASSERT_NE(theRequestInformator->getWindow(), nullptr);
             EXPECT_FALSE(theRequestInformator->getWindow()->getLines().empty());
         }},
    };
    for (const ThreadCase& c : cases) {
        SCOPED_TRACE(c.thread);
        log.clear();
        {
            std::optional<NoThreads> refused;
            if (c.refusedWhileBuilding) refused.emplace();
            auto manager = std::make_unique<SoundManager>();
            refused.reset();
            c.run(*this, *manager);
            manager->deactivate();
        }  // shutdown returns
        EXPECT_TRUE(logged(debug::Kind::Error,
                           "failed to create thread: no thread: Resource temporarily unavailable"));
        EXPECT_TRUE(allPointersNull());
        EXPECT_FALSE(device->isInitialized());
    }
}

// One exported call, what must be set up before it, and what at least one
// of its failures logs. A null call is the construction itself.
struct AllocationCase {
    const char* call;
    const char* logs;
    std::function<void(NoThrowTest&, SoundManager&)> before;
    std::function<void(NoThrowTest&, SoundManager&)> call_;
};

std::ostream& operator<<(std::ostream& out, const AllocationCase& c) { return out << c.call; }

configmanager::ConfigManager saveBlock;

void startedGame(NoThrowTest& t, SoundManager& m) {
    m.activate();
    m.prepareGame(&t.host.view, &t.host.board);
    m.startGame();
}

const AllocationCase allocationCases[] = {
    {"create SoundManager", "failed to create SoundManager: out of memory", nullptr, nullptr},
    {"activate", "Skip initialize: out of memory", nullptr, [](NoThrowTest&, SoundManager& m) { m.activate(); }},
    {"createEffect and play", "out of memory", [](NoThrowTest&, SoundManager& m) { m.activate(); },
     [](NoThrowTest&, SoundManager&) {
         if (Effect* shot = theActInsonificator->createEffect("shot")) shot->play();
     }},
    {"startMusic", "failed to addMessage play: out of memory", [](NoThrowTest&, SoundManager& m) { m.activate(); },
     [](NoThrowTest&, SoundManager& m) { m.startMusic("theme"); }},
    {"reReadConfig", "failed to reReadConfig: out of memory",
     [](NoThrowTest& t, SoundManager& m) {
         m.activate();
         t.shotIsHeard();
     },
     [](NoThrowTest&, SoundManager& m) { m.reReadConfig(""); }},
    {"saveGame", "failed to saveGame: out of memory",
     [](NoThrowTest& t, SoundManager& m) {
         m.activate();
         m.prepareGame(&t.host.view, &t.host.board);
     },
     [](NoThrowTest&, SoundManager& m) { m.saveGame(&saveBlock); }},
    {"prepareGame", "failed to prepareGame: out of memory", [](NoThrowTest&, SoundManager& m) { m.activate(); },
     [](NoThrowTest& t, SoundManager& m) {
         m.prepareGame(&t.host.view, &t.host.board);
         m.startGame();
     }},
    {"loadGame", "failed to loadGame: out of memory",
     [](NoThrowTest& t, SoundManager& m) {
         m.activate();
         m.prepareGame(&t.host.view, &t.host.board);
         m.saveGame(&saveBlock);
     },
     [](NoThrowTest&, SoundManager& m) { m.loadGame(&saveBlock); }},
    {"the statistics", "Skip generateInfo: out of memory",
     [](NoThrowTest& t, SoundManager& m) {
         m.activate();
         t.shotIsHeard();
     },
     [](NoThrowTest&, SoundManager&) {
         // The keys as the debug-input library hands them over: the window
         // opens and is filled, a pass refreshes it, and it closes.
         theRequestInformator->process(27, 1);
         theProcessHearerManager->processHearers(1000.0f);
         theRequestInformator->process(15, 1);
     }},
    {"a cell change", "failed to afterChangeLandscapeSubtype: out of memory", startedGame,
     [](NoThrowTest&, SoundManager&) {
         static_cast<GameBoardListener*>(theLandInsonificator)
             ->afterChangeLandscapeSubtype(Point2D{2, 2}, sandbox::Coast, sandbox::Coast);
     }},
    {"a rendered frame", "out of memory",
     [](NoThrowTest& t, SoundManager& m) {
         startedGame(t, m);
         t.host.board.setSubtype(Point2D{2, 2}, sandbox::Coast);
     },
     [](NoThrowTest&, SoundManager&) { static_cast<RenderDriverListener*>(theLandInsonificator)->initView(nullptr); }},
};

struct AllocationFailure : NoThrowTest, testing::WithParamInterface<AllocationCase> {};

TEST_P(AllocationFailure, IsRefusedAndLaterCallsWork) {
    const AllocationCase& c = GetParam();
    bool caseLogged = false;
    long injected = 0;
    // Every allocation the call makes on the game's thread fails once, in
    // turn, until the call runs through with none left to fail.
    for (long nth = 1; !HasFailure(); ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth));
        log.clear();
        bool failed = false;
        {
            // Built in place: the test's own allocations are not counted.
            std::optional<SoundManager> manager;
            if (c.call_) {
                manager.emplace();
                if (c.before) c.before(*this, *manager);
            }
            {
                FailingAllocation failing(nth);
                try {
                    if (c.call_) c.call_(*this, *manager);
                    else manager.emplace();
                } catch (const std::exception& e) {
                    ADD_FAILURE() << "escaped: " << e.what();
                }
                failed = failing.happened();
            }
            if (HasFailure()) break;
            caseLogged = caseLogged || log.count(c.logs) != 0 ||
                         log.contains("RequestManager", debug::Kind::Warning, c.logs);
            if (!theRequestManager) {
                // The manager is inert after a failed construction: a new
                // one can be built once it has gone.
                EXPECT_TRUE(failed);
                manager.reset();
                manager.emplace();
            }
            // Later calls work: the device opens again and a shot is heard.
            manager->deactivate();
            manager->activate();
            EXPECT_TRUE(shotIsHeard());
            // The music plays, unless it was its worker that could not be
            // made: then it is refused for the manager's life.
            const bool noWorker =
                log.count("failed to initiate: no thread for the music worker, music is refused") != 0;
            manager->startMusic("theme");
            theMusicInsonificator->waitUntilServed();
            EXPECT_EQ(playing("theme.ogg"), noWorker ? 0u : 1u);
            EXPECT_EQ(log.count("Skip start: no music worker"), noWorker ? 1u : 0u);
            manager->stopMusic();
            theMusicInsonificator->waitUntilServed();
            manager->releaseGame();
            manager->deactivate();
        }
        EXPECT_TRUE(allPointersNull());
        EXPECT_FALSE(device->isInitialized());
        if (!failed) break;
        ++injected;
    }
    EXPECT_GT(injected, 0);
    EXPECT_TRUE(caseLogged) << "never logged: " << c.logs;
}

INSTANTIATE_TEST_SUITE_P(ExportedCalls, AllocationFailure, testing::ValuesIn(allocationCases),
                         [](const testing::TestParamInfo<AllocationCase>& info) {
                             std::string name;
                             for (char ch : std::string(info.param.call))
                                 if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
                             return name;
                         });

}  // namespace

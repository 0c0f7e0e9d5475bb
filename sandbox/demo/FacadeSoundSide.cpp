// The library's side of zsdemo: the sound manager and the insonificators a
// game constructs, driven through the exported interface as a game drives
// them. Two things reach past it, both for a reproducible rendering: the
// landscape's random numbers are seeded from the demo's seed after every
// call that starts the landscape (which seeds them from the calendar), and
// the request manager's statistics are read for the table at the end.
#include <cmath>
#include <list>
#include <ostream>

#include "interfaces/Config.h"
#include "interfaces/DebugInput.h"
#include "sandbox/demo/SoundSide.h"
#include "sound/effects/Effect.h"
#include "sound/insonificators/ActInsonificator.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/insonificators/UIInsonificator.h"
#include "sound/land/LandInsonificator.h"
#include "sound/manager/Globals.h"
#include "sound/manager/SoundManager.h"
#include "sound/random/Randomizer.h"
#include "sound/request/RequestManager.h"
#if __has_include("sound/diagnostics/TestInsonificator.h")
#include "sound/diagnostics/TestInsonificator.h"
#define ZSDEMO_TEST_INSONIFICATOR 1
#endif
#if __has_include("sound/music/MusicInsonificator.h")
#include "sound/music/MusicInsonificator.h"
#define ZSDEMO_MUSIC 1
#endif

namespace zsdemo {

namespace {

class FacadeSoundSide : public SoundSide {
public:
    explicit FacadeSoundSide(const SoundSideOptions& options) : options(options) {}

    bool begin(sandbox::Host& host) override {
        manager = std::make_unique<SoundManager>();
        theSoundManager = manager.get();
        manager->activate();
        menus = std::make_unique<UIInsonificator>();
#ifdef ZSDEMO_TEST_INSONIFICATOR
        tester = std::make_unique<TestInsonificator>();
        theTestInsonificator = tester.get();
#endif
        manager->prepareGame(&host.view, &host.board);
        manager->startGame();
        if (!options.map.empty()) manager->reReadConfig(options.map);
        reseed();
        return true;
    }

    void command(const Command& c, const Vector& place, const std::string& path) override {
        const std::string& v = c.verb;
        const std::string arg = c.args.empty() ? std::string() : c.args[0];
        if (v == "menu") {
            menus->play(arg);
        } else if (v == "action") {
            if (Effect* effect = theActInsonificator->createEffect(arg)) {
                effect->setPosition(place);
                effect->stop();
                effect->play();
            }
        } else if (v == "music") {
            manager->startMusic(arg);
        } else if (v == "music-stop") {
            manager->stopMusic();
        } else if (v == "quiet") {
            manager->quiet();
        } else if (v == "loud") {
            manager->loud();
        } else if (v == "pause") {
            manager->pause();
        } else if (v == "unpause") {
            manager->unpause();
        } else if (v == "save") {
            configmanager::ConfigManager block;
            manager->saveGame(&block);
            if (!block.writePlainFile(path) && options.log) *options.log << "  cannot write " << path << "\n";
        } else if (v == "load") {
            configmanager::ConfigManager block;
            if (!block.readPlainFile(path)) {
                if (options.log) *options.log << "  cannot read " << path << "\n";
                return;
            }
            manager->loadGame(&block);
            reseed();
#ifdef ZSDEMO_MUSIC
            // The saved music plays again, as a game restarts it after a load.
            manager->stopMusic();
            theMusicInsonificator->start();
#endif
        } else if (v == "reread") {
            manager->reReadConfig(options.map);
            reseed();
        } else if (v == "emulate3d") {
            theLandInsonificator->emulate3dsound(arg == "on");
        } else if (v == "group") {
            const unsigned long id = std::stoul(arg);
            if (c.args[1] == "on") theInsonificatorManager->enable(id);
            else theInsonificatorManager->disable(id);
        } else if (v == "volume") {
            theInsonificatorManager->setVolume(std::stoul(arg), std::stof(c.args[1]));
        } else if (v == "key") {
            debuginput::dispatch(std::stoi(arg), 1);
            debuginput::dispatch(std::stoi(arg), 0);
        }
    }

    void end() override {
        manager->stopGame();
        manager->releaseGame();
#ifdef ZSDEMO_TEST_INSONIFICATOR
        theTestInsonificator = nullptr;
        tester.reset();
#endif
        menus.reset();
        statisticsLines = collectStatistics();
        manager->deactivate();
        theSoundManager = nullptr;
        manager.reset();
    }

    std::vector<Source> sources() override {
        std::vector<Source> out;
        if (!theLandInsonificator) return out;
        configmanager::ConfigManager block;
        theLandInsonificator->save(&block);
        for (auto& child : block.getChildBlocks()) {
            Source s;
            s.name = child.first.getString();
            child.second->getProperty("x", &s.x);
            child.second->getProperty("y", &s.y);
            child.second->getProperty("regionWidth", &s.width);
            child.second->getProperty("regionHeight", &s.height);
            out.push_back(s);
        }
        return out;
    }

    std::vector<std::string> statistics() override { return statisticsLines; }

private:
    void reseed() {
        // The landscape seeds from the calendar when it starts; a rendering
        // must not depend on the day it is made.
        if (theRandomizer) theRandomizer->setSeed(static_cast<float>(options.seed % 1000003u) / 1000003.0f);
    }

    std::vector<std::string> collectStatistics() {
        std::vector<std::string> lines;
        if (!theRequestManager) return lines;
        std::list<std::list<std::string>> perName;
        std::list<std::string> totals;
        theRequestManager->generateInfo(perName, totals);
        lines.push_back("statistics: name | size | state | clones | playing | frequency | bits | channels");
        for (const auto& row : perName) {
            std::string line = " ";
            for (const std::string& cell : row) line += " " + cell + " |";
            lines.push_back(line);
        }
        for (const std::string& t : totals) lines.push_back("  " + t);
        return lines;
    }

    SoundSideOptions options;
    std::unique_ptr<SoundManager> manager;
    std::unique_ptr<UIInsonificator> menus;
#ifdef ZSDEMO_TEST_INSONIFICATOR
    std::unique_ptr<TestInsonificator> tester;
#endif
    std::vector<std::string> statisticsLines;
};

}  // namespace

std::unique_ptr<SoundSide> makeSoundSide(const SoundSideOptions& options) {
    return std::make_unique<FacadeSoundSide>(options);
}
bool haveSoundManager() { return true; }

}  // namespace zsdemo

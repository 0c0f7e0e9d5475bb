// The library's side of zsdemo: the sound manager and the insonificators a
// game constructs, driven through the exported interface as a game drives
// them. For a reproducible rendering the landscape's random numbers are
// seeded from the demo's seed after every call that starts the landscape
// (which seeds them from the calendar), and, while rendering, the music
// worker has taken up every call (it is asleep in a fade or idle) before the
// frame goes on; its fades sleep on the mix's clock. The request manager's
// statistics are read for the table at the end.
//
// Switching music, the demo stops the playing one and starts the next once
// the fade-out has had its time, as a game does: live and rendered alike.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <list>
#include <ostream>

#include "interfaces/Config.h"
#include "interfaces/DebugInput.h"
#include "platform/debug/Capture.h"
#include "sandbox/demo/SoundSide.h"
#include "sound/effects/Effect.h"
#include "sound/insonificators/ActInsonificator.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/insonificators/UIInsonificator.h"
#include "sound/manager/ContentWatch.h"
#include "sound/land/LandInsonificator.h"
#include "sound/manager/Globals.h"
#include "sound/manager/SoundManager.h"
#include "sound/random/Randomizer.h"
#include "sound/request/RequestManager.h"
#include "sound/diagnostics/TestInsonificator.h"
#include "sound/music/MusicInsonificator.h"

namespace zsdemo {

namespace {

constexpr double framesPerSecond = 60.0;  // the session's frame rate

class FacadeSoundSide : public SoundSide {
public:
    explicit FacadeSoundSide(const SoundSideOptions& options) : options(options) {}

    bool begin(sandbox::Host& host) override {
        manager = std::make_unique<SoundManager>();
        theSoundManager = manager.get();
        manager->activate();
        menus = std::make_unique<UIInsonificator>();
        tester = std::make_unique<TestInsonificator>();
        theTestInsonificator = tester.get();
        if (options.watch) {
            watch = std::make_unique<ContentWatch>();
            watch->setMenuSounds(menus.get());
        }
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
            startMusic(arg);
        } else if (v == "music-stop") {
            pendingMusic.clear();
            stopMusic();
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
            // The game keeps the music playing in its save, as a new game's
            // starting block does: the music a load brings back.
            block.setProperty("bgmID", &music);
            if (!block.writePlainFile(path) && options.log) *options.log << "  cannot write " << path << "\n";
            else if (options.log) *options.log << "  saved " << describe() << "\n";
        } else if (v == "load") {
            configmanager::ConfigManager block;
            if (!block.readPlainFile(path)) {
                if (options.log) *options.log << "  cannot read " << path << "\n";
                return;
            }
            if (options.log) *options.log << "  before the load " << describe() << "\n";
            std::string saved;
            block.getProperty("bgmID", &saved);
            manager->loadGame(&block);
            reseed();
            // The saved music plays again, as a game restarts it after a load.
            if (saved != music) {
                stopMusic();
                pendingMusic = saved;
                pendingFromLoad = true;
                if (fadeOutFrames == 0) startPending();
            }
            if (options.log) *options.log << "  loaded " << describe() << "\n";
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
        // Rendering: the worker has taken up what the command asked of it
        // before the frame's update runs, not at the same time.
        settle();
    }

    void beforeMix() override {
        if (watch && watch->hasPending()) {
            // Only the lines the update posts, not the whole session's.
            debug::Capture lines;
            if (watch->update()) showWatchLog(lines);
        }
        if (fadeOutFrames > 0 && --fadeOutFrames == 0) startPending();
        settle();
    }

    void end() override {
        watch.reset();
        // Nothing more is mixed: the worker's sleeps end at once.
        if (options.renderClock) options.renderClock->release();
        // The music fades out before the game ends, as a game leaves it.
        manager->stopMusic();
        theMusicInsonificator->waitUntilServed();
        manager->stopGame();
        manager->releaseGame();
        theTestInsonificator = nullptr;
        tester.reset();
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
    // "12 landscape sources (#5e1f03a2), music theme": the sources' names and
    // places in a checksum, to see a load bring back what was saved.
    std::string describe() {
        const std::vector<Source> all = sources();
        uint32_t sum = 2166136261u;
        auto mix = [&](const std::string& text) {
            for (unsigned char ch : text) sum = (sum ^ ch) * 16777619u;
        };
        for (const Source& s : all) mix(s.name + "@" + std::to_string(std::lround(s.x * 100)) + "," +
                                        std::to_string(std::lround(s.y * 100)));
        char text[48];
        std::snprintf(text, sizeof text, "(#%08x)", static_cast<unsigned>(sum));
        const std::string playing = pendingMusic.empty() ? music : pendingMusic;
        return std::to_string(all.size()) + " landscape sources " + text + ", music " +
               (playing.empty() ? std::string("none") : playing);
    }

    // Starting music while another plays switches to it: the playing one
    // stops (fading out), and the new one starts (fading in) once the
    // fade-out has had its time.
    void startMusic(const std::string& name) {
        if (name == music) return;
        pendingMusic = name;
        pendingFromLoad = false;
        if (!music.empty()) stopMusic();
        if (fadeOutFrames == 0) startPending();
    }

    void stopMusic() {
        manager->stopMusic();
        if (!music.empty())
            fadeOutFrames = std::max(1, static_cast<int>(std::ceil(options.musicFadeSeconds * framesPerSecond)));
        music.clear();
    }

    void startPending() {
        const std::string name = pendingMusic;
        pendingMusic.clear();
        if (name.empty()) return;
        music = name;
        // After a load the music insonificator plays what the block held.
        if (pendingFromLoad) theMusicInsonificator->start();
        else manager->startMusic(name);
        settle();
    }

    void settle() {
        if (options.renderClock) options.renderClock->settle();
    }

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
    std::unique_ptr<ContentWatch> watch;

    void showWatchLog(const debug::Capture& lines) {
        if (!options.log) return;
        for (const auto& record : lines.onChannel("SoundManager"))
            if (record.text.compare(0, 7, "Content") == 0) *options.log << "\r\033[K  " << record.text << "\n";
    }
    std::unique_ptr<TestInsonificator> tester;
    std::string music;         // what the script last started and has not stopped
    std::string pendingMusic;  // to start once the playing music has faded out
    bool pendingFromLoad = false;
    int fadeOutFrames = 0;  // frames until the pending music starts
    std::vector<std::string> statisticsLines;
};

}  // namespace

std::unique_ptr<SoundSide> makeSoundSide(const SoundSideOptions& options) {
    return std::make_unique<FacadeSoundSide>(options);
}

}  // namespace zsdemo

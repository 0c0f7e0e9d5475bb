#include "sound/music/MusicInsonificator.h"

#include <exception>

#include "interfaces/Config.h"
#include "interfaces/ThreadClock.h"
#include "sound/effects/Effect.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/manager/Boundary.h"
#include "sound/manager/Globals.h"
#include "sound/manager/LogChannels.h"

const char* const MusicInsonificator::settingsPath = "/Configs/Sounds/MusicSettings.cfg";

namespace {
constexpr unsigned long musicGroup = 3;
}

MusicInsonificator::MusicInsonificator() {
    {
        Guard guard(lock);
        if (theInsonificatorManager) name = theInsonificatorManager->getName(musicGroup);
    }
    reReadConfig();
    stepsNow = fadeStepNumber.load();
    initiate();
    if (!isNotifying())
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT)
                                    << "failed to initiate: no thread for the music worker, music is refused");
}

MusicInsonificator::~MusicInsonificator() {
    // The worker finishes its run: every command queued before or during it
    // is served, fades included. On a clock that moves only as a host mixes
    // (a loopback rendering still open at shutdown) the fades' pauses end at
    // once: no frame mixed after this carries the music.
    if (osthread::ThreadClock* clock = osthread::threadClock()) clock->shuttingDown();
    stopNotifying();
    // Commands queued after the worker's last wake-up (the stop signal won
    // the race against their signal) are served here, the worker having
    // ended: nothing of the game's last calls is dropped.
    if (messages.getSize() != 0) process();
    if (!musicEffects.empty()) {
        channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f)
                                    << "Not all the musics was destroyed: size = " << musicEffects.size());
        for (Effect* effect : musicEffects) Insonificator::destroyEffect(effect);
        musicEffects.clear();
    }
}

// ---- the game's side ----

bool MusicInsonificator::hasWorker(const char* operation) {
    if (isNotifying()) return true;
    channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << "Skip " << operation << ": no music worker");
    return false;
}

void MusicInsonificator::wakeWorker() {
    // Each wake-up is a numbered piece of work: a run serves every one
    // counted before it starts.
    const unsigned long long work = wakeRequests.fetch_add(1) + 1;
    announceWork(work);
    initiationEvent.set();
    announceSignalled(work);
}

void MusicInsonificator::start() {
    std::string id;
    {
        std::lock_guard<std::mutex> guard(callerLock);
        id = bgmID;
    }
    start(id);
}

void MusicInsonificator::start(const std::string& musicName) {
    if (!hasWorker("start")) return;
    {
        std::lock_guard<std::mutex> guard(callerLock);
        if (started) return;
        // A command that cannot be queued (out of memory, logged) leaves the
        // music as it was.
        if (!musicName.empty() && !messages.offerMessage("play", musicName)) return;
        started = true;
    }
    wakeWorker();
}

void MusicInsonificator::stop() {
    if (!hasWorker("stop")) return;
    {
        std::lock_guard<std::mutex> guard(callerLock);
        if (!started) return;
        if (!messages.offerMessage("stop", "all")) return;
        started = false;
    }
    wakeWorker();
}

void MusicInsonificator::quiet() {
    if (hasWorker("quiet") && messages.offerMessage("quiet", "all")) wakeWorker();
}

void MusicInsonificator::loud() {
    if (hasWorker("loud") && messages.offerMessage("loud", "all")) wakeWorker();
}

void MusicInsonificator::reReadConfig() {
    guarded(channels::soundManager, DEBUG_CONTEXT, "reReadConfig", [this] { readSettings(); });
    if (sleepMilliseconds.load() < 20)
        channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << "sleepMilliseconds < 20 defaulting to zero");
}

void MusicInsonificator::readSettings() {
    configmanager::ConfigManager config;
    if (config.readFile(settingsPath)) {
        int steps = fadeStepNumber.load(), pause = sleepMilliseconds.load();
        float louder = quietLevel.load();
        config.getProperty("fadeStepNumber", &steps);
        config.getProperty("louder", &louder);
        config.getProperty("sleepMilliseconds", &pause);
        fadeStepNumber = steps < 1 ? 1 : steps;
        quietLevel = louder;
        sleepMilliseconds = pause;
    }
}

void MusicInsonificator::save(configmanager::Block* block) {
    if (!block) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Skip save: no block");
        return;
    }
    std::lock_guard<std::mutex> guard(callerLock);
    guarded(channels::soundManager, DEBUG_CONTEXT, "save", [&] { block->setProperty("bgmID", &bgmID); });
}

void MusicInsonificator::load(configmanager::Block* block) {
    if (!block) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Skip load: no block");
        return;
    }
    std::lock_guard<std::mutex> guard(callerLock);
    // Read into a copy: a read that runs out of memory keeps the music as it was.
    guarded(channels::soundManager, DEBUG_CONTEXT, "load", [&] {
        std::string read = bgmID;
        block->getProperty("bgmID", &read);
        bgmID.swap(read);
    });
}

void MusicInsonificator::waitUntilServed() {
    if (isOwnThread() || !isNotifying()) return;
    const unsigned long long target = wakeRequests.load();
    std::unique_lock<std::mutex> guard(progressLock);
    progressMade.wait(guard, [&] { return served >= target; });
}

void MusicInsonificator::waitUntilFadeSteps(unsigned long long count) {
    if (isOwnThread() || !isNotifying()) return;
    std::unique_lock<std::mutex> guard(progressLock);
    progressMade.wait(guard, [&] { return fadeSteps >= count; });
}

// ---- the worker ----

void MusicInsonificator::process() {
    // Every call counted before this point queued its message before it, so
    // this run serves it.
    const unsigned long long seen = wakeRequests.load();
    for (;;) {
        std::string command, argument;
        messages.removeMessage(command, argument);
        stepsNow = messages.getSize() != 0 ? 1 : fadeStepNumber.load();
        if (command.empty()) {
            channels::musicInsonificator.post(debug::Message(DEBUG_CONTEXT, 0.5f) << "no command");
            break;
        }
        channels::musicInsonificator.post(debug::Message(DEBUG_CONTEXT, 0.5f) << command << " " << argument);
        // A command that fails (out of memory) is given up; the run goes on,
        // so every wake-up is still counted as served.
        try {
            processCommand(command, argument);
        } catch (const std::exception& e) {
            channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "failed to process " << command << " "
                                                                    << argument << ": " << e.what());
        }
    }
    stepsNow = fadeStepNumber.load();
    {
        std::lock_guard<std::mutex> guard(progressLock);
        if (seen > served) served = seen;
    }
    progressMade.notify_all();
    announceIdle(seen);
}

void MusicInsonificator::processCommand(const std::string& command, const std::string& argument) {
    if (command == "play") {
        processPlay(argument);
    } else if (command == "stop") {
        processStop();
    } else if (command == "quiet") {
        level = quietLevel.load();
        processQuiet();
    } else if (command == "loud") {
        level = 1.0f;
        processQuiet();
    } else {
        channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << "Skip to process unrecognized command: "
                                                                        << command << " for music: " << argument);
    }
}

void MusicInsonificator::processPlay(const std::string& musicName) {
    const std::list<Effect*> playing = musicEffects;
    for (Effect* effect : playing) {
        if (effect->hasName(musicName)) return;  // already playing: left untouched
        effect->stop();
        musicEffects.remove(effect);
        Insonificator::destroyEffect(effect);
    }
    Effect* effect = createEffect(musicName);
    if (!effect) return;
    effect->addCommonPassword(true, louderPassword);
    effect->addCommonPassword(true, faderPassword);
    musicEffects.push_back(effect);
    effect->setVolume(level, louderPassword);
    effect->setVolume(0.0f, faderPassword);
    effect->play();
    processFade(effect, 0.0f, 1.0f);
    effect->setVolume(1.0f, faderPassword);
}

void MusicInsonificator::processStop() {
    if (musicEffects.empty()) return;
    Effect* effect = musicEffects.front();
    processFade(effect, 1.0f, 0.0f);
    effect->stop();
    effect->setVolume(1.0f, faderPassword);
    musicEffects.remove(effect);
    Insonificator::destroyEffect(effect);
}

void MusicInsonificator::processFade(Effect* effect, float from, float to) {
    const float step = (to - from) / static_cast<float>(stepsNow);
    float current = from + step;
    while (from < to ? current < to : (from > to && current > to)) {
        effect->setVolume(current, faderPassword);
        current = current + step;
        {
            std::lock_guard<std::mutex> guard(progressLock);
            ++fadeSteps;
        }
        progressMade.notify_all();
        const int pause = sleepMilliseconds.load();
        // Half a millisecond more, so that the truncation of sleep() keeps
        // the whole number.
        if (pause >= 20) sleep((static_cast<float>(pause) + 0.5f) / 1000.0f);
    }
}

void MusicInsonificator::processQuiet() {
    for (Effect* effect : musicEffects) effect->setVolume(level, louderPassword);
}

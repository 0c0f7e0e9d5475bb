// The landscape insonificator's life cycle: construction and destruction,
// initialize, start, stop and uninitialize, the switch of emulated 3D and the
// re-reading of a map's sounds. The sound map records are in LandSoundMap.cpp,
// placement and region geometry in LandPlacement.cpp, the per-frame update in
// LandFrame.cpp.
#include "sound/land/LandInsonificator.h"

#include <ctime>
#include <memory>
#include <mutex>

#include "interfaces/Config.h"
#include "sound/effects/Effect.h"
#include "sound/effects/Listener.h"
#include "sound/effects/ListenerManager.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/land/LandInternal.h"
#include "sound/manager/Globals.h"
#include "sound/manager/LogChannels.h"
#include "sound/random/Randomizer.h"

LandInsonificator::Settings land::settings;

using land::settings;
using land::timerNow;

namespace {

const char* const groupFallbackName = "Environment sounds";

}  // namespace

// ---- construction and settings ----

LandInsonificator::LandInsonificator() {
    Guard guard(lock);
    name = theInsonificatorManager ? theInsonificatorManager->getName(1) : std::string(groupFallbackName);
    if (name.empty()) name = groupFallbackName;
    faderPassword = name + "Fader";
    emulatorPassword = name + "Emulator";
}

LandInsonificator::~LandInsonificator() {
    Guard guard(lock);
    if (initialized) uninitialize();
    for (LandSound* s : mapSounds) delete s;
    mapSounds.clear();
    for (LandSound* s : defaultSounds) delete s;
    defaultSounds.clear();
    schedule.forEach([](LandSound* s) {
        if (s->removed) delete s;
    });
    schedule.clear();
}

LandInsonificator::Settings LandInsonificator::getSettings() { return settings; }

void LandInsonificator::resetSettings() { settings = Settings(); }

bool LandInsonificator::getIsInitialized() {
    Guard guard(lock);
    return initialized;
}

bool LandInsonificator::getIsStarted() {
    Guard guard(lock);
    return started;
}

// ---- life cycle ----

void LandInsonificator::initialize(View* v, GameBoard* board) {
    Guard guard(lock);
    if (initialized) {
        channels::landInsonificator.post(debug::Error(DEBUG_CONTEXT) << "failed to initialize: already initialized");
        return;
    }
    initialized = true;
    view = v;
    gameBoard = board;
    listener = theListenerManager ? theListenerManager->createListener() : nullptr;
    for (LandSound* s : mapSounds) setUpEffect(s);
    if (listener) listener->update();
    loadDefaultSounds();
}

void LandInsonificator::uninitialize() {
    Guard guard(lock);
    if (started) stop();
    if (!initialized) {
        channels::landInsonificator.post(debug::Error(DEBUG_CONTEXT)
                                         << "failed to uninitialize: already uninitialized");
        return;
    }
    initialized = false;
    // Before the records go: the index resets their marks.
    index.clear();
    for (LandSound* s : mapSounds) {
        if (s->effect) destroyEffect(s->effect);
        s->effect = nullptr;
    }
    unload();
    unloadDefaultSounds();
    continuousSounds.clear();
    if (listener && theListenerManager) theListenerManager->destroyListener(listener);
    listener = nullptr;
    view = nullptr;
    gameBoard = nullptr;
}

void LandInsonificator::start() {
    Guard guard(lock);
    if (!initialized) {
        channels::landInsonificator.post(debug::Error(DEBUG_CONTEXT) << "failed to start: not initialized");
        return;
    }
    if (started) return;
    if (view) view->registerListener(static_cast<RenderDriverListener*>(this));
    if (gameBoard) gameBoard->registerListener(static_cast<GameBoardListener*>(this), LISTENER_PRIORITY_DEFAULT);
    started = true;
    if (theRandomizer) {
        const float seed = fixedSeed.load();
        theRandomizer->setSeed(seed >= 0.0f && seed < 1.0f
                                   ? seed
                                   : static_cast<float>(static_cast<double>(std::time(nullptr)) * (1.0 / 2147483648.0)));
    }
    lastTime = timerNow();
    scheduleStale = true;
}

void LandInsonificator::setRandomSeed(float seed) { fixedSeed = seed; }

void LandInsonificator::stop() {
    Guard guard(lock);
    if (!started) return;
    if (view) view->unregisterListener(static_cast<RenderDriverListener*>(this));
    if (gameBoard) gameBoard->unregisterListener(static_cast<GameBoardListener*>(this));
    started = false;
    for (LandSound* s : mapSounds)
        if (s->effect) s->effect->stop();
    playingRandomSounds.clear();
    while (!schedule.empty()) {
        LandSound* s = schedule.popFront();
        s->queued = false;
        if (s->removed) delete s;
    }
    scheduleStale = false;
}

void LandInsonificator::emulate3dsound(bool flag) {
    Guard guard(lock);
    if (isEmulated3d == flag) {
        channels::landInsonificator.post(debug::Warning(DEBUG_CONTEXT, 1.0f)
                                         << "skip to emulate 3dsound: isEmulated3d == flag == " << flag);
        return;
    }
    isEmulated3d = flag;
    if (!initialized) return;
    for (LandSound* s : mapSounds) {
        Effect* e = s->effect;
        if (!e) continue;
        e->setSound3DApply(SOUND3D_APPLY_IMMEDIATE);
        if (flag) {
            e->setSound3DMode(SOUND3D_MODE_DISABLE);
            e->setVolume(0.0f, emulatorPassword);
        } else {
            e->setSound3DMode(SOUND3D_MODE_NORMAL);
            e->setVolume(1.0f, emulatorPassword);
        }
        e->setSound3DApply(SOUND3D_APPLY_DEFERRED);
    }
}

void LandInsonificator::reReadConfig(std::string mapName) {
    Guard guard(lock);
    if (!initialized) return;
    View* keptView = view;
    GameBoard* keptBoard = gameBoard;
    const bool wasStarted = started;
    uninitialize();
    auto file = std::make_unique<configmanager::ConfigManager>();
    file->readFile("/Maps" + mapName);
    configmanager::Block* sounds = nullptr;
    bool found = false;
    {
        std::lock_guard<configmanager::Block> blockGuard(*file);
        found = file->getPropertyAccess("Sounds", &sounds);
    }
    if (found && sounds) load(sounds);
    initialize(keptView, keptBoard);
    if (wasStarted) start();
}

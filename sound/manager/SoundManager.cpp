#include "sound/manager/SoundManager.h"

#include <atomic>

#include "sound/diagnostics/RequestInformator.h"
#include "sound/effects/ProcessHearer.h"
#include "sound/effects/UnloadManager.h"
#include "sound/insonificators/ActInsonificator.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/land/LandInsonificator.h"
#include "sound/manager/Boundary.h"
#include "sound/manager/Globals.h"
#include "sound/manager/LogChannels.h"
#include "sound/manager/ReReadConfig.h"
#include "sound/music/MusicInsonificator.h"
#include "sound/random/Randomizer.h"
#include "sound/request/RequestManager.h"

namespace {

// Whether a SoundManager that owns the singletons exists.
std::atomic<bool> ownerExists{false};

template <typename T>
void deleteAndClear(T*& pointer) {
    delete pointer;
    pointer = nullptr;
}

void createSingletons() {
    // The insonificators register with the registry and take the effect
    // manager as their factory while they are built: the managers come first.
    auto* requests = new RequestManager();
    theRequestManager = requests;
    theRequestEffectInterface = requests;
    theRequestListenerInterface = requests;
    auto* manager = new UnloadManager();
    theShellManager = manager;
    theEffectManager = manager;
    theListenerManager = manager;
    theInsonificatorManager = new InsonificatorManager();
    theActInsonificator = new ActInsonificator();
    theLandInsonificator = new LandInsonificator();
    theMusicInsonificator = new MusicInsonificator();
    theProcessHearerManager = new ProcessHearerManager();
    theRandomizer = new Randomizer();
    theRequestInformator = new RequestInformator();
}

// Deletes what createSingletons() built, all of it or the part it got to.
void deleteSingletons() {
    // Music first (its worker still uses effects), the request manager last:
    // it gives the device back if the game did not deactivate.
    deleteAndClear(theMusicInsonificator);
    deleteAndClear(theLandInsonificator);
    deleteAndClear(theActInsonificator);
    deleteAndClear(theInsonificatorManager);
    deleteAndClear(theShellManager);
    theEffectManager = nullptr;
    theListenerManager = nullptr;
    deleteAndClear(theProcessHearerManager);
    deleteAndClear(theRandomizer);
    deleteAndClear(theRequestInformator);
    deleteAndClear(theRequestManager);
    theRequestEffectInterface = nullptr;
    theRequestListenerInterface = nullptr;
}

}  // namespace

SoundManager::SoundManager() {
    bool expected = false;
    if (!ownerExists.compare_exchange_strong(expected, true)) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Skip SoundManager: one already exists");
        return;
    }
    owner = true;
    // Out of memory while building: what was built goes again and the
    // manager stays inert, as a refused second one does.
    if (!guarded(channels::soundManager, DEBUG_CONTEXT, "create SoundManager", [] { createSingletons(); })) {
        deleteSingletons();
        owner = false;
        ownerExists = false;
    }
    musicQuiet = false;
}

SoundManager::~SoundManager() {
    if (!owner) return;
    deleteSingletons();
    ownerExists = false;
}

bool SoundManager::usable(const char* operation) {
    if (owner) return true;
    channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Skip " << operation << ": inactive SoundManager");
    return false;
}

void SoundManager::activate() {
    if (!usable("activate")) return;
    guarded(channels::soundManager, DEBUG_CONTEXT, "activate", [] {
        theRequestManager->initialize();
        theShellManager->activate();
    });
}

void SoundManager::deactivate() {
    if (!usable("deactivate")) return;
    guarded(channels::soundManager, DEBUG_CONTEXT, "deactivate", [] {
        theShellManager->deactivate();
        theRequestManager->uninitialize();
    });
}

void SoundManager::pause() {
    if (usable("pause"))
        guarded(channels::soundManager, DEBUG_CONTEXT, "pause", [] { theEffectManager->deactivateAllEffects(); });
}

void SoundManager::unpause() {
    if (usable("unpause"))
        guarded(channels::soundManager, DEBUG_CONTEXT, "unpause", [] { theEffectManager->activateAllEffects(); });
}

void SoundManager::quiet() {
    if (!usable("quiet")) return;
    musicQuiet = true;
    theMusicInsonificator->quiet();
}

void SoundManager::loud() {
    if (!usable("loud")) return;
    musicQuiet = false;
    theMusicInsonificator->loud();
}

bool SoundManager::isMusicQuiet() { return musicQuiet; }

void SoundManager::startMusic(const std::string& name) {
    if (usable("startMusic"))
        guarded(channels::soundManager, DEBUG_CONTEXT, "startMusic", [&] { theMusicInsonificator->start(name); });
}

void SoundManager::stopMusic() {
    if (usable("stopMusic"))
        guarded(channels::soundManager, DEBUG_CONTEXT, "stopMusic", [] { theMusicInsonificator->stop(); });
}

void SoundManager::prepareGame(View* view, GameBoard* board) {
    if (usable("prepareGame"))
        guarded(channels::soundManager, DEBUG_CONTEXT, "prepareGame",
                [&] { theLandInsonificator->initialize(view, board); });
}

void SoundManager::setRandomSeed(float seed) {
    if (usable("setRandomSeed")) theLandInsonificator->setRandomSeed(seed);
}

void SoundManager::startGame() {
    if (!usable("startGame")) return;
    guarded(channels::soundManager, DEBUG_CONTEXT, "startGame", [] {
        theLandInsonificator->start();
        theActInsonificator->start();
    });
}

void SoundManager::stopGame() {
    if (!usable("stopGame")) return;
    guarded(channels::soundManager, DEBUG_CONTEXT, "stopGame", [] {
        theLandInsonificator->stop();
        theActInsonificator->stop();
    });
}

void SoundManager::releaseGame() {
    if (usable("releaseGame"))
        guarded(channels::soundManager, DEBUG_CONTEXT, "releaseGame", [] { theLandInsonificator->uninitialize(); });
}

void SoundManager::saveGame(configmanager::Block* block) {
    if (!usable("saveGame")) return;
    guarded(channels::soundManager, DEBUG_CONTEXT, "saveGame", [&] {
        theLandInsonificator->save(block);
        theMusicInsonificator->save(block);
    });
}

void SoundManager::loadGame(configmanager::Block* block) {
    if (!usable("loadGame")) return;
    guarded(channels::soundManager, DEBUG_CONTEXT, "loadGame", [&] {
        theLandInsonificator->load(block);
        theMusicInsonificator->load(block);
    });
}

void SoundManager::reReadConfig(std::string mapName) {
    if (usable("reReadConfig"))
        guarded(channels::soundManager, DEBUG_CONTEXT, "reReadConfig", [&] { reReadSoundConfig(&mapName); });
}

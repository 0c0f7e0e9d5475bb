#include "sound/manager/ReReadConfig.h"

#include "interfaces/SoundDevice.h"

#include "sound/effects/EffectManager.h"
#include "sound/effects/ListenerManager.h"
#include "sound/effects/ShellManager.h"
#include "sound/land/LandInsonificator.h"
#include "sound/manager/Boundary.h"
#include "sound/manager/Globals.h"
#include "sound/manager/LogChannels.h"
#include "sound/music/MusicInsonificator.h"
#include "sound/request/RequestManager.h"

namespace {

// What is heard is held through the re-read: the sounds given back by the
// first steps play on until the last step has played them again, so the
// re-read is heard without a gap (Sound3DDeviceManager::holdOutput).
class OutputHold {
public:
    OutputHold() { Sound3DDeviceManager::holdOutput(); }
    ~OutputHold() { Sound3DDeviceManager::releaseOutput(); }
    OutputHold(const OutputHold&) = delete;
    OutputHold& operator=(const OutputHold&) = delete;
};

}  // namespace

void reReadSoundConfig(const std::string* mapName) {
    const OutputHold hold;
    // A step that fails (out of memory) is logged and the rest of the
    // reading given up; what was switched off is switched on again all the
    // same, so the game never stays silent after a failed re-read.
    guarded(channels::soundManager, DEBUG_CONTEXT, "reReadConfig", [mapName] {
        if (theEffectManager) theEffectManager->deactivateAllEffects();
        if (theListenerManager) theListenerManager->deactivateAllListeners();
        if (theShellManager) theShellManager->deactivate();
        if (theRequestManager) theRequestManager->reReadConfig();
        if (theShellManager) theShellManager->reloadListenerConfig();
        if (mapName && theLandInsonificator) theLandInsonificator->reReadConfig(*mapName);
        if (theMusicInsonificator) theMusicInsonificator->reReadConfig();
    });
    guarded(channels::soundManager, DEBUG_CONTEXT, "activate", [] {
        if (theShellManager) theShellManager->activate();
    });
    guarded(channels::soundManager, DEBUG_CONTEXT, "activateAllEffects", [] {
        if (theEffectManager) theEffectManager->activateAllEffects();
    });
    guarded(channels::soundManager, DEBUG_CONTEXT, "activateAllListeners", [] {
        if (theListenerManager) theListenerManager->activateAllListeners();
    });
}

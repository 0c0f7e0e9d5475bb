#include "sound/manager/ReReadConfig.h"

#include "sound/effects/EffectManager.h"
#include "sound/effects/ListenerManager.h"
#include "sound/effects/ShellManager.h"
#include "sound/land/LandInsonificator.h"
#include "sound/manager/Globals.h"
#include "sound/music/MusicInsonificator.h"
#include "sound/request/RequestManager.h"

void reReadSoundConfig(const std::string* mapName) {
    if (theEffectManager) theEffectManager->deactivateAllEffects();
    if (theListenerManager) theListenerManager->deactivateAllListeners();
    if (theShellManager) theShellManager->deactivate();
    if (theRequestManager) theRequestManager->reReadConfig();
    if (theShellManager) theShellManager->reloadListenerConfig();
    if (mapName && theLandInsonificator) theLandInsonificator->reReadConfig(*mapName);
    if (theMusicInsonificator) theMusicInsonificator->reReadConfig();
    if (theShellManager) theShellManager->activate();
    if (theEffectManager) theEffectManager->activateAllEffects();
    if (theListenerManager) theListenerManager->activateAllListeners();
}

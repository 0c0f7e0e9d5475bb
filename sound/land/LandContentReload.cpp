// The landscape's part in reloading content while the game runs: the
// tuning and the default records are read again, the sources on the board
// are left as they are.
#include "interfaces/Config.h"
#include "sound/land/LandInsonificator.h"

bool LandInsonificator::reloadAdaptSettings() {
    Guard guard(lock);
    configmanager::ConfigManager file;
    if (!file.readFile("/Configs/Sounds/AdaptSettings.cfg")) return false;
    bool emulated = isEmulated3d;
    readAdaptSettings(file, &emulated);
    // The switch goes through emulate3dsound, which also moves the sources'
    // modes and emulator volumes.
    if (emulated != isEmulated3d) emulate3dsound(emulated);
    return true;
}

bool LandInsonificator::reloadDefaultSounds() {
    Guard guard(lock);
    configmanager::ConfigManager file;
    if (!file.readFile("/Configs/Sounds/DefaultSounds.cfg")) return false;
    // The records are read from the file once more as initialize reads them;
    // until initialize there are none to replace.
    if (!initialized) return true;
    unloadDefaultSounds();
    loadDefaultSounds();
    return true;
}

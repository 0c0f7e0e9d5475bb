#pragma once
// Reading the sound configuration again while the library runs: every effect
// and listener lets go of the device, the shell manager is deactivated, the
// request manager initialises the device from the files again, the listener
// configuration, the landscape (when given the map's name) and the music are
// read again, and everything is activated again. Singletons that are not
// there are passed over. The sound manager's reReadConfig and the
// informator's re-read key both run it.
#include <string>

void reReadSoundConfig(const std::string* mapName);

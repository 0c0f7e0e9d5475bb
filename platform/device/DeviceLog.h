#pragma once
// The device library's own log channel, "SoundDevice": warnings about its
// outputs and settings files (the sound library logs the exceptions it
// catches on its own channels).
#include "interfaces/Debug.h"

namespace aldevice {

const debug::Filter& channel();

}  // namespace aldevice

#pragma once
// The errors every effect and listener reports when asked to switch into the
// state it is already in, with the caller's position.
#include <string>

#include "interfaces/Debug.h"
#include "sound/manager/LogChannels.h"

inline void reportAlreadyActivated(const debug::Context& where, const std::string& name) {
    channels::soundManager.post(debug::Error(where) << "failed to activate: " << name << " already activated");
}

inline void reportAlreadyDeactivated(const debug::Context& where, const std::string& name) {
    channels::soundManager.post(debug::Error(where) << "failed to deactivate: " << name << " already deactived");
}

#pragma once
// Runs one call on a device object; if the device library raises its
// exception, the exception's text is logged as a warning (level 0.1) on the
// "SoundManager" channel with the caller's position, and the caller goes on
// as if the call had returned. Returns false when the call raised.
#include <utility>

#include "interfaces/Debug.h"
#include "sound/manager/LogChannels.h"

template <typename F>
bool deviceCall(const debug::Context& where, F&& call) {
    try {
        std::forward<F>(call)();
        return true;
    } catch (const debug::Exception& e) {
        channels::soundManager.post(debug::Warning(where, 0.1f) << e.getString());
    }
    return false;
}

#pragma once
// Runs one call on a device object; if the device library raises its
// exception, the exception's text is logged as a warning (level 0.1) on the
// "SoundManager" channel with the caller's position, and the caller goes on
// as if the call had returned. A call that runs out of memory is logged and
// passed over the same way ("out of memory"). Returns false when the call
// raised.
#include <new>
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
    } catch (const std::bad_alloc&) {
        channels::soundManager.post(debug::Warning(where, 0.1f) << "out of memory");
    }
    return false;
}

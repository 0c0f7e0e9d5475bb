#pragma once
// The library's edge towards the game: an exported operation runs its body
// through guarded(), so that a failure of the language's own machinery inside
// it (out of memory in a container or a string, no thread to be had) is
// logged as the error "failed to OPERATION: REASON" on the given channel and
// the call returns as refused, instead of reaching the game. Failures of the
// device library are caught where they are raised (DeviceCall.h); this is
// the last line behind them.
#include <exception>
#include <new>
#include <utility>

#include "interfaces/Debug.h"

template <typename Body>
bool guarded(const debug::Filter& channel, const debug::Context& where, const char* operation, Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const std::bad_alloc&) {
        channel.post(debug::Error(where) << "failed to " << operation << ": out of memory");
    } catch (const std::exception& e) {
        channel.post(debug::Error(where) << "failed to " << operation << ": " << e.what());
    } catch (const debug::Exception& e) {
        channel.post(debug::Error(where) << "failed to " << operation << ": " << e.getString());
    } catch (...) {
        channel.post(debug::Error(where) << "failed to " << operation << ": unknown failure");
    }
    return false;
}

// While one lives, every thread the library's thread objects try to create
// is refused, as the system refuses one when it can make no more.
#pragma once

#include <system_error>

#include "sound/music/ThreadCreation.h"

namespace testsupport {

struct NoThreads {
    NoThreads() {
        thread::setThreadCreationHook([] {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again), "no thread");
        });
    }
    ~NoThreads() { thread::setThreadCreationHook(nullptr); }
    NoThreads(const NoThreads&) = delete;
    NoThreads& operator=(const NoThreads&) = delete;
};

}  // namespace testsupport

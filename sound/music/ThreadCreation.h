#pragma once
// The one place where the library's own threads are created. Every thread
// object (and any other thread of the library) passes through
// beforeThreadCreation() just before it makes its thread, so that a test can
// make the creation fail as the system does when it can make no more threads
// (std::system_error with resource_unavailable_try_again) without touching
// the system's limits.
//
// Threads: the hook is installed and removed while no library object is
// being constructed; beforeThreadCreation() is called from any thread.
#include "interfaces/Export.h"

namespace thread {

// Called before each thread is created; may throw what creating a thread
// throws. Null (the default) lets every creation go ahead.
using ThreadCreationHook = void (*)();

ZULSOUND_API void setThreadCreationHook(ThreadCreationHook hook);
// Calls the installed hook, if any; what it throws reaches the caller, which
// handles it as a failed thread creation.
ZULSOUND_API void beforeThreadCreation();

}  // namespace thread

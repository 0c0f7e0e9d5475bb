#pragma once
// The operating system's view of a thread's scheduling priority, as the
// thread objects call it. A thread is named by its kernel thread id; its
// priority is its nice value (-20 highest to 19 lowest). Raising a thread
// above its current priority may need privileges the process lacks.
//
// Threads: any thread, about any thread of the process.
#include <string>

#include "interfaces/Export.h"

namespace osthread {

// The kernel id of the calling thread.
ZULSOUND_API unsigned int currentThreadId();
// Sets the nice value of a thread; false with the reason when refused.
ZULSOUND_API bool setNiceValue(unsigned int threadId, int nice, std::string* reason);
// Reads the nice value of a thread; false when the thread is gone.
ZULSOUND_API bool getNiceValue(unsigned int threadId, int* nice);

}  // namespace osthread

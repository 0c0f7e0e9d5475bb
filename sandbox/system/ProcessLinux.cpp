#include "sandbox/system/Process.h"

#include <unistd.h>

#include <filesystem>

namespace sandboxsystem {

bool outputIsTerminal() { return isatty(STDOUT_FILENO); }

unsigned long processId() { return static_cast<unsigned long>(getpid()); }

size_t threadCount() {
    std::error_code error;
    size_t threads = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/task", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++threads;
    return threads;
}

}  // namespace sandboxsystem

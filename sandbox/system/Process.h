#pragma once
// What the demo programs ask of their own process, on either system.
#include <cstddef>

namespace sandboxsystem {

// Whether standard output is a terminal (progress lines are drawn only then).
bool outputIsTerminal();
// The process's id.
unsigned long processId();
// How many threads the process has now.
size_t threadCount();

}  // namespace sandboxsystem

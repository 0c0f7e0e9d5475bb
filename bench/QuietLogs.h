#pragma once
// Benchmarks keep standard error quiet: the refusals and warnings they
// provoke on purpose, thousands of times, would drown their figures.
#include "interfaces/Debug.h"

inline void quietLogs() {
    static const bool done = (debug::setStandardErrorOutput(false), true);
    (void)done;
}

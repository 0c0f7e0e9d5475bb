#pragma once
// The library's four log channels. They exist from the moment the library is
// loaded until it is unloaded.
#include "interfaces/Debug.h"

namespace channels {

// Effect file parser and scanner, shell effects, listener and manager,
// unloading effects, insonificators, the message queue, music warnings.
extern const debug::Filter soundManager;
// The request manager and its statistics.
extern const debug::Filter requestManager;
// The music worker's command log.
extern const debug::Filter musicInsonificator;
// The landscape insonificator.
extern const debug::Filter landInsonificator;

}  // namespace channels

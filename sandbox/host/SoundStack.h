#pragma once
// The part of the sound manager's start that effects, music and landscape
// sounds need, for programs and tests that run them without the façade: the
// request manager with its worker, the effect manager (also the listener and
// shell manager) activated, the insonificators' registry and a randomizer,
// published in the global pointers for as long as this object lives. The
// destructor deactivates the effect manager, stops the request manager and
// clears the pointers.
//
// Create it once the device is installed and the content mounted, one at a
// time; delete every insonificator and effect made on it before it.
#include "sound/effects/UnloadManager.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/random/Randomizer.h"
#include "sound/request/RequestManager.h"

namespace sandbox {

class SoundStack {
public:
    SoundStack();
    ~SoundStack();
    SoundStack(const SoundStack&) = delete;
    SoundStack& operator=(const SoundStack&) = delete;

    RequestManager requests;
    UnloadManager manager;
    InsonificatorManager registry;
    Randomizer randomizer;
};

}  // namespace sandbox

#pragma once
// How effects and the listener reach the device: only through the request
// manager, seen as one of these two interfaces.
//
// Threads: any thread; the request manager serialises the calls.
#include <string>

#include "interfaces/SoundDevice.h"

class RequestEffectInterface {
public:
    virtual ~RequestEffectInterface() = default;
    // A device effect ready to be configured and played, or null.
    virtual Sound3DEffect* load(const std::string& name) = 0;
    // Gives an effect back; name is the one it was loaded under.
    virtual void unload(const std::string& name, Sound3DEffect* effect) = 0;
};

class RequestListenerInterface {
public:
    virtual ~RequestListenerInterface() = default;
    virtual Sound3DListener* requestListener() = 0;
    virtual void freeListener(Sound3DListener* listener) = 0;
};

#pragma once
// The factory of listeners; listeners are handed back through destroyListener.
//
// Threads: any thread.
#include "interfaces/Export.h"

class Listener;

class ZULSOUND_API ListenerManager {
public:
    ListenerManager() = default;
    ListenerManager(const ListenerManager&) = default;
    ListenerManager& operator=(const ListenerManager&) = default;
    virtual ~ListenerManager() = default;

    virtual Listener* createListener() = 0;
    virtual void destroyListener(Listener* listener) = 0;
    virtual void activateAllListeners() = 0;
    virtual void deactivateAllListeners() = 0;
};

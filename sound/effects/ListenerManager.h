#pragma once
/// @file
/// The factory of listeners (theListenerManager).
#include "interfaces/Export.h"

class Listener;

/// The factory of listeners, published as theListenerManager (the same
/// object as theEffectManager). Listeners are handed back through
/// destroyListener(). The landscape creates the one listener a game needs.
///
/// Threads: any thread.
class ZULSOUND_API ListenerManager {
public:
    /// An interface: the library holds the one implementation.
    ListenerManager() = default;
    /// Copyable, as an interface without state is.
    ListenerManager(const ListenerManager&) = default;
    /// Copyable, as an interface without state is.
    ListenerManager& operator=(const ListenerManager&) = default;
    /// Implementations only.
    virtual ~ListenerManager() = default;

    /// A new listener over the device's listener, with the settings of
    /// "/Configs/Sounds/Listener.cfg". Null only when memory runs out (error
    /// "failed to createListener: out of memory").
    virtual Listener* createListener() = 0;
    /// Takes a listener back and deletes it; one it did not create is
    /// refused with "Skip destroyListener: cast failed".
    virtual void destroyListener(Listener* listener) = 0;
    /// Switches every listener on.
    virtual void activateAllListeners() = 0;
    /// Switches every listener off.
    virtual void deactivateAllListeners() = 0;
};

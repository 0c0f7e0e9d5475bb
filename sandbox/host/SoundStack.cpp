#include "sandbox/host/SoundStack.h"

#include "sound/manager/Globals.h"

namespace sandbox {

SoundStack::SoundStack() {
    theRequestManager = &requests;
    theRequestEffectInterface = &requests;
    theRequestListenerInterface = &requests;
    theShellManager = &manager;
    theEffectManager = &manager;
    theListenerManager = &manager;
    theInsonificatorManager = &registry;
    theRandomizer = &randomizer;
    requests.initialize();
    manager.activate();
}

SoundStack::~SoundStack() {
    manager.deactivate();
    requests.uninitialize();
    theRandomizer = nullptr;
    theInsonificatorManager = nullptr;
    theShellManager = nullptr;
    theEffectManager = nullptr;
    theListenerManager = nullptr;
    theRequestManager = nullptr;
    theRequestEffectInterface = nullptr;
    theRequestListenerInterface = nullptr;
}

}  // namespace sandbox

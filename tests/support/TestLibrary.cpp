#include "tests/support/TestLibrary.h"

#include "sound/effects/ListenerSettings.h"
#include "sound/manager/Globals.h"

namespace testsupport {

TestLibrary::TestLibrary(const std::string& effects) : device(std::make_shared<RecordingDevice>()) {
    tree.write("/Configs/Sounds/Effects.snd", effects);
    provider = std::make_unique<DeviceProviderGuard>(device);
    requests = std::make_unique<RequestManager>();
    theRequestManager = requests.get();
    theRequestEffectInterface = requests.get();
    theRequestListenerInterface = requests.get();
    manager = std::make_unique<UnloadManager>();
    theShellManager = manager.get();
    theEffectManager = manager.get();
    theListenerManager = manager.get();
    registry = std::make_unique<InsonificatorManager>();
    theInsonificatorManager = registry.get();
    hearers = std::make_unique<ProcessHearerManager>();
    theProcessHearerManager = hearers.get();
}

TestLibrary::~TestLibrary() {
    // The sound manager's order: effects and listeners, registries, then the
    // request manager, which gives the device back.
    manager.reset();
    theShellManager = nullptr;
    theEffectManager = nullptr;
    theListenerManager = nullptr;
    registry.reset();
    theInsonificatorManager = nullptr;
    hearers.reset();
    theProcessHearerManager = nullptr;
    requests.reset();
    theRequestManager = nullptr;
    theRequestEffectInterface = nullptr;
    theRequestListenerInterface = nullptr;
    ListenerSettings::reset();
}

void TestLibrary::sound(const std::string& fileName, const std::string& bytes) { tree.write("/Sounds/" + fileName, bytes); }

void TestLibrary::activate() {
    requests->initialize();
    manager->activate();
}

void TestLibrary::deactivate() {
    manager->deactivate();
    requests->uninitialize();
}

std::vector<RecordingEffect*> TestLibrary::devicesOf(const std::string& file) {
    std::vector<RecordingEffect*> found;
    for (RecordingEffect* e : device->liveEffects())
        if (e->snapshot().source == "/Sounds/" + file) found.push_back(e);
    return found;
}

}  // namespace testsupport

#pragma once
// The library's singletons as the sound manager builds them, over a
// recording device and a temporary resource tree holding an "Effects.snd"
// and its sound files. For tests of everything above the request manager.
#include <memory>
#include <string>
#include <vector>

#include "sound/effects/ProcessHearer.h"
#include "sound/effects/UnloadManager.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/request/RequestManager.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/ResourceTree.h"

namespace testsupport {

class TestLibrary {
public:
    // effects: the text of "Effects.snd"; every file it names under
    // "/Sounds/" must be written with sound() before initialize().
    explicit TestLibrary(const std::string& effects);
    ~TestLibrary();

    void sound(const std::string& fileName, const std::string& bytes = std::string(64, 'x'));
    // Initialises the request manager and activates the effect manager, as
    // the sound manager's activate does.
    void activate();
    void deactivate();
    // The live device effects loaded or streamed from "/Sounds/" + file, oldest first.
    std::vector<RecordingEffect*> devicesOf(const std::string& file);

    ResourceTree tree;
    std::shared_ptr<RecordingDevice> device;
    std::unique_ptr<DeviceProviderGuard> provider;
    std::unique_ptr<RequestManager> requests;
    std::unique_ptr<UnloadManager> manager;
    std::unique_ptr<InsonificatorManager> registry;
    std::unique_ptr<ProcessHearerManager> hearers;
};

}  // namespace testsupport

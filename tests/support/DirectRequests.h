#pragma once
// Stands in for the request manager: hands out effects and the listener of a
// recording device directly, so effects can be tested at their own boundary.
// Names listed with refuse() get no device effect (load returns null).
#include <map>
#include <set>
#include <string>

#include "sound/request/RequestInterfaces.h"
#include "tests/support/RecordingDevice.h"

namespace testsupport {

class DirectRequests : public RequestEffectInterface, public RequestListenerInterface {
public:
    explicit DirectRequests(RecordingDevice& device);
    ~DirectRequests() override;

    Sound3DEffect* load(const std::string& name) override;
    void unload(const std::string& name, Sound3DEffect* effect) override;
    Sound3DListener* requestListener() override;
    void freeListener(Sound3DListener* listener) override;

    void refuse(const std::string& name) { refused.insert(name); }
    void refuseListener(bool refuse) { listenerRefused = refuse; }
    int loads(const std::string& name) { return loaded[name]; }
    int unloads(const std::string& name) { return unloaded[name]; }
    int outstanding() const;  // loaded and not yet given back
    int listenersOut() const { return listenerCount; }

private:
    RecordingDevice& device;
    std::set<std::string> refused;
    bool listenerRefused = false;
    std::map<std::string, int> loaded, unloaded;
    int listenerCount = 0;
    RequestEffectInterface* previousEffects;
    RequestListenerInterface* previousListener;
};

}  // namespace testsupport

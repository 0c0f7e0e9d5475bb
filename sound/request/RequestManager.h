#pragma once
// The only owner of the sound device. It finds and initialises the device,
// reads "Effects.snd" each time it does so, hands out device effects by
// effect name (loaded from the file, streamed, or cloned from one of the
// same name already loaded), takes them back, hands out the device's
// listener, and gives everything back when the device is uninitialised.
// Refusals and device failures are logged on the "RequestManager" channel.
//
// Threads: any thread. Every operation holds the manager's re-entrant lock
// for its whole run; loading, unloading and the device settings also take
// the resource manager's lock, always after the manager's own.
#include <list>
#include <map>
#include <mutex>
#include <string>

#include "interfaces/SoundDevice.h"
#include "sound/request/EffectConfig.h"
#include "sound/request/RequestInterfaces.h"

class RequestManager : public RequestEffectInterface, public RequestListenerInterface {
public:
    RequestManager();
    ~RequestManager() override;

    Sound3DEffect* load(const std::string& name) override;
    void unload(const std::string& name, Sound3DEffect* effect) override;
    virtual void initialize();
    virtual void uninitialize();

    Sound3DListener* requestListener() override;
    void freeListener(Sound3DListener* listener) override;

    // If initialised: uninitialise and initialise again (re-reads "Effects.snd").
    void reReadConfig();
    // The record of a name, or null; the caller must not free it.
    EffectConfig* getRequestEffectConfig(const std::string& name);
    // Per-name statistics of every device effect handed out (name, size,
    // state, clones, playing, frequency, bits, channels) and the totals
    // merged with the device's own information lines.
    void generateInfo(std::list<std::list<std::string>>& perName, std::list<std::string>& totals);

    bool isInitialized();
    size_t getHandedOutCount();

    RequestManager(const RequestManager&) = delete;
    RequestManager& operator=(const RequestManager&) = delete;

private:
    using Guard = std::lock_guard<std::recursive_mutex>;

    void releaseDevice();
    void loadDeviceSettings();

    Sound3DDeviceManager* theSound3DDeviceManager = nullptr;
    Sound3DEffectDevice* theSound3DDevice = nullptr;
    std::multimap<std::string, Sound3DEffect*> theSound3DEffects;
    std::map<std::string, EffectConfig*> effectConfigs;
    std::recursive_mutex lock;
    bool initialized = false;
};

#pragma once
// The only owner of the sound device. It finds and initialises the device,
// reads "Effects.snd" each time it does so, hands out device effects by
// effect name (loaded from the file, streamed, or cloned from one of the
// same name already loaded), takes them back, hands out the device's
// listener, and gives everything back when the device is uninitialised.
// Refusals and device failures are logged on the "RequestManager" channel.
//
// Threads: any thread (game threads, the rendering thread's periodic pass,
// the statistics window's thread). Every operation holds the manager's
// re-entrant lock for its whole run; loading, unloading and the device
// settings also take the resource manager's lock, always after the manager's
// own. Device failures (debug::Exception) are caught and logged: nothing is
// thrown to the caller.
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

    // A clone of the oldest effect of that name still handed out (unless its
    // record says "disk"), else the file loaded whole ("memory") or streamed
    // (anything else; the stream stays open until unload). Null on refusal.
    Sound3DEffect* load(const std::string& name) override;
    // Releases and destroys the effect and closes its stream. An effect given
    // back under another name than its own is still taken out of the table
    // of handed-out effects, so uninitialize cannot destroy it a second time.
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
    void summarise(std::list<std::list<std::string>>& perName, std::list<std::string>& totals);
    void loadDeviceSettings();

    Sound3DDeviceManager* theSound3DDeviceManager = nullptr;
    Sound3DEffectDevice* theSound3DDevice = nullptr;
    std::multimap<std::string, Sound3DEffect*> theSound3DEffects;
    std::map<std::string, EffectConfig*> effectConfigs;
    std::recursive_mutex lock;
    bool initialized = false;
};

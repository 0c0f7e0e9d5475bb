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
#include <vector>

#include "interfaces/SoundDevice.h"
#include "sound/request/EffectConfig.h"
#include "sound/request/EffectsFile.h"
#include "sound/request/NodePool.h"
#include "sound/request/StatisticsTable.h"
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
    // Effects played between beginBatch() and the matching endBatch() start
    // together on the device, in one mixing period, so sounds started
    // together stay in step however long the calls take (StartTogether
    // pairs the two). Nothing while uninitialized.
    void beginBatch();
    void endBatch();
    // The record of a name, or null; the caller must not free it.
    EffectConfig* getRequestEffectConfig(const std::string& name);
    // Per-name statistics of every device effect handed out, one row of
    // cells per name in name order (name, size, state, clones, playing,
    // frequency, bits, channels), and the totals merged with the device's
    // own information lines. Refused while uninitialised: both are then left
    // as they are. The table is written over in place (the statistics
    // window's refresh, which keeps it from one pass to the next).
    void generateInfo(StatisticsTable& perName, std::list<std::string>& totals);
    // The same with the rows as lists of strings.
    void generateInfo(std::list<std::list<std::string>>& perName, std::list<std::string>& totals);

    bool isInitialized();
    size_t getHandedOutCount();

    // Reloading content while the device runs (the content watch).
    //
    // Reads a text of "Effects.snd" into `records` (the caller owns them;
    // freeRecords gives them back) the way initialize reads the file, and
    // lists every error of the text in `problems`, not only the first: after
    // an error the text is read on from the line after it. When there are
    // errors, the reader's defaults are left as they were. True when clean.
    bool readEffectConfigs(const std::string& text, EffectsFile::Records& records,
                           std::vector<EffectsFile::Problem>& problems);
    static void freeRecords(EffectsFile::Records& records);
    // The values the reader's "default" entries set, and putting them back
    // (a clean text that is not used after all, when other files refused the
    // change it came with).
    EffectConfig getReaderDefaults();
    void restoreReaderDefaults(const EffectConfig& saved);
    // Takes `fresh` in place of the records in use (which are freed; fresh
    // is left empty). Effects handed out keep their device effects: the
    // caller gives back and loads again those whose sound changed. Refused
    // (records freed, false) while the device is uninitialized.
    bool replaceEffectConfigs(EffectsFile::Records& fresh);
    // Loads "/Sounds/" + fileName as load() would for that storage (whole for
    // "memory", streamed otherwise) into a device effect that is destroyed
    // at once. False with the reason when it does not load; `frames` is the
    // sound's length in sample frames (0 when the device does not tell).
    bool checkSound(const std::string& fileName, const std::string& storage, uint32_t* frames, std::string* error);
    // A copy of every record, by name (none while uninitialized).
    std::map<std::string, EffectConfig> copyEffectConfigs();

    RequestManager(const RequestManager&) = delete;
    RequestManager& operator=(const RequestManager&) = delete;

private:
    using Guard = std::lock_guard<std::recursive_mutex>;

    void releaseDevice();
    void batchCall(void (Sound3DEffectDevice::*call)());  // beginBatch or endBatch, failures logged
    void summarise(StatisticsTable& perName, std::list<std::string>& totals);
    void loadDeviceSettings();
    void initializeDevice();  // initialize() without its checks; may run out of memory
    // A load that failed after the device effect was made: logged, the
    // stream and the effect given back.
    void failedCreation(const std::string& name, const EffectConfig& record, bool isStatic, const std::string& reason,
                        ResourceStream* stream, Sound3DEffect* effect);
    // Gives a loaded device effect back without an entry of its own.
    void releaseEffect(Sound3DEffect* effect);

    Sound3DDeviceManager* theSound3DDeviceManager = nullptr;
    Sound3DEffectDevice* theSound3DDevice = nullptr;
    // Declared before the map, whose nodes it holds: the statistics walk
    // every node, and nodes kept together make that walk cheap.
    NodePool effectNodes;
    using EffectMap = std::multimap<std::string, Sound3DEffect*, std::less<std::string>,
                                    PoolAllocator<std::pair<const std::string, Sound3DEffect*>>>;
    EffectMap theSound3DEffects{EffectMap::allocator_type(&effectNodes)};
    // The effects in name order, gathered by the statistics (kept for its storage).
    std::vector<std::pair<const std::string*, Sound3DEffect*>> walked;
    std::map<std::string, EffectConfig*> effectConfigs;
    std::recursive_mutex lock;
    bool initialized = false;
};

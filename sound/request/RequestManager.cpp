#include "sound/request/RequestManager.h"

#include <algorithm>
#include <new>

#include "sound/manager/LogChannels.h"
#include "sound/request/EffectsFile.h"

namespace {

// A warning (level 0.1) on the "RequestManager" channel, reported at the
// caller's position.
void warn(const debug::Context& where, const std::string& text) {
    channels::requestManager.post(debug::Warning(where, 0.1f) << text);
}

}  // namespace

RequestManager::RequestManager() = default;

RequestManager::~RequestManager() {
    Guard guard(lock);
    if (initialized) uninitialize();
    for (auto& record : effectConfigs) delete record.second;
    effectConfigs.clear();
    delete theSound3DDeviceManager;
}

void RequestManager::releaseDevice() {
    delete theSound3DDeviceManager;
    theSound3DDeviceManager = nullptr;
    theSound3DDevice = nullptr;
    initialized = false;
}

void RequestManager::initialize() {
    Guard guard(lock);
    if (initialized) {
        channels::requestManager.post(debug::Error(DEBUG_CONTEXT) << "Skip initialize: already done");
        return;
    }
    try {
        initializeDevice();
    } catch (const std::bad_alloc&) {
        // Out of memory part-way: nothing of the attempt is kept, and a
        // later initialize starts afresh.
        warn(DEBUG_CONTEXT, "Skip initialize: out of memory");
        EffectsFile::setTarget(nullptr);
        if (initialized) {
            try {
                theSound3DDevice->uninitialize();
            } catch (const debug::Exception& e) {
                warn(DEBUG_CONTEXT, e.getString());
            }
        }
        for (auto& record : effectConfigs) delete record.second;
        effectConfigs.clear();
        releaseDevice();
    }
}

void RequestManager::initializeDevice() {
    theSound3DDeviceManager = new Sound3DDeviceManager;

    // The effect file is read whether or not a device is found.
    EffectsFile::resetDirectoryPrefix();
    EffectsFile::setTarget(&effectConfigs);
    EffectsFile::read("Effects.snd");
    EffectsFile::setTarget(nullptr);

    try {
        for (SoundDevice* device : *theSound3DDeviceManager->enumerateSoundDevices(1)) {
            if (auto* effects = dynamic_cast<Sound3DEffectDevice*>(device)) {
                theSound3DDevice = effects;
                break;
            }
        }
        if (!theSound3DDevice) {
            warn(DEBUG_CONTEXT, "Not found sound device!");
            releaseDevice();
            return;
        }
        theSound3DDevice->initialize();
        initialized = true;
        loadDeviceSettings();
    } catch (const debug::Exception& e) {
        // SoundDeviceException from enumeration or initialisation (or any
        // other failure of the device): no device.
        warn(DEBUG_CONTEXT, e.getString());
        releaseDevice();
    }
}

void RequestManager::loadDeviceSettings() {
    EffectConfig* record = getRequestEffectConfig("device");
    if (!record) {
        channels::requestManager.post(debug::Error(DEBUG_CONTEXT) << "Not found EffectConfig for " << "device");
        return;
    }
    ResourceManager* resources = theResourceManager;
    ResourceLock guard(resources);
    // No existence check: the device is told of a missing file by a null stream.
    const std::string path = "/Sounds/" + record->fileName;
    ResourceStream* stream = resources->openStream(path.c_str());
    try {
        theSound3DDevice->loadSettings(stream);
    } catch (...) {
        // initialize reports the failure; the stream goes back first.
        if (stream) resources->closeStream(stream);
        throw;
    }
    if (stream) resources->closeStream(stream);
}

void RequestManager::uninitialize() {
    Guard guard(lock);
    if (!initialized) {
        warn(DEBUG_CONTEXT, "Skip uninitialize: already done");
        return;
    }
    const auto handedOut = theSound3DEffects;
    for (const auto& entry : handedOut) unload(entry.first, entry.second);
    if (!theSound3DEffects.empty()) {
        channels::requestManager.post(debug::Error(DEBUG_CONTEXT)
                                      << "theSound3DEffects.size() != 0 after uninitializing");
        theSound3DEffects.clear();
    }
    try {
        theSound3DDevice->uninitialize();
    } catch (const debug::Exception& e) {
        warn(DEBUG_CONTEXT, e.getString());
    }
    theSound3DDevice = nullptr;
    for (auto& record : effectConfigs) delete record.second;
    effectConfigs.clear();
    releaseDevice();
}

void RequestManager::beginBatch() { batchCall(&Sound3DEffectDevice::beginBatch); }

void RequestManager::endBatch() { batchCall(&Sound3DEffectDevice::endBatch); }

void RequestManager::batchCall(void (Sound3DEffectDevice::*call)()) {
    Guard guard(lock);
    if (!initialized || !theSound3DDevice) return;
    try {
        (theSound3DDevice->*call)();
    } catch (const debug::Exception& e) {
        warn(DEBUG_CONTEXT, e.getString());
    }
}

void RequestManager::reReadConfig() {
    Guard guard(lock);
    if (!initialized) return;
    uninitialize();
    initialize();
}

EffectConfig* RequestManager::getRequestEffectConfig(const std::string& name) {
    Guard guard(lock);
    if (!initialized) {
        warn(DEBUG_CONTEXT, "Skip getRequestEffectConfig for " + name + ": device is uninitialized");
        return nullptr;
    }
    auto found = effectConfigs.find(name);
    return found == effectConfigs.end() ? nullptr : found->second;
}

Sound3DEffect* RequestManager::load(const std::string& name) {
    Guard guard(lock);
    ResourceManager* resources = theResourceManager;
    ResourceLock resourceGuard(resources);
    if (!initialized) {
        warn(DEBUG_CONTEXT, "Skip load " + name + ": device is uninitialized");
        return nullptr;
    }
    EffectConfig* record = getRequestEffectConfig(name);
    if (!record) {
        warn(DEBUG_CONTEXT, "Skip load " + name + ": not found EffectConfig");
        return nullptr;
    }
    Sound3DEffect* effect = nullptr;
    try {
        effect = theSound3DDevice->createEffect();
    } catch (const debug::Exception& e) {
        warn(DEBUG_CONTEXT, e.getString());
    } catch (const std::bad_alloc&) {
        warn(DEBUG_CONTEXT, "Skip load " + name + ": out of memory");
    }
    if (!effect) return nullptr;
    auto first = theSound3DEffects.find(name);
    if (first != theSound3DEffects.end() && record->storage != "disk") {
        try {
            effect->clone(first->second);
        } catch (const debug::Exception& e) {  // SoundObjectException, or any other device failure
            warn(DEBUG_CONTEXT, "Failed to clone " + name);
            warn(DEBUG_CONTEXT, e.getString());
            theSound3DDevice->destroyEffect(effect);
            return nullptr;
        } catch (const std::bad_alloc&) {
            warn(DEBUG_CONTEXT, "Failed to clone " + name);
            warn(DEBUG_CONTEXT, "out of memory");
            theSound3DDevice->destroyEffect(effect);
            return nullptr;
        }
    } else {
        const std::string path = "/Sounds/" + record->fileName;
        if (resources->notFound(path.c_str())) {
            warn(DEBUG_CONTEXT, "Skip load " + name + ": " + record->fileName + " not found");
            theSound3DDevice->destroyEffect(effect);
            return nullptr;
        }
        ResourceStream* stream = resources->openStream(path.c_str());
        const bool isStatic = record->storage == "memory";
        try {
            if (isStatic) {
                effect->createStatic(stream);
                resources->closeStream(stream);
            } else {
                effect->createStreaming(stream, 4);  // the stream belongs to the effect until unload
            }
        } catch (const debug::Exception& e) {
            failedCreation(name, *record, isStatic, e.getString(), stream, effect);
            return nullptr;
        } catch (const std::bad_alloc&) {
            // A sound too large to hold: refused like a file that fails to decode.
            failedCreation(name, *record, isStatic, "out of memory", stream, effect);
            return nullptr;
        }
    }
    try {
        theSound3DEffects.emplace(name, effect);  // after any effects of that name
    } catch (const std::bad_alloc&) {
        warn(DEBUG_CONTEXT, "Skip load " + name + ": out of memory");
        releaseEffect(effect);
        return nullptr;
    }
    return effect;
}

void RequestManager::failedCreation(const std::string& name, const EffectConfig& record, bool isStatic,
                                    const std::string& reason, ResourceStream* stream, Sound3DEffect* effect) {
    warn(DEBUG_CONTEXT,
         (isStatic ? "Failed to create static file " : "Failed to create streaming file ") + name + " " +
             record.fileName);
    warn(DEBUG_CONTEXT, reason);
    if (stream) theResourceManager->closeStream(stream);
    theSound3DDevice->destroyEffect(effect);
}

void RequestManager::releaseEffect(Sound3DEffect* effect) {
    ResourceStream* stream = nullptr;
    try {
        stream = effect->getStream();
        effect->release();
    } catch (const debug::Exception& e) {
        warn(DEBUG_CONTEXT, e.getString());
    }
    theSound3DDevice->destroyEffect(effect);
    if (stream) theResourceManager->closeStream(stream);
}

void RequestManager::unload(const std::string& name, Sound3DEffect* effect) {
    Guard guard(lock);
    ResourceManager* resources = theResourceManager;
    ResourceLock resourceGuard(resources);
    if (!initialized) {
        warn(DEBUG_CONTEXT, "Skip unload " + name + ": device is uninitialized");
        return;
    }
    if (!effect) {
        warn(DEBUG_CONTEXT, "Skip unload " + name + ": effect = 0");
        return;
    }
    ResourceStream* stream = nullptr;
    try {
        stream = effect->getStream();
    } catch (const debug::Exception& e) {
        warn(DEBUG_CONTEXT, e.getString());
    }
    // The first entry of that name holding the effect goes. An effect given
    // back under another name than its own is destroyed all the same, so its
    // entry goes too: a later uninitialise must not give it back twice.
    auto range = theSound3DEffects.equal_range(name);
    auto found = std::find_if(range.first, range.second, [&](const auto& e) { return e.second == effect; });
    if (found == range.second)
        found = std::find_if(theSound3DEffects.begin(), theSound3DEffects.end(),
                             [&](const auto& e) { return e.second == effect; });
    if (found != theSound3DEffects.end()) theSound3DEffects.erase(found);
    try {
        effect->release();
    } catch (const debug::Exception& e) {
        warn(DEBUG_CONTEXT, e.getString());
    }
    theSound3DDevice->destroyEffect(effect);
    if (stream) resources->closeStream(stream);
}

Sound3DListener* RequestManager::requestListener() {
    Guard guard(lock);
    if (!initialized) {
        warn(DEBUG_CONTEXT, "Skip requestListener: device is not initialized");
        return nullptr;
    }
    return theSound3DDevice->getListener();
}

void RequestManager::freeListener(Sound3DListener*) {
    Guard guard(lock);
    if (!initialized) warn(DEBUG_CONTEXT, "Skip freeListener: device is not initialized");
}

bool RequestManager::isInitialized() {
    Guard guard(lock);
    return initialized;
}

size_t RequestManager::getHandedOutCount() {
    Guard guard(lock);
    return theSound3DEffects.size();
}

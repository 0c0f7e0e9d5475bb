#pragma once
// The 3D sound device library as the sound library calls it. The request
// manager is its only user: it creates a Sound3DDeviceManager, takes the
// first listed Sound3DEffectDevice, initialises it and asks it for effects
// and for its listener.
//
// Threads: the sound library calls a device, its effects and its listener
// from one thread at a time (under the request manager's or an effect's
// lock); implementations guard whatever their own threads share.
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>

#include "interfaces/Debug.h"
#include "interfaces/Export.h"
#include "interfaces/Resource.h"
#include "interfaces/Vector.h"

// 3D mode of an effect; configuration words "normal", "headrelative", "disable".
enum Sound3DMode : int {
    SOUND3D_MODE_NORMAL = 0,
    SOUND3D_MODE_HEADRELATIVE = 1,
    SOUND3D_MODE_DISABLE = 2,
};

// When a 3D setting acts: at once, or at the listener's next commit.
enum Sound3DApply : int {
    SOUND3D_APPLY_IMMEDIATE = 0,
    SOUND3D_APPLY_DEFERRED = 1,
};

// Thrown by device enumeration and initialisation.
class ZULSOUND_API SoundDeviceException : public debug::Exception {
public:
    explicit SoundDeviceException(const std::string& text) : debug::Exception(text) {}
};

// Thrown by clone, createStatic and createStreaming.
class ZULSOUND_API SoundObjectException : public debug::Exception {
public:
    explicit SoundObjectException(const std::string& text) : debug::Exception(text) {}
};

class ZULSOUND_API Sound3DEffect {
public:
    virtual ~Sound3DEffect() = default;

    // playback
    virtual void play() = 0;
    virtual void setLooped(bool looped) = 0;
    virtual void stop() = 0;
    virtual void trigger() = 0;  // restarts the sound from its beginning
    virtual bool isPlaying() = 0;
    virtual uint32_t getPlayPosition() = 0;  // in sample frames
    virtual void setPlayPosition(uint32_t position) = 0;
    virtual void setVolume(float volume) = 0;
    virtual void release() = 0;  // called just before the device destroys it

    // placement
    virtual void setRadius(float radius, Sound3DApply apply) = 0;
    virtual void setMode(Sound3DMode mode, Sound3DApply apply) = 0;
    virtual void setPosition(const Vector& position, Sound3DApply apply) = 0;

    // buffer
    virtual void clone(Sound3DEffect* source) = 0;
    virtual void createStreaming(ResourceStream* stream, unsigned long buffers) = 0;
    virtual void createStatic(ResourceStream* stream) = 0;
    virtual ResourceStream* getStream() = 0;
    virtual uint32_t getFrequency() = 0;
    virtual uint32_t getChannels() = 0;
    virtual uint32_t getBits() = 0;
    virtual uint32_t getSize() = 0;
    virtual void getState(std::string& state) = 0;  // "clone" for a clone
};

class ZULSOUND_API Sound3DListener {
public:
    virtual ~Sound3DListener() = default;

    virtual void commit() = 0;
    virtual float getDistanceFactor() = 0;
    virtual void setDistanceFactor(float factor, Sound3DApply apply) = 0;
    virtual void setOrientation(const Vector& front, const Vector& top, Sound3DApply apply) = 0;
    virtual void setPosition(const Vector& position, Sound3DApply apply) = 0;
    virtual float getRolloffFactor() = 0;
    virtual void setRolloffFactor(float factor, Sound3DApply apply) = 0;
};

class ZULSOUND_API SoundDevice {
public:
    virtual ~SoundDevice() = default;
    virtual std::string getName() = 0;
};

class ZULSOUND_API Sound3DEffectDevice : public SoundDevice {
public:
    // own
    virtual Sound3DEffect* createEffect() = 0;
    virtual void destroyEffect(Sound3DEffect* effect) = 0;
    // control
    virtual void initialize() = 0;
    virtual void uninitialize() = 0;
    // settings
    virtual void loadSettings(ResourceStream* stream) = 0;
    virtual void getInfo(std::list<std::string>& lines) = 0;
    // the device's listener; never freed by its users
    virtual Sound3DListener* getListener() = 0;
};

class ZULSOUND_API SoundDeviceManager {
public:
    virtual ~SoundDeviceManager() = default;
    virtual std::list<SoundDevice*>* enumerateSoundDevices(unsigned long flags) = 0;
};

// Lists the devices of the device library. The list and the devices belong
// to the manager and live until it is destroyed.
//
// A host or a test decides which devices are listed by installing a provider
// before the manager is created (a null provider restores the library's own
// list). The provider is called once per enumeration; the manager keeps the
// shared pointers it returns, so the caller may keep copies to inspect the
// devices after the manager is gone.
class ZULSOUND_API Sound3DDeviceManager : public SoundDeviceManager {
public:
    using DeviceList = std::list<std::shared_ptr<SoundDevice>>;
    using Provider = std::function<DeviceList()>;

    Sound3DDeviceManager();
    ~Sound3DDeviceManager() override;
    std::list<SoundDevice*>* enumerateSoundDevices(unsigned long flags) override;

    static void setDeviceProvider(Provider provider);
    // Chooses the library's own output before activation: "default" (the
    // system's sound card, else the null output), "null" (mixed in real time,
    // thrown away), "wav:PATH" (mixed in real time into a WAV file, finished
    // at uninitialize) or "loopback" (mixed only when pumped by hand). An
    // empty setting falls back to the environment variable ZULSOUND_OUTPUT,
    // then to "default".
    static void setOutput(const std::string& setting);
    // Where the library's own device plays now: "pulseaudio" (the sound
    // server), "alsa" (the sound card), "null", "wav:PATH", "loopback",
    // "disconnected" (the system's output was lost and is looked for every
    // second), or "" when no device of the library is initialised. The
    // device also logs one line on the "SoundDevice" channel naming the
    // output it opened, and why when it fell back to the null output.
    static std::string openOutput();
    // The devices the library itself lists when no provider is installed.
    static DeviceList listOwnDevices();

private:
    DeviceList devices;
    std::list<SoundDevice*> listed;
};

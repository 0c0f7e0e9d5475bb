#pragma once
// A scriptable sound device that records every call made on it, its effects
// and its listener, with the arguments written as text. A test decides what
// the device answers (isPlaying, formats and sizes) and can make any call
// throw the device library's exceptions.
//
// Install it as the only listed device with DeviceProviderGuard; keep the
// shared pointer to inspect it after the sound library has let it go.
//
// Threads: every call may come from any thread; the device serialises them.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "interfaces/SoundDevice.h"

namespace testsupport {

struct Call {
    std::string object;  // "device", "listener" or "effect#N"
    std::string name;    // the operation, e.g. "createStatic"
    std::vector<std::string> args;

    std::string text() const;  // "effect#2.setVolume(0.5)"
};

class RecordingDevice;

class RecordingEffect : public Sound3DEffect {
public:
    RecordingEffect(RecordingDevice& device, int id);

    void play() override;
    void setLooped(bool looped) override;
    void stop() override;
    void trigger() override;
    bool isPlaying() override;
    uint32_t getPlayPosition() override;
    void setPlayPosition(uint32_t position) override;
    void setVolume(float volume) override;
    void release() override;
    void setRadius(float radius, Sound3DApply apply) override;
    void setMode(Sound3DMode mode, Sound3DApply apply) override;
    void setPosition(const Vector& position, Sound3DApply apply) override;
    void clone(Sound3DEffect* source) override;
    void createStreaming(ResourceStream* stream, unsigned long buffers) override;
    void createStatic(ResourceStream* stream) override;
    ResourceStream* getStream() override;
    uint32_t getFrequency() override;
    uint32_t getChannels() override;
    uint32_t getBits() override;
    uint32_t getSize() override;
    void getState(std::string& state) override;

    int getId() const { return id; }
    std::string label() const { return "effect#" + std::to_string(id); }

    // What the effect holds now (read under the device's lock).
    struct State {
        bool playing = false;
        bool looped = false;
        bool released = false;
        uint32_t position = 0;
        float volume = 1.0f;
        float radius = 0.0f;
        Sound3DMode mode = SOUND3D_MODE_NORMAL;
        Vector place;
        ResourceStream* stream = nullptr;
        std::string source;  // the resource path it was loaded or streamed from
        std::string state = "empty";
        uint32_t frequency = 0, channels = 0, bits = 0, size = 0;
    };
    State snapshot();
    // The test decides: the sound ends (or starts) on its own, or has played
    // on to a position (in sample frames).
    void setPlaying(bool playing);
    void advanceTo(uint32_t position);

private:
    friend class RecordingDevice;
    void take(ResourceStream* stream, const std::string& state);  // the sound's source, format and size
    RecordingDevice& device;
    const int id;
    State s;
};

class RecordingListener : public Sound3DListener {
public:
    explicit RecordingListener(RecordingDevice& device) : device(device) {}
    void commit() override;
    float getDistanceFactor() override;
    void setDistanceFactor(float factor, Sound3DApply apply) override;
    void setOrientation(const Vector& front, const Vector& top, Sound3DApply apply) override;
    void setPosition(const Vector& position, Sound3DApply apply) override;
    float getRolloffFactor() override;
    void setRolloffFactor(float factor, Sound3DApply apply) override;

    float distanceFactor = 1.0f;
    float rolloffFactor = 1.0f;
    Vector position, front, top;

private:
    RecordingDevice& device;
};

class RecordingDevice : public Sound3DEffectDevice {
public:
    struct Format {
        uint32_t frequency = 22050, channels = 1, bits = 16;
    };

    explicit RecordingDevice(std::string name = "recording");
    ~RecordingDevice() override;

    std::string getName() override { return name; }
    Sound3DEffect* createEffect() override;
    void destroyEffect(Sound3DEffect* effect) override;
    void initialize() override;
    void uninitialize() override;
    void loadSettings(ResourceStream* stream) override;
    void getInfo(std::list<std::string>& lines) override;
    Sound3DListener* getListener() override;
    void beginBatch() override;
    void endBatch() override;

    // ---- scripting ----
    // The next `times` calls of `operation` (on the device, any effect or the
    // listener) throw: SoundDeviceException for initialize, SoundObjectException
    // for clone/createStatic/createStreaming, debug::Exception otherwise.
    void failNext(const std::string& operation, const std::string& text, int times = 1);
    // Format reported by sounds loaded from a path (size = the file's bytes
    // unless set here).
    void setFormat(const std::string& path, Format format, uint32_t size = 0);
    // The lines getInfo answers with.
    void setInfoLines(std::list<std::string> lines);
    // Whether a play() starts the sound (true) or it ends at once (false).
    void setPlayStarts(bool starts);

    // ---- inspection ----
    std::vector<Call> calls();
    std::vector<Call> calls(const std::string& operation);
    size_t count(const std::string& operation);
    void clearCalls();
    // Effects created and not yet destroyed, in creation order.
    std::vector<RecordingEffect*> liveEffects();
    RecordingEffect* effect(int id);  // a live effect by id, or null
    bool isInitialized();
    std::string settingsRead();  // the text of the last loadSettings stream
    RecordingListener& listener() { return theListener; }

    // Used by the effects and the listener.
    std::recursive_mutex mutex;
    void record(const std::string& object, const std::string& operation, std::vector<std::string> args);
    void maybeFail(const std::string& operation);
    // Locks the device, records the call and throws if it is scripted to.
    std::unique_lock<std::recursive_mutex> enter(const std::string& object, const std::string& operation,
                                                 std::vector<std::string> args);
    Format formatFor(const std::string& path, uint32_t* size);
    bool playStarts = true;

private:
    std::string name;
    std::vector<Call> log;
    std::map<std::string, std::pair<std::string, int>> failures;
    std::map<std::string, std::pair<Format, uint32_t>> formats;
    std::list<std::string> infoLines{"Device: recording"};
    std::vector<RecordingEffect*> live;
    RecordingListener theListener;
    int nextId = 1;
    bool initialized = false;
    std::string settings;
};

// Installs devices as the ones the device library lists, for its lifetime.
class DeviceProviderGuard {
public:
    explicit DeviceProviderGuard(std::vector<std::shared_ptr<SoundDevice>> devices);
    explicit DeviceProviderGuard(std::shared_ptr<SoundDevice> device)
        : DeviceProviderGuard(std::vector<std::shared_ptr<SoundDevice>>{std::move(device)}) {}
    ~DeviceProviderGuard();
};

std::string text(float value);
std::string text(const Vector& value);

}  // namespace testsupport

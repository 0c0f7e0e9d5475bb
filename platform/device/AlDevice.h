#pragma once
// The 3D sound device over OpenAL Soft. One class serves every output: the
// system's sound card (an OpenAL playback device), and the loopback outputs
// that run the same mixer through ALC_SOFT_loopback: "null" (mixed in real
// time by the device's own thread and thrown away), "wav:PATH" (mixed in
// real time into a WAV file) and a hand-pumped loopback for tests and
// benchmarks (render() mixes a number of frames on the caller's thread).
//
// Effects are cheap: a buffer (shared, reference-counted) or a stream, and
// their state. An effect takes an OpenAL source (a voice) only while it
// plays. When more effects play than the voice limit allows, the quietest
// play virtually: their time runs on, isPlaying stays truthful, and they
// take a voice again when one frees or when they become louder than a heard
// one. Settings given with apply value 1 wait for the listener's commit.
//
// World axes: x, y the board, z up. The listener's orientation is given in
// those axes; head-relative positions are taken as (forward, left, up) and
// converted to OpenAL's (right, up, back).
//
// Threads: every call may come from any thread; one recursive lock guards
// the device, its effects, its listener and the OpenAL context. The device's
// own thread (real-time outputs) takes it for each period it mixes. A call
// makes the device's context current on its thread only while it runs and
// then gives the thread back the context it had: no thread is left holding
// the device's context.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/SoundDevice.h"
#include "platform/device/Output.h"

namespace aldevice {

class AlDevice;
class Decoder;

// The calling thread's OpenAL context for the length of one operation: made
// current on construction, the thread's previous one restored on
// destruction. Nested scopes of the same context cost one thread-local read.
class [[nodiscard]] ContextScope {
public:
    explicit ContextScope(void* context);  // ALCcontext*, or null: nothing changes
    ~ContextScope();
    ContextScope(const ContextScope&) = delete;
    ContextScope& operator=(const ContextScope&) = delete;

private:
    void* previous = nullptr;
    bool changed = false;
};

struct Settings {
    uint32_t frequency = 48000;
    uint32_t voices = 255;  // the voice limit (ALC_MONO_SOURCES)
    bool hrtf = false;
    std::string distanceModel = "inverse";  // inverse, linear, exponent, none (each clamped but none)
};

// Reads a settings file ("frequency", "voices", "hrtf", "distanceModel";
// other keys are ignored). False, with a warning and *settings untouched,
// when the text is malformed.
bool parseSettings(const std::string& text, const std::string& origin, Settings* settings);

// Decoded samples held by OpenAL, shared by an effect and its clones.
struct Buffer {
    unsigned id = 0;
    uint32_t frequency = 0, channels = 0, frames = 0, bytes = 0;
    AlDevice* device = nullptr;
    ~Buffer();
};

class AlEffect : public Sound3DEffect {
public:
    explicit AlEffect(AlDevice& device);
    ~AlEffect() override;

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

    // Whether the effect holds a voice now (heard), for tests and statistics.
    bool isHeard();

private:
    friend class AlDevice;
    friend class AlListener;
    struct Placement {
        Vector position;
        Sound3DMode mode = SOUND3D_MODE_NORMAL;
        float radius = 1.0f;
    };

    bool hasSound() const { return buffer || decoder; }
    uint64_t lengthFrames() const;
    uint32_t currentFrame();         // the play position now
    void advanceVirtual();           // moves a virtual sound's time to the device clock
    float loudness();                // gain at the listener, for voice priority
    void applyToSource();            // every parameter to the voice
    void applyPlacement();           // position, mode, radius to the voice
    void startOnVoice(uint32_t frame);
    void dropVoice();                // gives the voice back, keeps the position
    void refillStream();             // queues decoded blocks while the voice plays
    void queueFrom(uint32_t frame);  // (re)starts a stream's queue at a frame
    bool queueNextBlock(unsigned id);  // decodes the next block into a buffer and queues it
    void finish();                   // the sound ended by itself
    template <typename Change>
    void place(Sound3DApply apply, Change change);

    AlDevice& device;
    std::shared_ptr<Buffer> buffer;
    std::unique_ptr<Decoder> decoder;
    ResourceStream* stream = nullptr;
    std::string state = "empty";
    std::vector<unsigned> streamBuffers;  // a stream's own OpenAL buffers
    std::vector<int16_t> blockSamples;    // decoding space, kept between refills
    uint32_t streamFrequency = 0, streamChannels = 0, streamBytes = 0;
    uint64_t streamFrames = 0;
    uint64_t queuedBase = 0;     // a stream: frame at the head of the queue
    uint64_t decodePosition = 0; // a stream: next frame the decoder gives
    bool decoderEnded = false;

    unsigned source = 0;  // the voice, or 0
    bool playing = false;
    bool looped = false;
    float volume = 1.0f;
    float rolloff = -1.0f;  // the rolloff the voice has
    Placement now, pending;
    bool hasPending = false;
    uint32_t position = 0;          // where a sound without a voice stands
    uint64_t virtualSince = 0;      // device clock when the virtual time was last taken
};

class AlListener : public Sound3DListener {
public:
    explicit AlListener(AlDevice& device) : device(device) {}
    void commit() override;
    float getDistanceFactor() override;
    void setDistanceFactor(float factor, Sound3DApply apply) override;
    void setOrientation(const Vector& front, const Vector& top, Sound3DApply apply) override;
    void setPosition(const Vector& position, Sound3DApply apply) override;
    float getRolloffFactor() override;
    void setRolloffFactor(float factor, Sound3DApply apply) override;

private:
    friend class AlDevice;
    friend class AlEffect;
    void apply();
    void beginPending();  // pending values start from the current ones
    AlDevice& device;
    float distanceFactor = 1.0f, rolloffFactor = 1.0f;  // metres per world unit; rolloff of every source
    float pendingDistanceFactor = 1.0f, pendingRolloffFactor = 1.0f;
    Vector position, front{1, 0, 0}, top{0, 0, 1};
    Vector pendingPosition, pendingFront{1, 0, 0}, pendingTop{0, 0, 1};
    bool hasPending = false;
};

class AlDevice : public Sound3DEffectDevice {
public:
    // An output that opens: the system's sound card (fails without one: then
    // create throws SoundDeviceException), or a loopback output.
    explicit AlDevice(Output output);
    ~AlDevice() override;

    std::string getName() override;
    Sound3DEffect* createEffect() override;
    void destroyEffect(Sound3DEffect* effect) override;
    void initialize() override;
    void uninitialize() override;
    void loadSettings(ResourceStream* stream) override;
    void getInfo(std::list<std::string>& lines) override;
    Sound3DListener* getListener() override;

    // Whether the system's sound card can be opened at all.
    static bool systemOutputOpens();

    // Hand-pumped loopback output: mixes frames (interleaved stereo floats)
    // on the caller's thread, running the device's service first.
    void render(float* out, uint32_t frames);
    void applySettings(const Settings& settings);  // as a settings file would
    const Settings& getSettings() const { return settings; }
    size_t getVoicesInUse();
    uint64_t getBufferBytes();
    bool isConnected();
    // Real-time outputs: blocks until the device's own thread has mixed at
    // least `frames` frames since initialize (true), or the timeout passed.
    bool waitMixed(uint64_t frames, std::chrono::milliseconds timeout);

private:
    friend class AlEffect;
    friend class AlListener;
    friend struct Buffer;

    void openContext();
    void closeContext();
    ContextScope makeCurrent();  // keep the scope for as long as OpenAL is called
    void service(uint32_t frames);  // streams, voices, the clock
    void rebalance();               // who holds the voices
    bool acquireVoice(AlEffect* effect);
    void releaseVoice(AlEffect* effect);
    void commitPending();
    void runRealTime();
    uint64_t now() const { return clock; }

    std::recursive_mutex lock;
    Output output;
    Settings settings;
    void* alcDevice = nullptr;   // ALCdevice*
    void* alcContext = nullptr;  // ALCcontext*
    bool loopback = false;
    bool initialized = false;
    bool lostOutput = false;
    std::list<AlEffect*> effects;
    std::vector<unsigned> freeSources;
    size_t sourcesMade = 0;
    size_t voicesInUse = 0;
    AlListener listener{*this};
    uint64_t clock = 0;  // frames mixed (or, on a sound card, elapsed) since initialize
    uint64_t bufferBytes = 0;
    std::thread worker;
    std::condition_variable_any wake;
    std::condition_variable_any mixed;  // the real-time thread mixed a period
    bool stopping = false;
    void* wavFile = nullptr;  // SNDFILE*
};

}  // namespace aldevice

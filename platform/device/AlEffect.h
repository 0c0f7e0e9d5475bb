#pragma once
// One sound of the OpenAL device: a buffer shared with its clones, or a
// stream of its own, and its playback state. See AlDevice.h for the threads.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/SoundDevice.h"

namespace aldevice {

class AlDevice;
class SharedStream;

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

    bool hasSound() const { return buffer || shared; }
    uint64_t lengthFrames() const;
    uint32_t soundFrequency() const;  // of the buffer or the shared stream; 0 without a sound
    uint32_t soundChannels() const;
    uint32_t currentFrame();         // the play position now
    void advanceVirtual();           // moves a virtual sound's time to the device clock
    float loudness();                // gain at the listener, for voice priority
    void applyToSource();            // every parameter to the voice
    void applyPlacement();           // position, mode, radius to the voice
    void startOnVoice(uint32_t frame);
    void dropVoice();                // gives the voice back, keeps the position
    void refillStream();             // queues the next blocks while the voice plays
    void queueFrom(uint32_t frame);  // (re)starts a stream's queue at a frame
    bool queueNextBlock();           // queues the file's next block (decoded if nobody has it)
    void letGoOfQueue();             // the voice's queue was emptied: its blocks are given back
    void finish();                   // the sound ended by itself
    template <typename Change>
    void place(Sound3DApply apply, Change change);

    AlDevice& device;
    std::shared_ptr<Buffer> buffer;
    std::shared_ptr<SharedStream> shared;  // a stream: its file's decoded blocks
    ResourceStream* stream = nullptr;
    std::string state = "empty";
    // A stream's queue on its voice: the blocks, oldest first, in a ring.
    static constexpr unsigned maxQueued = 16;
    struct Queued {
        uint64_t block;
        uint32_t frames;
    };
    Queued queued[maxQueued] = {};
    unsigned queueHead = 0, queueCount = 0;
    unsigned queueDepth = 4;     // blocks a stream keeps queued
    uint64_t nextBlock = 0;      // a stream: the block its queue takes next
    uint64_t queuedBase = 0;     // a stream: frame at the head of the queue
    uint64_t decodePosition = 0; // a stream: frame after the last one queued
    bool decoderEnded = false;

    unsigned source = 0;  // the voice, or 0
    bool playing = false;
    bool listedPlaying = false;  // in the device's playing list (AlDevice.h)
    const uint64_t serial;       // the device's count of effects made before this one
    bool looped = false;
    float volume = 1.0f;
    Placement now, pending;
    bool hasPending = false;
    uint32_t position = 0;          // where a sound without a voice stands
    uint64_t virtualSince = 0;      // device clock when the virtual time was last taken
};

}  // namespace aldevice

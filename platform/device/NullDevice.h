#pragma once
// A sound device that makes no sound and accepts every call. It keeps the
// state its getters report (playing, position, volume, format, listener
// factors), so a game runs every code path on a machine without any output.
//
// Threads: one caller at a time, as for every device.
#include <cstdint>
#include <string>

#include "interfaces/SoundDevice.h"

namespace nulldevice {

class NullListener : public Sound3DListener {
public:
    void commit() override {}
    float getDistanceFactor() override { return distanceFactor; }
    void setDistanceFactor(float factor, Sound3DApply) override { distanceFactor = factor; }
    void setOrientation(const Vector& f, const Vector& t, Sound3DApply) override {
        front = f;
        top = t;
    }
    void setPosition(const Vector& p, Sound3DApply) override { position = p; }
    float getRolloffFactor() override { return rolloffFactor; }
    void setRolloffFactor(float factor, Sound3DApply) override { rolloffFactor = factor; }

    float distanceFactor = 1.0f;
    float rolloffFactor = 1.0f;
    Vector position;
    Vector front{1.0f, 0.0f, 0.0f};
    Vector top{0.0f, 0.0f, 1.0f};
};

class NullEffect : public Sound3DEffect {
public:
    void play() override { playing = true; }
    void setLooped(bool l) override { looped = l; }
    void stop() override { playing = false; }
    void trigger() override {
        position = 0;
        playing = true;
    }
    bool isPlaying() override { return playing; }
    uint32_t getPlayPosition() override { return position; }
    void setPlayPosition(uint32_t p) override { position = p; }
    void setVolume(float v) override { volume = v; }
    void release() override { playing = false; }

    void setRadius(float r, Sound3DApply) override { radius = r; }
    void setMode(Sound3DMode m, Sound3DApply) override { mode = m; }
    void setPosition(const Vector& p, Sound3DApply) override { place = p; }

    void clone(Sound3DEffect* source) override;
    void createStreaming(ResourceStream* stream, unsigned long buffers) override;
    void createStatic(ResourceStream* stream) override;
    ResourceStream* getStream() override { return stream; }
    uint32_t getFrequency() override { return frequency; }
    uint32_t getChannels() override { return channels; }
    uint32_t getBits() override { return bits; }
    uint32_t getSize() override { return size; }
    void getState(std::string& s) override { s = state; }

    bool playing = false;
    bool looped = false;
    uint32_t position = 0;
    float volume = 1.0f;
    float radius = 1.0f;
    Sound3DMode mode = SOUND3D_MODE_NORMAL;
    Vector place;
    ResourceStream* stream = nullptr;
    uint32_t frequency = 0;
    uint32_t channels = 0;
    uint32_t bits = 0;
    uint32_t size = 0;
    std::string state = "empty";
};

class NullDevice : public Sound3DEffectDevice {
public:
    std::string getName() override { return "silent"; }
    Sound3DEffect* createEffect() override;
    void destroyEffect(Sound3DEffect* effect) override;
    void initialize() override { initialized = true; }
    void uninitialize() override { initialized = false; }
    void loadSettings(ResourceStream*) override {}
    void getInfo(std::list<std::string>& lines) override;
    Sound3DListener* getListener() override { return &listener; }

private:
    NullListener listener;
    bool initialized = false;
    unsigned long effects = 0;
};

}  // namespace nulldevice

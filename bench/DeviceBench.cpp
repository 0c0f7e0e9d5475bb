// The OpenAL device: voices mixed per CPU second through our device against
// raw OpenAL Soft doing the same work (a hand-pumped loopback context, the
// same looping sources), decode-and-load time of a 10 s sound, and the bytes
// held by 100 clones against one load.
#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/device/AlDevice.h"
#include "tests/support/ResourceTree.h"

namespace {

constexpr int voices = 64;
constexpr uint32_t block = 1024;

std::vector<int16_t> toneSamples(int frames) {
    std::vector<int16_t> samples(static_cast<size_t>(frames));
    for (int k = 0; k < frames; ++k) samples[k] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440.0 * k / 48000));
    return samples;
}

void writeWav(const std::string& path, double seconds, int format) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    const auto samples = toneSamples(static_cast<int>(seconds * 48000));
    sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

// Raw OpenAL Soft: a loopback context, looping sources on one buffer.
struct RawMixer {
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    ALuint buffer = 0;
    std::vector<ALuint> sources;
    std::vector<float> out = std::vector<float>(block * 2);

    explicit RawMixer(int voices) : sources(static_cast<size_t>(voices)) {
        device = alcLoopbackOpenDeviceSOFT(nullptr);
        const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                                     ALC_FREQUENCY, 48000, ALC_MONO_SOURCES, 255, ALC_HRTF_SOFT, ALC_FALSE, 0};
        context = alcCreateContext(device, attributes);
        alcSetThreadContext(context);
        const auto samples = toneSamples(48000);
        alGenBuffers(1, &buffer);
        alBufferData(buffer, AL_FORMAT_MONO16, samples.data(), static_cast<ALsizei>(samples.size() * 2), 48000);
        alGenSources(voices, sources.data());
        for (int k = 0; k < voices; ++k) {
            alSourcei(sources[k], AL_BUFFER, static_cast<ALint>(buffer));
            alSourcei(sources[k], AL_LOOPING, AL_TRUE);
            alSource3f(sources[k], AL_POSITION, float(k % 16) - 8, float(k / 16) - 8, 0);
            alSourcePlay(sources[k]);
        }
    }
    void render() {
        alcSetThreadContext(context);
        alcRenderSamplesSOFT(device, out.data(), block);
    }
    ~RawMixer() {
        alcSetThreadContext(context);
        alDeleteSources(static_cast<ALsizei>(sources.size()), sources.data());
        alDeleteBuffers(1, &buffer);
        alcSetThreadContext(nullptr);
        alcDestroyContext(context);
        alcCloseDevice(device);
    }
};

// The same work through our device: effects cloned from one loaded sound,
// the device's service (streams, voices, virtual time) before each block.
struct DeviceMixer {
    testsupport::ResourceTree tree;
    aldevice::AlDevice device{aldevice::Output{aldevice::Output::Loopback, ""}};
    std::vector<Sound3DEffect*> effects;
    std::vector<float> out = std::vector<float>(block * 2);

    explicit DeviceMixer(int voices) {
        tree.write("/Sounds/tone.wav", "");
        writeWav(tree.pathOf("/Sounds/tone.wav"), 1.0, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        device.initialize();
        Sound3DEffect* source = device.createEffect();
        ResourceStream* stream = theResourceManager->openStream("/Sounds/tone.wav");
        source->createStatic(stream);
        theResourceManager->closeStream(stream);
        for (int k = 0; k < voices; ++k) {
            effects.push_back(k == 0 ? source : device.createEffect());
            if (k) effects.back()->clone(source);
            effects.back()->setLooped(true);
            effects.back()->setPosition(Vector(float(k % 16) - 8, float(k / 16) - 8, 0), SOUND3D_APPLY_IMMEDIATE);
            effects.back()->play();
        }
    }
    void render() { device.render(out.data(), block); }
    ~DeviceMixer() {
        for (Sound3DEffect* e : effects) device.destroyEffect(e);
        device.uninitialize();
    }
};

void BM_DeviceMixRawOpenAl(benchmark::State& state) {
    RawMixer mixer(voices);
    for (auto _ : state) mixer.render();
    state.counters["voice_seconds_per_cpu_second"] =
        benchmark::Counter(double(voices) * block / 48000, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DeviceMixRawOpenAl);

void BM_DeviceMixThroughDevice(benchmark::State& state) {
    DeviceMixer mixer(voices);
    for (auto _ : state) mixer.render();
    state.counters["voice_seconds_per_cpu_second"] =
        benchmark::Counter(double(voices) * block / 48000, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DeviceMixThroughDevice);

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Both in one run, block for block, at the full voice limit: the ratio of
// voices mixed per CPU second through the device to raw OpenAL Soft
// (1.0 = no cost of our own).
void BM_DeviceMixRatioAgainstRawOpenAl(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    RawMixer raw(count);
    DeviceMixer ours(count);
    double rawSeconds = 0, ourSeconds = 0;
    for (auto _ : state) {
        double t0 = threadCpuSeconds();
        raw.render();
        double t1 = threadCpuSeconds();
        ours.render();
        double t2 = threadCpuSeconds();
        rawSeconds += t1 - t0;
        ourSeconds += t2 - t1;
    }
    const double voiceSeconds = double(count) * block / 48000 * double(state.iterations());
    state.counters["raw_voice_s_per_cpu_s"] = voiceSeconds / rawSeconds;
    state.counters["device_voice_s_per_cpu_s"] = voiceSeconds / ourSeconds;
    state.counters["ratio"] = rawSeconds / ourSeconds;
}
BENCHMARK(BM_DeviceMixRatioAgainstRawOpenAl)->Arg(64)->Arg(255);

void BM_DeviceDecodeAndLoad10s(benchmark::State& state) {
    const bool ogg = state.range(0) == 1;
    testsupport::ResourceTree tree;
    const std::string path = ogg ? "/Sounds/ten.ogg" : "/Sounds/ten.wav";
    tree.write(path, "");
    writeWav(tree.pathOf(path), 10.0, ogg ? (SF_FORMAT_OGG | SF_FORMAT_VORBIS) : (SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    aldevice::AlDevice device(aldevice::Output{aldevice::Output::Loopback, ""});
    device.initialize();
    for (auto _ : state) {
        Sound3DEffect* effect = device.createEffect();
        ResourceStream* stream = theResourceManager->openStream(path.c_str());
        effect->createStatic(stream);
        theResourceManager->closeStream(stream);
        device.destroyEffect(effect);
    }
    state.SetLabel(ogg ? "Ogg/Vorbis, 10 s mono 48 kHz" : "WAV PCM16, 10 s mono 48 kHz");
    device.uninitialize();
}
BENCHMARK(BM_DeviceDecodeAndLoad10s)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_DeviceBytesOf100Clones(benchmark::State& state) {
    testsupport::ResourceTree tree;
    tree.write("/Sounds/tone.wav", "");
    writeWav(tree.pathOf("/Sounds/tone.wav"), 2.0, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    aldevice::AlDevice device(aldevice::Output{aldevice::Output::Loopback, ""});
    device.initialize();
    double ratio = 0;
    for (auto _ : state) {
        Sound3DEffect* source = device.createEffect();
        ResourceStream* stream = theResourceManager->openStream("/Sounds/tone.wav");
        source->createStatic(stream);
        theResourceManager->closeStream(stream);
        const double one = double(device.getBufferBytes());
        std::vector<Sound3DEffect*> clones;
        for (int k = 0; k < 100; ++k) {
            clones.push_back(device.createEffect());
            clones.back()->clone(source);
        }
        ratio = double(device.getBufferBytes()) / one;
        for (Sound3DEffect* c : clones) device.destroyEffect(c);
        device.destroyEffect(source);
    }
    state.counters["bytes_100_clones_over_one_load"] = ratio;
    device.uninitialize();
}
BENCHMARK(BM_DeviceBytesOf100Clones)->Iterations(3);

}  // namespace

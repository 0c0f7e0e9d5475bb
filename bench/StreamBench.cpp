// Streamed sources: N looped sources of one Ogg/Vorbis file against N
// sources of N different files, and the same N sources loaded (clones of one
// buffer) as the mixing-only baseline; CPU per second of audio mixed, and
// allocations per device period once every stream has started.
#define AL_ALEXT_PROTOTYPES
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "bench/AllocationCounter.h"
#include "platform/device/AlDevice.h"
#include "tests/support/ResourceTree.h"

namespace {

constexpr uint32_t period = 1024;
constexpr int rate = 48000;

void writeOgg(const std::string& path, double seconds, double hertz) {
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    const int frames = static_cast<int>(seconds * rate);
    std::vector<float> samples(static_cast<size_t>(frames) * 2);
    for (int k = 0; k < frames; ++k)
        samples[size_t(k) * 2] = samples[size_t(k) * 2 + 1] =
            0.3f * static_cast<float>(std::sin(2 * M_PI * hertz * k / rate) + 0.2 * std::sin(2 * M_PI * 3.1 * k / rate));
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
}

// Ambience-like loops, written once per run: 2 s of stereo each.
struct Files {
    testsupport::ResourceTree tree;
    std::vector<std::string> paths;
    const std::string& path(size_t k) {
        while (paths.size() <= k) {
            const std::string p = "/Sounds/loop" + std::to_string(paths.size()) + ".ogg";
            tree.write(p, "");
            writeOgg(tree.pathOf(p), 2.0, 200.0 + 3.0 * double(paths.size()));
            paths.push_back(p);
        }
        return paths[k];
    }
};

Files& files() {
    static Files made;
    return made;
}

enum class Kind { StreamsOfOneFile, StreamsOfNFiles, LoadedClones };

void run(benchmark::State& state, Kind kind) {
    const int n = static_cast<int>(state.range(0));
    aldevice::AlDevice device(aldevice::Output{aldevice::Output::Loopback, ""});
    device.initialize();
    std::vector<std::pair<Sound3DEffect*, ResourceStream*>> sources;
    for (int k = 0; k < n; ++k) {
        Sound3DEffect* e = device.createEffect();
        const std::string& path = files().path(kind == Kind::StreamsOfNFiles ? size_t(k) : 0);
        ResourceStream* stream = nullptr;
        if (kind == Kind::LoadedClones && k > 0) {
            e->clone(sources.front().first);
        } else {
            stream = theResourceManager->openStream(path.c_str());
            if (kind == Kind::LoadedClones) {
                e->createStatic(stream);
                theResourceManager->closeStream(stream);
                stream = nullptr;
            } else {
                e->createStreaming(stream, 4);
            }
        }
        e->setLooped(true);
        e->setPosition(Vector(float(k % 32) - 16, float(k / 32 % 32) - 16, 0), SOUND3D_APPLY_IMMEDIATE);
        e->setPlayPosition(uint32_t(k) * 997 % (2 * rate));  // each at its own place in the loop
        e->play();
        sources.emplace_back(e, stream);
    }
    std::vector<float> out(size_t(period) * 2);
    // Every stream through its whole file once: from here on a period only
    // moves blocks.
    for (uint32_t done = 0; done < 3 * rate; done += period) device.render(out.data(), period);
    unsigned long long allocations = 0, periods = 0;
    for (auto _ : state) {
        const unsigned long long before = benchalloc::allocations();
        for (uint32_t done = 0; done < uint32_t(rate); done += period) device.render(out.data(), period);
        allocations += benchalloc::allocations() - before;
        periods += rate / period + 1;
    }
    state.counters["allocations_per_period"] = double(allocations) / double(periods);
    state.counters["voices"] = double(device.getVoicesInUse());
    state.counters["buffer_MB"] = double(device.getBufferBytes()) / 1e6;
    state.SetLabel("CPU time = CPU per second of audio");
    for (auto& [e, stream] : sources) {
        device.destroyEffect(e);
        if (stream) theResourceManager->closeStream(stream);
    }
    device.uninitialize();
}

void BM_StreamsOfOneFile(benchmark::State& state) { run(state, Kind::StreamsOfOneFile); }
void BM_StreamsOfNFiles(benchmark::State& state) { run(state, Kind::StreamsOfNFiles); }
void BM_LoadedClonesOfOneFile(benchmark::State& state) { run(state, Kind::LoadedClones); }
BENCHMARK(BM_StreamsOfOneFile)->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamsOfNFiles)->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadedClonesOfOneFile)->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

// The decoding part: N fresh looped streams render their 2 s loop twice;
// the first pass decodes (and mixes), the second only mixes what the first
// decoded. Their difference is the decoding, per 2 s of audio.
void decoding(benchmark::State& state, bool oneFile) {
    const int n = static_cast<int>(state.range(0));
    for (int k = 0; k < (oneFile ? 1 : n); ++k) files().path(size_t(k));  // written before the clock runs
    std::vector<float> out(size_t(period) * 2);
    double first = 0, second = 0;
    for (auto _ : state) {
        aldevice::AlDevice device(aldevice::Output{aldevice::Output::Loopback, ""});
        device.initialize();
        std::vector<std::pair<Sound3DEffect*, ResourceStream*>> sources;
        for (int k = 0; k < n; ++k) {
            ResourceStream* stream = theResourceManager->openStream(files().path(oneFile ? 0 : size_t(k)).c_str());
            Sound3DEffect* e = device.createEffect();
            e->createStreaming(stream, 4);
            e->setLooped(true);
            e->setPlayPosition(uint32_t(k) * 997 % (2 * rate));
            e->play();
            sources.emplace_back(e, stream);
        }
        const double t0 = threadCpuMs();
        for (uint32_t done = 0; done < 2 * uint32_t(rate); done += period) device.render(out.data(), period);
        const double t1 = threadCpuMs();
        for (uint32_t done = 0; done < 2 * uint32_t(rate); done += period) device.render(out.data(), period);
        const double t2 = threadCpuMs();
        first += t1 - t0;
        second += t2 - t1;
        for (auto& [e, stream] : sources) {
            device.destroyEffect(e);
            theResourceManager->closeStream(stream);
        }
        device.uninitialize();
    }
    const double iterations = double(state.iterations());
    state.counters["first_pass_ms"] = first / iterations;
    state.counters["second_pass_ms"] = second / iterations;
    state.counters["decoding_ms"] = (first - second) / iterations;
    state.SetLabel("per 2 s of audio");
}

void BM_StreamsDecodingOfOneFile(benchmark::State& state) { decoding(state, true); }
void BM_StreamsDecodingOfNFiles(benchmark::State& state) { decoding(state, false); }
BENCHMARK(BM_StreamsDecodingOfOneFile)->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamsDecodingOfNFiles)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace

// Landscape sounds: one forceUpdate per frame on a 256 x 256 board with
// 1,000 and 10,000 sources (half continuous, half random), the camera moving
// every frame, over the silent device and over OpenAL Soft's loopback
// output (not rendered: the figure is the update's own cost and its device
// calls). Counters: heap allocations per frame, and per frame without due
// random tries in which no source starts or stops ("quiet"), sources heard
// after the last frame. Then the same
// camera path over maps of 1,000 and 100,000 sources with the same sources
// near it: the frame's cost follows the camera, not the map.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <sstream>
#include <vector>

#include "bench/AllocationCounter.h"
#include "interfaces/Config.h"
#include "platform/device/AlDevice.h"
#include "platform/device/NullDevice.h"
#include "sandbox/host/Host.h"
#include "sandbox/host/SoundStack.h"
#include "sound/effects/Effect.h"
#include "sound/effects/ProcessHearer.h"
#include "sound/land/LandInsonificator.h"
#include "sound/manager/Globals.h"
#include "sound/random/Randomizer.h"
#include "tests/support/Loopback.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/ResourceTree.h"

namespace {

class BenchLand : public LandInsonificator {
public:
    // Whether the next updateSounds at `now` finds a due try.
    bool due(float now) { return !schedule.empty() && schedule.front()->nextTime < now; }
    size_t heard() {
        size_t n = playingRandomSounds.size();
        for (LandSound* s : continuousSounds)
            if (s->effect && s->effect->isPlaying()) ++n;
        return n;
    }
    // What is heard, as one number that changes when any source starts or
    // stops; reads only the sources that may be playing.
    uintptr_t heardSignature() {
        uintptr_t signature = 0;
        auto add = [&](LandSound* s) {
            if (s->effect && s->effect->isPlaying()) signature ^= reinterpret_cast<uintptr_t>(s) * 0x9E3779B97F4A7C15ull;
        };
        for (LandSound* s : playingRandomSounds) add(s);
        index.forEachLive([&](LandSound* s) {
            if (!s->live) return;
            add(s);
        });
        return signature;
    }
};

// The stack's random source, counting the values drawn (one per due try).
class CountingRandomizer : public Randomizer {
public:
    float random() override {
        ++draws;
        return Randomizer::random();
    }
    unsigned long long draws = 0;
};

const char* const sourceFields =
    "regionWidth = 1.0; regionHeight = 1.0; powerRadius = 2.0; threshold = 1.5; starter = 1.0; soundName = \"tone\";";

// A map of `count` one-cell sources spread over the 256 x 256 board.
std::string mapOf(int count) {
    std::ostringstream text;
    const int cells = 256 * 256, step = cells / count;
    for (int k = 0; k < count; ++k) {
        const int cell = (k * step + (k * 7919) % step) % cells;
        const double x = cell % 256 + 0.5 - 128.0, y = 128.0 - (cell / 256 + 0.5);
        text << "s" << k << " = { " << sourceFields << " probability = " << (k % 2 == 0 ? "1.0" : "0.05") << ";"
             << " x = " << x << "; y = " << y << "; z = 0.5; };\n";
    }
    return text.str();
}

// A map of `count` sources on a 512 x 512 board: always the same 1,000 in
// the band |y| < 48 that the camera path crosses, and the others in the
// bands 64 <= |y| < 256, beyond every margin of the path.
std::string scaleMapOf(int count) {
    std::ostringstream text;
    const int nearCells = 256 * 96, farCells = 512 * 384, far = count - 1000;
    for (int k = 0; k < 1000; ++k) {
        const int cell = (k * (nearCells / 1000) + (k * 7919) % (nearCells / 1000)) % nearCells;
        const double x = cell % 256 + 0.5 - 128.0, y = cell / 256 + 0.5 - 48.0;
        text << "n" << k << " = { " << sourceFields << " probability = " << (k % 2 == 0 ? "1.0" : "0.05") << ";"
             << " x = " << x << "; y = " << y << "; z = 0.5; };\n";
    }
    for (int k = 0; k < far; ++k) {
        const long long cell = static_cast<long long>(k) * farCells / far;
        const int row = static_cast<int>(cell / 512);
        const double x = static_cast<double>(cell % 512) + 0.5 - 256.0;
        const double y = row < 192 ? 64.5 + row : -64.5 - (row - 192);
        text << "f" << k << " = { " << sourceFields << " probability = " << (k % 2 == 0 ? "1.0" : "0.05") << ";"
             << " x = " << x << "; y = " << y << "; z = 0.5; };\n";
    }
    return text.str();
}

void writeContent(testsupport::ResourceTree& tree) {
    tree.write("/Configs/Sounds/Effects.snd", "device = 'device.cfg';\ntone = 'tone.wav', 1.0, 2.0, memory, true, normal, 0;\n");
    tree.write("/Sounds/device.cfg", "frequency = 44100;\n");
    tree.write("/Sounds/tone.wav", "");
    testsupport::writeSine(tree.pathOf("/Sounds/tone.wav"), 44100, 300.0, 0.3f, 22050);
    tree.write("/Configs/Sounds/AdaptSettings.cfg", "randomSoundLimiter = 4.0; algorithm = 1.0; throwRadius = 0.5;\n");
}

// The camera of frame `frame`: along x at 3 units a second, swinging 40
// units in y.
Vector cameraAt(unsigned long long frame) {
    const double t = static_cast<double>(frame) * 0.05;
    return Vector(static_cast<float>(std::fmod(t, 240.0) - 120.0), static_cast<float>(40.0 * std::sin(t * 0.02)), 1.0f);
}

void landFrames(benchmark::State& state, bool loopback) {
    debug::setStandardErrorOutput(false);
    const int count = static_cast<int>(state.range(0));
    testsupport::ResourceTree tree;
    writeContent(tree);
    LandInsonificator::resetSettings();

    std::shared_ptr<SoundDevice> device;
    if (loopback) device = std::make_shared<aldevice::AlDevice>(aldevice::Output{aldevice::Output::Loopback, ""});
    else device = std::make_shared<nulldevice::NullDevice>();
    testsupport::DeviceProviderGuard provider(device);
    sandbox::Host host(256, 256);
    ProcessHearerManager hearers;
    theProcessHearerManager = &hearers;
    {
        sandbox::SoundStack stack;
        BenchLand land;
        auto map = std::make_unique<configmanager::ConfigManager>();
        map->readText(mapOf(count), "bench");
        land.load(map.get());
        land.initialize(&host.view, &host.board);
        land.start();
        const float frame = 1.0f / 60.0f;
        unsigned long long frames = 0, allocations = 0, quiet = 0, quietAllocations = 0;
        auto step = [&] {
            host.camera.setPose(cameraAt(frames++), Vector(1, 0, 0), Vector(0, 0, 1));
            host.timer.advance(frame);
        };
        step();
        land.forceUpdate();  // the first frame fills the schedule
        uintptr_t heard = land.heardSignature();
        for (auto _ : state) {
            step();
            const bool due = land.due(host.timer.getTime());
            const unsigned long long before = benchalloc::allocations();
            land.forceUpdate();
            const unsigned long long made = benchalloc::allocations() - before;
            const uintptr_t now = land.heardSignature();
            allocations += made;
            if (!due && now == heard) {
                ++quiet;
                quietAllocations += made;
            }
            heard = now;
        }
        const double iterations = static_cast<double>(state.iterations());
        state.counters["allocs/frame"] = static_cast<double>(allocations) / iterations;
        state.counters["allocs/quiet frame"] = quiet ? static_cast<double>(quietAllocations) / static_cast<double>(quiet) : 0.0;
        state.counters["quiet frames %"] = 100.0 * static_cast<double>(quiet) / iterations;
        state.counters["heard at the end"] = static_cast<double>(land.heard());
        land.uninitialize();
    }
    theProcessHearerManager = nullptr;
    LandInsonificator::resetSettings();
}

// The same camera path over maps of 1,000 and of 100,000 sources that have
// the same 1,000 near the path, on the silent device, after a minute of
// frames (the schedule past its first round). A quiet frame is one without
// due tries in which no source starts or stops.
void BM_LandFrameMapScale(benchmark::State& state) {
    debug::setStandardErrorOutput(false);
    const int count = static_cast<int>(state.range(0));
    testsupport::ResourceTree tree;
    writeContent(tree);
    LandInsonificator::resetSettings();
    testsupport::DeviceProviderGuard provider(std::make_shared<nulldevice::NullDevice>());
    sandbox::Host host(512, 512);
    ProcessHearerManager hearers;
    theProcessHearerManager = &hearers;
    {
        sandbox::SoundStack stack;
        CountingRandomizer randomizer;
        theRandomizer = &randomizer;
        BenchLand land;
        auto map = std::make_unique<configmanager::ConfigManager>();
        map->readText(scaleMapOf(count), "bench");
        land.load(map.get());
        land.initialize(&host.view, &host.board);
        land.setRandomSeed(0.25f);
        land.start();
        const float frame = 1.0f / 60.0f;
        unsigned long long frames = 0, allocations = 0, quiet = 0, quietAllocations = 0;
        auto step = [&] {
            host.camera.setPose(cameraAt(frames++), Vector(1, 0, 0), Vector(0, 0, 1));
            host.timer.advance(frame);
        };
        for (int k = 0; k < 3600; ++k) {
            step();
            land.forceUpdate();
        }
        uintptr_t heard = land.heardSignature();
        const unsigned long long drawsBefore = randomizer.draws;
        for (auto _ : state) {
            step();
            const bool due = land.due(host.timer.getTime());
            const unsigned long long before = benchalloc::allocations();
            land.forceUpdate();
            const unsigned long long made = benchalloc::allocations() - before;
            const uintptr_t now = land.heardSignature();
            allocations += made;
            if (!due && now == heard) {
                ++quiet;
                quietAllocations += made;
            }
            heard = now;
        }
        const double iterations = static_cast<double>(state.iterations());
        state.counters["allocs/frame"] = static_cast<double>(allocations) / iterations;
        state.counters["allocs/quiet frame"] = quiet ? static_cast<double>(quietAllocations) / static_cast<double>(quiet) : 0.0;
        state.counters["quiet frames %"] = 100.0 * static_cast<double>(quiet) / iterations;
        state.counters["heard at the end"] = static_cast<double>(land.heard());
        state.counters["tries/frame"] = static_cast<double>(randomizer.draws - drawsBefore) / iterations;
        land.uninitialize();
        theRandomizer = &stack.randomizer;
    }
    theProcessHearerManager = nullptr;
    LandInsonificator::resetSettings();
}

// The floor of a due try: one draw of the randomizer through its virtual
// random(). Each draw waits for the one before (the generator's state), so
// a frame's due tries cost at least their count times this, wherever the
// sources are.
void BM_LandDueTryDraw(benchmark::State& state) {
    Randomizer randomizer;
    randomizer.setSeed(0.25f);
    Randomizer* shared = &randomizer;
    benchmark::DoNotOptimize(shared);
    float sum = 0.0f;
    for (auto _ : state) sum += shared->random();
    benchmark::DoNotOptimize(sum);
}

void BM_LandFrameSilentDevice(benchmark::State& state) { landFrames(state, false); }
void BM_LandFrameLoopbackDevice(benchmark::State& state) { landFrames(state, true); }

}  // namespace

BENCHMARK(BM_LandDueTryDraw);
BENCHMARK(BM_LandFrameSilentDevice)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LandFrameLoopbackDevice)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
// Fixed frames: each run loads and prepares the whole map first.
BENCHMARK(BM_LandFrameMapScale)->Arg(1000)->Arg(100000)->Iterations(60000)->Unit(benchmark::kMicrosecond);

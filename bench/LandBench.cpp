// Landscape sounds: one forceUpdate per frame on a 256 x 256 board with
// 1,000 and 10,000 sources (half continuous, half random), the camera moving
// every frame, over the silent device and over OpenAL Soft's loopback
// output (not rendered: the figure is the update's own cost and its device
// calls). Counters: heap allocations per frame, and per frame without due
// random tries ("quiet"), sources heard after the last frame.
#include <benchmark/benchmark.h>

#include <cmath>
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
};

// A map of `count` one-cell sources spread over the 256 x 256 board.
std::string mapOf(int count) {
    std::ostringstream text;
    const int cells = 256 * 256, step = cells / count;
    for (int k = 0; k < count; ++k) {
        const int cell = (k * step + (k * 7919) % step) % cells;
        const double x = cell % 256 + 0.5 - 128.0, y = 128.0 - (cell / 256 + 0.5);
        text << "s" << k << " = { regionWidth = 1.0; regionHeight = 1.0; powerRadius = 2.0; threshold = 1.5;"
             << " starter = 1.0; probability = " << (k % 2 == 0 ? "1.0" : "0.05") << "; soundName = \"tone\";"
             << " x = " << x << "; y = " << y << "; z = 0.5; };\n";
    }
    return text.str();
}

void landFrames(benchmark::State& state, bool loopback) {
    debug::setStandardErrorOutput(false);
    const int count = static_cast<int>(state.range(0));
    testsupport::ResourceTree tree;
    tree.write("/Configs/Sounds/Effects.snd", "device = 'device.cfg';\ntone = 'tone.wav', 1.0, 2.0, memory, true, normal, 0;\n");
    tree.write("/Sounds/device.cfg", "frequency = 44100;\n");
    tree.write("/Sounds/tone.wav", "");
    testsupport::writeSine(tree.pathOf("/Sounds/tone.wav"), 44100, 300.0, 0.3f, 22050);
    tree.write("/Configs/Sounds/AdaptSettings.cfg", "randomSoundLimiter = 4.0; algorithm = 1.0; throwRadius = 0.5;\n");
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
            const double t = static_cast<double>(frames++) * 0.05;  // 3 units a second
            host.camera.setPose(Vector(static_cast<float>(std::fmod(t, 240.0) - 120.0), static_cast<float>(40.0 * std::sin(t * 0.02)), 1.0f),
                                Vector(1, 0, 0), Vector(0, 0, 1));
            host.timer.advance(frame);
        };
        step();
        land.forceUpdate();  // the first frame fills the schedule
        for (auto _ : state) {
            step();
            const bool due = land.due(host.timer.getTime());
            const unsigned long long before = benchalloc::allocations();
            land.forceUpdate();
            const unsigned long long made = benchalloc::allocations() - before;
            allocations += made;
            if (!due) {
                ++quiet;
                quietAllocations += made;
            }
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

void BM_LandFrameSilentDevice(benchmark::State& state) { landFrames(state, false); }
void BM_LandFrameLoopbackDevice(benchmark::State& state) { landFrames(state, true); }

}  // namespace

BENCHMARK(BM_LandFrameSilentDevice)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LandFrameLoopbackDevice)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

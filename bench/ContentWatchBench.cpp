// The content watch: what it costs a frame while nothing changes, and how
// long it takes from a file's save to the new sound being heard on the
// loopback mixer (the watch's quiet period set to 0, so the figure is the
// system's notification, the check, the reload and one mixed block; a game
// adds its quiet period, 250 ms by default, and waits for its next frame).
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "bench/QuietLogs.h"
#include "sandbox/host/SoundStack.h"
#include "sound/effects/Effect.h"
#include "sound/manager/ContentWatch.h"
#include "tests/support/Loopback.h"
#include "tests/support/ResourceTree.h"

namespace {

using namespace std::chrono_literals;

constexpr int rate = 48000;

struct Content {
    Content() {
        tree.write("/Configs/Sounds/Effects.snd",
                   "device = 'device.cfg';\ntone = 'tone.wav', 1.0, 1.0, memory, true, disable, 0;\n");
        tree.write("/Sounds/device.cfg", "frequency = 48000;\n");
        testsupport::writeSine(tree.pathOf("/Sounds/tone.wav"), rate, 440.0, 0.5f, rate);
        for (int k = 0; k < 50; ++k) tree.write("/Sounds/more/file" + std::to_string(k) + ".wav", "");
    }
    testsupport::ResourceTree tree;
};

// update() once a frame with nothing saved: the whole of the watch's cost
// on the game's side.
void BM_ContentWatchFrameWhenNothingChanged(benchmark::State& state) {
    quietLogs();
    Content content;
    ContentWatch watch;
    for (auto _ : state) benchmark::DoNotOptimize(watch.update());
}
BENCHMARK(BM_ContentWatchFrameWhenNothingChanged);

// Save a sample (louder or quieter than the one playing) → the watch sees
// it → the frame's update checks and reloads it → the second mixed block
// carries it at its level (the first has the mixer's ramp). Real time: the watch thread and the system's notification
// are part of the figure.
void BM_ContentWatchSaveToHeard(benchmark::State& state) {
    quietLogs();
    Content content;
    testsupport::Loopback loopback(1024);
    {
        sandbox::SoundStack stack;
        ContentWatch::Options options;
        options.quiet = 0ms;
        ContentWatch watch(std::move(options));
        Effect* effect = stack.manager.createEffect("tone");
        effect->play();
        loopback.skip(4);
        const std::string file = content.tree.pathOf("/Sounds/tone.wav");
        bool loud = false;
        int misses = 0;
        for (auto _ : state) {
            const float amplitude = loud ? 0.5f : 0.05f;
            loud = !loud;
            testsupport::writeSine(file, rate, 440.0, amplitude, rate);
            if (!watch.waitForChange(file, 10s)) {
                state.SkipWithError("the watch saw no change");
                break;
            }
            while (!watch.update()) {
            }
            loopback.skip(1);  // the mixer's de-click ramp on a new source
            const double rms = loopback.rms(1);
            misses += (rms > 0.2) != (amplitude > 0.2);
            state.PauseTiming();
            // A write notifies more than once: what is left comes before the next save.
            while (watch.hasPending()) watch.update();
            state.ResumeTiming();
        }
        state.counters["not_heard"] = misses;
        stack.manager.destroyEffect(effect);
    }
}
BENCHMARK(BM_ContentWatchSaveToHeard)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(40);

}  // namespace

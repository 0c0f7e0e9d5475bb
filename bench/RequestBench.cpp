// The request layer: reading an "Effects.snd" of 10,000 entries, and load /
// unload cycles on the clone path of a "memory" sound.
#include <benchmark/benchmark.h>

#include <string>

#include "sound/request/EffectsFile.h"
#include "tests/support/TestLibrary.h"

namespace {

std::string bigEffectsFile(int entries) {
    std::string text = "default = 1.0, 10.0, memory, false, normal, 0;\ndirectory = 'sounds/';\n";
    for (int k = 0; k < entries; ++k) {
        const std::string n = std::to_string(k);
        switch (k % 3) {
            case 0: text += "effect_" + n + " = 'file_" + n + ".wav', 0.8, 12.5, memory, false, normal, 0;\n"; break;
            case 1: text += "effect_" + n + " = 'file_" + n + ".ogg', 0.5, 3.0;\n"; break;
            default: text += "/* looped */ effect_" + n + " = 'loop_" + n + ".ogg'; // short\n"; break;
        }
    }
    return text;
}

void BM_RequestReadEffectsFile(benchmark::State& state) {
    const std::string text = bigEffectsFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        EffectsFile::Records records;
        EffectsFile::resetDirectoryPrefix();
        EffectsFile::setTarget(&records);
        EffectsFile::parse(text);
        EffectsFile::setTarget(nullptr);
        benchmark::DoNotOptimize(records.size());
        state.PauseTiming();
        for (auto& r : records) delete r.second;
        state.ResumeTiming();
    }
    EffectsFile::restoreBuiltInDefaults();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RequestReadEffectsFile)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_RequestLoadUnloadClone(benchmark::State& state) {
    debug::setStandardErrorOutput(false);
    testsupport::TestLibrary library("device = 'device.cfg';\nhit = 'hit.wav', 1.0, 1.0, memory, false, normal, 0;\n");
    library.sound("device.cfg");
    library.sound("hit.wav");
    library.requests->initialize();
    Sound3DEffect* source = library.requests->load("hit");  // later loads are clones of it
    for (auto _ : state) {
        Sound3DEffect* clone = library.requests->load("hit");
        library.requests->unload("hit", clone);
        if (state.iterations() % 1024 == 0) {
            state.PauseTiming();
            library.device->clearCalls();
            state.ResumeTiming();
        }
    }
    library.requests->unload("hit", source);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RequestLoadUnloadClone);

}  // namespace

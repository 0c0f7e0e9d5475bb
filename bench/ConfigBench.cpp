// Reading and writing configuration trees the size of a large map's sound
// block: how long a save or a map's sound re-read takes.
#include <benchmark/benchmark.h>

#include <string>

#include "interfaces/Config.h"

namespace {

configmanager::ConfigManager makeMap(int sources) {
    configmanager::ConfigManager map;
    for (int k = 0; k < sources; ++k) {
        auto* source = new configmanager::Block;
        const float x = static_cast<float>(k), radius = 4.5f;
        const bool automatic = k % 2 == 0;
        const std::string sound = "sound_" + std::to_string(k % 17);
        source->setProperty("x", &x);
        source->setProperty("y", &x);
        source->setProperty("powerRadius", &radius);
        source->setProperty("auto", &automatic);
        source->setProperty("soundName", &sound);
        map.addProperty(configmanager::LinkedName("source_" + std::to_string(k)), source);
    }
    return map;
}

void BM_ConfigWriteText(benchmark::State& state) {
    const auto map = makeMap(static_cast<int>(state.range(0)));
    std::string text;
    for (auto _ : state) {
        map.writeText(&text);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ConfigWriteText)->Arg(1000);

void BM_ConfigReadText(benchmark::State& state) {
    std::string text;
    makeMap(static_cast<int>(state.range(0))).writeText(&text);
    for (auto _ : state) {
        configmanager::ConfigManager read;
        benchmark::DoNotOptimize(read.readText(text, "bench"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ConfigReadText)->Arg(1000);

}  // namespace

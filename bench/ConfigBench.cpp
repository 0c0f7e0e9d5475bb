// Reading and writing configuration trees the size of a large map's sound
// block: one block of N child blocks of 14 properties each, as the landscape
// saves one source per board cell. Our layer builds, writes and reads it; the
// same tree through libconfig++ (the library the layer used to sit on) runs in
// the same binary for comparison: its group insert checks every earlier
// member, so its figures grow with the square of N.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <libconfig.h++>

#include "interfaces/Config.h"

namespace {

const char* const floatNames[] = {"x", "y", "z", "powerRadius", "radius", "volume"};
const char* const intNames[] = {"subtype", "hourFrom", "hourTo", "chance"};
const char* const boolNames[] = {"auto", "loop"};
const char* const stringNames[] = {"soundName", "effect"};

configmanager::ConfigManager makeMap(int sources) {
    configmanager::ConfigManager map;
    for (int k = 0; k < sources; ++k) {
        auto* source = new configmanager::Block;
        for (int p = 0; p < 6; ++p) {
            const float v = static_cast<float>(k) * 0.37f + static_cast<float>(p);
            source->setProperty(floatNames[p], &v);
        }
        for (int p = 0; p < 4; ++p) {
            const int v = (k + p) % 24;
            source->setProperty(intNames[p], &v);
        }
        for (int p = 0; p < 2; ++p) {
            const bool v = (k + p) % 2 == 0;
            source->setProperty(boolNames[p], &v);
        }
        for (int p = 0; p < 2; ++p) {
            const std::string v = "sound_" + std::to_string((k + p) % 17);
            source->setProperty(stringNames[p], &v);
        }
        map.addProperty(configmanager::LinkedName("source_" + std::to_string(k)), source);
    }
    return map;
}

void addSources(libconfig::Setting& root, int sources) {
    for (int k = 0; k < sources; ++k) {
        libconfig::Setting& source = root.add("source_" + std::to_string(k), libconfig::Setting::TypeGroup);
        for (int p = 0; p < 6; ++p)
            source.add(floatNames[p], libconfig::Setting::TypeFloat) = static_cast<double>(k) * 0.37 + p;
        for (int p = 0; p < 4; ++p) source.add(intNames[p], libconfig::Setting::TypeInt) = (k + p) % 24;
        for (int p = 0; p < 2; ++p) source.add(boolNames[p], libconfig::Setting::TypeBoolean) = (k + p) % 2 == 0;
        for (int p = 0; p < 2; ++p)
            source.add(stringNames[p], libconfig::Setting::TypeString) = "sound_" + std::to_string((k + p) % 17);
    }
}

std::string libconfigText(libconfig::Config& config) {
    char* buffer = nullptr;
    size_t length = 0;
    FILE* memory = open_memstream(&buffer, &length);
    config.write(memory);
    std::fclose(memory);
    std::string text(buffer, length);
    std::free(buffer);
    return text;
}

void BM_ConfigBuild(benchmark::State& state) {
    for (auto _ : state) {
        auto map = makeMap(static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(map.getPropertyCount());
    }
}

void BM_ConfigWrite(benchmark::State& state) {
    const auto map = makeMap(static_cast<int>(state.range(0)));
    std::string text;
    for (auto _ : state) {
        map.writeText(&text);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_ConfigRead(benchmark::State& state) {
    std::string text;
    makeMap(static_cast<int>(state.range(0))).writeText(&text);
    for (auto _ : state) {
        configmanager::ConfigManager read;
        benchmark::DoNotOptimize(read.readText(text, "bench"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// libconfig's write: the setting tree made (where its quadratic insert lies)
// and written out, the work a save through it does.
void BM_LibconfigWrite(benchmark::State& state) {
    for (auto _ : state) {
        libconfig::Config config;
        addSources(config.getRoot(), static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(libconfigText(config).size());
    }
}

void BM_LibconfigRead(benchmark::State& state) {
    libconfig::Config source;
    addSources(source.getRoot(), static_cast<int>(state.range(0)));
    const std::string text = libconfigText(source);
    for (auto _ : state) {
        libconfig::Config config;
        config.readString(text);
        benchmark::DoNotOptimize(config.getRoot().getLength());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void sizes(benchmark::internal::Benchmark* b) { b->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond); }

BENCHMARK(BM_ConfigBuild)->Apply(sizes);
BENCHMARK(BM_ConfigWrite)->Apply(sizes);
BENCHMARK(BM_ConfigRead)->Apply(sizes);
// Seconds per run at 20,000: one run each.
BENCHMARK(BM_LibconfigWrite)->Apply(sizes)->Iterations(1);
BENCHMARK(BM_LibconfigRead)->Apply(sizes)->Iterations(1);

}  // namespace

// The statistics window's refresh as the rendering thread runs it on every
// periodic pass: the request manager's statistics, the lines built from
// them, and handing them to the window's content (no window drawn).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/QuietLogs.h"
#include "platform/device/NullDevice.h"
#include "sound/diagnostics/ScrolledLines.h"
#include "sound/diagnostics/StatisticsLines.h"
#include "sound/request/RequestManager.h"
#include "tests/support/TestLibrary.h"

namespace {

// A library whose request manager holds `sounds` device sounds of as many
// names, on the silent device (the recording device's call log would cost
// more than the statistics themselves).
class Sounds {
public:
    explicit Sounds(int sounds) : library((quietLogs(), effectsText(sounds))) {
        library.provider.reset();
        library.provider =
            std::make_unique<testsupport::DeviceProviderGuard>(std::make_shared<nulldevice::NullDevice>());
        library.sound("device.cfg");
        library.sound("tone.wav");
        library.requests->initialize();
        for (int k = 0; k < sounds; ++k) loaded.push_back(library.requests->load(name(k)));
    }
    ~Sounds() {
        for (size_t k = 0; k < loaded.size(); ++k) library.requests->unload(name(static_cast<int>(k)), loaded[k]);
    }
    RequestManager& requests() { return *library.requests; }

private:
    static std::string name(int k) { return "sound_" + std::to_string(k); }
    // Every name streams the same file, so each is one device sound.
    static std::string effectsText(int sounds) {
        std::string text = "device = 'device.cfg';\ndefault = 1.0, 1.0, disk, false, normal, 0;\n";
        for (int k = 0; k < sounds; ++k) text += name(k) + " = 'tone.wav';\n";
        return text;
    }

    testsupport::TestLibrary library;
    std::vector<Sound3DEffect*> loaded;
};

void BM_DiagnosticsRefresh(benchmark::State& state) {
    Sounds sounds(static_cast<int>(state.range(0)));
    ScrolledLines window;
    size_t lineCount = 0;
    // Kept from one refresh to the next, as the informator keeps them.
    StatisticsTable perName;
    std::list<std::string> totals;
    std::vector<std::string> lines;
    for (auto _ : state) {
        sounds.requests().generateInfo(perName, totals);
        window.takeSpareLines(lines);
        statisticsLines(perName, totals, lines);
        lineCount = lines.size();
        window.setLines(lines);
    }
    state.counters["lines"] = static_cast<double>(lineCount);
}
BENCHMARK(BM_DiagnosticsRefresh)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The refresh's two halves apart: the statistics alone, and the lines
// built from them alone.
void BM_DiagnosticsStatistics(benchmark::State& state) {
    Sounds sounds(static_cast<int>(state.range(0)));
    StatisticsTable perName;
    std::list<std::string> totals;
    for (auto _ : state) sounds.requests().generateInfo(perName, totals);
    state.counters["rows"] = static_cast<double>(perName.rows());
}
BENCHMARK(BM_DiagnosticsStatistics)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_DiagnosticsLines(benchmark::State& state) {
    Sounds sounds(static_cast<int>(state.range(0)));
    StatisticsTable perName;
    std::list<std::string> totals;
    sounds.requests().generateInfo(perName, totals);
    ScrolledLines window;
    std::vector<std::string> lines;
    for (auto _ : state) {
        window.takeSpareLines(lines);
        statisticsLines(perName, totals, lines);
        window.setLines(lines);
    }
}
BENCHMARK(BM_DiagnosticsLines)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

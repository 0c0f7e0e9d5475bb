// The statistics window's refresh as the rendering thread runs it on every
// periodic pass: the request manager's statistics, the lines built from
// them, and handing them to the window's content (no window drawn).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/device/NullDevice.h"
#include "sound/diagnostics/ScrolledLines.h"
#include "sound/diagnostics/StatisticsLines.h"
#include "tests/support/TestLibrary.h"

namespace {

void BM_DiagnosticsRefresh(benchmark::State& state) {
    debug::setStandardErrorOutput(false);
    const int sounds = static_cast<int>(state.range(0));
    // Every name streams the same file, so each is one device sound.
    std::string text = "device = 'device.cfg';\ndefault = 1.0, 1.0, disk, false, normal, 0;\n";
    for (int k = 0; k < sounds; ++k) text += "sound_" + std::to_string(k) + " = 'tone.wav';\n";
    testsupport::TestLibrary library(text);
    // The silent device: the recording device's call log would cost more
    // than the statistics themselves.
    library.provider.reset();
    library.provider = std::make_unique<testsupport::DeviceProviderGuard>(std::make_shared<nulldevice::NullDevice>());
    library.sound("device.cfg");
    library.sound("tone.wav");
    library.requests->initialize();
    std::vector<Sound3DEffect*> loaded;
    for (int k = 0; k < sounds; ++k) loaded.push_back(library.requests->load("sound_" + std::to_string(k)));

    ScrolledLines window;
    size_t lineCount = 0;
    // Kept from one refresh to the next, as the informator keeps them.
    std::list<std::list<std::string>> perName;
    std::list<std::string> totals;
    std::vector<std::string> lines;
    for (auto _ : state) {
        library.requests->generateInfo(perName, totals);
        window.takeSpareLines(lines);
        statisticsLines(perName, totals, lines);
        lineCount = lines.size();
        window.setLines(lines);
    }
    state.counters["lines"] = static_cast<double>(lineCount);
    for (int k = 0; k < sounds; ++k) library.requests->unload("sound_" + std::to_string(k), loaded[k]);
}
BENCHMARK(BM_DiagnosticsRefresh)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

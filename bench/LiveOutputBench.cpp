// The live output on a real sound server (a PulseAudio of the benchmark's
// own, as the tests start it): play() to the first sample at the sink's
// monitor, the same after the server was killed and started again, and the
// CPU the device takes while its output is gone against the null output's.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "interfaces/Resource.h"
#include "platform/device/AlDevice.h"
#include "tests/support/Loopback.h"
#include "tests/support/PulseServer.h"
#include "tests/support/ResourceTree.h"

namespace {

using aldevice::AlDevice;
using aldevice::Output;
constexpr uint32_t rate = 48000;

// A 0.2 s tone, loaded static.
Sound3DEffect* blip(AlDevice& device, testsupport::ResourceTree& tree, bool looped) {
    tree.write("/blip.wav", "");
    testsupport::writeSine(tree.pathOf("/blip.wav"), rate, 440.0, 16000.0f / 32767, rate / 5);
    return testsupport::loadEffect(device, "/blip.wav", true, looped);
}

// Milliseconds from play() to the first 1 ms block at the monitor that
// carries the sound; the monitor is drained to silence first.
double playToHeard(Sound3DEffect* effect, testsupport::Monitor& monitor) {
    std::vector<float> block;
    for (int k = 0; k < 2000; ++k) {  // silence first (the last play's tail gone)
        monitor.read(block, 48);
        if (testsupport::rmsOf(block) < 1e-4) break;
    }
    const auto start = std::chrono::steady_clock::now();
    effect->play();
    for (int k = 0; k < 5000; ++k) {
        if (!monitor.read(block, 48)) break;
        if (testsupport::rmsOf(block) > 0.01) break;
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    effect->stop();
    return ms;
}

void measureLatency(benchmark::State& state, bool afterReconnection) {
    testsupport::ResourceTree tree;
    testsupport::PulseServer server;
    if (!server.ok()) {
        state.SkipWithError("no PulseAudio server starts");
        return;
    }
    AlDevice device{Output{Output::System, "", false}};
    device.initialize();
    Sound3DEffect* effect = blip(device, tree, false);
    if (afterReconnection) {
        server.kill();
        device.waitMixed(device.framesMixed() + rate / 2, std::chrono::seconds(10));
        server.start();
        for (int k = 0; k < 400 && device.currentSink() != "pulseaudio"; ++k)
            device.waitMixed(device.framesMixed() + rate / 100, std::chrono::seconds(10));
    }
    testsupport::Monitor monitor(server, 48);
    double sum = 0, worst = 0;
    int n = 0;
    for (auto _ : state) {
        const double ms = playToHeard(effect, monitor);
        sum += ms;
        worst = std::max(worst, ms);
        ++n;
    }
    state.counters["play_to_heard_ms"] = sum / std::max(n, 1);
    state.counters["worst_ms"] = worst;
    std::list<std::string> info;
    device.getInfo(info);
    for (const std::string& line : info)
        if (line.rfind("Latency", 0) == 0) state.SetLabel(line);
    device.destroyEffect(effect);
    device.uninitialize();
}

void BM_LivePlayToFirstSampleAtTheMonitor(benchmark::State& state) { measureLatency(state, false); }
BENCHMARK(BM_LivePlayToFirstSampleAtTheMonitor)->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_LivePlayToFirstSampleAfterAReconnection(benchmark::State& state) { measureLatency(state, true); }
BENCHMARK(BM_LivePlayToFirstSampleAfterAReconnection)->Iterations(20)->Unit(benchmark::kMillisecond);

double processSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Percent of a core over two seconds of mixing a looped sound: arg 0 the
// null output, arg 1 the system output while its server is gone (the mix
// thrown away, a reconnection tried every second).
void BM_LiveCpuWhileTheOutputIsGone(benchmark::State& state) {
    testsupport::ResourceTree tree;
    testsupport::PulseServer server;
    const bool lost = state.range(0) == 1;
    AlDevice device{Output{lost ? Output::System : Output::Null, "", false}};
    device.initialize();
    if (lost) {
        server.kill();
        for (int k = 0; k < 400 && device.currentSink() != "disconnected"; ++k)
            device.waitMixed(device.framesMixed() + rate / 100, std::chrono::seconds(10));
    }
    Sound3DEffect* effect = blip(device, tree, true);
    effect->play();
    double percent = 0;
    for (auto _ : state) {
        const double cpu = processSeconds();
        const auto start = std::chrono::steady_clock::now();
        device.waitMixed(device.framesMixed() + 2 * rate, std::chrono::seconds(20));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        percent = 100.0 * (processSeconds() - cpu) / wall;
    }
    state.counters["cpu_percent_of_a_core"] = percent;
    device.destroyEffect(effect);
    device.uninitialize();
}
BENCHMARK(BM_LiveCpuWhileTheOutputIsGone)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

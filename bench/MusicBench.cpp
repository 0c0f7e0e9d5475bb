// Music: the cost of one music call on the game thread (a queue insertion
// and a signal, with the worker draining the queue at the same time), the
// queue and the event on their own, and the wake-up latency of a worker from
// the signal to the start of its process() run (median and p99 over 10,000
// wake-ups, in microseconds).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "bench/QuietLogs.h"
#include "sound/music/MessageQueue.h"
#include "sound/music/MusicInsonificator.h"
#include "sound/music/InitiationObject.h"
#include "tests/support/TestLibrary.h"

namespace {

void BM_MusicCallOnTheGameThread(benchmark::State& state) {
    quietLogs();
    testsupport::TestLibrary library("device = 'device.cfg';\ntheme = 'theme.ogg';\n");
    library.sound("device.cfg");
    library.sound("theme.ogg");
    library.activate();
    {
        MusicInsonificator music;
        unsigned calls = 0;
        for (auto _ : state) {
            music.quiet();
            if (++calls % 1024 == 0) {  // keep the queue short, as a game would
                state.PauseTiming();
                music.waitUntilServed();
                state.ResumeTiming();
            }
        }
        music.waitUntilServed();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MusicCallOnTheGameThread);

void BM_MessageQueueAddAndRemove(benchmark::State& state) {
    MessageQueue queue;
    std::string command, argument;
    for (auto _ : state) {
        queue.addMessage("quiet", "all");
        queue.removeMessage(command, argument);
        benchmark::DoNotOptimize(command.data());
    }
}
BENCHMARK(BM_MessageQueueAddAndRemove);

void BM_EventSetWithNobodyWaiting(benchmark::State& state) {
    thread::Event event;
    for (auto _ : state) event.set();
}
BENCHMARK(BM_EventSetWithNobodyWaiting);

using Clock = std::chrono::steady_clock;

// Notes when its process() begins and tells the signalling thread.
class Stopwatch : public thread::InitiationObject {
public:
    Stopwatch() { initiate(); }
    ~Stopwatch() override { stopNotifying(); }

    // One wake-up: the time from the signal to the start of process().
    double wakeMicroseconds() {
        std::unique_lock<std::mutex> guard(mutex);
        ran = false;
        const Clock::time_point signalled = Clock::now();
        initiationEvent.set();
        done.wait(guard, [&] { return ran; });
        return std::chrono::duration<double, std::micro>(started - signalled).count();
    }

protected:
    void process() override {
        const Clock::time_point now = Clock::now();
        std::lock_guard<std::mutex> guard(mutex);
        started = now;
        ran = true;
        done.notify_one();
    }

private:
    std::mutex mutex;
    std::condition_variable done;
    bool ran = false;
    Clock::time_point started;
};

void BM_WorkerWakeUpLatency(benchmark::State& state) {
    Stopwatch worker;
    std::vector<double> samples;
    for (auto _ : state) {
        samples.clear();
        for (int k = 0; k < 10000; ++k) samples.push_back(worker.wakeMicroseconds());
    }
    std::sort(samples.begin(), samples.end());
    state.counters["median_us"] = samples[samples.size() / 2];
    state.counters["p99_us"] = samples[samples.size() * 99 / 100];
    state.counters["max_us"] = samples.back();
}
BENCHMARK(BM_WorkerWakeUpLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

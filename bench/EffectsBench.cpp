// Effects: the cost of a volume change under one password, effects created
// and destroyed per second, and how many device buffers "memory" sounds hold
// over a simulated minute of one-shots compared with the sounds playing.
#include <benchmark/benchmark.h>

#include <map>

#include "bench/QuietLogs.h"
#include "sound/effects/ListenerSettings.h"
#include "sound/effects/ShellEffect.h"
#include "sound/manager/Globals.h"
#include "sound/request/RequestInterfaces.h"
#include "tests/support/TestLibrary.h"

namespace {

// A device effect and a request interface that do nothing: the figure is
// the effect's own cost (password lookup, product of five factors, the
// changed-value check and one virtual device call).
struct SilentEffect : Sound3DEffect {
    float volume = 1.0f;
    void play() override {}
    void setLooped(bool) override {}
    void stop() override {}
    void trigger() override {}
    bool isPlaying() override { return false; }
    uint32_t getPlayPosition() override { return 0; }
    void setPlayPosition(uint32_t) override {}
    void setVolume(float v) override { benchmark::DoNotOptimize(volume = v); }
    void release() override {}
    void setRadius(float, Sound3DApply) override {}
    void setMode(Sound3DMode, Sound3DApply) override {}
    void setPosition(const Vector&, Sound3DApply) override {}
    void clone(Sound3DEffect*) override {}
    void createStreaming(ResourceStream*, unsigned long) override {}
    void createStatic(ResourceStream*) override {}
    ResourceStream* getStream() override { return nullptr; }
    uint32_t getFrequency() override { return 0; }
    uint32_t getChannels() override { return 0; }
    uint32_t getBits() override { return 0; }
    uint32_t getSize() override { return 0; }
    void getState(std::string& s) override { s = "static"; }
};

struct SilentRequests : RequestEffectInterface {
    SilentEffect effect;
    Sound3DEffect* load(const std::string&) override { return &effect; }
    void unload(const std::string&, Sound3DEffect*) override {}
};

void BM_EffectSetVolumeUnderOnePasswordOfFive(benchmark::State& state) {
    SilentRequests requests;
    RequestEffectInterface* previous = theRequestEffectInterface;
    theRequestEffectInterface = &requests;
    {
        ShellEffect effect("bench");
        for (const char* password : {"Sound effects", "ShellManager", "ShellManagerFocusProcessor", "MusicFader", "Extra"})
            effect.addCommonPassword(true, password);
        float volume = 0.5f;
        for (auto _ : state) {
            volume = volume == 0.5f ? 0.6f : 0.5f;  // a changed value reaches the device
            effect.setVolume(volume, "MusicFader");
        }
    }
    theRequestEffectInterface = previous;
}
BENCHMARK(BM_EffectSetVolumeUnderOnePasswordOfFive);

const char* const effectsFile =
    "device = 'device.cfg';\n"
    "hit = 'hit.wav', 1.0, 1.0, memory, false, normal, 0;\n"
    "wind = 'wind.ogg', 1.0, 1.0, disk, true, normal, 0;\n";

void BM_EffectsCreatedAndDestroyed(benchmark::State& state) {
    quietLogs();
    testsupport::TestLibrary library(effectsFile);
    for (const char* f : {"device.cfg", "hit.wav", "wind.ogg"}) library.sound(f);
    library.activate();
    const char* name = state.range(0) ? "hit" : "wind";
    Effect* keep = library.manager->createEffect(name);  // keeps the keeper loaded for "hit"
    for (auto _ : state) {
        Effect* effect = library.manager->createEffect(name);
        library.manager->destroyEffect(effect);
        if (state.iterations() % 1024 == 0) {
            state.PauseTiming();
            library.device->clearCalls();
            state.ResumeTiming();
        }
    }
    library.manager->destroyEffect(keep);
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(state.range(0) ? "memory (unloading effect)" : "disk (shell effect, one stream each)");
}
BENCHMARK(BM_EffectsCreatedAndDestroyed)->Arg(1)->Arg(0);

// 60 s at 60 frames per second; a one-shot "memory" sound starts every
// 3 frames (20 per second) and lasts 0.5 s on the device.
void BM_OneShotMinuteBuffersHeldAgainstPlaying(benchmark::State& state) {
    quietLogs();
    double heldSum = 0, playingSum = 0, heldMax = 0;
    int frames = 0;
    for (auto _ : state) {
        testsupport::TestLibrary library(effectsFile);
        for (const char* f : {"device.cfg", "hit.wav", "wind.ogg"}) library.sound(f);
        library.activate();
        Effect* keeper = library.manager->createEffect("hit");
        std::vector<Effect*> voices;
        for (int k = 0; k < 12; ++k) voices.push_back(library.manager->createEffect("hit"));
        std::map<int, std::pair<bool, int>> seen;  // device effect id -> (was playing, frame it started)
        heldSum = playingSum = heldMax = 0;
        frames = 0;
        for (int frame = 0; frame < 60 * 60; ++frame, ++frames) {
            if (frame % 3 == 0) voices[(frame / 3) % voices.size()]->play();
            int playing = 0, held = 0;
            for (auto* e : library.device->liveEffects()) {
                const auto s = e->snapshot();
                if (s.state != "clone") continue;  // the keeper
                ++held;
                auto& track = seen[e->getId()];
                if (s.playing && !track.first) track.second = frame;
                track.first = s.playing;
                if (s.playing && frame - track.second >= 30) {
                    e->setPlaying(false);  // the sound has played its 0.5 s
                    track.first = false;
                }
                if (track.first) ++playing;
            }
            heldSum += held;
            playingSum += playing;
            heldMax = std::max<double>(heldMax, held);
            library.hearers->processHearers(1.0f / 60.0f);
            library.device->clearCalls();
        }
        for (Effect* e : voices) library.manager->destroyEffect(e);
        library.manager->destroyEffect(keeper);
    }
    state.counters["buffers_held_avg"] = heldSum / frames;
    state.counters["sounds_playing_avg"] = playingSum / frames;
    state.counters["buffers_held_max"] = heldMax;
    state.counters["process_time_limit_s"] = ListenerSettings::getProcessTimeLimit();
}
BENCHMARK(BM_OneShotMinuteBuffersHeldAgainstPlaying)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

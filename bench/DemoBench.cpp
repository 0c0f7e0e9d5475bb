// The demo session: data/Sessions/demo.session of the built sample content,
// rendered through the loopback output into a temporary WAV file as
// `zsdemo --render` does, with the demo library's own set-up. One iteration
// is the whole session. Counters: game seconds per wall-clock second of the
// frame loop ("x real time"), and the shares of that loop spent in the mixer
// and in the library's calls outside it. Run with the device's loudness
// meter on (as shipped) and off (ZULSOUND_LOUDNESS_METER=off) to show its
// cost.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "interfaces/Debug.h"
#include "sandbox/demo/Script.h"
#include "sandbox/demo/Session.h"
#include "sandbox/demo/Setup.h"
#include "tests/support/ResourceTree.h"

namespace {

void demoSession(benchmark::State& state) {
    const std::string content = ZULSOUND_CONTENT_DIR;
    const std::string scriptPath = content + "/Sessions/demo.session";
    std::ifstream file(scriptPath);
    std::stringstream text;
    text << file.rdbuf();
    const zsdemo::Script script = zsdemo::parseScript(text.str());
    if (!file || script.commands.empty() || !script.messages.empty()) {
        state.SkipWithError(("cannot read the script " + scriptPath).c_str());
        return;
    }
    const bool meter = state.range(0) == 1;
    if (!meter) setenv("ZULSOUND_LOUDNESS_METER", "off", 1);
    debug::setStandardErrorOutput(false);
    double game = 0, loop = 0, mixer = 0, library = 0;
    for (auto _ : state) {
        testsupport::TemporaryDirectory dir;
        zsdemo::SetupOptions setupOptions;
        setupOptions.content = content;
        setupOptions.saveDirectory = dir.path();
        setupOptions.render = dir.file("demo.wav");
        auto setup = zsdemo::prepareSession(setupOptions);
        if (!setup) {
            state.SkipWithError(("cannot mount the content " + content).c_str());
            break;
        }
        zsdemo::SessionOptions options;
        options.saveDirectory = dir.path();
        zsdemo::Session session(script, options, setup->getSide(), setup->getPacer());
        if (!session.run() || !setup->finish()) {
            state.SkipWithError("the session did not render");
            break;
        }
        game += setup->getRenderedSeconds();
        loop += session.getLoopSeconds();
        mixer += setup->getRendered().getMixerSeconds();
        library += session.getLibrarySeconds();
    }
    debug::setStandardErrorOutput(true);
    unsetenv("ZULSOUND_LOUDNESS_METER");
    state.SetLabel(meter ? "meter on" : "meter off");
    if (loop <= 0) return;
    state.counters["x real time"] = game / loop;
    state.counters["mixer %"] = 100.0 * mixer / loop;
    state.counters["library outside mixer %"] = 100.0 * library / loop;
    state.counters["game s"] = game / static_cast<double>(state.iterations());
}
BENCHMARK(demoSession)->Name("DemoSession/render")->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

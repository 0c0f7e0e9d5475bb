// zsdemo: a scripted game session through the whole library, heard live or
// rendered to a file, with pictures.
//
//   zsdemo [--content DIR|ZIP] [--script FILE] [--render FILE.wav]
//          [--output default|null|wav:FILE] [--pictures DIR] [--seed N]
//          [--map NAME] [--save-dir DIR] [--no-progress] [--or-render FILE.wav] [--watch]
//
// --or-render plays live when a sound card opens and renders to the file
// otherwise. A rendered run ends with its speed against real time and the
// shares of the mixer and of the rest of the library in it. Every run ends
// with the loudness of the mix (integrated, range, true peak).
//
// Live (the default) the frames are paced in real time on the output the
// device library chooses (the sound card, else the null output). With
// --render the hand-pumped loopback output is mixed in step with the frames,
// as fast as the machine allows, into a 16-bit WAV file that is the same, bit
// for bit, for the same script, content and seed.

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "interfaces/Debug.h"
#include "platform/device/AlDevice.h"
#include "sandbox/demo/Loudness.h"
#include "sandbox/demo/LoudnessPicture.h"
#include "sandbox/demo/Output.h"
#include "sandbox/demo/Script.h"
#include "sandbox/demo/Session.h"
#include "sandbox/demo/Setup.h"
#include "sandbox/system/Process.h"

#ifndef ZULSOUND_CONTENT_DIR
#define ZULSOUND_CONTENT_DIR "content"
#endif

namespace {

std::atomic<bool> interrupted{false};

void onInterrupt(int) { interrupted.store(true); }

int usage() {
    std::cerr << "usage: zsdemo [--content DIR|ZIP] [--script FILE] [--render FILE.wav]\n"
                 "              [--output default|null|wav:FILE] [--pictures DIR] [--seed N]\n"
                 "              [--map NAME] [--save-dir DIR] [--no-progress] [--or-render FILE.wav] [--watch]\n"
                 "script commands (one a line: TIME COMMAND ARGUMENTS):\n";
    for (const auto& c : zsdemo::commandTable())
        std::cerr << "  " << c.verb << (c.arguments[0] ? " " : "") << c.arguments << ": " << c.meaning << "\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    // The runtime may run helpers of its own (a sanitizer's, started with the
    // first thread): what counts is that the library's threads are gone at
    // the end.
    std::thread([] {}).join();
    const size_t threadsAtStart = sandboxsystem::threadCount();
    std::string content = ZULSOUND_CONTENT_DIR, scriptPath, render, output, pictures, saveDir, map = "/valley.cfg";
    uint32_t seed = 1;
    bool progress = sandboxsystem::outputIsTerminal();
    bool watch = false;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        const bool more = k + 1 < argc;
        if (arg == "--content" && more) content = argv[++k];
        else if (arg == "--script" && more) scriptPath = argv[++k];
        else if (arg == "--render" && more) render = argv[++k];
        else if (arg == "--output" && more) output = argv[++k];
        else if (arg == "--pictures" && more) pictures = argv[++k];
        else if (arg == "--seed" && more) seed = static_cast<uint32_t>(std::strtoul(argv[++k], nullptr, 10));
        else if (arg == "--map" && more) map = argv[++k];
        else if (arg == "--save-dir" && more) saveDir = argv[++k];
        else if (arg == "--no-progress") progress = false;
        else if (arg == "--watch") watch = true;
        else if (arg == "--or-render" && more) {
            const std::string file = argv[++k];
            if (!aldevice::AlDevice::systemOutputOpens()) {
                render = file;
                std::cout << "zsdemo: no sound card; rendering to " << fs::absolute(file).string() << "\n";
            }
        }
        else return usage();
    }
    if (scriptPath.empty()) scriptPath = (fs::path(content) / "Sessions" / "demo.session").string();

    std::ifstream scriptFile(scriptPath);
    if (!scriptFile) {
        std::cerr << "zsdemo: cannot read the script " << scriptPath << "\n";
        return 1;
    }
    std::stringstream text;
    text << scriptFile.rdbuf();
    const zsdemo::Script script = zsdemo::parseScript(text.str());
    for (const auto& m : script.messages) std::cerr << "zsdemo: " << scriptPath << ": " << m.format() << "; skipped\n";

    if (saveDir.empty()) saveDir = (fs::temp_directory_path() / ("zsdemo-" + std::to_string(sandboxsystem::processId()))).string();
    zsdemo::SetupOptions setupOptions;
    setupOptions.content = content;
    setupOptions.saveDirectory = saveDir;
    setupOptions.render = render;
    setupOptions.output = output;
    setupOptions.map = map;
    setupOptions.seed = seed;
    setupOptions.watch = watch;
    setupOptions.log = &std::cout;
    setupOptions.errors = &std::cerr;
    auto setup = zsdemo::prepareSession(setupOptions);
    if (!setup) return 1;
    std::error_code error;
    if (!pictures.empty()) fs::create_directories(pictures, error);

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);

    zsdemo::SessionOptions options;
    options.seed = seed;
    options.saveDirectory = saveDir;
    options.log = &std::cout;
    options.progressLine = progress;
    options.interrupted = &interrupted;
    std::cout << "zsdemo: " << scriptPath << ", " << script.commands.size() << " commands, "
              << script.length() << " s of game time, " << (render.empty() ? "live" : "rendered to " + render) << "\n";
    zsdemo::Session session(script, options, setup->getSide(), setup->getPacer());
    bool ok = session.run();
    // A file that never opened was reported already; one that stops taking
    // samples (no space) is reported here.
    if (!setup->finish() && ok) {
        std::cerr << "zsdemo: cannot write " << render << "\n";
        ok = false;
    }
    for (const std::string& line : setup->getSide().statistics()) std::cout << line << "\n";
    // One loudness line, of the mix the device metered while it played; a
    // rendering's file holds that same mix. The file is measured again for
    // the loudness curve, and when the meter saw only part of it (it was off,
    // or began again when the device was set up anew, as re-reading the
    // configuration does).
    if (render.empty())
        if (aldevice::AlDevice* device = setup->getDevice()) std::cout << "zsdemo: " << device->describeLoudness() << "\n";
    zsdemo::LoudnessFigures loudness;  // of the file, when measured
    if (!render.empty() && ok) {
        std::cout << "zsdemo: wrote " << fs::absolute(render).string() << ", " << setup->getRenderedSeconds() << " s\n";
        aldevice::AlDevice* device = setup->getDevice();
        const aldevice::Loudness metered = device ? device->loudness() : aldevice::Loudness{};
        const bool whole = metered.metered && std::fabs(metered.seconds - setup->getRenderedSeconds()) < 0.05;
        if (!pictures.empty() || !whole) loudness = zsdemo::measureLoudness(render);
        zsdemo::LoudnessFigures session = loudness;
        if (whole) {
            session.ok = true;
            session.integrated = metered.integrated;
            session.range = metered.range;
            session.truePeak = metered.truePeak;
            session.fullScaleSamples = metered.fullScaleSamples;
        }
        if (session.ok) std::cout << "zsdemo: loudness of the session: " << zsdemo::describeLoudness(session) << "\n";
    }
    if (!render.empty() && ok && session.getLoopSeconds() > 0) {
        const double game = setup->getRenderedSeconds();
        const double loop = session.getLoopSeconds();
        std::printf("zsdemo: rendered %.1f s of game time in %.2f s: %.1f x real time; mixer %.0f%%, library outside "
                    "the mixer %.0f%% of that time\n",
                    game, loop, game / loop, 100.0 * setup->getRendered().getMixerSeconds() / loop,
                    100.0 * session.getLibrarySeconds() / loop);
    }
    if (!pictures.empty() && ok) {
        const std::string board = (fs::path(pictures) / "board.png").string();
        if (zsdemo::writeBoardPicture(session, board)) std::cout << "zsdemo: wrote " << board << "\n";
        else {
            std::cerr << "zsdemo: cannot write " << board << "\n";
            ok = false;
        }
        if (!render.empty() && std::system("command -v sox >/dev/null 2>&1") == 0) {
            const std::string spectrogram = (fs::path(pictures) / "spectrogram.png").string();
            const std::string command = "sox '" + render + "' -n spectrogram -o '" + spectrogram + "' 2>/dev/null";
            if (std::system(command.c_str()) == 0) std::cout << "zsdemo: wrote " << spectrogram << "\n";
        }
        if (loudness.ok) {
            const std::string curve = (fs::path(pictures) / "loudness.png").string();
            if (zsdemo::writeLoudnessPicture(render, loudness, script, curve)) std::cout << "zsdemo: wrote " << curve << "\n";
            else {
                std::cerr << "zsdemo: cannot write " << curve << "\n";
                ok = false;
            }
        }
    }
    setup.reset();
    // Every thread the library started has ended by now.
    std::cout << "zsdemo: threads at exit: " << sandboxsystem::threadCount() << ", at start: " << threadsAtStart << "\n";
    return ok ? 0 : 1;
}

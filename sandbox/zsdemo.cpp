// zsdemo: a scripted game session through the whole library, heard live or
// rendered to a file, with pictures.
//
//   zsdemo [--content DIR|ZIP] [--script FILE] [--render FILE.wav]
//          [--output default|null|wav:FILE] [--pictures DIR] [--seed N]
//          [--map NAME] [--save-dir DIR] [--no-progress] [--or-render FILE.wav]
//
// --or-render plays live when a sound card opens and renders to the file
// otherwise. A rendered run ends with its speed against real time and the
// shares of the mixer and of the rest of the library in it.
//
// Live (the default) the frames are paced in real time on the output the
// device library chooses (the sound card, else the null output). With
// --render the hand-pumped loopback output is mixed in step with the frames,
// as fast as the machine allows, into a 16-bit WAV file that is the same, bit
// for bit, for the same script, content and seed.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "interfaces/Config.h"
#include "interfaces/Debug.h"
#include "interfaces/Resource.h"
#include "interfaces/SoundDevice.h"
#include "platform/device/AlDevice.h"
#include "sandbox/demo/Output.h"
#include "sandbox/demo/Script.h"
#include "sandbox/demo/Session.h"
#include "sandbox/demo/SoundSide.h"

#ifndef ZULSOUND_CONTENT_DIR
#define ZULSOUND_CONTENT_DIR "content"
#endif

namespace {

std::atomic<bool> interrupted{false};

void onInterrupt(int) { interrupted.store(true); }

size_t countThreads() {
    std::error_code error;
    size_t threads = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/task", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++threads;
    return threads;
}

int usage() {
    std::cerr << "usage: zsdemo [--content DIR|ZIP] [--script FILE] [--render FILE.wav]\n"
                 "              [--output default|null|wav:FILE] [--pictures DIR] [--seed N]\n"
                 "              [--map NAME] [--save-dir DIR] [--no-progress] [--or-render FILE.wav]\n"
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
    const size_t threadsAtStart = countThreads();
    std::string content = ZULSOUND_CONTENT_DIR, scriptPath, render, output, pictures, saveDir, map = "/valley.cfg";
    uint32_t seed = 1;
    bool progress = isatty(STDOUT_FILENO);
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

    if (!theResourceManager->mount(content)) {
        std::cerr << "zsdemo: cannot mount the content " << content << "\n";
        return 1;
    }
    if (saveDir.empty()) saveDir = (fs::temp_directory_path() / ("zsdemo-" + std::to_string(getpid()))).string();
    std::error_code error;
    fs::create_directories(saveDir, error);
    if (!pictures.empty()) fs::create_directories(pictures, error);

    // A rendering reads the music settings from an overlay mounted before the
    // content: the same fades without the worker's real-time pauses (the
    // demo fades the music group over the same length of game time).
    double fadeSeconds = 0.0;
    if (!render.empty()) {
        configmanager::ConfigManager settings;
        int steps = 1000, pause = 0;
        float louder = 0.5f;
        settings.readFile("/Configs/Sounds/MusicSettings.cfg");
        settings.getProperty("fadeStepNumber", &steps);
        settings.getProperty("sleepMilliseconds", &pause);
        settings.getProperty("louder", &louder);
        if (pause >= 20) fadeSeconds = std::max(steps, 1) * pause / 1000.0;
        pause = 0;
        const fs::path overlay = fs::path(saveDir) / "render-settings";
        fs::create_directories(overlay / "Configs" / "Sounds", error);
        configmanager::ConfigManager rendering;
        rendering.setProperty("fadeStepNumber", &steps);
        rendering.setProperty("sleepMilliseconds", &pause);
        rendering.setProperty("louder", &louder);
        if (!rendering.writePlainFile((overlay / "Configs" / "Sounds" / "MusicSettings.cfg").string()) ||
            !theResourceManager->unmount(content) || !theResourceManager->mount(overlay.string()) ||
            !theResourceManager->mount(content)) {
            std::cerr << "zsdemo: cannot set up the rendering's music settings in " << overlay.string() << "\n";
            return 1;
        }
    }

    // The devices the library will list: ours, so that the demo can pump
    // the loopback output or read the voices in use.
    std::shared_ptr<aldevice::AlDevice> device;
    if (!render.empty()) {
        device = std::make_shared<aldevice::AlDevice>(aldevice::Output{aldevice::Output::Loopback, ""});
    } else {
        if (!output.empty()) Sound3DDeviceManager::setOutput(output);
        for (auto& d : Sound3DDeviceManager::listOwnDevices())
            if ((device = std::dynamic_pointer_cast<aldevice::AlDevice>(d))) break;
    }
    if (device)
        Sound3DDeviceManager::setDeviceProvider([device] { return Sound3DDeviceManager::DeviceList{device}; });

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);

    zsdemo::SoundSideOptions sideOptions;
    sideOptions.map = map;
    sideOptions.seed = seed;
    sideOptions.rendering = !render.empty();
    sideOptions.renderFadeSeconds = fadeSeconds;
    sideOptions.log = &std::cout;
    auto side = zsdemo::makeSoundSide(sideOptions);

    zsdemo::RealTimePacer live;
    zsdemo::RenderPacer rendered(device);
    zsdemo::Pacer* pacer = render.empty() ? static_cast<zsdemo::Pacer*>(&live) : &rendered;

    // The WAV file opens once the device is initialised and knows its rate.
    struct OpeningSide : zsdemo::SoundSide {
        zsdemo::SoundSide& inner;
        std::function<bool()> opened;
        OpeningSide(zsdemo::SoundSide& s, std::function<bool()> o) : inner(s), opened(std::move(o)) {}
        bool begin(sandbox::Host& host) override { return inner.begin(host) && opened(); }
        void command(const zsdemo::Command& c, const Vector& p, const std::string& f) override { inner.command(c, p, f); }
        void beforeMix() override { inner.beforeMix(); }
        void afterFrame() override { inner.afterFrame(); }
        void end() override { inner.end(); }
        std::vector<zsdemo::Source> sources() override { return inner.sources(); }
        std::string status() override { return inner.status(); }
        std::vector<std::string> statistics() override { return inner.statistics(); }
    } opening(*side, [&] {
        if (render.empty() || rendered.open(render)) return true;
        std::cerr << "zsdemo: cannot write " << render << "\n";
        return false;
    });

    zsdemo::SessionOptions options;
    options.seed = seed;
    options.saveDirectory = saveDir;
    options.log = &std::cout;
    options.progressLine = progress;
    options.interrupted = &interrupted;
    std::cout << "zsdemo: " << scriptPath << ", " << script.commands.size() << " commands, "
              << script.length() << " s of game time, " << (render.empty() ? "live" : "rendered to " + render) << "\n";
    zsdemo::Session session(script, options, opening, *pacer);
    bool ok = session.run();
    // A file that never opened was reported already; one that stops taking
    // samples (no space) is reported here.
    if (!render.empty() && !rendered.close() && ok) {
        std::cerr << "zsdemo: cannot write " << render << "\n";
        ok = false;
    }
    for (const std::string& line : side->statistics()) std::cout << line << "\n";
    if (!render.empty() && ok)
        std::cout << "zsdemo: wrote " << fs::absolute(render).string() << ", "
                  << static_cast<double>(rendered.getFrames()) / rendered.getFrequency() << " s\n";
    if (!render.empty() && ok && session.getLoopSeconds() > 0) {
        const double game = static_cast<double>(rendered.getFrames()) / rendered.getFrequency();
        const double loop = session.getLoopSeconds();
        std::printf("zsdemo: rendered %.1f s of game time in %.2f s: %.1f x real time; mixer %.0f%%, library outside "
                    "the mixer %.0f%% of that time\n",
                    game, loop, game / loop, 100.0 * rendered.getMixerSeconds() / loop,
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
    }
    side.reset();
    Sound3DDeviceManager::setDeviceProvider(nullptr);
    // Every thread the library started has ended by now.
    std::cout << "zsdemo: threads at exit: " << countThreads() << ", at start: " << threadsAtStart << "\n";
    return ok ? 0 : 1;
}

// zsmusic: drives the music path end to end, as the game would: starts a
// piece, switches to another with the configured fades, goes quiet and loud,
// and stops. With --output wav:FILE the fades can be seen in the file.
//
//   zsmusic [--content DIR|ZIP] [--output default|null|wav:FILE] [--hold SECONDS] [FIRST [SECOND]]
//
// FIRST and SECOND are effect names of "Effects.snd" (default "theme" and
// "nocturne"); the fades follow "/Configs/Sounds/MusicSettings.cfg". Each
// stage is held for --hold seconds (default 3) after its command is served.
#include <chrono>
#include <functional>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include "interfaces/Debug.h"
#include "interfaces/Resource.h"
#include "interfaces/SoundDevice.h"
#include "sandbox/host/SoundStack.h"
#include "sound/manager/Globals.h"
#include "sound/music/MusicInsonificator.h"

#ifndef ZULSOUND_CONTENT_DIR
#define ZULSOUND_CONTENT_DIR "content"
#endif

namespace {

int usage() {
    std::cerr << "usage: zsmusic [--content DIR|ZIP] [--output default|null|wav:FILE] [--hold SECONDS] [FIRST [SECOND]]\n";
    return 2;
}

using Clock = std::chrono::steady_clock;

}  // namespace

int main(int argc, char** argv) {
    std::string content = ZULSOUND_CONTENT_DIR, output;
    std::string pieces[2] = {"theme", "nocturne"};
    int named = 0;
    double hold = 3.0;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "--content" && k + 1 < argc) content = argv[++k];
        else if (arg == "--output" && k + 1 < argc) output = argv[++k];
        else if (arg == "--hold" && k + 1 < argc) hold = std::stod(argv[++k]);
        else if (arg.empty() || arg[0] == '-' || named == 2) return usage();
        else pieces[named++] = arg;
    }
    if (!output.empty()) Sound3DDeviceManager::setOutput(output);
    if (!theResourceManager->mount(content)) {
        std::cerr << "zsmusic: cannot mount the content " << content << "\n";
        return 1;
    }

    // The part of the sound manager's start the music needs.
    sandbox::SoundStack stack;
    MusicInsonificator music;
    theMusicInsonificator = &music;
    const Clock::time_point begin = Clock::now();
    auto stage = [&](const char* what, const std::function<void()>& call) {
        const double at = std::chrono::duration<double>(Clock::now() - begin).count();
        std::printf("%7.2f s  %s\n", at, what);
        std::fflush(stdout);
        call();
        music.waitUntilServed();
        std::this_thread::sleep_for(std::chrono::duration<double>(hold));
    };
    const std::string first = "start " + pieces[0], second = "start " + pieces[1];
    stage(first.c_str(), [&] { music.start(pieces[0]); });
    stage("stop (fade out)", [&] { music.stop(); });
    stage(second.c_str(), [&] { music.start(pieces[1]); });
    stage("quiet", [&] { music.quiet(); });
    stage("loud", [&] { music.loud(); });
    stage("stop", [&] { music.stop(); });
    std::printf("%7.2f s  done\n", std::chrono::duration<double>(Clock::now() - begin).count());
    theMusicInsonificator = nullptr;
    return 0;
}

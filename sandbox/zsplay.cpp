// zsplay: plays sounds of the content, by effect name or as sound files.
//
//   zsplay [--content DIR|ZIP] [--output default|null|wav:FILE] NAME_OR_FILE...
//   zsplay --watch [--content DIR] [--output ...] NAME...
//
// It mounts the content (by default the build tree's sample content), reads
// the declarations of "/Configs/Sounds/Effects.snd" with the library's own
// reader, opens the device the device library lists first for the output
// (the sound card when one opens, else the null output), and plays each
// sound once, in turn, with a progress line. Looped sounds play once through.
// The run ends with the loudness of what was mixed (integrated, range, true
// peak).
//
// With --watch the library itself plays the named effects (through the
// sound manager, as a game would), over and over until interrupted, and a
// content watch applies every file of the content the library reads, saved
// meanwhile (an editor's swap and backup files ignored): change a level or a
// sample, save, and hear it.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/Debug.h"
#include "interfaces/Resource.h"
#include "interfaces/SoundDevice.h"
#include "platform/debug/Capture.h"
#include "platform/device/AlDevice.h"
#include "sound/effects/Effect.h"
#include "sound/effects/EffectManager.h"
#include "sound/manager/ContentWatch.h"
#include "sound/manager/Globals.h"
#include "sound/manager/SoundManager.h"
#include "sound/request/EffectsFile.h"

#ifndef ZULSOUND_CONTENT_DIR
#define ZULSOUND_CONTENT_DIR "content"
#endif

namespace {

int usage() {
    std::cerr << "usage: zsplay [--content DIR|ZIP] [--output default|null|wav:FILE] NAME_OR_FILE...\n"
                 "       zsplay --watch [--content DIR] [--output default|null|wav:FILE] NAME...\n";
    return 2;
}

std::atomic<bool> interrupted{false};

// The effects played by the library in turn, again and again, the content
// reloaded as it is saved, until Ctrl-C.
int playWatching(const std::vector<std::string>& names) {
    std::signal(SIGINT, [](int) { interrupted = true; });
    std::signal(SIGTERM, [](int) { interrupted = true; });
    SoundManager manager;
    manager.activate();
    std::vector<Effect*> effects;
    for (const std::string& name : names) effects.push_back(theEffectManager->createEffect(name));
    {
        ContentWatch watch;
        std::cout << "zsplay: playing until interrupted; save a file of the content to hear it change\n";
        // The watch's line of what it reloaded, beside the progress line.
        auto update = [&] {
            if (!watch.hasPending()) return;
            debug::Capture lines;
            if (!watch.update()) return;
            for (const auto& record : lines.onChannel("SoundManager"))
                if (record.text.compare(0, 7, "Content") == 0) std::cout << "\r\033[K  " << record.text << "\n";
        };
        while (!interrupted) {
            for (size_t k = 0; k < effects.size() && !interrupted; ++k) {
                Effect* effect = effects[k];
                effect->stop();
                effect->play();
                auto started = std::chrono::steady_clock::now();
                do {
                    update();
                    const double at = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                    std::printf("\r  %-20s %5.1f s", names[k].c_str(), at);
                    std::fflush(stdout);
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                } while (effect->isPlaying() && !interrupted);
            }
        }
        std::printf("\n");
    }
    for (Effect* effect : effects) theEffectManager->destroyEffect(effect);
    manager.deactivate();
    return 0;
}

struct Request {
    std::string label;
    std::string path;  // resource path
    bool stream = false;
    float volume = 1.0f;
    Sound3DMode mode = SOUND3D_MODE_DISABLE;
};

// There is no listener to place sounds around: every sound is heard as it
// is, but for head-relative ones.
Sound3DMode modeOf(const std::string& word) {
    return word == "headrelative" ? SOUND3D_MODE_HEADRELATIVE : SOUND3D_MODE_DISABLE;
}

}  // namespace

int main(int argc, char** argv) {
    std::string content = ZULSOUND_CONTENT_DIR, output;
    std::vector<std::string> wanted;
    bool watching = false;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "--content" && k + 1 < argc) content = argv[++k];
        else if (arg == "--output" && k + 1 < argc) output = argv[++k];
        else if (arg == "--watch") watching = true;
        else if (arg == "-h" || arg == "--help") return usage();
        else wanted.push_back(arg);
    }
    if (wanted.empty()) return usage();
    if (!output.empty()) Sound3DDeviceManager::setOutput(output);
    if (!theResourceManager->mount(content)) {
        std::cerr << "zsplay: cannot mount the content " << content << "\n";
        return 1;
    }

    if (watching) {
        for (const std::string& item : wanted)
            if (std::filesystem::is_regular_file(item)) {
                std::cerr << "zsplay: --watch plays effects of Effects.snd by name, not the file " << item << "\n";
                return 2;
            }
        return playWatching(wanted);
    }

    EffectsFile::Records records;
    EffectsFile::resetDirectoryPrefix();
    EffectsFile::setTarget(&records);
    EffectsFile::read("Effects.snd");
    EffectsFile::setTarget(nullptr);

    // The "device" entry names the device's settings file, as for the game.
    std::string settingsPath;
    if (records.count("device")) settingsPath = "/Sounds/" + records["device"]->fileName;

    int failures = 0;
    std::vector<Request> requests;
    for (const std::string& item : wanted) {
        auto found = records.find(item);
        if (found != records.end()) {
            const EffectConfig& config = *found->second;
            requests.push_back({item, "/Sounds/" + config.fileName, config.storage != "memory", config.volume,
                                modeOf(config.mode)});
        } else if (std::filesystem::is_regular_file(item)) {
            const auto file = std::filesystem::absolute(item);
            theResourceManager->mount(file.parent_path().string(), "/zsplay");
            requests.push_back({item, "/zsplay/" + file.filename().string(), false, 1.0f, SOUND3D_MODE_DISABLE});
        } else {
            std::cerr << "zsplay: " << item << " is neither an effect of Effects.snd nor a sound file\n";
            ++failures;
        }
    }
    for (auto& record : records) delete record.second;

    Sound3DDeviceManager manager;
    Sound3DEffectDevice* device = nullptr;
    for (SoundDevice* d : *manager.enumerateSoundDevices(1))
        if ((device = dynamic_cast<Sound3DEffectDevice*>(d))) break;
    if (!device) {
        std::cerr << "zsplay: no sound device\n";
        return 1;
    }
    try {
        device->initialize();
    } catch (const debug::Exception& e) {
        std::cerr << "zsplay: " << e.getString() << "\n";
        return 1;
    }
    if (ResourceStream* settings = settingsPath.empty() ? nullptr : theResourceManager->openStream(settingsPath.c_str())) {
        device->loadSettings(settings);
        theResourceManager->closeStream(settings);
    }
    std::list<std::string> info;
    device->getInfo(info);
    std::cout << "zsplay: " << info.front() << "\n";

    for (const Request& request : requests) {
        ResourceStream* stream = theResourceManager->openStream(request.path.c_str());
        Sound3DEffect* effect = device->createEffect();
        try {
            if (!stream) throw SoundObjectException("cannot open " + request.path);
            if (request.stream) effect->createStreaming(stream, 4);
            else effect->createStatic(stream);
        } catch (const debug::Exception& e) {
            std::cerr << "zsplay: " << request.label << ": " << e.getString() << "\n";
            device->destroyEffect(effect);
            if (stream) theResourceManager->closeStream(stream);
            ++failures;
            continue;
        }
        const double seconds = effect->getFrequency() && effect->getChannels()
                                   ? double(effect->getSize()) / (2.0 * effect->getChannels() * effect->getFrequency())
                                   : 0.0;
        effect->setVolume(request.volume);
        effect->setMode(request.mode, SOUND3D_APPLY_IMMEDIATE);
        effect->play();
        while (effect->isPlaying()) {
            const double at = effect->getFrequency() ? double(effect->getPlayPosition()) / effect->getFrequency() : 0;
            std::printf("\r  %-20s %5.1f s / %5.1f s", request.label.c_str(), at, seconds);
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::printf("\r  %-20s %5.1f s / %5.1f s  done\n", request.label.c_str(), seconds, seconds);
        effect->release();
        device->destroyEffect(effect);
        if (request.stream) theResourceManager->closeStream(stream);
    }
    device->uninitialize();
    if (auto* own = dynamic_cast<aldevice::AlDevice*>(device)) std::cout << "zsplay: " << own->describeLoudness() << "\n";
    return failures ? 1 : 0;
}

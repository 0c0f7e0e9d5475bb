// zsinfo: mounts the content, lists the sound devices and what the content
// holds. A quick check that the library loads and finds its outside layers.
#include <iostream>
#include <string>

#include "interfaces/Config.h"
#include "interfaces/Resource.h"
#include "interfaces/SoundDevice.h"

int main(int argc, char** argv) {
    const std::string content = argc > 1 ? argv[1] : "data";
    if (!theResourceManager->mount(content)) {
        std::cerr << "zsinfo: cannot mount " << content << "\n";
        return 1;
    }
    std::cout << "content: " << content << "\n";
    Sound3DDeviceManager manager;
    for (SoundDevice* device : *manager.enumerateSoundDevices(1)) {
        std::cout << "device: " << device->getName() << "\n";
        if (auto* effects = dynamic_cast<Sound3DEffectDevice*>(device)) {
            effects->initialize();
            std::list<std::string> lines;
            effects->getInfo(lines);
            for (const auto& line : lines) std::cout << "  " << line << "\n";
            effects->uninitialize();
        }
    }
    for (const char* path : {"/Configs/Sounds/Effects.snd", "/Configs/Sounds/Listener.cfg",
                             "/Configs/Sounds/UI.cfg", "/Configs/Sounds/MusicSettings.cfg"}) {
        std::cout << path << ": " << (theResourceManager->notFound(path) ? "missing" : "present") << "\n";
    }
    configmanager::ConfigManager listener;
    if (listener.readFile("/Configs/Sounds/Listener.cfg")) {
        std::string text;
        listener.writeText(&text);
        std::cout << "Listener.cfg as read:\n" << text;
    }
    return 0;
}

// A game-side program built against the installed library: it uses the
// exported configuration blocks, the resource manager and device enumeration.
#include <cstdio>
#include <string>

#include "interfaces/Config.h"
#include "interfaces/Resource.h"
#include "interfaces/SoundDevice.h"

int main() {
    configmanager::ConfigManager save;
    const int id = 7;
    save.setProperty("bgmID", &id);
    std::string text;
    if (!save.writeText(&text) || text.find("bgmID") == std::string::npos) return 1;
    if (!theResourceManager || !theResourceManager->notFound("/nothing/here")) return 2;
    Sound3DDeviceManager manager;
    if (manager.enumerateSoundDevices(1)->empty()) return 3;
    std::printf("consumer ok: %zu bytes of configuration text\n", text.size());
    return 0;
}

// A game-side program built against the installed library: it uses the
// exported configuration blocks, the resource manager, device enumeration
// and the version query, through the prefixed includes.
#include <zulsound/interfaces/Config.h>
#include <zulsound/interfaces/Resource.h>
#include <zulsound/interfaces/SoundDevice.h>
#include <zulsound/sound/manager/Version.h>

#include <cstdio>
#include <cstring>
#include <string>

int main() {
    configmanager::ConfigManager save;
    const int id = 7;
    save.setProperty("bgmID", &id);
    std::string text;
    if (!save.writeText(&text) || text.find("bgmID") == std::string::npos) return 1;
    if (!theResourceManager || !theResourceManager->notFound("/nothing/here")) return 2;
    Sound3DDeviceManager manager;
    if (manager.enumerateSoundDevices(1)->empty()) return 3;
    if (std::strcmp(zulsound::getVersion(), ZULSOUND_VERSION_STRING) != 0 ||
        zulsound::getVersionNumber() != ZULSOUND_VERSION)
        return 4;
    std::printf("consumer ok: zulsound %s, %zu bytes of configuration text\n", zulsound::getVersion(), text.size());
    return 0;
}

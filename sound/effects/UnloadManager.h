#pragma once
// The effect and listener manager the library creates. Effects of "memory"
// sounds become unloading effects, and for each such name with live effects
// the manager keeps one extra device effect, the keeper, loaded in the
// request manager, so the sound data stays resident while the effects' own
// buffers come and go.
//
// Threads: as ShellManager.
#include <map>

#include "sound/effects/ShellManager.h"

class Sound3DEffect;

class UnloadManager : public ShellManager {
public:
    UnloadManager();
    ~UnloadManager() override;

    Effect* createEffect(const std::string& name) override;
    void destroyEffect(Effect* effect) override;
    void activate() override;
    void deactivate() override;

    // How many keeper entries a name has, and how many of them hold a device effect.
    size_t getKeeperCount(const std::string& name);
    size_t getLoadedKeeperCount();

protected:
    void releaseKept(const std::set<std::string>& names) override;
    void reloadKept(const std::set<std::string>& names) override;

private:
    void unloadDeactivate();

    std::multimap<std::string, Sound3DEffect*> keepers;
};

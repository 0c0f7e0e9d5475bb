#include "sound/effects/UnloadManager.h"

#include <algorithm>
#include <memory>
#include <new>

#include "sound/effects/UnloadingEffect.h"
#include "sound/manager/Boundary.h"
#include "sound/manager/Globals.h"
#include "sound/manager/LogChannels.h"
#include "sound/request/EffectConfig.h"
#include "sound/request/RequestInterfaces.h"

UnloadManager::UnloadManager() = default;

UnloadManager::~UnloadManager() {
    Guard guard(lock);
    if (activated) unloadDeactivate();
    keepers.clear();
}

Effect* UnloadManager::createEffect(const std::string& name) {
    Guard guard(lock);
    const EffectConfig* config = findConfig(name);
    if (!config || config->storage != "memory") return ShellManager::createEffect(name);

    Effect* made = nullptr;
    guarded(channels::soundManager, DEBUG_CONTEXT, "createEffect", [&] {
        // Deleted again (its device effect given back) unless it is kept.
        std::unique_ptr<Effect> effect(new UnloadingEffect(name));
        const bool first = std::none_of(effects.begin(), effects.end(),
                                        [&](Effect* e) { return e->hasName(name); });
        if (first) {
            const size_t stale = keepers.count(name);
            if (stale != 0)
                channels::soundManager.post(debug::Error(DEBUG_CONTEXT)
                                            << "Lost memory: during the first call buffer is already created: counter = "
                                            << stale);
            Sound3DEffect* keeper = theRequestEffectInterface ? theRequestEffectInterface->load(name) : nullptr;
            try {
                keepers.emplace(name, keeper);
            } catch (const std::bad_alloc&) {
                if (keeper) theRequestEffectInterface->unload(name, keeper);
                throw;
            }
        }
        configureEffect(effect.get(), name);
        effects.push_back(effect.get());
        made = effect.release();
    });
    return made;
}

void UnloadManager::destroyEffect(Effect* effect) {
    Guard guard(lock);
    if (auto* unloading = dynamic_cast<UnloadingEffect*>(effect)) {
        const std::string name = unloading->getName();
        int same = 0;
        for (Effect* e : effects) {
            if (e->hasName(name) && ++same == 2) break;
        }
        if (same == 1) {
            auto range = keepers.equal_range(name);
            if (range.first != range.second) {
                Sound3DEffect* keeper = range.first->second;
                if (keeper && theRequestEffectInterface) theRequestEffectInterface->unload(name, keeper);
                const size_t erased = keepers.erase(name);
                if (erased != 1)
                    channels::soundManager.post(debug::Error(DEBUG_CONTEXT)
                                                << "Lost memory: during the last call " << erased << " buffers remain");
            } else {
                channels::soundManager.post(debug::Error(DEBUG_CONTEXT)
                                            << "Lost memory: during the last call no buffers remain");
            }
        }
    }
    ShellManager::destroyEffect(effect);
}

void UnloadManager::activate() {
    Guard guard(lock);
    if (!activated) {
        for (auto& keeper : keepers)
            keeper.second = theRequestEffectInterface ? theRequestEffectInterface->load(keeper.first) : nullptr;
    }
    ShellManager::activate();
}

void UnloadManager::deactivate() { unloadDeactivate(); }

void UnloadManager::unloadDeactivate() {
    Guard guard(lock);
    if (!activated) return;
    shellDeactivate();
    for (auto& keeper : keepers) {
        if (theRequestEffectInterface) theRequestEffectInterface->unload(keeper.first, keeper.second);
        keeper.second = nullptr;
    }
}

void UnloadManager::releaseKept(const std::set<std::string>& names) {
    Guard guard(lock);
    for (auto& keeper : keepers) {
        if (!names.count(keeper.first) || !keeper.second) continue;
        if (theRequestEffectInterface) theRequestEffectInterface->unload(keeper.first, keeper.second);
        keeper.second = nullptr;
    }
}

void UnloadManager::reloadKept(const std::set<std::string>& names) {
    Guard guard(lock);
    if (!activated) return;  // activate() loads them
    for (auto& keeper : keepers)
        if (names.count(keeper.first) && !keeper.second && theRequestEffectInterface)
            keeper.second = theRequestEffectInterface->load(keeper.first);
}

size_t UnloadManager::getKeeperCount(const std::string& name) {
    Guard guard(lock);
    return keepers.count(name);
}

size_t UnloadManager::getLoadedKeeperCount() {
    Guard guard(lock);
    size_t n = 0;
    for (auto& keeper : keepers)
        if (keeper.second) ++n;
    return n;
}

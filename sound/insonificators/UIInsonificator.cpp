#include "sound/insonificators/UIInsonificator.h"

#include "interfaces/Config.h"
#include "sound/effects/Effect.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/manager/Globals.h"

UIInsonificator::UIInsonificator() {
    Guard guard(lock);
    if (theInsonificatorManager) name = theInsonificatorManager->getName(2);

    // An unreadable file leaves the table empty and the menus silent.
    configmanager::ConfigManager config;
    config.readFile("/Configs/Sounds/UI.cfg");
    for (const auto& child : config.getChildBlocks()) {
        std::string sound;
        if (!child.second->getProperty("sound", &sound)) continue;  // a block without "sound" is skipped
        soundByMenuName[child.first.getString()] = sound;
        effectBySound.emplace(sound, nullptr);
    }
    for (auto& entry : effectBySound) entry.second = Insonificator::createEffect(entry.first);
}

UIInsonificator::~UIInsonificator() {
    Guard guard(lock);
    for (auto& entry : effectBySound)
        if (entry.second) Insonificator::destroyEffect(entry.second);
    effectBySound.clear();
    soundByMenuName.clear();
}

void UIInsonificator::start() {}
void UIInsonificator::stop() {}

Effect* UIInsonificator::find(const std::string& menuSound) {
    auto name = soundByMenuName.find(menuSound);
    if (name == soundByMenuName.end()) return nullptr;
    auto effect = effectBySound.find(name->second);
    return effect == effectBySound.end() ? nullptr : effect->second;
}

void UIInsonificator::play(const std::string& menuSound) {
    Guard guard(lock);
    if (Effect* effect = find(menuSound)) effect->play();
}

void UIInsonificator::stop(const std::string& menuSound) {
    Guard guard(lock);
    if (Effect* effect = find(menuSound)) effect->stop();
}

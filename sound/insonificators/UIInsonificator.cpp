#include "sound/insonificators/UIInsonificator.h"

#include "interfaces/Config.h"
#include "sound/effects/Effect.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/manager/Globals.h"

UIInsonificator::UIInsonificator() {
    Guard guard(lock);
    if (theInsonificatorManager) name = theInsonificatorManager->getName(2);

    // An unreadable file leaves the table empty and the menus silent.
    readTable(soundByMenuName);
    for (const auto& entry : soundByMenuName) effectBySound.emplace(entry.second, nullptr);
    for (auto& entry : effectBySound) entry.second = Insonificator::createEffect(entry.first);
}

bool UIInsonificator::readTable(std::map<std::string, std::string>& table) {
    configmanager::ConfigManager config;
    if (!config.readFile("/Configs/Sounds/UI.cfg")) return false;
    for (const auto& child : config.getChildBlocks()) {
        std::string sound;
        if (!child.second->getProperty("sound", &sound)) continue;  // a block without "sound" is skipped
        table[child.first.getString()] = sound;
    }
    return true;
}

bool UIInsonificator::reloadTable() {
    Guard guard(lock);
    std::map<std::string, std::string> table;
    if (!readTable(table)) return false;
    std::map<std::string, Effect*> effects;
    for (const auto& entry : table) {
        auto kept = effectBySound.find(entry.second);
        if (kept != effectBySound.end()) {
            effects.emplace(entry.second, kept->second);
            effectBySound.erase(kept);
        } else if (!effects.count(entry.second)) {
            effects.emplace(entry.second, Insonificator::createEffect(entry.second));
        }
    }
    for (auto& entry : effectBySound)
        if (entry.second) Insonificator::destroyEffect(entry.second);
    effectBySound.swap(effects);
    soundByMenuName.swap(table);
    return true;
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

#include "sound/insonificators/InsonificatorManager.h"

#include "sound/insonificators/Insonificator.h"

InsonificatorManager::InsonificatorManager()
    : groupNames{"Sound effects", "Environment sounds", "Menu sounds", "Music"} {}

InsonificatorManager::~InsonificatorManager() = default;

void InsonificatorManager::add(Insonificator* insonificator) { insonificators.push_back(insonificator); }

unsigned long InsonificatorManager::getQuantity() { return static_cast<unsigned long>(insonificators.size()); }

std::string InsonificatorManager::getName(unsigned long id) { return id < groupCount ? groupNames[id] : std::string(); }

Insonificator* InsonificatorManager::getInsonificator(unsigned long id) {
    if (id >= groupCount) return nullptr;
    // Only the first four registered take part: an insonificator registered
    // later (the test insonificator) is never found.
    const size_t searched = insonificators.size() < groupCount ? insonificators.size() : groupCount;
    for (size_t k = 0; k < searched; ++k)
        if (insonificators[k]->getName() == groupNames[id]) return insonificators[k];
    return nullptr;
}

void InsonificatorManager::enable(unsigned long id) {
    if (Insonificator* i = getInsonificator(id)) i->enableAllEffects();
}

void InsonificatorManager::disable(unsigned long id) {
    if (Insonificator* i = getInsonificator(id)) i->disableAllEffects();
}

bool InsonificatorManager::getIsEnabled(unsigned long id) {
    Insonificator* i = getInsonificator(id);
    return i ? i->getIsEnabledAllEffects() : false;
}

void InsonificatorManager::setQuality(unsigned long id, float quality) {
    if (Insonificator* i = getInsonificator(id)) i->setQuality(quality);
}

float InsonificatorManager::getQuality(unsigned long id) {
    Insonificator* i = getInsonificator(id);
    return i ? i->getQuality() : 0.0f;
}

float InsonificatorManager::getMinQuality(unsigned long id) {
    Insonificator* i = getInsonificator(id);
    return i ? i->getMinQuality() : 0.0f;
}

float InsonificatorManager::getMaxQuality(unsigned long id) {
    Insonificator* i = getInsonificator(id);
    return i ? i->getMaxQuality() : 0.0f;
}

void InsonificatorManager::setVolume(unsigned long id, float volume) {
    if (Insonificator* i = getInsonificator(id)) i->setVolume(volume);
}

float InsonificatorManager::getVolume(unsigned long id) {
    Insonificator* i = getInsonificator(id);
    return i ? i->getVolume() : 0.0f;
}

float InsonificatorManager::getMinVolume(unsigned long id) {
    Insonificator* i = getInsonificator(id);
    return i ? i->getMinVolume() : 0.0f;
}

float InsonificatorManager::getMaxVolume(unsigned long id) {
    Insonificator* i = getInsonificator(id);
    return i ? i->getMaxVolume() : 0.0f;
}

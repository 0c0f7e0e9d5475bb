#include "sound/effects/Effect.h"

#include <new>

#include "sound/manager/LogChannels.h"

Effect::Effect() = default;
Effect::Effect(const std::string& n) : name(n) {}
Effect::~Effect() = default;

void Effect::activate(const std::string& password) {
    Guard guard(lock);
    auto found = activeFlags.find(password);
    if (found == activeFlags.end() || found->second) return;
    found->second = true;
    updateActiveFlags();
}

void Effect::deactivate(const std::string& password) {
    Guard guard(lock);
    auto found = activeFlags.find(password);
    if (found == activeFlags.end() || !found->second) return;
    found->second = false;
    updateActiveFlags();
}

void Effect::setVolume(float v, const std::string& password) {
    Guard guard(lock);
    auto found = volumes.find(password);
    if (found == volumes.end()) return;  // a client adds its password first
    found->second = v;
    updateVolume();
}

void Effect::setRadius(float r, const std::string& password) {
    Guard guard(lock);
    auto found = radii.find(password);
    if (found == radii.end()) return;
    found->second = r;
    updateRadius();
}

float Effect::getVolume(const std::string& password) {
    Guard guard(lock);
    auto found = volumes.find(password);
    return found == volumes.end() ? 1.0f : found->second;
}

float Effect::getRadius(const std::string& password) {
    Guard guard(lock);
    auto found = radii.find(password);
    return found == radii.end() ? 1.0f : found->second;
}

void Effect::addCommonPassword(bool activeFlag, const std::string& password) {
    Guard guard(lock);
    const bool known = activeFlags.count(password) != 0;
    try {
        volumes[password] = 1.0f;
        radii[password] = 1.0f;
        activeFlags[password] = activeFlag;
    } catch (const std::bad_alloc&) {
        // All three entries or none: a new password that cannot be held is
        // refused, an old one keeps its entries.
        if (!known) {
            volumes.erase(password);
            radii.erase(password);
            activeFlags.erase(password);
        }
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "failed to addCommonPassword " << password
                                                                << ": out of memory");
        return;
    }
    updateActiveFlags();
    updateVolume();
    updateRadius();
}

bool Effect::holdsPassword(const std::string& password) {
    Guard guard(lock);
    return activeFlags.count(password) != 0;
}

void Effect::removeCommonPassword(const std::string& password) {
    Guard guard(lock);
    volumes.erase(password);
    radii.erase(password);
    activeFlags.erase(password);
    updateActiveFlags();
    updateVolume();
    updateRadius();
}

void Effect::updateActiveFlags() {
    Guard guard(lock);
    bool wanted = !activeFlags.empty();
    for (const auto& flag : activeFlags) {
        if (!flag.second) {
            wanted = false;
            break;
        }
    }
    if (active && !wanted) deactivate();
    else if (!active && wanted) activate();
}

void Effect::updateVolume() {
    Guard guard(lock);
    float product = 1.0f;
    for (const auto& factor : volumes) product *= factor.second;
    setVolume(product);
}

void Effect::updateRadius() {
    Guard guard(lock);
    float product = 1.0f;
    for (const auto& factor : radii) product *= factor.second;
    setRadius(product);
}

void Effect::setSound3DApply(Sound3DApply apply) {
    Guard guard(lock);
    sound3DApply = apply;
}

void Effect::setSound3DMode(Sound3DMode mode) {
    Guard guard(lock);
    sound3DMode = mode;
}

void Effect::setPriority(int) {}
int Effect::getPriority() { return 0; }

bool Effect::getIsActive() {
    Guard guard(lock);
    return active;
}

float Effect::getVolume() {
    Guard guard(lock);
    return volume;
}

float Effect::getRadius() {
    Guard guard(lock);
    return radius;
}

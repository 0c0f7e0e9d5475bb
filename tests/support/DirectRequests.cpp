#include "tests/support/DirectRequests.h"

#include "sound/manager/Globals.h"

namespace testsupport {

DirectRequests::DirectRequests(RecordingDevice& d)
    : device(d), previousEffects(theRequestEffectInterface), previousListener(theRequestListenerInterface) {
    theRequestEffectInterface = this;
    theRequestListenerInterface = this;
}

DirectRequests::~DirectRequests() {
    theRequestEffectInterface = previousEffects;
    theRequestListenerInterface = previousListener;
}

Sound3DEffect* DirectRequests::load(const std::string& name) {
    if (refused.count(name)) return nullptr;
    ++loaded[name];
    return device.createEffect();
}

void DirectRequests::unload(const std::string& name, Sound3DEffect* effect) {
    if (!effect) return;
    ++unloaded[name];
    effect->release();
    device.destroyEffect(effect);
}

Sound3DListener* DirectRequests::requestListener() {
    if (listenerRefused) return nullptr;
    ++listenerCount;
    return device.getListener();
}

void DirectRequests::freeListener(Sound3DListener*) { --listenerCount; }

int DirectRequests::outstanding() const {
    int n = 0;
    for (auto& l : loaded) n += l.second;
    for (auto& u : unloaded) n -= u.second;
    return n;
}

}  // namespace testsupport

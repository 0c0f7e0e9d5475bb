#include "sound/diagnostics/TestInsonificator.h"

#include <string>

#include "sound/effects/Effect.h"
#include "sound/request/StartTogether.h"

namespace {
constexpr int restartCode = 26;
constexpr int playAllCode = 25;
constexpr int createCode = 19;
constexpr unsigned numberedCount = 500;
}  // namespace

TestInsonificator::TestInsonificator() {
    addShortcut(restartCode, 1);
    addShortcut(playAllCode, 1);
    addShortcut(createCode, 1);
}

TestInsonificator::~TestInsonificator() {
    // No key may reach the object once it has started to go away.
    delAllShortcuts();
    Guard guard(lock);
    if (testEffect) destroyEffect(testEffect);
    testEffect = nullptr;
    for (Effect* effect : numberedEffects) destroyEffect(effect);
    numberedEffects.clear();
}

void TestInsonificator::process(int code, int value) {
    if (value != 1) return;
    Guard guard(lock);
    switch (code) {
    case createCode:
        // Once only; also when "sin" could not be created, the numbered
        // effects are not created a second time.
        if (testEffect || !numberedEffects.empty()) return;
        testEffect = createEffect("sin");
        for (unsigned i = 0; i < numberedCount; ++i)
            if (Effect* effect = createEffect("test" + std::to_string(i))) numberedEffects.push_back(effect);
        break;
    case playAllCode: {
        if (numberedEffects.empty()) return;
        // In step: the numbered effects are one tone, meant to sum in phase.
        const StartTogether together;
        for (Effect* effect : numberedEffects) effect->play();
        break;
    }
    case restartCode:
        if (testEffect) {
            testEffect->stop();
            testEffect->play();
        }
        break;
    default:
        break;
    }
}

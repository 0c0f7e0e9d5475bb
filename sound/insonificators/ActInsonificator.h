#pragma once
// The group "Sound effects": the game's action sounds. One shared effect per
// effect name: every caller asking for a name gets the same effect, which
// lives until the insonificator is destroyed.
//
// Threads: any thread.
#include "sound/insonificators/Insonificator.h"

class ZULSOUND_API ActInsonificator : public Insonificator {
public:
    ActInsonificator();
    ~ActInsonificator() override;

    void start() override;
    void stop() override;
    Effect* createEffect(const std::string& name) override;
    // Keeps the effect: shared effects go only with the insonificator.
    void destroyEffect(Effect* effect) override;
};

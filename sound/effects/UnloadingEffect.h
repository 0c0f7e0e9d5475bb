#pragma once
// An effect of a "memory" sound: it holds a device effect (a buffer) only
// from the moment it is asked to play until it has finished playing. The
// periodic pass of the process hearers gives idle buffers back.
//
// Threads: any thread for the effect operations; process() runs on the
// rendering thread during a pass. Lock order: effect, then hearer registry.
#include "sound/effects/ProcessHearer.h"
#include "sound/effects/ShellEffect.h"

class UnloadingEffect : public ShellEffect, public ProcessHearer {
public:
    UnloadingEffect();
    explicit UnloadingEffect(const std::string& name);
    ~UnloadingEffect() override;

    void activate() override;
    void deactivate() override;
    using Effect::activate;
    using Effect::deactivate;
    void play() override;
    void process() override;

private:
    void deactivateUnloading();
};

#pragma once
// The group "Menu sounds". Its table comes from "/Configs/Sounds/UI.cfg":
// one block per menu sound, named by the menu sound, whose string "sound"
// names the effect. Every distinct effect is created once, up front; menu
// sounds that name the same effect share it. The table never changes.
//
// Threads: any thread; play and stop take the insonificator's lock.
#include <map>
#include <string>

#include "sound/insonificators/Insonificator.h"

class ZULSOUND_API UIInsonificator : public Insonificator {
public:
    UIInsonificator();
    ~UIInsonificator() override;

    void start() override;
    void stop() override;
    void play(const std::string& menuSound);
    void stop(const std::string& menuSound);

private:
    Effect* find(const std::string& menuSound);

    std::map<std::string, std::string> soundByMenuName;
    std::map<std::string, Effect*> effectBySound;
};

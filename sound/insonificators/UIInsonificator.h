#pragma once
// The group "Menu sounds". Its table comes from "/Configs/Sounds/UI.cfg":
// one block per menu sound, named by the menu sound, whose string "sound"
// names the effect. Every distinct effect is created once, up front; menu
// sounds that name the same effect share it. The table changes only when
// the content watch reloads the file (reloadTable).
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
    // Reads "/Configs/Sounds/UI.cfg" again: effects still named are kept
    // (a menu sound playing goes on), effects no longer named are destroyed,
    // new ones created. A file that does not read leaves the table as it is;
    // false then.
    bool reloadTable();

private:
    static bool readTable(std::map<std::string, std::string>& table);
    Effect* find(const std::string& menuSound);

    std::map<std::string, std::string> soundByMenuName;
    std::map<std::string, Effect*> effectBySound;
};

#pragma once
/// @file
/// The group "Menu sounds", built by the game.
#include <map>
#include <string>

#include "sound/insonificators/Insonificator.h"

/// The group "Menu sounds" (id 2). The game builds it after
/// SoundManager::activate() and deletes it before the SoundManager; the
/// library never builds one. Built before activate() it stays silent for
/// good: its effects are made at construction and ask for their sounds
/// then, while no device is open ("Skip load NAME: device is
/// uninitialized"), and are not asked again.
///
/// Its table comes from "/Configs/Sounds/UI.cfg": one block per menu sound,
/// named by the menu sound, whose string "sound" names the effect. Every
/// distinct effect is created once, up front; menu sounds that name the same
/// effect share it. The table changes only when a ContentWatch reloads the
/// file (reloadTable); a missing file leaves it empty, without a message.
///
/// Threads: any thread; play and stop take the insonificator's lock.
class ZULSOUND_API UIInsonificator : public Insonificator {
public:
    /// Reads UI.cfg and creates the menu effects.
    UIInsonificator();
    /// Hands the menu effects back.
    ~UIInsonificator() override;

    /// Nothing.
    void start() override;
    /// Nothing.
    void stop() override;
    /// Plays the effect of menu sound `menuSound` (a block name of UI.cfg);
    /// an unknown name is ignored without a message.
    void play(const std::string& menuSound);
    /// Stops the effect of menu sound `menuSound` (also what another menu
    /// sound of the same effect started); an unknown name is ignored.
    void stop(const std::string& menuSound);
    /// Reads "/Configs/Sounds/UI.cfg" again: effects still named are kept
    /// (a menu sound playing goes on), effects no longer named are destroyed,
    /// new ones created. A file that does not read leaves the table as it is;
    /// false then. Called by ContentWatch on the game's thread.
    bool reloadTable();

private:
    static bool readTable(std::map<std::string, std::string>& table);
    Effect* find(const std::string& menuSound);

    std::map<std::string, std::string> soundByMenuName;
    std::map<std::string, Effect*> effectBySound;
};

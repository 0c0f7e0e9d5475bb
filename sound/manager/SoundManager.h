#pragma once
// The façade through which the game drives the whole library. Constructing
// it creates every long-lived object of the library and publishes each
// through its global pointer (sound/manager/Globals.h); destroying it deletes
// them again in an order of its own. Its other operations fix the order in
// which the subsystems are started, stopped, paused, re-configured, saved
// and loaded.
//
// The library never sets theSoundManager: the game keeps its object where
// it likes. Exactly one SoundManager may exist at a time. A second one built
// while the first lives is refused ("Skip SoundManager: one already exists")
// and stays inert: its operations log "Skip <operation>: inactive
// SoundManager" and its destructor deletes nothing. When the live one is
// destroyed the global pointers go back to null, so a call through a stale
// pointer fails at once instead of touching freed memory.
//
// Threads: any game thread. The façade takes no lock of its own; every
// object it forwards to guards itself, and the music-muted flag is atomic.
#include <atomic>
#include <string>

#include "interfaces/Export.h"

class View;
class GameBoard;

namespace configmanager {
class Block;
}

class ZULSOUND_API SoundManager {
public:
    SoundManager();
    virtual ~SoundManager();

    void activate();
    void deactivate();
    void pause();
    void unpause();
    void quiet();
    void loud();
    bool isMusicQuiet();
    void startMusic(const std::string& name);
    void stopMusic();
    void prepareGame(View* view, GameBoard* board);
    void startGame();
    void stopGame();
    void releaseGame();
    void saveGame(configmanager::Block* block);
    void loadGame(configmanager::Block* block);
    void reReadConfig(std::string mapName);

    SoundManager(const SoundManager&) = delete;
    SoundManager& operator=(const SoundManager&) = delete;

private:
    // False for a refused second manager: it owns nothing and forwards nothing.
    bool usable(const char* operation);

    // Read and written from any game thread.
    std::atomic<bool> musicQuiet{false};
    bool owner = false;
};

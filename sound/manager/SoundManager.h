#pragma once
/// @file
/// The façade through which the game drives the whole library.
#include <atomic>
#include <string>

#include "interfaces/Export.h"

class View;
class GameBoard;

namespace configmanager {
class Block;
}

/// The façade through which the game drives the whole library.
///
/// Constructing it creates every long-lived object of the library and
/// publishes each through its pointer (sound/manager/Singletons.h);
/// destroying it deletes them again. Its other operations fix the order in
/// which the subsystems are started, stopped, paused, re-configured, saved
/// and loaded.
///
/// Order of calls: construct; activate(); then, per game, prepareGame(),
/// startGame(), stopGame(), releaseGame(); deactivate(); delete. Music may
/// be started and stopped at any time after activate(). The README's "Using
/// the library from a game" gives the whole recipe and what each rule
/// protects.
///
/// The library never sets theSoundManager: the game keeps its object where
/// it likes. Exactly one SoundManager may exist at a time. A second one built
/// while the first lives is refused (error "Skip SoundManager: one already
/// exists") and stays inert: each of its operations logs the error "Skip
/// <operation>: inactive SoundManager" and does nothing, and its destructor
/// deletes nothing. When the live one is destroyed the singleton pointers go
/// back to null, so a call through a stale pointer fails at once instead of
/// touching freed memory.
///
/// Threads: any game thread. The façade takes no lock of its own; every
/// object it forwards to guards itself, and the music-muted flag is atomic.
/// Messages go to the log channels "SoundManager", "RequestManager",
/// "MusicInsonificator" and "LandInsonificator"; nothing is thrown to the
/// caller. An operation that runs out of memory logs the error "failed to
/// OPERATION: out of memory" and returns as refused; a construction that
/// does ("failed to create SoundManager: out of memory") deletes what it
/// built and leaves the manager inert, like a refused second one.
class ZULSOUND_API SoundManager {
public:
    /// Creates the request manager, the effect and listener manager, the
    /// group registry, the action, landscape and music insonificators (the
    /// music worker thread starts and waits), and the library's internal
    /// objects, and publishes them; nothing plays and no device is opened.
    SoundManager();
    /// Deletes everything the constructor created (the music first, the
    /// request manager last, which closes a device still open) and sets the
    /// pointers back to null. Call deactivate() first. The music worker
    /// serves its queued commands first (fades take their time); music still
    /// playing then is destroyed with the warning "Not all the musics was
    /// destroyed: size = N": stopMusic() before.
    virtual ~SoundManager();

    /// Opens the sound device (the output chosen by
    /// Sound3DDeviceManager::setOutput() or openLoopback(), else the sound
    /// card, else the null output), reads "/Configs/Sounds/Effects.snd",
    /// switches every effect on and reads the window's focus: set
    /// theRenderWindow before, and keep it set until deactivate(). A second
    /// call logs the error "Skip initialize: already done" and changes
    /// nothing.
    /// When no device opens, later loads are refused with "device is
    /// uninitialized" warnings and nothing is heard.
    void activate();
    /// Switches every effect and listener off, stops following the window's
    /// focus and closes the device; effects keep their state and come back
    /// at the next activate().
    void deactivate();
    /// Silences every effect (the game's pause); unpause() brings back what
    /// was playing. Already paused: error "Skip deactivateAllEffects:
    /// already done".
    void pause();
    /// Undoes pause(). Not paused: error "Skip activateAllEffects: already
    /// done".
    void unpause();
    /// Lowers the music to its quiet level ("louder" of MusicSettings.cfg,
    /// default 0.5) at once; isMusicQuiet() is true from this call on.
    void quiet();
    /// Restores the music to its full level; isMusicQuiet() is false.
    void loud();
    /// Whether quiet() was called more recently than loud(); false after
    /// construction.
    bool isMusicQuiet();
    /// Starts the music "name" (an effect name of "Effects.snd") with a
    /// fade-in on the music worker; returns at once. Ignored, without a
    /// message, while music started by an earlier call plays: switching is
    /// stopMusic() then startMusic().
    void startMusic(const std::string& name);
    /// Fades the playing music out and destroys it on the worker; returns at
    /// once. Ignored while no music is started.
    void stopMusic();
    /// Per game: the landscape takes the view and the board, creates its
    /// listener and the effects of its map's sources and reads
    /// "/Configs/Sounds/DefaultSounds.cfg". Both objects must outlive
    /// releaseGame(). Called twice: error "failed to initialize: already
    /// initialized" (LandInsonificator channel), nothing changes.
    void prepareGame(View* view, GameBoard* board);
    /// Registers the landscape with the view (one update per rendered frame)
    /// and the board (subtype changes): from here frames and cell changes
    /// are heard. The board does not tell the cells it already has: the
    /// game replays them through afterChangeLandscapeSubtype(). Without
    /// prepareGame(): error "failed to start: not initialized".
    void startGame();
    /// The seed the landscape's random numbers start from at every
    /// startGame(), loadGame() and re-read, in [0, 1): with one set, the same
    /// calls give the same landscape (a game's rendered tests); outside
    /// [0, 1) (as at first) they start from the calendar's time.
    void setRandomSeed(float seed);
    /// Unregisters the landscape from the view and the board and stops its
    /// sounds; startGame() resumes.
    void stopGame();
    /// Ends the game: stops it if needed, destroys the landscape's sources,
    /// effects and listener. Without prepareGame(): error "failed to
    /// uninitialize: already uninitialized".
    void releaseGame();
    /// Writes the landscape's sources ("fade" and one child block per
    /// source) and the music's "bgmID" at the top of `block`: pass a child
    /// block of the game's own save tree. "bgmID" is the music last brought
    /// by loadGame(), not the one playing: a game that wants its music back
    /// writes "bgmID" itself after this call. A null block is refused with
    /// "Skip save: no block".
    void saveGame(configmanager::Block* block);
    /// Reads what saveGame() wrote: a running game's landscape sources are
    /// replaced at once (between prepareGame() and startGame() the landscape
    /// ends released, and startGame() then fails); the music's "bgmID" is
    /// only remembered: stopMusic(), loadGame(), then
    /// theMusicInsonificator->start() plays it. A null block is refused with
    /// "Skip load: no block".
    void loadGame(configmanager::Block* block);
    /// Re-reads every configuration file while the device and the game keep
    /// running: "Effects.snd" (the device is closed and opened again),
    /// Listener.cfg, MusicSettings.cfg and, while a game is prepared, the
    /// map file "/Maps" + mapName ("/valley.cfg" reads "/Maps/valley.cfg")
    /// with its block "Sounds". A missing map leaves the landscape without
    /// map sources, silently. The landscape's placed sources go too: the
    /// board replays its cells afterwards.
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

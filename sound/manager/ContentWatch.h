#pragma once
/// @file
/// ContentWatch: content that reloads itself while the game runs.
///
/// Content that reloads itself while the game runs. The host creates a
/// ContentWatch (after its SoundManager, and its menu sounds if it has them)
/// and deletes it before them; without one, nothing here happens.
///
/// The directories mounted into the resource manager are watched (archives
/// are not: the log says so once). Only the files the library reads count:
/// the settings files by name ("Effects.snd", "Listener.cfg", "UI.cfg",
/// "MusicSettings.cfg", "AdaptSettings.cfg", "DefaultSounds.cfg"), map files
/// by their ".cfg" name under "/Maps/", and under "/Sounds/" the files with an
/// extension the decoder reads (and ".cfg", the device's settings). What
/// editors leave beside them (swap, lock and backup files such as ".x.swp",
/// ".#x", "#x#", "x~", probe files such as "4913", temporaries) is ignored.
/// Each file is gathered on the watch's own thread and taken on its own once
/// it is whole (closed after writing, moved into place or removed; for a
/// file watch that cannot see writers close, written) and has been quiet for
/// the quiet period: a busy file holds back only itself. What was taken is
/// applied by update(), which the game calls once a frame (or at any call
/// of its own): never on the watch thread.
///
/// A change is applied through the part of the configuration that reads the
/// file, never through the whole re-read, so the sources placed on the board
/// or loaded from a save stay:
///   "Effects.snd"        the effect records: effects follow new volumes,
///                        radii, modes and loop flags; effects whose sound
///                        file or storage changed load the sound again
///   a sound file         every effect playing it loads it again and goes on
///                        from its position (from the start where the new
///                        sound is shorter); streams reopen
///   "Listener.cfg"       the listener settings
///   "UI.cfg"             the menu sounds (setMenuSounds)
///   "MusicSettings.cfg"  the music settings
///   "AdaptSettings.cfg"  the landscape's tuning
///   "DefaultSounds.cfg"  the records later placements copy (sources already
///                        on the board stay as they are)
///   a map file           nothing: its sources are on the board already (the
///                        game's reReadConfig reads it); the log says so
/// A removed settings file reads as an empty one: the listener settings, the
/// music settings and the landscape's tuning (with its 3D emulation switch)
/// go back to their built-in defaults ("(defaults)" in the message), the menu
/// sounds and default records become none. A removed map is ignored; a
/// removed "Effects.snd" leaves the records in use.
/// Each file taken is read once, and the resource manager is held to those
/// bytes while they are checked with the library's own readers (the
/// "Effects.snd" reader, the configuration reader, the sound loader) and
/// applied, so what is applied is what was checked whatever the file does
/// meanwhile. With an error nothing of the batch is applied and every error
/// is logged ("file:line: text"); a file in error is tried again when it
/// changes again (and released when it is fixed or removed), the others of
/// the batch with the next change, so the last good content plays on until
/// a later save is clean. One message names the files that changed and what
/// was reloaded.
///
/// Threads: construct, update and destroy on the game's threads; the watch
/// runs on a thread of its own that only gathers paths.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "interfaces/Export.h"
#include "interfaces/FileWatch.h"

class UIInsonificator;

/// Watches the mounted content directories and applies saved changes at
/// update() (see the file comment for what each file does).
class ZULSOUND_API ContentWatch {
public:
    /// The time the quiet period is measured in (injectable for tests).
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    /// What a host or a test may choose; the defaults suit a game.
    struct Options {
        /// How long the files must have been quiet before a change is applied.
        std::chrono::milliseconds quiet{250};
        Clock clock;                                  ///< steady_clock::now when empty
        std::unique_ptr<filewatch::FileWatch> watch;  ///< the system's when null
    };

    /// Starts watching with the default options (the system's file watch).
    ContentWatch();
    /// Starts watching with the given options.
    explicit ContentWatch(Options options);
    /// Stops the watch; changes not yet applied are logged and dropped.
    virtual ~ContentWatch();

    /// The menu sounds to reload when "UI.cfg" changes (null: none).
    void setMenuSounds(UIInsonificator* menus);
    /// The game's side: applies the gathered changes once they have been
    /// quiet for the quiet period. True when files the library reads were
    /// applied or refused; costs one atomic load while nothing changed.
    bool update();
    /// Changes gathered and not yet taken by update() (one atomic load).
    bool hasPending();
    /// Files of a refused batch, to be tried again (a file in error when it
    /// changes again, the others with the next change).
    bool hasHeld();
    /// Blocks until the watch has seen a change of the file at `path` (a full
    /// file system path) since the last such wait for it, or the timeout
    /// passed; true when seen. For tests and tools that must not sleep.
    bool waitForChange(const std::string& path, std::chrono::milliseconds timeout);
    /// How many batches have been applied.
    unsigned long getReloadCount();
    /// How many batches have been refused.
    unsigned long getRefusedCount();

    ContentWatch(const ContentWatch&) = delete;
    ContentWatch& operator=(const ContentWatch&) = delete;

private:
    struct State;
    std::unique_ptr<State> state;
};

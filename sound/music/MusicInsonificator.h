#pragma once
/// @file
/// The group "Music" and its worker thread (theMusicInsonificator).
// The group "Music": one background music at a time, faded in when it
// starts, faded out when it stops, and switched between a normal and a
// quieter level. The game's calls only queue a command and wake the worker
// thread; the worker plays, stops and fades.
//
//   start(name)  not started, name not empty: queues ("play", name)
//   start(name)  not started, name empty: nothing queued, the worker is woken
//   start()      start(bgmID)
//   stop()       started: queues ("stop", "all")
//   quiet()      always: queues ("quiet", "all")
//   loud()       always: queues ("loud", "all")
//
// While started, further start calls are ignored: changing the music is
// stop() followed by start(name). Each wake-up of the worker drains the whole
// queue in arrival order; a command with a successor already waiting is
// carried out with a fade of one step. Every music effect carries, besides
// the group password "Music", "MusicLouder" (the level: 1.0 loud, the
// configured "louder" value quiet) and "MusicFader" (the fade position).
//
// Settings: "/Configs/Sounds/MusicSettings.cfg", keys "fadeStepNumber"
// (default 1000, values below 1 read as 1), "louder" (0.5) and
// "sleepMilliseconds" (0; below 20 means no pause between fade steps). A key
// or a file that is missing leaves the current value (a ContentWatch that
// sees the file removed puts the built-in values back first: resetSettings).
// The save block keeps "bgmID", the music start() plays.
//
// Threads: start, stop, quiet, loud, reReadConfig, save, load and the
// group operations from any game thread; they never touch the sound device
// and never wait for the worker (a small lock orders concurrent start and
// stop calls). The worker runs process() and everything it calls.
//
// No worker: when its thread cannot be created the construction logs the
// error "failed to initiate: no thread for the music worker, music is
// refused", and start, stop, quiet and loud each log the warning "Skip
// OPERATION: no music worker" and change nothing; the waits return at once.
//
// Shutdown: the destructor lets the worker finish its run, which serves
// every command queued before or during it, each fade with all its steps and
// the configured pause after each; commands queued after the worker's last
// wake-up are then served by the destructor itself. Deleting the music
// therefore waits for the fades under way and queued: at most the configured
// fade length (fadeStepNumber x sleepMilliseconds) per queued command, 2 s
// with the sample settings. Music still playing afterwards is reported and
// destroyed without a fade.
#include <atomic>
#include <condition_variable>
#include <list>
#include <mutex>
#include <string>

#include "sound/insonificators/Insonificator.h"
#include "sound/music/MessageQueue.h"
#include "sound/music/InitiationObject.h"

namespace configmanager {
class Block;
}

/// The group "Music" (id 3): one background music at a time, faded in when
/// it starts, faded out when it stops, and switched between a normal and a
/// quieter level. Published as theMusicInsonificator; the game usually goes
/// through SoundManager::startMusic(), stopMusic(), quiet() and loud().
///
/// The game's calls only queue a command and wake the worker thread, and
/// return at once; the worker plays, stops and fades, in arrival order.
/// While started, further start() calls are ignored without a message:
/// switching is stop() then start(name). For a shutdown that leaves nothing
/// to warn about, stop() (and waitUntilServed(), to have the fade-out done
/// before the game tears down) before the SoundManager is deactivated and
/// deleted.
///
/// Settings: "/Configs/Sounds/MusicSettings.cfg" ("fadeStepNumber",
/// "louder", "sleepMilliseconds"; a fade lasts about fadeStepNumber x
/// sleepMilliseconds when that is 20 or more, else no time).
///
/// Threads: every public operation from any game thread; none touches the
/// sound device or waits for the worker, except the two waits.
class ZULSOUND_API MusicInsonificator : public Insonificator, public thread::InitiationObject {
public:
    /// Reads the settings and starts the worker, which waits (built by the
    /// SoundManager).
    MusicInsonificator();
    /// Lets the worker serve every queued command (fades included, so this
    /// waits), then ends it; music still playing then is destroyed without a
    /// fade and with the warning "Not all the musics was destroyed: size = N".
    ~MusicInsonificator() override;

    /// start(name) with the music of the last load() ("bgmID"): how a
    /// loaded game gets its music back.
    void start() override;
    /// Not started: ignored. Else queues ("stop", "all"): the worker fades
    /// the music out and destroys it.
    void stop() override;
    /// Queues ("quiet", "all"): the music drops to the "louder" level.
    virtual void quiet();
    /// Queues ("loud", "all"): the music returns to full level.
    virtual void loud();
    /// Already started: ignored. Else marks the music started and, unless
    /// `name` is empty, queues ("play", name): the worker creates the effect
    /// (an effect name of "Effects.snd") and fades it in.
    virtual void start(const std::string& name);

    /// Reads MusicSettings.cfg again; sleepMilliseconds below 20 warns
    /// "sleepMilliseconds < 20 defaulting to zero" (no pause in fades).
    void reReadConfig();
    /// Content changed while the game runs (called by ContentWatch when
    /// MusicSettings.cfg is removed, before reReadConfig()): the settings go
    /// back to their built-in values, as with no file at construction.
    /// reReadConfig() alone keeps the values in use when the file is missing.
    /// Defined here: the library's own, not exported.
    void resetSettings() {
        fadeStepNumber = builtInFadeStepNumber;
        quietLevel = builtInLouder;
        sleepMilliseconds = builtInSleepMilliseconds;
    }
    /// Writes "bgmID" (the music of the last load(), empty before any) into
    /// `block`; a null block: error "Skip save: no block".
    void save(configmanager::Block* block);
    /// Reads "bgmID" from `block` (kept as it was when missing) without
    /// starting it: start() does; a null block: error "Skip load: no block".
    void load(configmanager::Block* block);

    /// Blocks until the worker has served every call made before this one
    /// (fades included): before a clean shutdown, and for tests. Never from
    /// the worker itself (returns at once there).
    void waitUntilServed();
    /// Blocks until the worker has made `count` fade steps since
    /// construction (tests).
    void waitUntilFadeSteps(unsigned long long count);

    /// "/Configs/Sounds/MusicSettings.cfg".
    static const char* const settingsPath;

protected:
    void process() override;
    void processCommand(const std::string& command, const std::string& argument);
    void processPlay(const std::string& name);
    void processStop();
    void processFade(Effect* effect, float from, float to);
    void processQuiet();

    std::list<Effect*> musicEffects;
    std::string bgmID;
    MessageQueue messages;
    // The settings without a file ("fadeStepNumber", "louder",
    // "sleepMilliseconds").
    static constexpr int builtInFadeStepNumber = 1000;
    static constexpr float builtInLouder = 0.5f;
    static constexpr int builtInSleepMilliseconds = 0;

    float level = 1.0f;
    std::atomic<float> quietLevel{builtInLouder};
    std::string louderPassword = "MusicLouder";
    std::string faderPassword = "MusicFader";
    std::atomic<int> fadeStepNumber{builtInFadeStepNumber};
    std::atomic<int> sleepMilliseconds{builtInSleepMilliseconds};
    bool started = false;

private:
    // Tests queue commands the game's calls never produce through it.
    friend class MusicInsonificatorTestAccess;

    void wakeWorker();
    void readSettings();  // MusicSettings.cfg into the settings; may run out of memory
    // Whether the worker thread exists; without it (it could not be
    // created) the warning "Skip OPERATION: no music worker" is logged.
    bool hasWorker(const char* operation);

    std::mutex callerLock;  // started and bgmID
    int stepsNow = 1000;    // the fade steps of the command in hand (worker only)
    std::atomic<unsigned long long> wakeRequests{0};
    std::mutex progressLock;
    std::condition_variable progressMade;
    unsigned long long served = 0;
    unsigned long long fadeSteps = 0;
};

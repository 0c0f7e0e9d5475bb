#pragma once
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
// or a file that is missing leaves the current value. The save block keeps
// "bgmID", the music start() plays.
//
// Threads: start, stop, quiet, loud, reReadConfig, save, load and the
// group operations from any game thread; they never touch the sound device
// and never wait for the worker (a small lock orders concurrent start and
// stop calls). The worker runs process() and everything it calls.
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

class ZULSOUND_API MusicInsonificator : public Insonificator, public thread::InitiationObject {
public:
    MusicInsonificator();
    ~MusicInsonificator() override;

    void start() override;
    void stop() override;
    virtual void quiet();
    virtual void loud();
    virtual void start(const std::string& name);

    void reReadConfig();
    void save(configmanager::Block* block);
    void load(configmanager::Block* block);

    // For tests and tools, never for the worker itself: blocks until the
    // worker has served every call made before this one, or until the
    // worker has made `count` fade steps since construction.
    void waitUntilServed();
    void waitUntilFadeSteps(unsigned long long count);

    static const char* const settingsPath;

protected:
    void process() override;
    void processPlay(const std::string& name);
    void processStop();
    void processFade(Effect* effect, float from, float to);
    void processQuiet();

    std::list<Effect*> musicEffects;
    std::string bgmID;
    MessageQueue messages;
    float level = 1.0f;
    std::atomic<float> quietLevel{0.5f};
    std::string louderPassword = "MusicLouder";
    std::string faderPassword = "MusicFader";
    std::atomic<int> fadeStepNumber{1000};
    std::atomic<int> sleepMilliseconds{0};
    bool started = false;

private:
    // Tests queue commands the game's calls never produce through it.
    friend class MusicInsonificatorTestAccess;

    void wakeWorker();

    std::mutex callerLock;  // started and bgmID
    int stepsNow = 1000;    // the fade steps of the command in hand (worker only)
    std::atomic<unsigned long long> wakeRequests{0};
    std::mutex progressLock;
    std::condition_variable progressMade;
    unsigned long long served = 0;
    unsigned long long fadeSteps = 0;
};

#pragma once
// The 3D sound device over OpenAL Soft. One class serves every output, and
// every output mixes the same way: OpenAL Soft's loopback device
// (ALC_SOFT_loopback) renders each period through mixPeriod. The real-time
// outputs run a thread of their own that mixes a period under the device
// lock and hands it, without the lock, to a sink (Sink.h): the system's
// output ("default": the sound server, else the sound card), nothing
// ("null") or a WAV file ("wav:PATH"). A hand-pumped loopback for tests and
// benchmarks mixes on the caller's thread (render()).
//
// A lost system output (the server gone, the card unplugged) is reported
// once; the thread goes on mixing in real time and throws the mix away, so
// the clock runs on, and tries to open the output again about once a
// second without the lock; when it opens, the mix is heard again from where
// it is.
//
// Effects are cheap: a buffer (shared, reference-counted) or a stream, and
// their state. An effect takes an OpenAL source (a voice) only while it
// plays. When more effects play than the voice limit allows, the quietest
// play virtually: their time runs on, isPlaying stays truthful, and they
// take a voice again when one frees or when they become louder than a heard
// one. Settings given with apply value 1 wait for the listener's commit.
//
// World axes: x, y the board, z up. The listener's orientation is given in
// those axes; head-relative positions are taken as (forward, left, up) and
// converted to OpenAL's (right, up, back).
//
// Every output runs through OpenAL Soft's output limiter, so no mix goes
// beyond full scale however many sounds play and however loud; a loudness
// meter measures every period the library mixes (off when the environment
// variable ZULSOUND_LOUDNESS_METER is "off" at initialize). Its figures run
// on across a re-initialisation at the same rate (a configuration re-read
// makes the mixer again: the session's loudness stays one figure).
//
// The system output outlives the mixer: uninitialize parks its sink and the
// next initialize at the same rate takes it back (Sink.h), so a re-read
// remakes the mixer but keeps the server's stream and what it has queued.
// A start-together batch left open ends at uninitialize.
//
// A re-read's hold (Sink.h: beginOutputHold) keeps what is heard through
// the re-read. On a real-time output, a sound stopped or released while the
// hold lasts keeps its voice playing as a ghost: nobody owns it, no call
// reaches it, and it is silenced when the hold ends. A device uninitialised
// with ghosts playing becomes a tail: its thread goes on mixing them into
// its sink, and the device initialised next at its rate takes the sink over
// when the hold ends, crossfading from the tail's last period to its own
// first within that one period. (Only a device its manager owns through a
// shared pointer can outlive the manager as a tail; one owned otherwise
// silences its ghosts at uninitialize.)
//
// Threads: every call may come from any thread; one recursive lock guards
// the device, its effects, its listener and the OpenAL context. The device's
// own thread (real-time outputs) takes it for each period it mixes. A call
// makes the device's context current on its thread only while it runs and
// then gives the thread back the context it had: no thread is left holding
// the device's context.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "interfaces/SoundDevice.h"
#include "platform/device/AlEffect.h"
#include "platform/device/AlListener.h"
#include "platform/device/ContextScope.h"
#include "platform/device/Decoder.h"
#include "platform/device/DeviceSettings.h"
#include "platform/device/LoudnessMeter.h"
#include "platform/device/Output.h"
#include "platform/device/SharedStream.h"
#include "platform/device/Sink.h"

namespace aldevice {

class AlDevice : public Sound3DEffectDevice, public MixerTail, public std::enable_shared_from_this<AlDevice> {
public:
    // An output that opens: the system's sound card (fails without one: then
    // create throws SoundDeviceException), or a loopback output.
    explicit AlDevice(Output output);
    ~AlDevice() override;

    std::string getName() override;
    Sound3DEffect* createEffect() override;
    void destroyEffect(Sound3DEffect* effect) override;
    void initialize() override;
    void uninitialize() override;
    void loadSettings(ResourceStream* stream) override;
    void getInfo(std::list<std::string>& lines) override;
    Sound3DListener* getListener() override;
    // Effects played in a batch wait, as if no voice were free, and get
    // their voices together at its end: no mixing period can fall between
    // their starts. uninitialize ends a batch left open: its effects count
    // as started together at its beginning, and play on from there after
    // the next initialize.
    void beginBatch() override;
    void endBatch() override;

    // MixerTail: the device's mixer after an uninitialize under a hold.
    std::unique_ptr<Sink> handOver(float* last, uint32_t frames) override;
    void endTail() override;
    std::string tailSink() override;

    // Whether the system's output (the sound server, else the sound card)
    // opens now; `why` says why not.
    static bool systemOutputOpens(std::string* why = nullptr);

    // Hand-pumped loopback output: mixes frames (interleaved stereo floats)
    // on the caller's thread, running the device's service first.
    void render(float* out, uint32_t frames);
    void applySettings(const Settings& settings);  // as a settings file would
    const Settings& getSettings() const { return settings; }
    size_t getVoicesInUse();
    uint64_t getBufferBytes();
    bool isConnected();
    uint64_t framesMixed();  // the device's clock: frames mixed since initialize
    // Periods handed over late: how often the system output ran dry before
    // the device's thread handed it the next period (the sound server's
    // under-flows, the card's xruns), counted from initialize. 0 on the
    // other outputs. Any thread.
    uint64_t latePeriods();
    // The sink the mix goes to now ("pulseaudio", "alsa", "wasapi", "null",
    // "wav:PATH"), "loopback", "disconnected" while a lost output is looked
    // for, or "" before initialize.
    std::string currentSink();
    // Real-time outputs: blocks until the device's own thread has mixed at
    // least `frames` frames since initialize (true), or the timeout passed.
    bool waitMixed(uint64_t frames, std::chrono::milliseconds timeout);
    // The loudness of what the device mixed since it was first initialised
    // at its present rate (kept after uninitialize; a re-initialisation at
    // another rate begins again). metered is false when the meter is off;
    // heard is false when
    // the output was lost or disconnected: the figures are of the mix.
    Loudness loudness();
    // The run's figures in one phrase for the end of a program's run:
    // "loudness of the mix: integrated -23.0 LUFS, range 4.1 LU, true peak
    // -1.2 dBTP", or why there are none.
    std::string describeLoudness();

private:
    friend class AlEffect;
    friend class AlListener;
    friend struct Buffer;
    friend class SharedStream;
    friend class StreamCache;

    void openContext();
    void closeContext();
    ContextScope makeCurrent();  // keep the scope for as long as OpenAL is called
    void service();  // streams and voices, with the device's context current
    // Every period the device mixes, on every output, passes here: the
    // service, the mix itself and the clock. This is where the mix is
    // observed (meters, limiters, taps). Called with the device lock held.
    void mixPeriod(float* out, uint32_t frames);
    void rebalance();               // who holds the voices
    bool acquireVoice(AlEffect* effect);
    void releaseVoice(AlEffect* effect);
    void commitPending();
    // Under a hold, takes the voice of a playing effect stopped or released
    // by the game as a ghost (true); the effect itself is then as if its
    // voice were dropped.
    bool lingers(AlEffect* effect);
    void silenceGhosts();
    // Under a hold with ghosts playing, uninitialize leaves the thread
    // mixing and parks the device as a tail (true).
    bool becomeTail(std::unique_lock<std::recursive_mutex>& guard);
    void stopWorker(std::unique_lock<std::recursive_mutex>& guard);  // ends the device thread
    // The device thread: opens the system's output first when the device
    // plays there (`opened` gets why it did not open), then mixes.
    void runRealTime(uint32_t rate, std::promise<std::string>& opened);
    // The device thread's side of the output (called without the lock).
    void loseOutput(const std::string& why);
    // Plays on `system` from now (quiet: no message, a mixer remade at
    // another rate).
    void adoptOutput(std::unique_ptr<Sink> system, uint32_t rate, bool quiet);
    void useSink(std::unique_ptr<Sink> next, uint32_t rate);
    void setSinkName(const std::string& name);
    // Every mixed period passes here on its way out: what the limiter lets
    // past full scale by a rounding error is saturated, then it is metered.
    void finishMix(float* out, uint32_t frames);
    uint64_t now() const { return clock; }

    std::recursive_mutex lock;
    Output output;
    Settings settings;
    void* alcDevice = nullptr;   // ALCdevice*
    void* alcContext = nullptr;  // ALCcontext*
    bool initialized = false;
    bool wantsSystem = false;            // plays on the system's output, or looks for it
    std::atomic<bool> lostOutput{false};
    std::atomic<int64_t> outputLatencyMicros{0};  // the sink's, measured after each write
    std::string sinkName;                // guarded by the lock
    std::unique_ptr<Sink> sink;          // the device thread's while it runs
    uint32_t sinkRate = 0;
    uint64_t seenUnderflows = 0;         // the sink's count at the last look (the device thread's)
    std::atomic<uint64_t> late{0};       // latePeriods()
    std::list<AlEffect*> effects;
    // The effects that may be playing, in the order they were made (the
    // order of `effects`): every effect whose `playing` is set is here, and
    // one that stopped leaves at the next period's walk. The walks that
    // look only at playing effects (each period's service, the voices'
    // rebalance) go through this instead of every effect of the game.
    std::vector<AlEffect*> playingEffects;
    uint64_t effectsMade = 0;  // gives each effect its serial
    // False (nothing listed) when there is no memory for it: the effect
    // must not play then.
    bool listPlaying(AlEffect* effect);
    void unlistPlaying(AlEffect* effect);
    static bool madeBefore(const AlEffect* a, const AlEffect* b);  // the playing list's order
    // The effects holding deferred placements, in no particular order: a
    // commit applies these, not a walk over every effect of the game.
    std::vector<AlEffect*> pendingPlacements;
    std::vector<unsigned> freeSources;
    size_t sourcesMade = 0;
    size_t voicesInUse = 0;
    int batchDepth = 0;     // open beginBatch() calls; voices are handed out at the last end
    uint64_t batchSince = 0;  // the clock at the outermost beginBatch()
    AlListener listener{*this};
    uint64_t clock = 0;  // frames mixed (or, on a sound card, elapsed) since initialize
    uint64_t bufferBytes = 0;
    // A decode buffer kept between loads (createStatic takes it while it
    // decodes, outside `lock`, and gives it back): its pages are reused.
    std::mutex spareLock;
    DecodedSamples spareSamples;
    std::thread worker;
    std::mutex paceMutex;              // the thread's sleep between unpaced periods
    std::condition_variable paceWake;
    std::condition_variable_any mixed;  // the real-time thread mixed a period
    std::atomic<bool> stopping{false};
    LoudnessMeter meter;
    bool metering = false;  // the meter is on and sees this output's mix
    uint32_t meterRate = 0;  // the rate the meter measures at; 0 before the first initialize
    // The rate of the period last mixed: a WAV output's file follows it (its
    // sink reads it on the device thread, right after that thread mixed).
    std::atomic<uint32_t> periodRate{0};
    StreamCache streams{*this};  // the streamed files' shared decoding
    std::vector<std::pair<float, AlEffect*>> heardByLoudness, waitingByLoudness;  // rebalance's lists
    // Whether an effect may be playing without a voice: set wherever one may
    // start to (a play, a voice taken from a playing effect), cleared by a
    // rebalance that finds none. Until then a rebalance (every commit and
    // every period) does not walk the effects at all.
    bool mayHaveWaiting = true;
    // Voices playing on under a hold, with what they play.
    struct Ghost {
        unsigned source = 0;
        std::shared_ptr<Buffer> buffer;
        std::shared_ptr<SharedStream> shared;
        std::vector<uint64_t> blocks;  // a stream's blocks queued on the voice
    };
    std::vector<Ghost> ghosts;
    bool tailing = false;  // uninitialised, the thread mixing the ghosts on (under the lock)
    // The sink a tail plays on: the tail's own (tailSink), or, on the device
    // that takes a tail over, the name its thread found for initialize.
    std::string tailName;
};

}  // namespace aldevice

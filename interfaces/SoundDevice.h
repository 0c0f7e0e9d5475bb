#pragma once
/// @file
/// The 3D sound device library as the sound library calls it. The request
/// manager is its only user: it creates a Sound3DDeviceManager, takes the
/// first listed Sound3DEffectDevice, initialises it and asks it for effects
/// and for its listener.
///
/// Threads: the sound library calls a device, its effects and its listener
/// from one thread at a time (under the request manager's or an effect's
/// lock); implementations guard whatever their own threads share.
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>

#include "interfaces/Debug.h"
#include "interfaces/Export.h"
#include "interfaces/Resource.h"
#include "interfaces/Vector.h"

/// 3D mode of an effect; configuration words "normal", "headrelative", "disable".
enum Sound3DMode : int {
    SOUND3D_MODE_NORMAL = 0,
    SOUND3D_MODE_HEADRELATIVE = 1,
    SOUND3D_MODE_DISABLE = 2,
};

/// When a 3D setting acts: at once, or at the listener's next commit.
enum Sound3DApply : int {
    SOUND3D_APPLY_IMMEDIATE = 0,
    SOUND3D_APPLY_DEFERRED = 1,
};

/// Thrown by device enumeration and initialisation.
class ZULSOUND_API SoundDeviceException : public debug::Exception {
public:
    /// An exception with its text.
    explicit SoundDeviceException(const std::string& what) : debug::Exception(what) {}
};

/// Thrown by clone, createStatic and createStreaming.
class ZULSOUND_API SoundObjectException : public debug::Exception {
public:
    /// An exception with its text.
    explicit SoundObjectException(const std::string& what) : debug::Exception(what) {}
};

/// A sound of the device (implemented by a device library; a game meets it
/// only when it installs its own devices through setDeviceProvider()).
class ZULSOUND_API Sound3DEffect {
public:
    virtual ~Sound3DEffect() = default;

    // playback
    /// Starts playing.
    virtual void play() = 0;
    /// Whether it plays again from its start at its end.
    virtual void setLooped(bool looped) = 0;
    /// Stops playing where it is.
    virtual void stop() = 0;
    /// Restarts the sound from its beginning.
    virtual void trigger() = 0;
    /// Whether it plays.
    virtual bool isPlaying() = 0;
    /// The play position, in sample frames.
    virtual uint32_t getPlayPosition() = 0;
    /// Moves the play position, in sample frames.
    virtual void setPlayPosition(uint32_t position) = 0;
    /// Linear volume, 0.0 to 1.0.
    virtual void setVolume(float volume) = 0;
    /// Called just before the device destroys it.
    virtual void release() = 0;

    // placement
    /// Distance of full loudness, in world units.
    virtual void setRadius(float radius, Sound3DApply apply) = 0;
    /// 3D processing: normal, head-relative or none.
    virtual void setMode(Sound3DMode mode, Sound3DApply apply) = 0;
    /// Where the sound is, in world coordinates.
    virtual void setPosition(const Vector& position, Sound3DApply apply) = 0;

    // buffer
    /// Shares the buffer of `source` (throws SoundObjectException).
    virtual void clone(Sound3DEffect* source) = 0;
    /// Streams from `stream` through `buffers` buffers (throws SoundObjectException).
    virtual void createStreaming(ResourceStream* stream, unsigned long buffers) = 0;
    /// Decodes `stream` whole into memory (throws SoundObjectException).
    virtual void createStatic(ResourceStream* stream) = 0;
    /// The stream it streams from, or null.
    virtual ResourceStream* getStream() = 0;
    /// Sample rate of the sound.
    virtual uint32_t getFrequency() = 0;
    /// Channels of the sound.
    virtual uint32_t getChannels() = 0;
    /// Bits per sample of the sound.
    virtual uint32_t getBits() = 0;
    /// Bytes of the sound.
    virtual uint32_t getSize() = 0;
    /// A word on its buffer: "clone" for a clone.
    virtual void getState(std::string& state) = 0;
};

/// The device's listener (implemented by a device library).
class ZULSOUND_API Sound3DListener {
public:
    virtual ~Sound3DListener() = default;

    /// Applies every deferred 3D setting of the device.
    virtual void commit() = 0;
    /// Metres per world unit.
    virtual float getDistanceFactor() = 0;
    /// Sets the metres per world unit.
    virtual void setDistanceFactor(float factor, Sound3DApply apply) = 0;
    /// Sets the unit directions of view and up.
    virtual void setOrientation(const Vector& front, const Vector& top, Sound3DApply apply) = 0;
    /// Where the listener is, in world coordinates.
    virtual void setPosition(const Vector& position, Sound3DApply apply) = 0;
    /// How fast sounds fade with distance.
    virtual float getRolloffFactor() = 0;
    /// Sets how fast sounds fade with distance.
    virtual void setRolloffFactor(float factor, Sound3DApply apply) = 0;
};

/// A device a device library lists.
class ZULSOUND_API SoundDevice {
public:
    virtual ~SoundDevice() = default;
    /// The device's name, for the log and the statistics.
    virtual std::string getName() = 0;
};

/// A 3D sound device: effects and a listener (implemented by a device
/// library; the library's own outputs are of this kind).
class ZULSOUND_API Sound3DEffectDevice : public SoundDevice {
public:
    // own
    /// A new effect without sound.
    virtual Sound3DEffect* createEffect() = 0;
    /// Destroys an effect of createEffect().
    virtual void destroyEffect(Sound3DEffect* effect) = 0;
    // control
    /// Opens the output (throws SoundDeviceException).
    virtual void initialize() = 0;
    /// Closes the output.
    virtual void uninitialize() = 0;
    // settings
    /// Reads the device's settings file (the entry "device" of "Effects.snd").
    virtual void loadSettings(ResourceStream* stream) = 0;
    /// Lines of information for the statistics window.
    virtual void getInfo(std::list<std::string>& lines) = 0;
    /// The device's listener; never freed by its users.
    virtual Sound3DListener* getListener() = 0;
    // starting together
    /// Effects played from here to the matching endBatch() start in one
    /// mixing period, however long the calls take, so that sounds started
    /// together stay in step. Batches nest. The default starts every effect
    /// at its play().
    virtual void beginBatch() {}
    /// Ends a beginBatch(): what was played in it starts now, all at once.
    virtual void endBatch() {}
};

/// Lists the devices of a device library.
class ZULSOUND_API SoundDeviceManager {
public:
    virtual ~SoundDeviceManager() = default;
    /// The devices, in order of preference; they belong to the manager.
    virtual std::list<SoundDevice*>* enumerateSoundDevices(unsigned long flags) = 0;
};

/// Lists the devices of the device library. The list and the devices belong
/// to the manager and live until it is destroyed.
///
/// A host or a test decides which devices are listed by installing a provider
/// before the manager is created (a null provider restores the library's own
/// list). The provider is called once per enumeration; the manager keeps the
/// shared pointers it returns, so the caller may keep copies to inspect the
/// devices after the manager is gone.
class ZULSOUND_API Sound3DDeviceManager : public SoundDeviceManager {
public:
    /// Devices as a provider lists them.
    using DeviceList = std::list<std::shared_ptr<SoundDevice>>;
    /// What setDeviceProvider() installs.
    using Provider = std::function<DeviceList()>;

    /// A manager without devices listed yet.
    Sound3DDeviceManager();
    /// Lets go of the devices it listed.
    ~Sound3DDeviceManager() override;
    /// The provider's devices, else the library's own (listOwnDevices()).
    std::list<SoundDevice*>* enumerateSoundDevices(unsigned long flags) override;

    /// Installs the host's list of devices (see the class); any thread.
    static void setDeviceProvider(Provider provider);
    /// Chooses the library's own output before activation: "default" (the
    /// system's output: the sound server, else the sound card; else the null
    /// output, which keeps looking for it once a second), "null" (mixed in real time,
    /// thrown away), "wav:PATH" (mixed in real time into a WAV file, finished
    /// at uninitialize) or "loopback" (mixed only when pumped by hand). An
    /// empty setting falls back to the environment variable ZULSOUND_OUTPUT,
    /// then to "default".
    static void setOutput(const std::string& setting);
    /// Where the library's own device plays now: "pulseaudio" (the sound
    /// server), "alsa" (the sound card), "wasapi" (Windows' default output
    /// device), "null", "wav:PATH", "loopback",
    /// "disconnected" (the system's output was lost and is looked for every
    /// second), or "" when no device of the library is initialised. The
    /// device also logs one line on the "SoundDevice" channel naming the
    /// output it opened, and why when it fell back to the null output. Any
    /// thread.
    static std::string openOutput();
    /// A configuration re-read's hold on what is heard. Between holdOutput()
    /// and releaseOutput() a sound the game stops keeps playing on the
    /// library's own real-time outputs, and a device uninitialised meanwhile
    /// keeps mixing those sounds into its output until the device
    /// initialised after it takes that output over at releaseOutput(),
    /// crossfading within one mixing period. So a re-read, which gives back
    /// every sound and makes the mixer again, is heard without a gap. Calls
    /// nest; any thread. Hand-pumped loopback output is not held (its time
    /// stands still while nobody renders).
    static void holdOutput();
    /// Ends a holdOutput(): the sounds stopped meanwhile fall silent, and a
    /// device initialised since takes over the output of the one before it.
    static void releaseOutput();
    /// The devices the library itself lists when no provider is installed.
    static DeviceList listOwnDevices();

    /// @name Hand-pumped loopback output
    /// A game's own tests render its sound faster than real time: the mixer
    /// runs only when the game asks for frames, on the game's thread, so a
    /// test renders exactly the frames it wants, in step with its own game
    /// frames, and the same calls give the same samples. All of these may be
    /// called from any thread; each holds one lock of its own for its run,
    /// and renderings from several threads are served one after the other.
    /// @{

    /// Makes a new hand-pumped loopback output the only device the library
    /// lists, from the next SoundManager::activate() on: call it before
    /// activate(). It replaces any device provider (setDeviceProvider) and
    /// any output setting (setOutput) until closeLoopback(). Calling it again
    /// opens a fresh output for the next activation. From here to
    /// closeLoopback() the library's own threads run on the frames rendered:
    /// the music worker's fades advance with the mix, not the wall clock, so
    /// a wait for the worker (MusicInsonificator::waitUntilServed()) returns
    /// only as the game renders. The SoundManager's deletion waits for no
    /// frame: the fades still under way then end at once.
    static void openLoopback();
    /// Mixes the next `frames` sample frames into `out` (interleaved stereo
    /// floats, 2 x frames values, at getLoopbackFrequency()). Between
    /// activate() and deactivate() that is the library's sound; before,
    /// after, or without openLoopback() the frames are silence. It first
    /// waits until the library's threads have taken up what the game's calls
    /// gave them, and wakes each sleeping thread at the very frame its sleep
    /// ends, so the same calls give the same samples at any speed. Returns
    /// false only without openLoopback(); nothing is logged.
    static bool renderLoopback(float* out, uint32_t frames);
    /// Mixes the next `frames` frames as renderLoopback() does and appends
    /// them to the 16-bit stereo WAV file at `path`. A path other than the
    /// last one starts a new file (the last one is finished); the file is
    /// complete on disk after every call. False, with nothing written, when
    /// openLoopback() was not called or the file does not open (the error is
    /// logged once per path on the "SoundDevice" channel).
    static bool renderLoopbackToFile(const std::string& path, uint32_t frames);
    /// The loopback output's sample rate in frames per second (48000 unless
    /// the content's "/Sounds/device.cfg" sets "frequency"); 0 without
    /// openLoopback().
    static uint32_t getLoopbackFrequency();
    /// Finishes the file of renderLoopbackToFile(), gives the device list
    /// back to the library (no provider) and forgets the loopback output. The
    /// library's threads no longer wait for frames: sleeps under way and
    /// later ones end at once, so a shutdown after it waits for no fade (the
    /// threads sleep in real time again once the library is shut down). A
    /// SoundManager still activated keeps rendering nowhere until it is
    /// deactivated; call it when the game has rendered what it wants, before
    /// deleting the SoundManager.
    static void closeLoopback();
    /// @}

private:
    DeviceList devices;
    std::list<SoundDevice*> listed;
};

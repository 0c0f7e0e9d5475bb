#pragma once
/// @file
/// The landscape sounds of the board (theLandInsonificator).
// The insonificator of the "Environment sounds" group: landscape sources
// bound to regions of the game board. It is also a listener of the 3D view
// (one forceUpdate per rendered frame) and of the game board (sources placed
// and removed when a cell changes its landscape subtype).
//
// States: Idle (nothing), Ready (initialize: a listener and one effect per
// map source, default records read), Running (start: registered with the
// view and the board, frames update the sources).
//
// Threads: every operation holds the insonificator's re-entrant lock for its
// whole duration: the frame on the rendering thread, the board callback on
// the game logic's thread, and the game's calls. Inside it the insonificator
// calls its effects, its listener, the randomizer and the process-hearer
// registry, whose locks come after it.
#include <atomic>
#include <list>
#include <string>
#include <vector>

#include "interfaces/Engine.h"
#include "interfaces/Export.h"
#include "interfaces/GameLogic.h"
#include "interfaces/Vector.h"
#include "sound/insonificators/Insonificator.h"
#include "sound/land/LandIndex.h"
#include "sound/land/LandSchedule.h"
#include "sound/land/LandSound.h"

namespace configmanager {
class Block;
}
namespace land {
struct ClockReading;
}
class Listener;

/// The group "Environment sounds" (id 1): landscape sources bound to
/// regions of the game board, published as theLandInsonificator. The game
/// drives it through the SoundManager (prepareGame(), startGame(),
/// stopGame(), releaseGame(), saveGame(), loadGame(), reReadConfig()); it
/// calls emulate3dsound() itself if it wants.
///
/// Once started it hears the view (one forceUpdate() per rendered frame:
/// the listener follows landcamera::theManager's camera, sources start and
/// stop by distance, hour of ZULUI_INTERFACE's clock and chance) and the
/// board (a cell that changes its subtype gets the templates of
/// DefaultSounds.cfg whose "regionType" is the subtype's name, from
/// Landscape::getNameOfLandscapeSubtype()). Refusals are errors on the
/// "LandInsonificator" channel; the state stays as it was.
///
/// Threads: every operation holds the insonificator's lock: the frame on
/// the rendering thread, the board callback on the game logic's thread,
/// and the game's calls.
class ZULSOUND_API LandInsonificator : public Insonificator, public RenderDriverListener, public GameBoardListener {
public:
    /// Idle, without sources (built by the SoundManager).
    LandInsonificator();
    /// Releases the game if one is prepared.
    ~LandInsonificator() override;

    /// SoundManager::prepareGame(): Idle to Ready. Already prepared: error
    /// "failed to initialize: already initialized".
    void initialize(View* view, GameBoard* gameBoard);
    /// SoundManager::releaseGame(): stops, then back to Idle, the sources
    /// gone. Idle: error "failed to uninitialize: already uninitialized".
    void uninitialize();
    /// SoundManager::startGame(): Ready to Running. Idle: error "failed to
    /// start: not initialized"; Running: nothing.
    void start() override;
    /// SoundManager::stopGame(): Running to Ready, the sounds stopped.
    void stop() override;
    /// The seed each start() gives the random source from now on (the
    /// landscape's random sounds and placements), in [0, 1): the same seed
    /// gives the same landscape every run. Outside [0, 1) (as at first):
    /// the calendar's time, a new landscape every run. Any thread.
    void setRandomSeed(float seed);
    /// Emulates 3D by volume (true) or leaves it to the device (false). The
    /// flag already so: warning "skip to emulate 3dsound: isEmulated3d ==
    /// flag == 1" (or 0).
    void emulate3dsound(bool flag);
    /// Prepared only: replaces the map's sources with the block "Sounds" of
    /// "/Maps" + mapName and keeps the running state; the placed sources go
    /// (the board replays its cells). Idle: nothing.
    void reReadConfig(std::string mapName);

    /// One frame: the periodic pass, the listener to the camera, the
    /// sources (the view calls it through initView()).
    void forceUpdate();

    /// Reads a sound map block ("fade" and one child block per source):
    /// Running, the sources are replaced at once; Ready, it ends Idle. A null
    /// block: error "Skip load: no block", nothing changes.
    void load(configmanager::Block* block);
    /// Writes the sources into `block` as load() reads them. A null block:
    /// error "Skip save: no block".
    void save(configmanager::Block* block);

    /// Class-wide tuning of the frame update, read from AdaptSettings.cfg at
    /// every load (only the keys the file holds); the members are that
    /// file's keys.
    struct Settings {
        /// @cond SETTINGS_KEYS
        float randomTimeStep = 1.0f;
        float randomSoundLimiter = 1.0f;
        bool adaptRandomSounds = false;
        bool enableLandSound = true;
        bool enableUpdate = true;
        bool makeDebugOutput = false;
        float adaptCoefficient = 0.1f;
        float adaptDistance1 = 1.0f;
        float adaptDistance2 = 1.0f;
        float algorithm = 0.0f;
        float throwRadius = 1.0f;
        float expcoefficient = 1.0f;
        float expsqsigma = 1.0f;
        /// @endcond
    };
    /// The tuning in force.
    static Settings getSettings();
    /// Back to the built-in values (a host starting over, tests).
    static void resetSettings();

    /// Whether a game is prepared (Ready or Running).
    bool getIsInitialized();
    /// Whether a game is started (Running).
    bool getIsStarted();

    /// Content changed while the game runs (called by ContentWatch on the
    /// game's thread): reads AdaptSettings.cfg again, the tuning and the 3D
    /// emulation switch from the keys the file holds; the placed sources stay
    /// and follow. False when the file does not read.
    bool reloadAdaptSettings();
    /// Content changed while the game runs (called by ContentWatch when
    /// AdaptSettings.cfg is removed, before reloadAdaptSettings()): the tuning
    /// and the 3D emulation switch go back to their built-in values, as with
    /// no file at start-up; the placed sources stay and follow. A load()
    /// alone keeps the values in use when the file is missing. Defined here:
    /// the library's own, not exported.
    void resetAdaptSettings() {
        Guard guard(lock);
        resetSettings();
        if (isEmulated3d) emulate3dsound(false);
    }
    /// Content changed while the game runs (called by ContentWatch): reads
    /// DefaultSounds.cfg again, the records that later placements copy; the
    /// sources already placed stay as they are. False when the file does not
    /// read.
    bool reloadDefaultSounds();

protected:
    // RenderDriverListener: once per rendered frame.
    void initView(RenderView* renderView) override;
    // GameBoardListener: a cell changed its landscape subtype.
    void afterChangeLandscapeSubtype(Point2D cell, Landscape::Subtype oldSubtype,
                                     Landscape::Subtype newSubtype) override;

    void loadDefaultSounds();
    void unloadDefaultSounds();
    void unload();

    void addLandSound(const Vector& centre, const std::string& subtypeName);
    void removeLandSound(const Vector& centre, const std::string& subtypeName);
    Vector convertGameBoardCoordinatesToAbsolute(unsigned long x, unsigned long y);

    // Rectangle geometry on the region widened by a margin; they read only
    // their arguments.
    static bool isInside(const LandSound* sound, float margin, const Vector& point);
    static Vector getNearbyRectanglePoint(const LandSound* sound, float margin, const Vector& point);
    static Vector projectToRectangle(const LandSound* sound, float margin, const Vector& point);

    void updateSounds(const Vector& position, bool moved);
    void updateRandomSound(LandSound* sound, const Vector& position, DayTime& dayTime);
    bool updateRandomSoundCoordinates(LandSound* sound, const Vector& position);
    bool updateCoordinates(LandSound* sound, const Vector& position);
    float getEmulatedVolume(LandSound* sound, const Vector& position);
    bool updateTime(LandSound* sound, DayTime& dayTime);

    View* view = nullptr;
    GameBoard* gameBoard = nullptr;
    Listener* listener = nullptr;
    std::list<LandSound*> mapSounds;
    std::list<LandSound*> playingRandomSounds;
    std::list<LandSound*> defaultSounds;
    std::vector<LandSound*> continuousSounds;
    LandSchedule schedule;
    float fade = 1.0f;
    float lastTime = 0.0f;
    bool isEmulated3d = false;
    bool initialized = false;
    bool started = false;
    std::atomic<float> fixedSeed{-1.0f};
    std::string faderPassword;
    std::string emulatorPassword;
    // The frame visits every continuous source and tries every due one, as
    // the reference the index is held against (tests); off, it visits only
    // those the index names.
    bool visitEverySource = false;
    // The continuous sources a frame has to visit.
    LandIndex index;

private:
    // The keys of AdaptSettings.cfg that `file` holds, into the tuning.
    static void readAdaptSettings(configmanager::Block& file, bool* isEmulated3d);
    void setUpEffect(LandSound* sound);
    void queue(LandSound* sound, float now);
    void writeDebugLine(LandSound* sound, const Vector& position);
    bool mayTry(const LandSound* sound, const Vector& position, land::ClockReading clock) const;
    bool updateContinuousSound(LandSound* sound, const Vector& position, bool moved, DayTime& dayTime);
    std::string placedName(const LandSound& pattern, const Vector& centre);

    // Sources started by the schedule that phase 3 drops this frame; kept
    // between frames so that a frame allocates nothing for it.
    std::vector<LandSound*> finished;
    // The rank the next continuous source takes in their sequence.
    unsigned long long continuousRank = 0;
    // Set by start: the next frame queues every map source not yet queued.
    bool scheduleStale = false;
    // Due tries of the last frame: how many records the next one fetches
    // ahead.
    size_t lastTries = 0;
    // Placements without a board to name them by (see placedName).
    unsigned long placedSerial = 0;
};

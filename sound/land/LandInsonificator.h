#pragma once
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
#include <list>
#include <string>
#include <vector>

#include "interfaces/Engine.h"
#include "interfaces/Export.h"
#include "interfaces/GameLogic.h"
#include "interfaces/Vector.h"
#include "sound/insonificators/Insonificator.h"
#include "sound/land/LandSchedule.h"
#include "sound/land/LandSound.h"

namespace configmanager {
class Block;
}
class Listener;

class ZULSOUND_API LandInsonificator : public Insonificator, public RenderDriverListener, public GameBoardListener {
public:
    LandInsonificator();
    ~LandInsonificator() override;

    void initialize(View* view, GameBoard* gameBoard);
    void uninitialize();
    void start() override;
    void stop() override;
    void emulate3dsound(bool flag);
    void reReadConfig(std::string mapName);

    // One frame: the periodic pass, the listener to the camera, the sources.
    void forceUpdate();

    // The sound map block: "fade" and one child block per source. A null
    // block is refused with an error ("Skip load: no block", "Skip save: no
    // block") and changes nothing.
    void load(configmanager::Block* block);
    void save(configmanager::Block* block);

    // Class-wide tuning of the frame update, read from AdaptSettings.cfg at
    // every load (only the keys the file holds).
    struct Settings {
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
    };
    static Settings getSettings();
    // Back to the built-in values (a host starting over, tests).
    static void resetSettings();

    bool getIsInitialized();
    bool getIsStarted();

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
    std::string faderPassword;
    std::string emulatorPassword;

private:
    void setUpEffect(LandSound* sound);
    void queue(LandSound* sound, float now);
    void writeDebugLine(LandSound* sound, const Vector& position);
    std::string placedName(const LandSound& pattern, const Vector& centre);

    // Sources started by the schedule that phase 3 drops this frame; kept
    // between frames so that a frame allocates nothing for it.
    std::vector<LandSound*> finished;
    // Set by start: the next frame queues every map source not yet queued.
    bool scheduleStale = false;
    // Placements without a board to name them by (see placedName).
    unsigned long placedSerial = 0;
};

#pragma once
// One scripted game session over the sandbox host: the board (generated,
// then laid out cell by cell once the game listens, so that landscape
// sources are placed for real), a camera flying a path across it, a game
// clock that runs a whole day over the session, and frames at a fixed rate
// of game time. Commands of the script run at the first frame at or after
// their time. What reaches the sound library goes through a SoundSide; how
// the frames are paced (real time, or rendering the loopback output in step)
// is a Pacer's business.
#include <atomic>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "sandbox/demo/Script.h"
#include "sandbox/host/Host.h"

namespace zsdemo {

// A landscape source as the picture shows it (world coordinates).
struct Source {
    std::string name;
    float x = 0, y = 0, width = 0, height = 0;
};

// Everything the session asks of the sound library.
class SoundSide {
public:
    virtual ~SoundSide() = default;
    // The manager built and activated, the game prepared on the host's view
    // and board and started. False when the session cannot go on.
    virtual bool begin(sandbox::Host& host) = 0;
    // A command of the script for the library (host-side commands such as
    // focus and subtype are the session's own). `place` is the world
    // position of an action; `path` the file of save and load.
    virtual void command(const Command& command, const Vector& place, const std::string& path) = 0;
    // After the frame's commands and update, before its sound is mixed.
    virtual void beforeMix() {}
    // After every frame has been paced.
    virtual void afterFrame() {}
    // The game stopped and released, the manager deactivated and destroyed.
    virtual void end() = 0;
    virtual std::vector<Source> sources() { return {}; }
    // Part of the progress line ("sounds 3").
    virtual std::string status() { return std::string(); }
    // The statistics table at the end, line by line.
    virtual std::vector<std::string> statistics() { return {}; }
};

// Paces the frames: waits for real time, or renders the output in step.
class Pacer {
public:
    virtual ~Pacer() = default;
    // The frame of `seconds` has run; false when the output failed.
    virtual bool frame(double seconds) = 0;
    // Part of the progress line ("mixer 4%").
    virtual std::string status() { return std::string(); }
};

struct SessionOptions {
    unsigned long width = 24;  // board cells
    unsigned long height = 16;
    uint32_t seed = 1;
    double framesPerSecond = 60.0;
    std::string saveDirectory = ".";
    std::ostream* log = nullptr;       // commands as they happen, messages
    bool progressLine = false;         // a "\r" progress line on log
    const std::atomic<bool>* interrupted = nullptr;
};

// Where each action sound was played, for the picture.
struct ActionPlace {
    std::string effect;
    Vector place;
};

class Session {
public:
    Session(const Script& script, SessionOptions options, SoundSide& sound, Pacer& pacer);

    // Runs the whole session; false when it could not start or the output
    // failed (the library is shut down in order either way).
    bool run();

    sandbox::Host& getHost() { return host; }
    unsigned long getFrames() const { return frames; }
    // Wall-clock seconds of the whole frame loop, and of the part spent in
    // the library's calls (frames with their per-frame update, and commands)
    // outside the pacer.
    double getLoopSeconds() const { return loopSeconds; }
    double getLibrarySeconds() const { return librarySeconds; }
    const std::vector<ActionPlace>& getActions() const { return actions; }
    const std::vector<sandbox::Waypoint>& getPath() const { return path; }
    const std::vector<Source>& getSources() const { return sources; }
    // World position of a cell's centre.
    Vector cellCentre(unsigned long x, unsigned long y) const;

private:
    void execute(const Command& command);
    void progress(bool last);

    const Script& script;
    SessionOptions options;
    SoundSide& sound;
    Pacer& pacer;
    sandbox::Host host;
    std::vector<Landscape::Subtype> layout;
    std::vector<sandbox::Waypoint> path;
    std::vector<ActionPlace> actions;
    std::vector<Source> sources;  // as the last picture of them was taken
    unsigned long frames = 0;
    double loopSeconds = 0.0, librarySeconds = 0.0;
    bool paused = false;
    bool focused = true;
};

// The picture of a session: cells in their subtype's colour, the landscape
// sources' regions, the camera path and the places of action sounds.
bool writeBoardPicture(Session& session, const std::string& path);

}  // namespace zsdemo

#pragma once
// What a demo session runs on, set up once for zsdemo and the demo
// benchmark alike: the content mounted, the device the library will list (the
// hand-pumped loopback output for a rendering, with the library's threads
// sleeping on the mix's clock), the sound side and the pacer;
// a rendering's WAV file opens when the session begins, once the device is
// initialised and knows its mixing rate.
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "sandbox/demo/Output.h"
#include "sandbox/demo/Session.h"
#include "sandbox/demo/SoundSide.h"

namespace zsdemo {

struct SetupOptions {
    std::string content;        // a directory or a .zip archive
    std::string saveDirectory;  // created
    std::string render;         // the WAV file to render to; empty to play live
    std::string output;         // live: the device library's output setting; empty for its own choice
    std::string map = "/valley.cfg";
    uint32_t seed = 1;
    std::ostream* log = nullptr;     // the sound side's log
    std::ostream* errors = nullptr;  // "zsdemo: cannot ..." lines
    bool watch = false;              // reload the content as it is saved
};

class SessionSetup {
public:
    SessionSetup(const SessionSetup&) = delete;
    SessionSetup& operator=(const SessionSetup&) = delete;
    // The sound side destroyed, the device provider forgotten and the
    // mounts undone.
    ~SessionSetup();

    bool isRendering() const { return !options.render.empty(); }
    SoundSide& getSide() { return *opening; }
    Pacer& getPacer();
    // The rendering's pacer: the file's frames and the mixer's time.
    const RenderPacer& getRendered() const { return *rendered; }
    // Seconds of game time in the WAV file.
    double getRenderedSeconds() const;
    // Finishes a rendering's file; false when it never opened or stopped
    // taking samples (no space). True when live.
    bool finish();
    // The device the library lists (null when it is not one of ours).
    aldevice::AlDevice* getDevice() const { return device.get(); }

private:
    friend std::unique_ptr<SessionSetup> prepareSession(const SetupOptions& options);
    explicit SessionSetup(const SetupOptions& options) : options(options) {}

    SetupOptions options;
    bool contentMounted = false;
    std::unique_ptr<RenderClock> clock;  // installed while rendering
    std::unique_ptr<SoundSide> side, opening;
    std::unique_ptr<RealTimePacer> live;
    std::unique_ptr<RenderPacer> rendered;
    std::shared_ptr<aldevice::AlDevice> device;
};

// Null (reported on options.errors) when the content cannot be mounted.
std::unique_ptr<SessionSetup> prepareSession(const SetupOptions& options);

}  // namespace zsdemo

#pragma once
// The sound side of zsdemo: the library driven through its façade, as a game
// would drive it.
#include <memory>
#include <ostream>
#include <string>

#include "platform/device/RenderClock.h"
#include "sandbox/demo/Session.h"

namespace zsdemo {

using aldevice::RenderClock;

struct SoundSideOptions {
    std::string map;        // map name for the configuration re-read ("/valley.cfg"); empty for none
    uint32_t seed = 1;      // the landscape's random numbers
    // How long a music fade lasts: switching music, the demo starts the new
    // one once the playing one has faded out.
    double musicFadeSeconds = 2.0;
    // Rendering: the clock the library's threads sleep on; every call the
    // music worker is given is taken up (the worker asleep in a fade, or
    // idle) before the frame goes on. Null when live.
    RenderClock* renderClock = nullptr;
    std::ostream* log = nullptr;
    // A content watch: files of the mounted content directories saved while
    // the session runs are applied at the next frame.
    bool watch = false;
};

// The library's side.
std::unique_ptr<SoundSide> makeSoundSide(const SoundSideOptions& options);

}  // namespace zsdemo

#pragma once
// The sound side of zsdemo: the library driven through its façade, as a game
// would drive it.
#include <memory>
#include <ostream>
#include <string>

#include "sandbox/demo/Session.h"

namespace zsdemo {

struct SoundSideOptions {
    std::string map;        // map name for the configuration re-read ("/valley.cfg"); empty for none
    uint32_t seed = 1;      // the landscape's random numbers
    // Rendering: before each frame is mixed the music worker has served every
    // call (its fades take no time of their own), and the demo fades the
    // music group over this many seconds of game time instead.
    bool rendering = false;
    double renderFadeSeconds = 2.0;
    std::ostream* log = nullptr;
    // A content watch: files of the mounted content directories saved while
    // the session runs are applied at the next frame.
    bool watch = false;
};

// The library's side.
std::unique_ptr<SoundSide> makeSoundSide(const SoundSideOptions& options);

}  // namespace zsdemo

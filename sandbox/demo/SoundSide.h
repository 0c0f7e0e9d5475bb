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
    bool waitForMusic = false;  // after each frame, until the music worker is idle (rendering)
    std::ostream* log = nullptr;
};

// The library's side, or, in a build without the façade's implementation, a
// stand-in that says so and plays nothing.
std::unique_ptr<SoundSide> makeSoundSide(const SoundSideOptions& options);
// Whether this build drives the real library.
bool haveSoundManager();

}  // namespace zsdemo

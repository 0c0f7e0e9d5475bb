#include "platform/device/Quiet.h"

#ifdef __linux__
#include <alsa/asoundlib.h>
#endif

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace aldevice {
namespace {

#ifdef __linux__
void ignoreAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif

// Sets an environment variable the user has not set.
void setUnlessSet(const char* name, const char* value) {
    if (std::getenv(name)) return;
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 0);
#endif
}

bool debugAsked() {
    const char* debug = std::getenv("ZULSOUND_DEBUG");
    return debug && debug[0] && std::strcmp(debug, "0") != 0;
}

}  // namespace

void quietOutputLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (debugAsked()) return;
#ifdef __linux__
        // ALSA's handler is process-wide, also for the copy OpenAL Soft loads.
        snd_lib_error_set_handler(ignoreAlsa);
#endif
        // OpenAL Soft reads its level once, at its first call; a level the
        // user set stays.
        setUnlessSet("ALSOFT_LOGLEVEL", "0");
    });
    static std::once_flag drivers;
    std::call_once(drivers, [] {
        // The device mixes only through OpenAL Soft's loopback device; its
        // playback backends would still probe the system's output at its
        // first call (the sound server's client library among them, with
        // threads of its own). Its null backend alone keeps it off the
        // output, so our sink is the only client of the server. A choice the
        // user made stays.
        setUnlessSet("ALSOFT_DRIVERS", "null");
    });
}

}  // namespace aldevice

#pragma once
// The device's settings: the "device" entry's settings file, or a host's or
// a test's direct call.
#include <cstdint>
#include <string>

namespace aldevice {

struct Settings {
    uint32_t frequency = 48000;
    uint32_t voices = 255;  // the voice limit (ALC_MONO_SOURCES)
    bool hrtf = false;
    std::string distanceModel = "inverse";  // inverse, linear, exponent, none (each clamped but none)
};

// Reads a settings file ("frequency", "voices", "hrtf", "distanceModel";
// other keys are ignored). False, with a warning and *settings untouched,
// when the text is malformed.
bool parseSettings(const std::string& text, const std::string& origin, Settings* settings);

}  // namespace aldevice

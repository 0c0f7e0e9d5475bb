#pragma once
// Where the device library sends its mix: the system's default output, a
// null output (mixed in real time and thrown away), a WAV file, or a
// loopback that the caller pumps by hand (tests, benchmarks).
//
// The setting is the host's call (Sound3DDeviceManager::setOutput) made
// before activation, else the environment variable ZULSOUND_OUTPUT, else
// "default".
//
// Threads: any thread.
#include <string>

namespace aldevice {

struct Output {
    enum Kind { System, Null, Wav, Loopback };
    Kind kind = System;
    std::string path;  // the file of a Wav output
    // A null output listed for "default" because no system output opened:
    // it looks for one every second and plays there once one opens.
    bool findSystem = false;

    // "default", "null", "wav:PATH" or "loopback"
    std::string text() const;
    // Parses a setting; false (and *this unchanged) when it names no output.
    bool parse(const std::string& setting);
};

// The output chosen now: the host's setting, else ZULSOUND_OUTPUT, else
// "default". A setting that names no output is logged and read as "default".
Output currentOutput();
// The host's setting; an empty text clears it.
void setOutputSetting(const std::string& setting);

// Where the library's devices play now: each device publishes its sink's
// name ("" when it closes); openOutput answers for the device that
// published last among those open, or "" when none is. The registry's
// mutex is a leaf.
void publishOpenOutput(const void* device, const std::string& sink);
std::string openOutput();

}  // namespace aldevice

#pragma once
// A PulseAudio server of the test's own, the way the window tests start
// their own X server: a null sink "zs" (48 kHz stereo floats) on a native
// socket in a private directory, PULSE_SERVER pointing the library under
// test at it. It can be stopped and started again on the same socket (a
// sound server that goes away and comes back). A Monitor records what the
// sink plays, through its monitor source.
#include <pulse/simple.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/ResourceTree.h"

namespace testsupport {

class PulseServer {
public:
    // Starts the server and waits (bounded) until it takes connections;
    // ok() says whether it runs.
    PulseServer();
    // Ends the server; in a test that failed, prints report() first.
    ~PulseServer();
    bool ok() const { return pid > 0; }
    // `sink`: the null sink's format ("rate=... channels=... format=...").
    bool start(const std::string& sink = "rate=48000 channels=2 format=float32le");
    // Ends the server at once (SIGKILL: a crash, not a goodbye) and waits
    // for the process.
    void kill();
    const std::string& address() const { return server; }  // "unix:DIR/native"
    // Whether the daemon started last still runs (false once it has ended,
    // whoever ended it).
    bool running() const;
    std::string log() const;  // the server's own output, of every start
    // For a failed test: whether the server still runs, and its log.
    std::string report() const;

private:
    TemporaryDirectory dir;
    std::string server;
    int pid = -1;
    bool hadServer = false;  // PULSE_SERVER as it was before, given back at the end
    std::string previousServer;
};

// Records the sink's monitor as stereo floats at 48 kHz while it exists.
class Monitor {
public:
    // Records in fragments of `fragmentFrames` frames: the resolution of
    // the time a sound is seen to arrive.
    explicit Monitor(const PulseServer& server, uint32_t fragmentFrames = 480);
    ~Monitor();
    bool ok() const { return stream != nullptr; }
    // Reads `frames` frames (blocking at the server's pace); false when the
    // server is gone.
    bool read(std::vector<float>& out, uint32_t frames);
    // Reads until a block of `frames` frames has an RMS of at least `level`
    // (true) or `limitFrames` went by (false): the wait for a sound to arrive.
    bool waitHeard(float level, uint32_t frames, uint32_t limitFrames);
    // Reads until a block of `frames` frames is below `level` (true) or
    // `limitFrames` went by (false): the wait for a sound to stop.
    bool waitQuiet(float level, uint32_t frames, uint32_t limitFrames);
    // Frames read so far.
    uint64_t position() const { return readFrames; }

private:
    bool waitLevel(float level, uint32_t frames, uint32_t limitFrames, bool heard);
    pa_simple* stream = nullptr;
    uint64_t readFrames = 0;
};

}  // namespace testsupport

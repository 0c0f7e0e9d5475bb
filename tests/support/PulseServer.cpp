#include "tests/support/PulseServer.h"

#include "tests/support/Loopback.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace testsupport {
namespace {

pa_simple* connect(const std::string& server, uint32_t fragmentFrames = 480) {
    pa_sample_spec sampleFormat{};
    sampleFormat.format = PA_SAMPLE_FLOAT32LE;
    sampleFormat.rate = 48000;
    sampleFormat.channels = 2;
    pa_buffer_attr attributes{};
    attributes.maxlength = uint32_t(-1);
    attributes.fragsize = fragmentFrames * 8;  // a sound's arrival is seen within a fragment
    int error = 0;
    return pa_simple_new(server.c_str(), "zulsound-test", PA_STREAM_RECORD, "zs.monitor", "monitor", &sampleFormat, nullptr,
                         &attributes, &error);
}

}  // namespace

PulseServer::PulseServer() {
    server = "unix:" + dir.file("native");
    if (const char* before = std::getenv("PULSE_SERVER")) {
        hadServer = true;
        previousServer = before;
    }
    setenv("PULSE_SERVER", server.c_str(), 1);
    start();
}

PulseServer::~PulseServer() {
    // A failed test shows whether its server was still there, and what the
    // server said.
    if (testing::Test::HasFailure()) std::printf("%s\n", report().c_str());
    kill();
    if (hadServer) setenv("PULSE_SERVER", previousServer.c_str(), 1);
    else unsetenv("PULSE_SERVER");
}

bool PulseServer::start(const std::string& sink) {
    if (pid > 0) return true;
    const std::string runtime = dir.file("runtime");
    mkdir(runtime.c_str(), 0700);
    unlink((runtime + "/pid").c_str());
    const int launcher = fork();
    if (launcher == 0) {
        const int out = open((dir.file("server.log")).c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        dup2(out, 1);
        dup2(out, 2);
        // Its own home and runtime directories: nothing of another server
        // (the user's, another test's) is seen or touched.
        setenv("HOME", dir.path().c_str(), 1);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", runtime.c_str(), 1);
        setenv("PULSE_STATE_PATH", runtime.c_str(), 1);
        unsetenv("PULSE_SERVER");
        const std::string nullSink = "--load=module-null-sink sink_name=zs " + sink;
        const std::string socket = "--load=module-native-protocol-unix auth-anonymous=1 socket=" + dir.file("native");
        // The daemon's own log outlives its start (a daemon's stderr does
        // not): one new file each start, daemon.log, daemon.log.1, ...
        const std::string logTarget = "--log-target=newfile:" + dir.file("daemon.log");
        // --daemonize=yes: the launcher exits once the daemon has loaded its
        // modules and listens, which is the event the test waits for.
        // Nothing may end the server but the test: no idle exit, no client
        // asking it to leave, none of its own watchdogs. Run as root it
        // would take real-time scheduling under a 200 ms RLIMIT_RTTIME,
        // which the kernel enforces with SIGKILL: the daemon gone without a
        // word and its socket left behind, where a client meets "Connection
        // refused". Its CPU limiter (off by default) is kept off whatever
        // the machine's daemon.conf says. So it is an ordinary process of
        // the suite; a gap it causes is one the device counts as a late
        // period.
        execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1", "--disallow-exit=yes",
               "--realtime=no", "--high-priority=no", "--no-cpu-limit=yes", "--use-pid-file=yes",
               logTarget.c_str(), "--log-time=yes", "--log-level=info",
               nullSink.c_str(), socket.c_str(),
               (char*)nullptr);
        _exit(127);
    }
    if (launcher < 0) return false;
    int status = 0;
    waitpid(launcher, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    pid = std::atoi(readWholeFile(runtime + "/pid").c_str());
    if (pid <= 0) return false;
    // The daemon listens already; one connection proves it.
    pa_simple* probe = connect(server);
    if (!probe) {
        kill();
        return false;
    }
    pa_simple_free(probe);
    return true;
}

void PulseServer::kill() {
    if (pid <= 0) return;
    // The daemon is not our child: its end is awaited through a pidfd.
    const int handle = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    ::kill(pid, SIGKILL);
    if (handle >= 0) {
        pollfd ended{handle, POLLIN, 0};
        poll(&ended, 1, 10000);
        close(handle);
    }
    pid = -1;
}

bool PulseServer::running() const {
    if (pid <= 0) return false;
    const int handle = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (handle < 0) return false;  // no such process any more
    pollfd ended{handle, POLLIN, 0};
    const bool gone = poll(&ended, 1, 0) > 0;
    close(handle);
    return !gone;
}

std::string PulseServer::log() const {
    std::string text = readWholeFile(dir.file("server.log"));
    for (int k = 0; k < 100; ++k) {
        const std::string name = dir.file(k == 0 ? "daemon.log" : "daemon.log." + std::to_string(k));
        if (access(name.c_str(), F_OK) != 0) break;
        text += "-- " + name + "\n" + readWholeFile(name);
    }
    return text;
}

std::string PulseServer::report() const {
    std::string text = "the test's sound server ";
    text += pid <= 0 ? "is not running" : running() ? "is running" : "has ended by itself";
    return text + "; its log:\n" + log();
}

Monitor::Monitor(const PulseServer& server, uint32_t fragmentFrames)
    : stream(connect(server.address(), fragmentFrames)) {}

Monitor::~Monitor() {
    if (stream) pa_simple_free(stream);
}

bool Monitor::read(std::vector<float>& out, uint32_t frames) {
    out.assign(size_t(frames) * 2, 0.0f);
    int error = 0;
    if (!stream || pa_simple_read(stream, out.data(), out.size() * sizeof(float), &error) < 0) return false;
    readFrames += frames;
    return true;
}

bool Monitor::waitLevel(float level, uint32_t frames, uint32_t limitFrames, bool heard) {
    std::vector<float> block;
    for (uint32_t seen = 0; seen < limitFrames; seen += frames) {
        if (!read(block, frames)) return false;
        if ((rmsOf(block) >= level) == heard) return true;
    }
    return false;
}

bool Monitor::waitHeard(float level, uint32_t frames, uint32_t limitFrames) {
    return waitLevel(level, frames, limitFrames, true);
}

bool Monitor::waitQuiet(float level, uint32_t frames, uint32_t limitFrames) {
    return waitLevel(level, frames, limitFrames, false);
}

}  // namespace testsupport

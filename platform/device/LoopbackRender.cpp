// The hand-pumped loopback output a game drives itself: one AlDevice with
// the loopback output, listed alone through the device provider, so the
// request manager initialises exactly this device at activation and the
// game's renderings mix what the library plays. A rendering to a file goes
// through libsndfile with the header brought up to date after every write.
//
// While the output is open the library's threads sleep on the mix's clock
// (RenderClock, installed by openLoopback): a rendering first waits until
// every thread the clock knows is asleep or idle (the music worker has taken
// up what the game's calls gave it), then mixes in pieces that end where a
// sleep ends, waking the sleeper there and waiting for it before the next
// piece. So the music's fades run on the frames mixed, not the wall clock,
// and the same calls give the same file however fast the machine renders.
// closeLoopback releases the clock: later sleeps end at once, so the fades
// of a shutdown wait for no mix that no longer comes. The clock lives for
// the whole process (a library thread may still be inside it after the
// close), and the next openLoopback starts it again from frame 0. It stays
// installed until the output's device is gone after the close (the library
// shut down too), so a later session of the process sleeps in real time.
#include <sndfile.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "interfaces/SoundDevice.h"
#include "interfaces/ThreadClock.h"
#include "platform/device/AlDevice.h"
#include "platform/device/DeviceLog.h"
#include "platform/device/RenderClock.h"
#include "platform/device/Saturation.h"

namespace {

struct LoopbackState {
    std::shared_ptr<aldevice::AlDevice> device;
    SNDFILE* file = nullptr;
    std::string path;
    std::string failedPath;  // the last path that did not open (logged once)
    std::vector<float> samples;
};

std::mutex& stateLock() {
    static std::mutex* instance = new std::mutex;
    return *instance;
}

LoopbackState& state() {
    static LoopbackState* instance = new LoopbackState;
    return *instance;
}

// The clock's installation: the session that installed it (each
// openLoopback is one) and whether that session was closed.
struct ClockSession {
    std::mutex lock;
    unsigned long number = 0;
    bool closed = false;
};

ClockSession& clockSession() {
    static ClockSession* instance = new ClockSession;
    return *instance;
}

aldevice::RenderClock& renderClock() {
    static aldevice::RenderClock* instance = new aldevice::RenderClock;
    return *instance;
}

// Mixes `frames` frames into `out` on the clock: in pieces up to each
// sleeper's moment, which then wakes and is waited for.
void renderOnClock(aldevice::AlDevice& device, float* out, uint32_t frames) {
    aldevice::RenderClock& c = renderClock();
    c.setFrequency(device.getSettings().frequency);
    c.settle();
    while (frames > 0) {
        const uint64_t now = c.now(), due = c.nextDue();
        const uint32_t piece = due <= now ? 0 : static_cast<uint32_t>(std::min<uint64_t>(frames, due - now));
        if (piece > 0) device.render(out, piece);
        out += static_cast<size_t>(piece) * 2;
        frames -= piece;
        c.advanceTo(now + piece);
    }
}

void closeFile(LoopbackState& s) {
    if (s.file) sf_close(s.file);
    s.file = nullptr;
    s.path.clear();
}

}  // namespace

namespace {

// The device of one session; the last reference to it (the library's or
// this file's, whichever goes last) takes the clock out once the session
// was closed.
std::shared_ptr<aldevice::AlDevice> makeDevice(unsigned long session) {
    return std::shared_ptr<aldevice::AlDevice>(
        new aldevice::AlDevice(aldevice::Output{aldevice::Output::Loopback, ""}), [session](aldevice::AlDevice* d) {
            delete d;
            ClockSession& c = clockSession();
            std::lock_guard<std::mutex> guard(c.lock);
            if (c.number == session && c.closed && osthread::threadClock() == &renderClock())
                osthread::setThreadClock(nullptr);
        });
}

}  // namespace

void Sound3DDeviceManager::openLoopback() {
    unsigned long session = 0;
    {
        ClockSession& c = clockSession();
        std::lock_guard<std::mutex> guard(c.lock);
        session = ++c.number;
        c.closed = false;
        renderClock().restart();
        renderClock().setWaitOnSignal(true);
        osthread::setThreadClock(&renderClock());
    }
    auto device = makeDevice(session);
    std::shared_ptr<aldevice::AlDevice> previous;
    {
        std::lock_guard<std::mutex> guard(stateLock());
        LoopbackState& s = state();
        closeFile(s);
        s.failedPath.clear();
        previous = std::move(s.device);
        s.device = device;
    }
    setDeviceProvider([device] { return DeviceList{device}; });
}

bool Sound3DDeviceManager::renderLoopback(float* out, uint32_t frames) {
    std::lock_guard<std::mutex> guard(stateLock());
    LoopbackState& s = state();
    if (!s.device) {
        std::fill(out, out + static_cast<size_t>(frames) * 2, 0.0f);
        return false;
    }
    renderOnClock(*s.device, out, frames);
    return true;
}

bool Sound3DDeviceManager::renderLoopbackToFile(const std::string& path, uint32_t frames) {
    std::lock_guard<std::mutex> guard(stateLock());
    LoopbackState& s = state();
    if (!s.device) return false;
    if (!s.file || s.path != path) {
        closeFile(s);
        s.file = static_cast<SNDFILE*>(aldevice::openSaturatingWav(path, s.device->getSettings().frequency));
        if (!s.file) {
            if (s.failedPath != path) {
                debug::Warning warning(DEBUG_CONTEXT, 0.1f);
                warning << "failed to render loopback to " << path << ": " << sf_strerror(nullptr);
                aldevice::channel().post(warning);
                s.failedPath = path;
            }
            return false;
        }
        sf_command(s.file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
        s.path = path;
        s.failedPath.clear();
    }
    s.samples.resize(static_cast<size_t>(frames) * 2);
    renderOnClock(*s.device, s.samples.data(), frames);
    sf_writef_float(s.file, s.samples.data(), static_cast<sf_count_t>(frames));
    return true;
}

uint32_t Sound3DDeviceManager::getLoopbackFrequency() {
    std::lock_guard<std::mutex> guard(stateLock());
    const LoopbackState& s = state();
    return s.device ? s.device->getSettings().frequency : 0;
}

void Sound3DDeviceManager::closeLoopback() {
    std::shared_ptr<aldevice::AlDevice> device;
    {
        std::lock_guard<std::mutex> guard(stateLock());
        LoopbackState& s = state();
        closeFile(s);
        s.failedPath.clear();
        device = std::move(s.device);
    }
    if (device) {
        ClockSession& c = clockSession();
        std::lock_guard<std::mutex> guard(c.lock);
        c.closed = true;
        renderClock().release();
    }
    setDeviceProvider(nullptr);
}

// The hand-pumped loopback output a game drives itself: one AlDevice with
// the loopback output, listed alone through the device provider, so the
// request manager initialises exactly this device at activation and the
// game's renderings mix what the library plays. A rendering to a file goes
// through libsndfile with the header brought up to date after every write.
#include <sndfile.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "interfaces/SoundDevice.h"
#include "platform/device/AlDevice.h"
#include "platform/device/DeviceLog.h"
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

void closeFile(LoopbackState& s) {
    if (s.file) sf_close(s.file);
    s.file = nullptr;
    s.path.clear();
}

}  // namespace

void Sound3DDeviceManager::openLoopback() {
    auto device = std::make_shared<aldevice::AlDevice>(aldevice::Output{aldevice::Output::Loopback, ""});
    {
        std::lock_guard<std::mutex> guard(stateLock());
        LoopbackState& s = state();
        closeFile(s);
        s.failedPath.clear();
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
    s.device->render(out, frames);
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
    s.device->render(s.samples.data(), frames);
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
    setDeviceProvider(nullptr);
}

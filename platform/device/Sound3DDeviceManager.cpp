// Enumeration of the device library's devices. Without a provider installed
// by the host or a test, the library lists, for the output setting in force
// (Sound3DDeviceManager::setOutput, else ZULSOUND_OUTPUT, else "default"):
// the system's output (the sound server, else the sound card) when one
// opens, then the null output (the same mixer, paced in real time, its mix
// thrown away) which, listed for "default", keeps looking for the system's
// output and plays there once one opens; or the one output named. A silent
// device that needs no mixer at all comes last.
#include <mutex>

#include "interfaces/SoundDevice.h"
#include "platform/device/AlDevice.h"
#include "platform/device/NullDevice.h"
#include "platform/device/Sink.h"

namespace {

std::mutex providerMutex;
Sound3DDeviceManager::Provider& provider() {
    static Sound3DDeviceManager::Provider* instance = new Sound3DDeviceManager::Provider;
    return *instance;
}

}  // namespace

Sound3DDeviceManager::Sound3DDeviceManager() = default;

Sound3DDeviceManager::~Sound3DDeviceManager() {
    listed.clear();
    devices.clear();
}

std::list<SoundDevice*>* Sound3DDeviceManager::enumerateSoundDevices(unsigned long) {
    Provider current;
    {
        std::lock_guard<std::mutex> guard(providerMutex);
        current = provider();
    }
    DeviceList found = current ? current() : listOwnDevices();
    // Devices listed by an earlier enumeration stay alive with the manager.
    for (auto& device : found)
        if (device) devices.push_back(device);
    listed.clear();
    for (auto& device : found)
        if (device) listed.push_back(device.get());
    return &listed;
}

void Sound3DDeviceManager::setDeviceProvider(Provider p) {
    std::lock_guard<std::mutex> guard(providerMutex);
    provider() = std::move(p);
}

void Sound3DDeviceManager::setOutput(const std::string& setting) { aldevice::setOutputSetting(setting); }

std::string Sound3DDeviceManager::openOutput() { return aldevice::openOutput(); }

void Sound3DDeviceManager::holdOutput() { aldevice::beginOutputHold(); }

void Sound3DDeviceManager::releaseOutput() { aldevice::endOutputHold(); }

Sound3DDeviceManager::DeviceList Sound3DDeviceManager::listOwnDevices() {
    using aldevice::Output;
    DeviceList list;
    const Output output = aldevice::currentOutput();
    if (output.kind == Output::System) {
        if (aldevice::AlDevice::systemOutputOpens()) list.push_back(std::make_shared<aldevice::AlDevice>(output));
        list.push_back(std::make_shared<aldevice::AlDevice>(Output{Output::Null, "", true}));
    } else {
        list.push_back(std::make_shared<aldevice::AlDevice>(output));
    }
    list.push_back(std::make_shared<nulldevice::NullDevice>());
    return list;
}

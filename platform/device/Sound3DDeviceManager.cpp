// Enumeration of the device library's devices. The library lists its own
// outputs unless a host or a test has installed a provider.
#include <mutex>

#include "interfaces/SoundDevice.h"
#include "platform/device/NullDevice.h"

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
    for (auto& device : found) {
        if (!device) continue;
        devices.push_back(device);
    }
    listed.clear();
    for (auto& device : found)
        if (device) listed.push_back(device.get());
    return &listed;
}

void Sound3DDeviceManager::setDeviceProvider(Provider p) {
    std::lock_guard<std::mutex> guard(providerMutex);
    provider() = std::move(p);
}

Sound3DDeviceManager::DeviceList Sound3DDeviceManager::listOwnDevices() {
    DeviceList list;
    list.push_back(std::make_shared<nulldevice::NullDevice>());
    return list;
}

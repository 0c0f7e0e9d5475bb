#include "platform/device/Output.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/device/DeviceLog.h"

namespace aldevice {
namespace {

std::mutex settingMutex;
std::string& hostSetting() {
    static std::string* setting = new std::string;
    return *setting;
}

}  // namespace

const debug::Filter& channel() {
    static const debug::Filter* filter = new debug::Filter("SoundDevice");
    return *filter;
}

std::string Output::text() const {
    switch (kind) {
        case System: return "default";
        case Null: return "null";
        case Wav: return "wav:" + path;
        case Loopback: return "loopback";
    }
    return "default";
}

bool Output::parse(const std::string& setting) {
    if (setting == "default") {
        *this = Output{System, "", false};
    } else if (setting == "null") {
        *this = Output{Null, "", false};
    } else if (setting == "loopback") {
        *this = Output{Loopback, "", false};
    } else if (setting.compare(0, 4, "wav:") == 0 && setting.size() > 4) {
        *this = Output{Wav, setting.substr(4), false};
    } else {
        return false;
    }
    return true;
}

Output currentOutput() {
    std::string setting;
    {
        std::lock_guard<std::mutex> guard(settingMutex);
        setting = hostSetting();
    }
    if (setting.empty()) {
        const char* variable = std::getenv("ZULSOUND_OUTPUT");
        if (variable) setting = variable;
    }
    Output output;
    if (!setting.empty() && !output.parse(setting))
        channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f)
                       << "Unknown output " << setting << ": using default (default|null|wav:PATH)");
    return output;
}

void setOutputSetting(const std::string& setting) {
    std::lock_guard<std::mutex> guard(settingMutex);
    hostSetting() = setting;
}

namespace {

struct Published {
    uint64_t order;
    std::string sink;
};
std::mutex publishedMutex;
std::map<const void*, Published>& published() {
    static auto* devices = new std::map<const void*, Published>;
    return *devices;
}
uint64_t publishedOrder = 0;

}  // namespace

void publishOpenOutput(const void* device, const std::string& sink) {
    std::lock_guard<std::mutex> guard(publishedMutex);
    if (sink.empty()) {
        published().erase(device);
        return;
    }
    auto found = published().find(device);
    if (found != published().end()) found->second.sink = sink;  // the same device, its sink changed
    else published()[device] = Published{++publishedOrder, sink};
}

std::string openOutput() {
    std::lock_guard<std::mutex> guard(publishedMutex);
    const Published* last = nullptr;
    for (const auto& entry : published())
        if (!last || entry.second.order > last->order) last = &entry.second;
    return last ? last->sink : "";
}

}  // namespace aldevice

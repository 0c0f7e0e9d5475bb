// The "device" entry's settings file, read as configuration text.
#include "interfaces/Config.h"
#include "platform/device/AlDevice.h"
#include "platform/device/DeviceLog.h"

namespace aldevice {

bool parseSettings(const std::string& text, const std::string& origin, Settings* settings) {
    configmanager::ConfigManager config;
    // A malformed text is reported by the configuration layer with the file,
    // the line and the fault; the device says what it does about it.
    if (!config.readText(text, origin)) {
        channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f) << origin << ": not read; the device keeps its settings");
        return false;
    }
    Settings read = *settings;
    int number = 0;
    bool flag = false;
    std::string word;
    if (config.getProperty("frequency", &number) && number >= 8000 && number <= 192000)
        read.frequency = static_cast<uint32_t>(number);
    if (config.getProperty("voices", &number) && number >= 1 && number <= 4096)
        read.voices = static_cast<uint32_t>(number);
    if (config.getProperty("hrtf", &flag)) read.hrtf = flag;
    if (config.getProperty("distanceModel", &word)) {
        if (word == "inverse" || word == "linear" || word == "exponent" || word == "none") read.distanceModel = word;
        else
            channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f)
                           << origin << ": unknown distanceModel " << word << " (inverse, linear, exponent, none)");
    }
    *settings = read;
    return true;
}

}  // namespace aldevice

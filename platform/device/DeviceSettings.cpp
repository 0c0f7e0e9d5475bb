// The "device" entry's settings file, read with libconfig.
#include <libconfig.h++>

#include "platform/device/AlDevice.h"
#include "platform/device/DeviceLog.h"

namespace aldevice {

bool parseSettings(const std::string& text, const std::string& origin, Settings* settings) {
    Settings read = *settings;
    try {
        libconfig::Config config;
        config.readString(text);
        const libconfig::Setting& root = config.getRoot();
        int number = 0;
        bool flag = false;
        std::string word;
        if (root.lookupValue("frequency", number) && number >= 8000 && number <= 192000)
            read.frequency = static_cast<uint32_t>(number);
        if (root.lookupValue("voices", number) && number >= 1 && number <= 4096) read.voices = static_cast<uint32_t>(number);
        if (root.lookupValue("hrtf", flag)) read.hrtf = flag;
        if (root.lookupValue("distanceModel", word)) {
            if (word == "inverse" || word == "linear" || word == "exponent" || word == "none") read.distanceModel = word;
            else
                channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f)
                               << origin << ": unknown distanceModel " << word << " (inverse, linear, exponent, none)");
        }
    } catch (const libconfig::ParseException& e) {
        channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f) << origin << ": line " << e.getLine() << ": "
                                                           << e.getError() << "; the device keeps its settings");
        return false;
    } catch (const std::exception& e) {
        channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f) << origin << ": " << e.what()
                                                           << "; the device keeps its settings");
        return false;
    }
    *settings = read;
    return true;
}

}  // namespace aldevice

// Any text handed to the configuration reader: it either reads or refuses,
// and what it reads can be written back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "interfaces/Config.h"
#include "interfaces/Debug.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (debug::setStandardErrorOutput(false), true);
    (void)quiet;
    configmanager::ConfigManager config;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find('\0') == std::string::npos && config.readText(text, "fuzz")) {
        std::string written;
        config.writeText(&written);
    }
    return 0;
}

// Any bytes handed to the configuration reader (zero bytes, invalid UTF-8,
// nesting past the limit included): it either reads or refuses, never
// crashes or overflows its stack. What it reads and can write reads back to
// the same tree, and a second save of that is byte-identical to the first.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "interfaces/Config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::quiet();
    configmanager::ConfigManager config;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!config.readText(text, "fuzz")) {
        if (config.getPropertyCount() != 0) std::abort();  // a refused read leaves the block as it was
        return 0;
    }
    std::string written;
    if (!config.writeText(&written)) return 0;  // a name the reader takes but the writer refuses ('*' first)
    configmanager::ConfigManager again;
    if (!again.readText(written, "fuzz again") || !(again == config)) std::abort();
    std::string second;
    if (!again.writeText(&second) || second != written) std::abort();
    return 0;
}

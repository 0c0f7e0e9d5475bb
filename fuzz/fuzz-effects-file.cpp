// Any bytes as "Effects.snd", through the same reader the request manager
// uses: the read ends with the records completed so far, never crashes,
// hangs or leaks, and every record it keeps is well formed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "interfaces/Debug.h"
#include "sound/request/EffectsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (debug::setStandardErrorOutput(false), true);
    (void)quiet;
    EffectsFile::Records records;
    EffectsFile::resetDirectoryPrefix();
    EffectsFile::setTarget(&records);
    EffectsFile::parse(std::string(reinterpret_cast<const char*>(data), size));
    EffectsFile::setTarget(nullptr);
    for (auto& record : records) {
        const std::string& storage = record.second->storage;
        if (!(storage.empty() || storage == "memory" || storage == "disk")) std::abort();
        delete record.second;
    }
    return 0;
}

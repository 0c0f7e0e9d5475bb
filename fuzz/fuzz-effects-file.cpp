// Any bytes as "Effects.snd", through the reader the request manager uses at
// every device initialisation (locking, sizing, reading and closing the
// resource, then scanning and parsing): the read ends with the records
// completed so far and never crashes, hangs, leaks or exits. Every record it
// keeps must be well formed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "sound/request/EffectsFile.h"

namespace {

// The one resource "/Configs/Sounds/Effects.snd", served from memory 1 KiB
// at a time.
class InputResources : public ResourceManager {
public:
    InputResources(const uint8_t* data, size_t size) : data(data), size(size) {}
    ResourceStream* openStream(const char* path) override {
        if (notFound(path)) return nullptr;
        ++open;
        return new fuzzsupport::InputStream(data, size, "/Configs/Sounds/Effects.snd", 1024);
    }
    void closeStream(ResourceStream* stream) override {
        --open;
        delete stream;
    }
    int notFound(const char* path) override { return std::strcmp(path, "/Configs/Sounds/Effects.snd") != 0; }
    void lock() override { ++locks; }
    void unlock() override { --locks; }
    bool mount(const std::string&, const std::string&) override { return false; }
    bool unmount(const std::string&) override { return false; }

    int open = 0;
    int locks = 0;

private:
    const uint8_t* data;
    size_t size;
};

bool oneOf(const std::string& word, std::initializer_list<const char*> words) {
    for (const char* w : words)
        if (word == w) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::quiet();
    InputResources resources(data, size);
    ResourceManager* const previous = theResourceManager;
    theResourceManager = &resources;

    // Each input starts from the values the library is loaded with, so a
    // failure reproduces from its own input alone.
    EffectsFile::restoreBuiltInDefaults();
    EffectsFile::Records records;
    EffectsFile::resetDirectoryPrefix();
    EffectsFile::setTarget(&records);
    EffectsFile::read("Effects.snd");
    EffectsFile::setTarget(nullptr);
    theResourceManager = previous;

    if (resources.open != 0 || resources.locks != 0) std::abort();  // the resource is always given back
    for (auto& record : records) {
        const EffectConfig& r = *record.second;
        if (record.first.empty() || record.first.size() > static_cast<size_t>(EffectsFile::maxTokenLength)) std::abort();
        if (!oneOf(r.storage, {"", "memory", "disk"}) || !oneOf(r.mode, {"", "normal", "headrelative", "disable"}))
            std::abort();
        if (r.fileName.find('\0') != std::string::npos) std::abort();  // the text ends at its first zero byte
        delete record.second;
    }
    return 0;
}

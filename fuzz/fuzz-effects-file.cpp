// Any bytes as "Effects.snd", through the reader the request manager uses at
// every device initialisation (locking, sizing, reading and closing the
// resource, then scanning and parsing): the read ends with the records
// completed so far and never crashes, hangs, leaks or exits. Every record it
// keeps must be well formed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "interfaces/Debug.h"
#include "interfaces/Resource.h"
#include "sound/request/EffectsFile.h"

namespace {

// The one resource "/Configs/Sounds/Effects.snd", served from memory.
class InputStream : public ResourceStream {
public:
    InputStream(const uint8_t* data, size_t size) : data(data), size(static_cast<long>(size)) {}
    long seek(int origin, long offset) override {
        const long base = origin == Begin ? 0 : origin == Current ? position : size;
        if (base + offset < 0 || base + offset > size) return -1;
        return position = base + offset;
    }
    long read(void* buffer, long wanted) override {
        // At most 1 KiB at a time, as a stream over an archive may answer.
        const long count = std::min({wanted, size - position, 1024L});
        if (count > 0) std::memcpy(buffer, data + position, static_cast<size_t>(count));
        position += count;
        return count;
    }
    const std::string& getPath() const override { return path; }

private:
    const uint8_t* data;
    long size;
    long position = 0;
    const std::string path = "/Configs/Sounds/Effects.snd";
};

class InputResources : public ResourceManager {
public:
    InputResources(const uint8_t* data, size_t size) : data(data), size(size) {}
    ResourceStream* openStream(const char* path) override {
        if (notFound(path)) return nullptr;
        ++open;
        return new InputStream(data, size);
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
    static const bool quiet = (debug::setStandardErrorOutput(false), true);
    (void)quiet;
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

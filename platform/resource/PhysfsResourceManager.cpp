// The resource library over PhysicsFS: the host mounts directories and .zip
// archives at "/", and resource paths ("/Sounds/x.wav") are looked up in the
// mounted trees in mount order. Paths that climb out of the tree ("..") and
// directories are refused.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <physfs.h>

#include "interfaces/Debug.h"
#include "interfaces/Resource.h"

namespace {

const debug::Filter& channel() {
    static const debug::Filter* filter = new debug::Filter("ResourceManager");
    return *filter;
}

const char* lastError() {
    const char* text = PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());
    return text ? text : "unknown error";
}

bool climbsOut(const std::string& path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("/\\", start);
        if (end == std::string::npos) end = path.size();
        if (path.compare(start, end - start, "..") == 0) return true;
        start = end + 1;
    }
    return false;
}

class PhysfsStream : public ResourceStream {
public:
    PhysfsStream(PHYSFS_File* f, std::string p) : file(f), path(std::move(p)) {}
    ~PhysfsStream() override { PHYSFS_close(file); }

    long seek(int origin, long offset) override {
        PHYSFS_sint64 base = 0;
        if (origin == Current) base = PHYSFS_tell(file);
        else if (origin == End) base = PHYSFS_fileLength(file);
        else if (origin != Begin) return -1;
        if (base < 0) return -1;
        const PHYSFS_sint64 target = base + offset;
        if (target < 0 || !PHYSFS_seek(file, static_cast<PHYSFS_uint64>(target))) return -1;
        return static_cast<long>(target);
    }

    long read(void* buffer, long size) override {
        if (size <= 0) return 0;
        const PHYSFS_sint64 n = PHYSFS_readBytes(file, buffer, static_cast<PHYSFS_uint64>(size));
        return static_cast<long>(n);
    }

    const std::string& getPath() const override { return path; }

private:
    PHYSFS_File* file;
    std::string path;
};

// A pinned resource: bytes held in memory, kept alive by the stream.
class BytesStream : public ResourceStream {
public:
    BytesStream(std::shared_ptr<const std::string> b, std::string p) : bytes(std::move(b)), path(std::move(p)) {}

    long seek(int origin, long offset) override {
        long base = 0;
        if (origin == Current) base = at;
        else if (origin == End) base = static_cast<long>(bytes->size());
        else if (origin != Begin) return -1;
        const long target = base + offset;
        if (target < 0) return -1;
        at = target;
        return at;
    }

    long read(void* buffer, long size) override {
        const long left = static_cast<long>(bytes->size()) - at;
        const long n = size <= 0 || left <= 0 ? 0 : (size < left ? size : left);
        if (n > 0) std::memcpy(buffer, bytes->data() + at, static_cast<size_t>(n));
        at += n;
        return n;
    }

    const std::string& getPath() const override { return path; }

private:
    std::shared_ptr<const std::string> bytes;
    std::string path;
    long at = 0;
};

class PhysfsResourceManager : public ResourceManager {
public:
    ResourceStream* openStream(const char* path) override {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        std::string p;
        if (!usable(path, &p)) return nullptr;
        const Pins::const_iterator held = pinnedAt(p);
        if (pinned && held != pinned->end()) {
            if (!held->second) {
                report(DEBUG_CONTEXT, "failed to open ", p, "not found");
                return nullptr;
            }
            return new BytesStream(held->second, path);
        }
        PHYSFS_Stat stat;
        if (!PHYSFS_stat(p.c_str(), &stat)) {
            report(DEBUG_CONTEXT, "failed to open ", p, lastError());
            return nullptr;
        }
        if (stat.filetype != PHYSFS_FILETYPE_REGULAR) {
            report(DEBUG_CONTEXT, "failed to open ", p, "not a file");
            return nullptr;
        }
        PHYSFS_File* file = PHYSFS_openRead(p.c_str());
        if (!file) {
            report(DEBUG_CONTEXT, "failed to open ", p, lastError());
            return nullptr;
        }
        try {
            return new PhysfsStream(file, path);
        } catch (...) {
            PHYSFS_close(file);  // out of memory: the caller sees the refusal, the handle is not left open
            throw;
        }
    }

    void closeStream(ResourceStream* stream) override { delete stream; }

    int notFound(const char* path) override {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        std::string p;
        if (!usable(path, &p)) return 1;
        const Pins::const_iterator held = pinnedAt(p);
        if (pinned && held != pinned->end()) return held->second ? 0 : 1;
        PHYSFS_Stat stat;
        return PHYSFS_stat(p.c_str(), &stat) && stat.filetype == PHYSFS_FILETYPE_REGULAR ? 0 : 1;
    }

    void lock() override { mutex.lock(); }
    void unlock() override { mutex.unlock(); }

    bool mount(const std::string& source, const std::string& mountPoint) override {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        if (!start()) return false;
        if (!PHYSFS_mount(source.c_str(), mountPoint.c_str(), 1)) {
            report(DEBUG_CONTEXT, "failed to mount ", source, lastError());
            return false;
        }
        if (!holdsContent(mountPoint)) {
            // A wrong folder (the content's parent, an empty one) would
            // otherwise only show later as sounds that are never found.
            PHYSFS_unmount(source.c_str());
            report(DEBUG_CONTEXT, "failed to mount ", source,
                   "no content there (no Configs/Sounds, no Sounds, no sound file at its top)");
            return false;
        }
        return true;
    }

    bool unmount(const std::string& source) override {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        if (!started || !PHYSFS_unmount(source.c_str())) {
            report(DEBUG_CONTEXT, "failed to unmount ", source, started ? lastError() : "nothing mounted");
            return false;
        }
        return true;
    }

    std::vector<std::pair<std::string, std::string>> getMounts() override {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        std::vector<std::pair<std::string, std::string>> mounts;
        if (!started) return mounts;
        char** list = PHYSFS_getSearchPath();
        if (!list) return mounts;
        for (char** entry = list; *entry; ++entry) {
            const char* point = PHYSFS_getMountPoint(*entry);
            mounts.emplace_back(*entry, point ? point : "/");
        }
        PHYSFS_freeList(list);
        return mounts;
    }

    bool pin(const std::string& path, std::shared_ptr<const std::string> bytes) override {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        if (!pinned) pinned = std::make_unique<Pins>();
        (*pinned)[path] = std::move(bytes);
        return true;
    }

    void unpin(const std::string& path) override {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        if (pinned) pinned->erase(path);
    }

private:
    // Whether the mount just added (the last of the search path) holds
    // anything the library reads: the configuration folder, the sound
    // folder, or a sound file at its top (a folder of sounds to play).
    static bool holdsContent(const std::string& mountPoint) {
        char** list = PHYSFS_getSearchPath();
        if (!list) return true;
        char** last = list;
        while (*last && last[1]) ++last;
        const std::string mine = *last ? *last : "";
        PHYSFS_freeList(list);
        std::string base = mountPoint;
        while (!base.empty() && base.back() == '/') base.pop_back();
        auto provided = [&](const std::string& path) {
            const char* where = PHYSFS_getRealDir(path.c_str());
            return where && mine == where;
        };
        auto isDirectory = [&](const std::string& path) {
            PHYSFS_Stat stat;
            return provided(path) && PHYSFS_stat(path.c_str(), &stat) && stat.filetype == PHYSFS_FILETYPE_DIRECTORY;
        };
        if (isDirectory(base + "/Configs/Sounds") || isDirectory(base + "/Sounds")) return true;
        bool sound = false;
        char** files = PHYSFS_enumerateFiles(base.empty() ? "/" : base.c_str());
        for (char** f = files; f && *f && !sound; ++f) {
            const std::string name = *f;
            const size_t dot = name.rfind('.');
            if (dot == std::string::npos) continue;
            std::string extension = name.substr(dot + 1);
            for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            static const char* const soundExtensions[] = {"wav", "ogg", "oga", "flac", "opus", "aif", "aiff", "mp3"};
            for (const char* e : soundExtensions)
                if (extension == e && provided(base + "/" + name)) sound = true;
        }
        if (files) PHYSFS_freeList(files);
        return sound;
    }

    // Resource path -> the bytes it is held to (null: to no resource).
    using Pins = std::map<std::string, std::shared_ptr<const std::string>>;

    Pins::const_iterator pinnedAt(const std::string& path) const {
        return pinned ? pinned->find(path) : Pins::const_iterator();
    }

    bool start() {
        if (started) return true;
        if (!PHYSFS_isInit() && !PHYSFS_init(nullptr)) {
            report(DEBUG_CONTEXT, "failed to start ", "the resource library", lastError());
            return false;
        }
        started = true;
        return true;
    }

    bool usable(const char* path, std::string* out) {
        if (!path) return false;
        if (climbsOut(path)) {
            report(DEBUG_CONTEXT, "failed to open ", path, "a resource path may not contain \"..\"");
            return false;
        }
        if (!start()) return false;
        *out = path;
        return true;
    }

    // A warning (level 0.1) reported at the caller's position.
    static void report(const debug::Context& where, const char* what, const std::string& path, const char* why) {
        channel().post(debug::Warning(where, 0.1f) << what << path << ": " << why);
    }

    std::recursive_mutex mutex;
    bool started = false;
    std::unique_ptr<Pins> pinned;  // made at the first pin: the manager stays constant-initialised
};

// Constant-initialised: the pointer is valid before any other static object
// of the library runs its constructor. PhysicsFS starts on first use.
PhysfsResourceManager theOwnResourceManager;

}  // namespace

ResourceManager* theResourceManager = &theOwnResourceManager;

// The resource library over PhysicsFS: the host mounts directories and .zip
// archives at "/", and resource paths ("/Sounds/x.wav") are looked up in the
// mounted trees in mount order. Paths that climb out of the tree ("..") and
// directories are refused.
//
// A file found in the first mount, when that is a directory, is remembered
// by its file name on disk: later look-ups and opens of the same path go to
// that file directly (one look-up of the file itself, which also tells a
// file since removed or replaced by something else, instead of PhysicsFS's
// search through every mount with two system calls each). Nothing can hide
// a file of the first mount, so what is remembered stays right until the
// mounts change, which forgets it all. Anything else (files of later mounts
// or inside archives, paths PhysicsFS would write differently, files gone)
// is looked up through PhysicsFS every time, as before.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include <physfs.h>

#include "interfaces/Debug.h"
#include "interfaces/Resource.h"
#include "platform/files/DiskFile.h"

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

// A file of a mounted directory opened by its name on disk. Reads say where
// they read (pread), so seeking costs no system call; small reads are served
// from a read-ahead of the bytes that follow (decoders read a few kilobytes
// at a time).
class FileStream : public ResourceStream {
public:
    explicit FileStream(std::string p) : path(std::move(p)) {}
    diskfile::ReadFile file;

    long seek(int origin, long offset) override {
        long base = 0;
        if (origin == Current) {
            base = at;
        } else if (origin == End) {
            const long long size = file.size();
            if (size < 0) return -1;
            base = static_cast<long>(size);
        } else if (origin != Begin) {
            return -1;
        }
        const long target = base + offset;
        if (target < 0) return -1;
        at = target;
        return at;
    }

    long read(void* buffer, long size) override {
        if (size <= 0) return 0;
        auto* out = static_cast<char*>(buffer);
        long done = 0;
        while (done < size) {
            if (at >= aheadAt && at < aheadAt + aheadLength) {
                const long n = std::min(size - done, aheadAt + aheadLength - at);
                std::memcpy(out + done, ahead.get() + (at - aheadAt), static_cast<size_t>(n));
                done += n;
                at += n;
                continue;
            }
            if (size - done >= aheadBytes) {  // large reads go straight to the file
                const long n = readAt(out + done, size - done, at);
                if (n < 0) return done > 0 ? done : -1;
                done += n;
                at += n;
                break;
            }
            if (!ahead) ahead = std::make_unique<char[]>(aheadBytes);
            const long n = readAt(ahead.get(), aheadBytes, at);
            if (n <= 0) {
                aheadLength = 0;
                if (n < 0 && done == 0) return -1;
                break;  // the end of the file
            }
            aheadAt = at;
            aheadLength = n;
        }
        return done;
    }

    const std::string& getPath() const override { return path; }

private:
    static constexpr long aheadBytes = 32 * 1024;

    long readAt(char* to, long size, long from) const { return file.readAt(to, size, from); }

    std::string path;
    long at = 0;
    std::unique_ptr<char[]> ahead;  // the read-ahead: aheadLength bytes of the file from aheadAt
    long aheadAt = 0;
    long aheadLength = 0;
};

// Whether PhysicsFS reads the path as it is written: from the root, no
// empty, "." or ".." parts, no characters it refuses. Only such paths are
// remembered by their file on disk.
bool plainPath(const std::string& path) {
    if (path.size() < 2 || path[0] != '/' || path.back() == '/') return false;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const size_t length = end - start;
        if (length == 0 || (length == 1 && path[start] == '.') || (length == 2 && path.compare(start, 2, "..") == 0))
            return false;
        start = end + 1;
    }
    return path.find_first_of(":\\") == std::string::npos;
}


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
        if (ResourceStream* direct = openKnown(p, path)) return direct;
        PHYSFS_Stat stat;
        if (!PHYSFS_stat(p.c_str(), &stat)) {
            report(DEBUG_CONTEXT, "failed to open ", p, lastError());
            return nullptr;
        }
        if (stat.filetype != PHYSFS_FILETYPE_REGULAR) {
            report(DEBUG_CONTEXT, "failed to open ", p, "not a file");
            return nullptr;
        }
        if (remember(p, stat))
            if (ResourceStream* direct = openKnown(p, path)) return direct;
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
        if (onDisk) {
            auto known = onDisk->find(p);
            if (known != onDisk->end()) {
                if (diskfile::isRegularFile(known->second)) return 0;
                onDisk->erase(known);  // gone, or no longer a plain file: PhysicsFS says what there is now
            }
        }
        PHYSFS_Stat stat;
        if (!PHYSFS_stat(p.c_str(), &stat) || stat.filetype != PHYSFS_FILETYPE_REGULAR) return 1;
        remember(p, stat);
        return 0;
    }

    void lock() override { mutex.lock(); }
    void unlock() override { mutex.unlock(); }

    bool mount(const std::string& source, const std::string& mountPoint) override {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        if (!start()) return false;
        onDisk.reset();  // a mount may come first (a manager that prepends) or change what the first holds
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
        onDisk.reset();
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

    // The remembered file of a resource path opened directly, or null (not
    // remembered, or no longer there as a plain file: forgotten, and the
    // caller asks PhysicsFS).
    ResourceStream* openKnown(const std::string& p, const char* path) {
        if (!onDisk) return nullptr;
        auto known = onDisk->find(p);
        if (known == onDisk->end()) return nullptr;
        auto stream = std::make_unique<FileStream>(path);
        if (stream->file.open(known->second)) return stream.release();
        onDisk->erase(known);
        return nullptr;
    }

    // Remembers the file on disk of a path PhysicsFS just found as a plain
    // file, when it lies in the first mount and that is a directory; true
    // when it did.
    bool remember(const std::string& p, const PHYSFS_Stat& found) {
        if (!plainPath(p)) return false;
        const char* where = PHYSFS_getRealDir(p.c_str());
        char** list = PHYSFS_getSearchPath();
        if (!where || !list) {
            if (list) PHYSFS_freeList(list);
            return false;
        }
        const bool first = list[0] && std::strcmp(list[0], where) == 0;
        PHYSFS_freeList(list);
        if (!first) return false;
        // The path inside the mount: the resource path without the mount point.
        std::string point = PHYSFS_getMountPoint(where) ? PHYSFS_getMountPoint(where) : "/";
        while (!point.empty() && point.back() == '/') point.pop_back();
        if (!point.empty() && point[0] != '/') point.insert(0, "/");
        if (p.compare(0, point.size(), point) != 0 || p[point.size()] != '/') return false;
        std::string file = where;
        while (file.size() > 1 && file.back() == '/') file.pop_back();
        file += p.substr(point.size());
        // An archive's "file" is no file on disk; the size tells a file that
        // is not the one PhysicsFS found.
        const long long size = diskfile::regularFileSize(file);
        if (size < 0 || static_cast<PHYSFS_sint64>(size) != found.filesize) return false;
        if (!onDisk) onDisk = std::make_unique<Files>();
        (*onDisk)[p] = std::move(file);
        return true;
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
    // Resource path -> its file on disk, for files of the first mount (a
    // directory) found before; forgotten when the mounts change. Made at the
    // first file remembered, as the pins are.
    using Files = std::unordered_map<std::string, std::string>;
    std::unique_ptr<Files> onDisk;
};

// Constant-initialised: the pointer is valid before any other static object
// of the library runs its constructor. PhysicsFS starts on first use.
PhysfsResourceManager theOwnResourceManager;

}  // namespace

ResourceManager* theResourceManager = &theOwnResourceManager;

#pragma once
/// @file
/// The resource library as the sound library calls it: resource paths such as
/// "/Configs/Sounds/Effects.snd" or "/Sounds/x.wav", resolved over the
/// directories and .zip archives the host mounts.
///
/// Threads: every operation may be called from any thread; callers group
/// their calls between lock() and unlock() (re-entrant on one thread).
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/Export.h"

/// An open resource, read from start to end.
class ZULSOUND_API ResourceStream {
public:
    /// Where seek() counts from.
    enum Origin { Begin = 0, Current = 1, End = 2 };

    virtual ~ResourceStream() = default;
    /// Moves the read position; returns the new position, or -1 on failure.
    virtual long seek(int origin, long offset) = 0;
    /// Reads up to size bytes; returns the bytes read, 0 at the end, -1 on failure.
    virtual long read(void* buffer, long size) = 0;
    /// The resource path the stream was opened with.
    virtual const std::string& getPath() const = 0;
};

/// The resources the library reads: its content, mounted by the host.
class ZULSOUND_API ResourceManager {
public:
    virtual ~ResourceManager() = default;

    /// An open stream on the resource, or null (missing, a directory, a path
    /// with "..", a read error). The stream is given back with closeStream.
    virtual ResourceStream* openStream(const char* path) = 0;
    /// Closes a stream of openStream().
    virtual void closeStream(ResourceStream* stream) = 0;
    /// Nonzero when no readable resource exists at the path.
    virtual int notFound(const char* path) = 0;
    /// Takes the manager's re-entrant lock.
    virtual void lock() = 0;
    /// Gives it back.
    virtual void unlock() = 0;

    /// Host side: mounts a directory or a .zip archive at a mount point ("/"
    /// by default); later mounts are searched after earlier ones. False, with
    /// the warning "failed to mount SOURCE: REASON" on "ResourceManager",
    /// when it does not open or holds no content: neither a "Configs/Sounds"
    /// nor a "Sounds" folder nor a sound file at its top (the content's
    /// parent folder, an empty one); nothing is mounted then.
    virtual bool mount(const std::string& directoryOrArchive, const std::string& mountPoint = "/") = 0;
    /// Host side: takes a mount away; false when it was not mounted.
    virtual bool unmount(const std::string& directoryOrArchive) = 0;
    /// What is mounted, in search order: (directory or archive as given to
    /// mount, mount point). A manager that cannot tell lists nothing.
    virtual std::vector<std::pair<std::string, std::string>> getMounts() { return {}; }

    /// Holds the resource at `path` to `bytes` (null: to no resource) until
    /// unpin: every open reads them, whatever the file does meanwhile, so a
    /// file checked and then applied is applied from the bytes checked.
    /// Streams opened meanwhile keep their bytes after unpin. False when the
    /// manager cannot (its readers then read the file itself).
    virtual bool pin(const std::string& path, std::shared_ptr<const std::string> bytes) {
        (void)path;
        (void)bytes;
        return false;
    }
    /// Lets the resource at `path` be read from its file again.
    virtual void unpin(const std::string& path) { (void)path; }
};

/// Points at the library's own resource manager from the moment the library is
/// loaded; a host may point it at its own.
extern ZULSOUND_API ResourceManager* theResourceManager;

/// Takes the resource manager's lock for a scope.
class ResourceLock {
public:
    /// Locks `locked` until the end of the scope.
    explicit ResourceLock(ResourceManager* locked) : manager(locked) { manager->lock(); }
    ~ResourceLock() { manager->unlock(); }
    ResourceLock(const ResourceLock&) = delete;
    ResourceLock& operator=(const ResourceLock&) = delete;

private:
    ResourceManager* manager;
};

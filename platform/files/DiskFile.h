#pragma once
// The few file operations the platform layers make on disk themselves (the
// rest goes through PhysicsFS, libsndfile and spdlog): reading a resource
// file by position, writing a file durably and putting it in place of
// another. Paths are UTF-8 on every system; Windows is handed them as wide
// strings, so a content folder with non-ASCII characters works there too.
// Failures come back as the system's own text in *why.
//
// Threads: any thread; a handle is used by one thread at a time.
#include <cstddef>
#include <cstdint>
#include <string>

namespace diskfile {

// An open file for reading; invalid when `valid()` is false.
class ReadFile {
public:
    ReadFile() = default;
    ~ReadFile();
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;
    // Opens a regular file (no symbolic link at the end of the path is
    // followed; a directory or device is refused).
    bool open(const std::string& path);
    bool valid() const { return handle != invalid; }
    // Reads up to `size` bytes at `offset`; the count (0 at the end), -1 on
    // an error. Moves no file position: reads say where they read.
    long readAt(char* to, long size, long offset) const;
    // The file's size now, -1 when it cannot be told.
    long long size() const;

private:
    static constexpr intptr_t invalid = -1;
    intptr_t handle = invalid;
};

// Whether `path` names a regular file itself (a symbolic link is not one).
bool isRegularFile(const std::string& path);
// The size of the regular file `path` names itself, or -1 (no such file, a
// link, a directory).
long long regularFileSize(const std::string& path);
// Creates or truncates `path` and writes `size` bytes, flushed to the disk
// before it returns true.
bool writeDurably(const std::string& path, const char* data, size_t size, std::string* why);
// Puts `from` in the place of `to` in one step (an existing `to` is
// replaced).
bool replaceFile(const std::string& from, const std::string& to, std::string* why);
// Removes a file; false when it was not there or could not be removed.
bool removeFile(const std::string& path);

}  // namespace diskfile

// The disk file operations over POSIX calls.
#include "platform/files/DiskFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace diskfile {

ReadFile::~ReadFile() {
    if (valid()) ::close(static_cast<int>(handle));
}

bool ReadFile::open(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    if (valid()) ::close(static_cast<int>(handle));
    handle = fd;
    return true;
}

long ReadFile::readAt(char* to, long size, long offset) const {
    ssize_t n;
    do {
        n = ::pread(static_cast<int>(handle), to, static_cast<size_t>(size), static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

long long ReadFile::size() const {
    struct stat st;
    if (::fstat(static_cast<int>(handle), &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
}

long long regularFileSize(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<long long>(st.st_size);
}

bool isRegularFile(const std::string& path) { return regularFileSize(path) >= 0; }

namespace {
bool failed(std::string* why, int fd = -1) {
    const int saved = errno;
    if (fd >= 0) ::close(fd);
    if (why) *why = std::strerror(saved);
    return false;
}
}  // namespace

bool writeDurably(const std::string& path, const char* data, size_t size, std::string* why) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return failed(why);
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return failed(why, fd);
        data += n;
        size -= static_cast<size_t>(n);
    }
    // On disk before a rename makes it the file, so a crash leaves either
    // the old file or the whole new one.
    if (::fsync(fd) != 0) return failed(why, fd);
    if (::close(fd) != 0) return failed(why);
    return true;
}

bool replaceFile(const std::string& from, const std::string& to, std::string* why) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    return failed(why);
}

bool removeFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

}  // namespace diskfile

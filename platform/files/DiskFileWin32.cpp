// The disk file operations over Win32 calls, with UTF-8 paths handed to
// Windows as wide strings.
#include "platform/files/DiskFile.h"

#include <windows.h>

#include "platform/files/WidePath.h"

namespace diskfile {

namespace {
bool failed(std::string* why) {
    if (why) *why = widepath::systemMessage(GetLastError());
    return false;
}
HANDLE asHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

ReadFile::~ReadFile() {
    if (valid()) CloseHandle(asHandle(handle));
}

bool ReadFile::open(const std::string& path) {
    // FILE_FLAG_OPEN_REPARSE_POINT: a link at the end of the path is opened
    // as itself and refused below, as O_NOFOLLOW does.
    HANDLE h = CreateFileW(widepath::toWide(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) || GetFileType(h) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        CloseHandle(h);
        return false;
    }
    if (valid()) CloseHandle(asHandle(handle));
    handle = reinterpret_cast<intptr_t>(h);
    return true;
}

long ReadFile::readAt(char* to, long size, long offset) const {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    DWORD n = 0;
    if (!::ReadFile(asHandle(handle), to, static_cast<DWORD>(size), &n, &at))
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return static_cast<long>(n);
}

long long ReadFile::size() const {
    LARGE_INTEGER s;
    if (!GetFileSizeEx(asHandle(handle), &s)) return -1;
    return static_cast<long long>(s.QuadPart);
}

long long regularFileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(widepath::toWide(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool isRegularFile(const std::string& path) { return regularFileSize(path) >= 0; }

bool writeDurably(const std::string& path, const char* data, size_t size, std::string* why) {
    HANDLE h = CreateFileW(widepath::toWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return failed(why);
    while (size > 0) {
        DWORD n = 0;
        const DWORD ask = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        if (!WriteFile(h, data, ask, &n, nullptr) || n == 0) {
            failed(why);
            CloseHandle(h);
            return false;
        }
        data += n;
        size -= n;
    }
    // On disk before the file is moved into place.
    if (!FlushFileBuffers(h)) {
        failed(why);
        CloseHandle(h);
        return false;
    }
    return CloseHandle(h) ? true : failed(why);
}

bool replaceFile(const std::string& from, const std::string& to, std::string* why) {
    if (MoveFileExW(widepath::toWide(from).c_str(), widepath::toWide(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    return failed(why);
}

bool removeFile(const std::string& path) { return DeleteFileW(widepath::toWide(path).c_str()) != 0; }

}  // namespace diskfile

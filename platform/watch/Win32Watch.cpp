// The file watch over ReadDirectoryChangesW: one directory handle per
// watched root, read with bWatchSubtree set, so every directory below it,
// including those created later, is covered by the one handle. wait() waits
// on the roots' overlapped events and a stop event together, and gathers
// every read that is ready into one Changes (a read returns what the system
// has queued, which may be a part of a save).
//
// What a record says of a file: FILE_ACTION_ADDED and FILE_ACTION_MODIFIED
// are Modified (the system never says when a writer closes the file, so
// completesOnQuiet() is true), FILE_ACTION_RENAMED_NEW_NAME is MovedIn,
// FILE_ACTION_REMOVED and FILE_ACTION_RENAMED_OLD_NAME are Removed. A file
// moved in from outside the tree comes as added (Modified), as the system
// reports it. Records of directories are not files: a directory that
// appears is listed and its files count as changed (Modified when it was
// created, since files written into it may still be open; MovedIn when it
// was renamed into place), a directory's own time changes and its removal
// are not reported. A full buffer (the system's "too many changes", zero
// bytes returned) is a notice, and every file of that tree counts as
// Modified. A root whose read ends in an error is no longer watched: the
// notice says it went away when it is no longer there, else that its watch
// failed and why.
// The handle keeps the root open, so its parent cannot be removed while it
// is watched.
//
// Paths: UTF-8 in the interface, wide strings to the system. A reported path
// is the root as it was added (trailing separators dropped) then "/" and
// the path below it with '/' between its parts, whatever separators the
// system used: callers join a root and a relative path with '/' (the
// content watch finds a file's mount by "<directory>/", the resource layer
// names every resource with '/'), and Windows takes '/' and '\' alike.
//
// Limits: a thread can wait on 64 handles, the stop event among them, so a
// watch has at most 63 roots; the roots after them are refused with the
// limit notice. maxDirectories > 0 caps the directories a watch counts, each
// root and every directory below it as the inotify watch counts them: the
// directories over the cap (in the order they are found) and those below
// them are left out, and nothing in them is reported.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "interfaces/FileWatch.h"

namespace filewatch {
namespace {

constexpr DWORD notifyFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                               FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_CREATION;
// The most a read returns at once; the system keeps what comes between two
// reads in a buffer of the same size. 64 KB is also the most a network
// share accepts.
constexpr DWORD bufferBytes = 64 * 1024;
// The stop event takes one of the handles a thread can wait on.
constexpr size_t maxRoots = MAXIMUM_WAIT_OBJECTS - 1;
// The most reads gathered into one Changes.
constexpr int maxRounds = 64;

std::wstring wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string utf8(const wchar_t* text, size_t length) {
    if (length == 0) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

// The system's text for an error code, without its closing period and line
// break.
std::string systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n && text ? utf8(text, n) : std::string();
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\r' || out.back() == '\n' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out.empty() ? "error " + std::to_string(code) : out;
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// A path below a root: the root then "/" (unless the root ends in one, as
// "C:/" does) then the relative path.
std::string joined(const std::string& root, const std::string& relative) {
    if (relative.empty()) return root;
    return root + (isSeparator(root.back()) ? "" : "/") + relative;
}

// The directory part of a relative path ("" for a file right in the root).
std::string parentOf(const std::string& relative) {
    const size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

DWORD attributesOf(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool isDirectoryAttributes(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A directory watched with everything below it.
struct Root {
    std::string path;     // as added, trailing separators dropped
    std::wstring system;  // the same for the system
    HANDLE directory = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED overlapped{};
    std::vector<DWORD> buffer;  // the records are DWORD-aligned
    bool reading = false;       // a read is under way
    bool gone = false;          // no longer watched: closed at the end of the round
    // The directories known below the root, relative with '/' ("" is the
    // root itself): their own records are not files. With a cap, only
    // those counted are here and records elsewhere are left out.
    std::set<std::string> directories;

    Root() = default;
    Root(const Root&) = delete;
    Root& operator=(const Root&) = delete;
    ~Root() { close(); }

    // Ends the read (waiting for a cancelled one, which writes into the
    // buffer until it is done) and closes the handles.
    void close() {
        if (reading) {
            DWORD bytes = 0;
            CancelIoEx(directory, &overlapped);
            GetOverlappedResult(directory, &overlapped, &bytes, TRUE);
            reading = false;
        }
        if (directory != INVALID_HANDLE_VALUE) CloseHandle(directory);
        if (event) CloseHandle(event);
        directory = INVALID_HANDLE_VALUE;
        event = nullptr;
    }

    std::wstring systemPath(const std::string& relative) const {
        if (relative.empty()) return system;
        std::wstring below = wide(relative);
        std::replace(below.begin(), below.end(), L'/', L'\\');
        return system + (system.back() == L'\\' || system.back() == L'/' ? L"" : L"\\") + below;
    }
};

class Win32Watch : public FileWatch {
public:
    explicit Win32Watch(size_t maxDirectories) : cap(maxDirectories) {
        stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!stopEvent) notices.push_back("failed to start the file watch: " + systemMessage(GetLastError()));
    }

    ~Win32Watch() override {
        roots.clear();  // each ends its read first
        if (stopEvent) CloseHandle(stopEvent);
    }

    AddResult addDirectory(const std::string& directory) override {
        std::lock_guard<std::mutex> guard(mutex);
        std::string path = directory;
        try {
            // "C:/" keeps its separator: "C:" alone is the drive's current directory.
            while (path.size() > 1 && isSeparator(path.back()) && !(path.size() == 3 && path[1] == ':'))
                path.pop_back();
            auto root = std::make_unique<Root>();
            root->path = path;
            root->system = wide(path);
            if (root->system.empty() || !isDirectoryAttributes(attributesOf(root->system)))
                return AddResult::NotDirectory;
            if (!stopEvent) return AddResult::Failed;
            if (roots.size() >= maxRoots) {
                reportLimit(path, "63 directory trees a watch can wait on");
                return AddResult::Failed;
            }
            if (!count(*root, "")) return AddResult::Failed;
            root->directory = CreateFileW(root->system.c_str(), FILE_LIST_DIRECTORY,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
            if (root->directory == INVALID_HANDLE_VALUE) return refuse(*root, GetLastError());
            root->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (!root->event) return refuse(*root, GetLastError());
            root->overlapped.hEvent = root->event;
            root->buffer.resize(bufferBytes / sizeof(DWORD));
            if (!read(*root)) return refuse(*root, GetLastError());
            // Listed once the read is under way: a directory made meanwhile
            // is found by the listing or comes as a record, or both. (Wine
            // also watches a subtree's existing directories only once they
            // are opened, as the listing does.)
            listTree(*root, "", nullptr);
            roots.push_back(std::move(root));
            return AddResult::Watched;
        } catch (...) {
            try {
                notices.push_back("failed to watch " + path + ": out of memory");
            } catch (...) {
            }
            return AddResult::Failed;
        }
    }

    bool completesOnQuiet() const override { return true; }

    Changes wait() override {
        Changes changes;
        try {
            std::map<std::string, size_t> seen;  // path -> its place in changes.files
            int rounds = 0;
            for (;;) {
                if (stopped.load()) {
                    changes.stopped = true;
                    return changes;
                }
                std::vector<HANDLE> handles;
                {
                    std::lock_guard<std::mutex> guard(mutex);
                    takeNotices(changes);
                    if (!stopEvent) {
                        changes.stopped = true;  // never started: the notice says why
                        return changes;
                    }
                    handles.push_back(stopEvent);
                    for (const auto& root : roots)
                        if (root->reading) handles.push_back(root->event);
                }
                // Once something is gathered, only what is ready already
                // joins it (a read returns what the system has queued, which
                // may be a part of it).
                const bool gathered = !changes.files.empty() || !changes.notices.empty();
                const DWORD ready = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                                           gathered ? 0 : INFINITE);
                if (ready == WAIT_FAILED) {
                    changes.notices.push_back("the file watch failed: " + systemMessage(GetLastError()));
                    stopped = true;
                    continue;
                }
                if (stopped.load()) continue;
                if (ready == WAIT_TIMEOUT) return changes;  // nothing more is ready
                if (ready > WAIT_OBJECT_0 && ready < WAIT_OBJECT_0 + handles.size()) {
                    std::lock_guard<std::mutex> guard(mutex);
                    readRoots(changes, seen);
                    takeNotices(changes);
                }
                // A tree that never stops changing still gets its changes out.
                if (++rounds >= maxRounds && (!changes.files.empty() || !changes.notices.empty())) return changes;
            }
        } catch (...) {
            try {
                changes.notices.push_back("the file watch failed: out of memory");
            } catch (...) {
            }
            return changes;
        }
    }

    void stop() override {
        stopped = true;
        if (stopEvent) SetEvent(stopEvent);
    }

private:
    using Add = std::map<std::string, size_t>;
    using Found = std::function<void(const std::string&)>;

    bool read(Root& root) {
        ResetEvent(root.event);
        root.reading = ReadDirectoryChangesW(root.directory, root.buffer.data(), bufferBytes, TRUE, notifyFilter,
                                             nullptr, &root.overlapped, nullptr) != 0;
        return root.reading;
    }

    AddResult refuse(Root& root, DWORD error) {
        notices.push_back("failed to watch " + root.path + ": " + systemMessage(error));
        root.close();
        uncount(root, "");
        return AddResult::Failed;
    }

    // Counts a directory below a root (relative "" for the root itself);
    // false, with the limit notice, when the cap is reached.
    bool count(Root& root, const std::string& relative) {
        if (root.directories.count(relative)) return true;
        if (cap != 0 && counted >= cap) {
            reportLimit(joined(root.path, relative), std::to_string(cap) + " directories, the watch's cap");
            return false;
        }
        root.directories.insert(relative);
        ++counted;
        return true;
    }

    // Forgets a directory and those below it; false when it was not one.
    bool uncount(Root& root, const std::string& relative) {
        if (!root.directories.erase(relative)) return false;
        --counted;
        // Those below sort together after "<relative>/" (not right after
        // "<relative>": "Sounds-old" comes between).
        const std::string below = relative.empty() ? std::string() : relative + "/";
        auto first = root.directories.lower_bound(below), last = first;
        while (last != root.directories.end() && last->compare(0, below.size(), below) == 0) ++last;
        counted -= static_cast<size_t>(std::distance(first, last));
        root.directories.erase(first, last);
        return true;
    }

    void reportLimit(const std::string& dir, const std::string& limit) {
        if (limitReported) return;
        limitReported = true;
        notices.push_back("the system's limit of watched directories is reached (" + limit + "): " + dir +
                          " and the directories after it are not watched");
    }

    // Lists the directory `relative` below a root: its subdirectories are
    // counted (as far as the cap allows) and listed in turn, and its files
    // (relative paths) given to `add` when there is one.
    void listTree(Root& root, const std::string& relative, const Found* add) {
        std::vector<std::string> subdirectories;
        WIN32_FIND_DATAW entry;
        std::wstring pattern = root.systemPath(relative);
        pattern += pattern.back() == L'\\' || pattern.back() == L'/' ? L"*" : L"\\*";  // "C:/" is a drive's root
        const HANDLE find = FindFirstFileW(pattern.c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) return;
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::string path = (relative.empty() ? "" : relative + "/") + utf8(name.data(), name.size());
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                if (add) (*add)(path);
            } else if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                subdirectories.push_back(path);  // a linked directory is not watched through its link
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
        for (const std::string& subdirectory : subdirectories)
            if (count(root, subdirectory)) listTree(root, subdirectory, add);
    }

    void takeNotices(Changes& changes) {
        for (std::string& notice : notices)
            if (std::find(changes.notices.begin(), changes.notices.end(), notice) == changes.notices.end())
                changes.notices.push_back(std::move(notice));
        notices.clear();
    }

    // Takes the records of every root whose read is done, and reads again.
    void readRoots(Changes& changes, Add& seen) {
        for (auto& owned : roots) {
            Root& root = *owned;
            if (!root.reading || !HasOverlappedIoCompleted(&root.overlapped)) continue;
            root.reading = false;
            DWORD bytes = 0;
            const bool done = GetOverlappedResult(root.directory, &root.overlapped, &bytes, FALSE) != 0;
            const DWORD error = done ? ERROR_SUCCESS : GetLastError();
            if (done && bytes > 0) {
                takeRecords(root, bytes, changes, seen);
            } else if ((done || error == ERROR_NOTIFY_ENUM_DIR) && present(root)) {
                overflow(root, changes, seen);
            } else {
                lose(root, error);
                continue;
            }
            if (!read(root)) lose(root, GetLastError());
        }
        sweep();
    }

    void sweep() {
        roots.erase(std::remove_if(roots.begin(), roots.end(), [](const auto& root) { return root->gone; }),
                    roots.end());
    }

    bool present(const Root& root) const { return isDirectoryAttributes(attributesOf(root.system)); }

    // A root that can no longer be read: gone, or refused by the system.
    void lose(Root& root, DWORD error) {
        if (!present(root)) notices.push_back(root.path + " went away: it is no longer watched");
        else notices.push_back("the watch of " + root.path + " failed: " + systemMessage(error) +
                               "; it is no longer watched");
        root.gone = true;
        uncount(root, "");
    }

    static void add(Changes& changes, Add& seen, const std::string& path, ChangeKind kind) {
        auto at = seen.emplace(path, changes.files.size());
        if (at.second) changes.files.push_back({path, kind});
        else changes.files[at.first->second].kind = kind;
    }

    // More changed than the buffer holds: which is unknown, so every file
    // of the tree counts as changed (removed ones cannot be told).
    void overflow(Root& root, Changes& changes, Add& seen) {
        notices.push_back("too many changes at once below " + root.path +
                          ": every file there counts as changed (removed files may go unnoticed)");
        uncount(root, "");
        if (!count(root, "")) return;
        const Found found = [&](const std::string& relative) {
            add(changes, seen, joined(root.path, relative), ChangeKind::Modified);
        };
        listTree(root, "", &found);
    }

    void takeRecords(Root& root, DWORD bytes, Changes& changes, Add& seen) {
        const auto* base = reinterpret_cast<const char*>(root.buffer.data());
        // A record is its header then its name: one of a one-letter name
        // is shorter than sizeof(FILE_NOTIFY_INFORMATION).
        const size_t header = offsetof(FILE_NOTIFY_INFORMATION, FileName);
        for (DWORD offset = 0; offset + header <= bytes;) {
            const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(base + offset);
            const size_t room = bytes - offset - header;
            const size_t length = std::min<size_t>(record->FileNameLength, room) / sizeof(WCHAR);
            std::string relative = utf8(record->FileName, length);
            std::replace(relative.begin(), relative.end(), '\\', '/');
            if (!relative.empty()) takeRecord(root, record->Action, relative, changes, seen);
            if (record->NextEntryOffset == 0) break;
            offset += record->NextEntryOffset;
        }
    }

    void takeRecord(Root& root, DWORD action, const std::string& relative, Changes& changes, Add& seen) {
        // With a cap, what happens in a directory left out is not seen.
        if (cap != 0 && !root.directories.count(parentOf(relative))) return;
        const std::string path = joined(root.path, relative);
        switch (action) {
            case FILE_ACTION_ADDED:
            case FILE_ACTION_RENAMED_NEW_NAME: {
                const ChangeKind kind = action == FILE_ACTION_ADDED ? ChangeKind::Modified : ChangeKind::MovedIn;
                const DWORD attributes = attributesOf(root.systemPath(relative));
                if (!isDirectoryAttributes(attributes)) {
                    add(changes, seen, path, kind);
                } else if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && count(root, relative)) {
                    // A directory that appeared: its files are changes too.
                    // Created ones may still be written (their own records
                    // follow); one renamed into place came whole.
                    const Found found = [&](const std::string& below) {
                        add(changes, seen, joined(root.path, below), kind);
                    };
                    listTree(root, relative, &found);
                }
                break;
            }
            case FILE_ACTION_MODIFIED:
                // A directory's own times change as its entries do.
                if (root.directories.count(relative) || isDirectoryAttributes(attributesOf(root.systemPath(relative))))
                    break;
                add(changes, seen, path, ChangeKind::Modified);
                break;
            case FILE_ACTION_REMOVED:
            case FILE_ACTION_RENAMED_OLD_NAME:
                if (!uncount(root, relative)) add(changes, seen, path, ChangeKind::Removed);
                break;
            default:
                break;
        }
    }

    std::mutex mutex;  // the roots and the notices
    HANDLE stopEvent = nullptr;
    size_t cap = 0;
    size_t counted = 0;  // directories counted against the cap, over every root
    bool limitReported = false;
    std::atomic<bool> stopped{false};
    std::vector<std::unique_ptr<Root>> roots;
    std::vector<std::string> notices;
};

}  // namespace

std::unique_ptr<FileWatch> createFileWatch(size_t maxDirectories) {
    return std::make_unique<Win32Watch>(maxDirectories);
}

}  // namespace filewatch

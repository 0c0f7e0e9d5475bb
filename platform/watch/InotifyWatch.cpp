// The file watch over Linux inotify: one watch per directory, added for
// every directory below a watched one and for directories created later.
// stop() writes to a pipe that wait() polls beside the inotify descriptor.
// A file's last event says what is known of it: closed after writing
// (IN_CLOSE_WRITE), moved into place (IN_MOVED_TO), written or created and
// perhaps still open (IN_MODIFY, IN_CREATE), or gone (IN_DELETE,
// IN_MOVED_FROM). Attribute changes (a chmod, a touch) change no bytes and
// are not reported.
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "interfaces/FileWatch.h"

namespace filewatch {
namespace {

constexpr uint32_t fileEvents = IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_DELETE_SELF | IN_MOVE_SELF;

ChangeKind kindOf(uint32_t mask) {
    if (mask & IN_CLOSE_WRITE) return ChangeKind::Written;
    if (mask & IN_MOVED_TO) return ChangeKind::MovedIn;
    if (mask & (IN_DELETE | IN_MOVED_FROM)) return ChangeKind::Removed;
    return ChangeKind::Modified;
}

bool isDirectory(const std::string& path) {
    struct stat s;
    return ::stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

class InotifyWatch : public FileWatch {
public:
    explicit InotifyWatch(size_t maxDirectories) : cap(maxDirectories) {
        fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd < 0) notices.push_back(std::string("failed to start the file watch: ") + std::strerror(errno));
        if (pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) wakePipe[0] = wakePipe[1] = -1;
    }

    ~InotifyWatch() override {
        if (fd >= 0) ::close(fd);
        for (int end : wakePipe)
            if (end >= 0) ::close(end);
    }

    AddResult addDirectory(const std::string& directory) override {
        std::lock_guard<std::mutex> guard(mutex);
        if (!isDirectory(directory)) return AddResult::NotDirectory;
        if (fd < 0) return AddResult::Failed;
        std::string root = directory;
        while (root.size() > 1 && root.back() == '/') root.pop_back();
        roots.insert(root);
        return watchTree(root, nullptr) ? AddResult::Watched : AddResult::Failed;
    }

    bool completesOnQuiet() const override { return false; }

    Changes wait() override {
        Changes changes;
        std::map<std::string, size_t> seen;  // path -> its place in changes.files
        for (;;) {
            if (stopped.load()) {
                changes.stopped = true;
                return changes;
            }
            {
                std::lock_guard<std::mutex> guard(mutex);
                changes.notices.swap(notices);
            }
            pollfd fds[2] = {{fd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
            const int ready = changes.notices.empty() ? ::poll(fds, 2, -1) : ::poll(fds, 2, 0);
            if (ready < 0 && errno != EINTR) {
                changes.notices.push_back(std::string("the file watch failed: ") + std::strerror(errno));
                stopped = true;
                continue;
            }
            if (stopped.load()) continue;
            if (ready > 0 && (fds[0].revents & POLLIN)) readEvents(changes, seen);
            if (!changes.files.empty() || !changes.notices.empty()) return changes;
            if (fd < 0 && wakePipe[0] < 0) {
                changes.stopped = true;
                return changes;
            }
        }
    }

    void stop() override {
        stopped = true;
        if (wakePipe[1] >= 0) {
            const char byte = 1;
            [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
        }
    }

private:
    // Watches dir and the directories below it; every file found is added
    // to `found` when given (a directory that appeared while watching).
    bool watchTree(const std::string& dir, std::vector<std::string>* found) {
        if (!watchOne(dir)) return false;
        std::error_code error;
        std::filesystem::directory_iterator it(dir, error), end;
        for (; !error && it != end; it.increment(error)) {
            const std::string path = it->path().string();
            std::error_code typeError;
            if (it->is_directory(typeError) && !it->is_symlink(typeError)) watchTree(path, found);
            else if (found) found->push_back(path);
        }
        return true;
    }

    bool watchOne(const std::string& dir) {
        if (cap != 0 && byDescriptor.size() >= cap) {
            reportLimit(dir);
            return false;
        }
        const int wd = inotify_add_watch(fd, dir.c_str(), fileEvents | IN_ONLYDIR);
        if (wd < 0) {
            if (errno == ENOSPC) reportLimit(dir);
            else notices.push_back("failed to watch " + dir + ": " + std::strerror(errno));
            return false;
        }
        byDescriptor[wd] = dir;
        return true;
    }

    void reportLimit(const std::string& dir) {
        if (limitReported) return;
        limitReported = true;
        notices.push_back("the system's limit of watched directories is reached (fs.inotify.max_user_watches): " +
                          dir + " and the directories after it are not watched");
    }

    void readEvents(Changes& changes, std::map<std::string, size_t>& seen) {
        alignas(inotify_event) char buffer[16384];
        std::lock_guard<std::mutex> guard(mutex);
        auto add = [&](const std::string& path, ChangeKind kind) {
            auto at = seen.emplace(path, changes.files.size());
            if (at.second) changes.files.push_back({path, kind});
            else changes.files[at.first->second].kind = kind;
        };
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (event->mask & IN_Q_OVERFLOW) {
                    changes.notices.push_back("too many changes at once: some files may not be reloaded");
                    continue;
                }
                auto dir = byDescriptor.find(event->wd);
                if (dir == byDescriptor.end()) continue;
                if (event->mask & IN_IGNORED) {
                    if (roots.count(dir->second))
                        changes.notices.push_back(dir->second + " went away: it is no longer watched");
                    byDescriptor.erase(dir);
                    continue;
                }
                if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) continue;  // IN_IGNORED follows
                if (event->len == 0) continue;
                const std::string path = dir->second + "/" + event->name;
                if (event->mask & IN_ISDIR) {
                    if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
                        std::vector<std::string> found;
                        watchTree(path, &found);
                        // Files already there when the watch came: whole as far as
                        // is known (later writes bring their own events).
                        for (const std::string& f : found) add(f, ChangeKind::MovedIn);
                        for (std::string& notice : notices) changes.notices.push_back(std::move(notice));
                        notices.clear();
                    }
                    continue;
                }
                add(path, kindOf(event->mask));
            }
        }
    }

    std::mutex mutex;  // the descriptor table and the notices
    int fd = -1;
    int wakePipe[2] = {-1, -1};
    size_t cap = 0;
    bool limitReported = false;
    std::atomic<bool> stopped{false};
    std::map<int, std::string> byDescriptor;
    std::set<std::string> roots;
    std::vector<std::string> notices;
};

}  // namespace

std::unique_ptr<FileWatch> createFileWatch(size_t maxDirectories) {
    return std::make_unique<InotifyWatch>(maxDirectories);
}

}  // namespace filewatch

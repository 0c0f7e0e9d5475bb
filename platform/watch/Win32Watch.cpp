// The file watch on Windows.
#include <condition_variable>
#include <mutex>

#include "interfaces/FileWatch.h"

namespace filewatch {
namespace {

class NoWatch : public FileWatch {
public:
    AddResult addDirectory(const std::string&) override { return AddResult::Failed; }
    Changes wait() override {
        std::unique_lock<std::mutex> guard(mutex);
        stopped.wait(guard, [this] { return isStopped; });
        Changes changes;
        changes.stopped = true;
        return changes;
    }
    void stop() override {
        std::lock_guard<std::mutex> guard(mutex);
        isStopped = true;
        stopped.notify_all();
    }
    bool completesOnQuiet() const override { return true; }

private:
    std::mutex mutex;
    std::condition_variable stopped;
    bool isStopped = false;
};

}  // namespace

std::unique_ptr<FileWatch> createFileWatch(size_t) { return std::make_unique<NoWatch>(); }

}  // namespace filewatch

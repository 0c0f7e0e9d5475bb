#pragma once
// A resource stream over bytes in memory that stops in its read once it
// reaches `holdAt` and waits there until the test releases it: a load held
// half-way, so a test can see what the device does meanwhile.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "interfaces/Resource.h"

namespace testsupport {

class HeldStream : public ResourceStream {
public:
    HeldStream(std::string path, std::string bytes, long holdAt)
        : path(std::move(path)), bytes(std::move(bytes)), holdAt(holdAt) {}
    long seek(int origin, long offset) override {
        const long size = static_cast<long>(bytes.size());
        const long base = origin == Begin ? 0 : origin == Current ? position : size;
        if (base + offset < 0 || base + offset > size) return -1;
        return position = base + offset;
    }
    long read(void* buffer, long size) override {
        if (position + size > holdAt) {
            std::unique_lock<std::mutex> guard(mutex);
            held = true;
            changed.notify_all();
            changed.wait(guard, [this] { return released; });
        }
        const long count = std::min(size, static_cast<long>(bytes.size()) - position);
        if (count <= 0) return 0;
        std::memcpy(buffer, bytes.data() + position, static_cast<size_t>(count));
        position += count;
        return count;
    }
    const std::string& getPath() const override { return path; }

    bool isHeld() {
        std::lock_guard<std::mutex> guard(mutex);
        return held;
    }
    void waitUntilHeld() {
        std::unique_lock<std::mutex> guard(mutex);
        changed.wait(guard, [this] { return held; });
    }
    void release() {
        std::lock_guard<std::mutex> guard(mutex);
        released = true;
        changed.notify_all();
    }

private:
    std::string path, bytes;
    long holdAt;
    long position = 0;
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false, released = false;
};

}  // namespace testsupport

#pragma once
// What the fuzz targets share: the fuzzer's bytes as a resource stream, and
// the library's log kept off standard error.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "interfaces/Debug.h"
#include "interfaces/Resource.h"

namespace fuzzsupport {

// The input served from memory under `path`, `piece` bytes at most a read,
// as a stream over an archive may answer.
class InputStream : public ResourceStream {
public:
    InputStream(const uint8_t* data, size_t size, std::string path, long piece)
        : data(data), size(static_cast<long>(size)), piece(piece), path(std::move(path)) {}
    long seek(int origin, long offset) override {
        const long base = origin == Begin ? 0 : origin == Current ? position : size;
        if (offset > size || offset < -size || base + offset < 0 || base + offset > size) return -1;
        return position = base + offset;
    }
    long read(void* buffer, long wanted) override {
        const long count = std::min({wanted, size - position, piece});
        if (count <= 0) return 0;
        std::memcpy(buffer, data + position, static_cast<size_t>(count));
        position += count;
        return count;
    }
    const std::string& getPath() const override { return path; }

private:
    const uint8_t* data;
    long size;
    long piece;
    long position = 0;
    const std::string path;
};

// Turns the log's standard error output off, once per process.
inline void quiet() {
    static const bool done = (debug::setStandardErrorOutput(false), true);
    (void)done;
}

}  // namespace fuzzsupport

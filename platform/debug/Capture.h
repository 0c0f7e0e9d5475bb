#pragma once
// Records every message posted to any channel while it exists, for tests and
// tools that need to see what the library logged. Several captures may exist
// at once; each sees the messages posted after it was created.
//
// Threads: messages may be posted from any thread while a capture records.
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "interfaces/Debug.h"
#include "interfaces/Export.h"

namespace debug {

struct Record {
    std::string channel;
    Kind kind;
    float level;
    std::string text;
    std::string context;  // "(file,line)"
};

class ZULSOUND_API Capture {
public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::vector<Record> records() const;
    // Records of one channel, or whose text equals `text`.
    std::vector<Record> onChannel(const std::string& channel) const;
    size_t count(const std::string& text) const;
    bool contains(const std::string& channel, Kind kind, const std::string& text) const;
    void clear();

    struct Sink;  // the spdlog sink behind it

private:
    std::shared_ptr<Sink> sink;
};

const char* kindName(Kind kind);

}  // namespace debug

// The logging library over spdlog. Channels are names; posting formats one
// line and hands it to every sink: standard error (warnings and errors), an
// optional log file, and any capture that is recording. Only spdlog's
// thread-safe (_mt) sinks are used: any thread may post at any time.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include <spdlog/details/log_msg.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include "interfaces/Debug.h"
#include "platform/debug/LoggingInternal.h"

namespace debug {
namespace {

spdlog::level::level_enum spdlogLevel(Kind kind) {
    switch (kind) {
        case Kind::Error: return spdlog::level::err;
        case Kind::Warning: return spdlog::level::warn;
        case Kind::Message: return spdlog::level::info;
    }
    return spdlog::level::info;
}

// The outputs every channel writes to. Never destroyed, so that static
// objects may still log while the process shuts down.
class Output {
public:
    Output() {
        standardError = std::make_shared<spdlog::sinks::stderr_sink_mt>();
        standardError->set_pattern("[%n] %v");
        standardError->set_level(spdlog::level::warn);
    }

    void post(const std::string& channel, const Message& message) {
        const std::string line = format(message);
        spdlog::details::log_msg msg(spdlog::source_loc{}, channel, spdlogLevel(message.getKind()), line);
        const bool withinThreshold = message.getKind() == Kind::Error || message.getLevel() <= maxLevel();
        detail::Posting posting{&channel, &message};
        current = &posting;
        {
            std::shared_lock<std::shared_mutex> guard(mutex);
            for (const auto& sink : captures) sink->log(msg);
            if (withinThreshold) {
                if (standardErrorEnabled && standardError->should_log(msg.level)) standardError->log(msg);
                if (file) {
                    file->log(msg);
                    if (message.getKind() != Kind::Message) file->flush();
                }
            }
        }
        current = nullptr;
    }

    bool setFile(const std::string& path) {
        std::shared_ptr<spdlog::sinks::sink> sink;
        if (!path.empty()) {
            try {
                sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(path, false);
                sink->set_pattern("[%Y-%m-%d %H:%M:%S.%e] [%n] %v");
                sink->set_level(spdlog::level::trace);
            } catch (const std::exception& e) {
                post("Logging", Error(DEBUG_CONTEXT) << "failed to open log file " << path << ": " << e.what());
                return false;
            }
        }
        std::unique_lock<std::shared_mutex> guard(mutex);
        file = sink;
        return true;
    }

    void setThreshold(float level) { threshold.store(level); }
    void setStandardError(bool enabled) {
        std::unique_lock<std::shared_mutex> guard(mutex);
        standardErrorEnabled = enabled;
    }

    void addCapture(const std::shared_ptr<spdlog::sinks::sink>& sink) {
        std::unique_lock<std::shared_mutex> guard(mutex);
        captures.push_back(sink);
    }
    void removeCapture(const std::shared_ptr<spdlog::sinks::sink>& sink) {
        std::unique_lock<std::shared_mutex> guard(mutex);
        captures.erase(std::remove(captures.begin(), captures.end(), sink), captures.end());
    }

    static thread_local const detail::Posting* current;

private:
    float maxLevel() const { return threshold.load(); }

    static std::string format(const Message& message) {
        std::ostringstream line;
        switch (message.getKind()) {
            case Kind::Error: line << "error: "; break;
            case Kind::Warning: line << "warning (" << message.getLevel() << "): "; break;
            case Kind::Message: line << "message (" << message.getLevel() << "): "; break;
        }
        line << message.getText() << ' ' << message.getContext().getText();
        return line.str();
    }

    std::shared_mutex mutex;
    std::shared_ptr<spdlog::sinks::sink> standardError;
    bool standardErrorEnabled = true;
    std::shared_ptr<spdlog::sinks::sink> file;
    std::vector<std::shared_ptr<spdlog::sinks::sink>> captures;
    std::atomic<float> threshold{std::numeric_limits<float>::infinity()};
};

thread_local const detail::Posting* Output::current = nullptr;

Output& output() {
    static Output* instance = new Output;
    return *instance;
}

const char* baseName(const char* path) {
    if (!path) return "";
    const char* base = path;
    for (const char* c = path; *c; ++c)
        if (*c == '/' || *c == '\\') base = c + 1;
    return base;
}

}  // namespace

namespace detail {
const Posting* currentPosting() { return Output::current; }
void addSink(const std::shared_ptr<spdlog::sinks::sink>& sink) { output().addCapture(sink); }
void removeSink(const std::shared_ptr<spdlog::sinks::sink>& sink) { output().removeCapture(sink); }
}  // namespace detail

Context::Context(const char* f, int l) : file(f), line(l) {}

std::string Context::getFile() const { return baseName(file); }

std::string Context::getText() const { return "(" + getFile() + "," + std::to_string(line) + ")"; }

Message::Message(const Context& c, float lvl) : Message(c, lvl, Kind::Message) {}
Message::Message(const Context& c, float lvl, Kind k) : context(c), level(lvl), kind(k) {}
Message::~Message() = default;
Message::Message(const Message& o) : context(o.context), level(o.level), kind(o.kind), stream(o.stream.str()) {
    stream.seekp(0, std::ios_base::end);
}
Message& Message::operator=(const Message& o) {
    context = o.context;
    level = o.level;
    kind = o.kind;
    stream.str(o.stream.str());
    stream.seekp(0, std::ios_base::end);
    return *this;
}

Filter::Filter(const std::string& n) : name(n) {}
Filter::~Filter() = default;

void Filter::post(const Message& message) const {
    try {
        output().post(name, message);
    } catch (...) {
        // A failing output (disk full, closed descriptor) never reaches the caller.
    }
}

Exception::Exception(std::string t) : text(std::move(t)) {}
Exception::~Exception() = default;
std::string Exception::getString() const { return text; }

bool setLogFile(const std::string& path) {
    try {
        return output().setFile(path);
    } catch (...) {
        return false;
    }
}

void setLevelThreshold(float maxLevel) { output().setThreshold(std::isnan(maxLevel) ? 0.0f : maxLevel); }

void setStandardErrorOutput(bool enabled) { output().setStandardError(enabled); }

}  // namespace debug

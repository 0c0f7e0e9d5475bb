// A spdlog sink that keeps what was posted, with the channel, kind, level and
// context of the message being posted on the calling thread.
#include "platform/debug/Capture.h"

#include <spdlog/sinks/base_sink.h>

#include "platform/debug/LoggingInternal.h"

namespace debug {

struct Capture::Sink : public spdlog::sinks::base_sink<std::mutex> {
    std::vector<Record> records;

    std::vector<Record> snapshot() {
        std::lock_guard<std::mutex> guard(mutex_);
        return records;
    }
    void reset() {
        std::lock_guard<std::mutex> guard(mutex_);
        records.clear();
    }

protected:
    void sink_it_(const spdlog::details::log_msg&) override {
        const detail::Posting* posting = detail::currentPosting();
        if (!posting) return;
        const Message& m = *posting->message;
        records.push_back(Record{*posting->channel, m.getKind(), m.getLevel(), m.getText(), m.getContext().getText()});
    }
    void flush_() override {}
};

Capture::Capture() : sink(std::make_shared<Sink>()) { detail::addSink(sink); }
Capture::~Capture() { detail::removeSink(sink); }

std::vector<Record> Capture::records() const { return sink->snapshot(); }

std::vector<Record> Capture::onChannel(const std::string& channel) const {
    std::vector<Record> result;
    for (auto& r : records())
        if (r.channel == channel) result.push_back(r);
    return result;
}

size_t Capture::count(const std::string& text) const {
    size_t n = 0;
    for (auto& r : records())
        if (r.text == text) ++n;
    return n;
}

bool Capture::contains(const std::string& channel, Kind kind, const std::string& text) const {
    for (auto& r : records())
        if (r.channel == channel && r.kind == kind && r.text == text) return true;
    return false;
}

void Capture::clear() { sink->reset(); }

const char* kindName(Kind kind) {
    switch (kind) {
        case Kind::Error: return "error";
        case Kind::Warning: return "warning";
        case Kind::Message: return "message";
    }
    return "?";
}

}  // namespace debug

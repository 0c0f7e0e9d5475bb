#pragma once
// Shared between the spdlog-based output and the capture: the message being
// posted on this thread, read by sinks while spdlog calls them synchronously.
#include <memory>
#include <string>

#include <spdlog/sinks/sink.h>

#include "interfaces/Debug.h"

namespace debug::detail {

struct Posting {
    const std::string* channel;
    const Message* message;
};

const Posting* currentPosting();

void addSink(const std::shared_ptr<spdlog::sinks::sink>& sink);
void removeSink(const std::shared_ptr<spdlog::sinks::sink>& sink);

}  // namespace debug::detail

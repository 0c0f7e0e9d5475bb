#pragma once
// Log assertions for tests: a capture plus matchers on what was logged.
#include <ostream>
#include <string>

#include "platform/debug/Capture.h"

namespace debug {
inline std::ostream& operator<<(std::ostream& out, const Record& r) {
    return out << "[" << r.channel << "] " << kindName(r.kind) << " (" << r.level << ") \"" << r.text << "\" "
               << r.context;
}
inline bool operator==(const Record& a, const Record& b) {
    return a.channel == b.channel && a.kind == b.kind && a.level == b.level && a.text == b.text;
}
}  // namespace debug

namespace testsupport {

// A record to compare with: channel, kind, level and text (not the context).
inline debug::Record logged(const std::string& channel, debug::Kind kind, float level, const std::string& text) {
    return debug::Record{channel, kind, level, text, std::string()};
}

}  // namespace testsupport

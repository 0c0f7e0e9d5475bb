// Reading and writing block trees as configuration text (the syntax is in
// ConfigText.h). A read fills a fresh tree and replaces the block only when
// the whole text parsed; a write builds the whole text first and writes it
// through a temporary file renamed over the target, so a failure never
// leaves a half-written file behind.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>

#include "interfaces/Config.h"
#include "interfaces/Debug.h"
#include "interfaces/Resource.h"
#include "platform/config/ConfigText.h"

namespace configmanager {
namespace {

const debug::Filter& channel() {
    static const debug::Filter* filter = new debug::Filter("ConfigManager");
    return *filter;
}

}  // namespace

ConfigManager::ConfigManager() = default;
ConfigManager::~ConfigManager() = default;

bool ConfigManager::isWritableName(const std::string& name) {
    if (name.empty() || name.size() > maxNameLength) return false;
    const char first = name[0];
    if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z'))) return false;
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                        c == '_' || c == '*';
        if (!ok) return false;
    }
    return true;
}

bool ConfigManager::checkText(const std::string& text, int* line, std::string* reason) {
    Block scratch;
    const ReadResult result = parseConfigText(text, &scratch);
    if (result.ok) return true;
    *line = result.line;
    *reason = result.reason;
    return false;
}

bool ConfigManager::readText(const std::string& text, const std::string& origin) {
    Block fresh;
    const ReadResult result = parseConfigText(text, &fresh);
    if (!result.ok) {
        if (result.line > 0)
            channel().post(debug::Error(DEBUG_CONTEXT) << "failed to read " << origin << " at line " << result.line
                                                       << ": " << result.reason);
        else
            channel().post(debug::Error(DEBUG_CONTEXT) << "failed to read " << origin << ": " << result.reason);
        return false;
    }
    for (const std::string& warning : result.warnings)
        channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f) << origin << ": " << warning);
    std::lock_guard<Block> guard(*this);
    properties.swap(fresh.properties);
    index.swap(fresh.index);
    return true;
}

bool ConfigManager::readFile(const std::string& path) {
    std::string text;
    {
        ResourceManager* resources = theResourceManager;
        if (!resources) {
            channel().post(debug::Error(DEBUG_CONTEXT) << "failed to read " << path << ": no resource manager");
            return false;
        }
        ResourceLock guard(resources);
        if (resources->notFound(path.c_str())) {
            channel().post(debug::Message(DEBUG_CONTEXT, 1.0f) << "failed to read " << path << ": not found");
            return false;
        }
        ResourceStream* stream = resources->openStream(path.c_str());
        if (!stream) {
            channel().post(debug::Error(DEBUG_CONTEXT) << "failed to read " << path << ": cannot open");
            return false;
        }
        const long size = stream->seek(ResourceStream::End, 0);
        bool ok = size >= 0 && stream->seek(ResourceStream::Begin, 0) == 0;
        if (ok) {
            try {
                text.resize(static_cast<size_t>(size));
                ok = size == 0 || stream->read(&text[0], size) == size;
            } catch (const std::bad_alloc&) {
                ok = false;  // too large to hold; the stream still goes back
            }
        }
        resources->closeStream(stream);
        if (!ok) {
            channel().post(debug::Error(DEBUG_CONTEXT) << "failed to read " << path << ": read error");
            return false;
        }
    }
    return readText(text, path);
}

bool ConfigManager::readPlainFile(const std::string& filePath) {
    std::ifstream in(filePath, std::ios::binary);
    if (!in) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to read " << filePath << ": cannot open");
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to read " << filePath << ": read error");
        return false;
    }
    return readText(text.str(), filePath);
}

bool ConfigManager::writeText(std::string* text) const {
    if (!text) return false;
    std::string written, reason;
    if (!writeConfigText(*this, &written, &reason)) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to write: " << reason);
        return false;
    }
    text->swap(written);
    return true;
}

namespace {

// Writes all of `text` to a new file; false with errno set on a failure.
bool writeWholeFile(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    // On disk before the rename makes it the file, so a crash leaves either
    // the old file or the whole new one.
    if (::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return false;
    }
    return ::close(fd) == 0;
}

}  // namespace

bool ConfigManager::writePlainFile(const std::string& filePath) const {
    std::string text;
    if (!writeText(&text)) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to write " << filePath << ": nothing written");
        return false;
    }
    const std::string temporary = filePath + ".tmp";
    if (!writeWholeFile(temporary, text)) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to write " << filePath << ": cannot write "
                                                   << temporary << ": " << std::strerror(errno));
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), filePath.c_str()) != 0) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to write " << filePath << ": cannot replace it: "
                                                   << std::strerror(errno));
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace configmanager

// Reading and writing block trees as configuration text (the syntax is in
// ConfigText.h). A read fills a fresh tree and replaces the block only when
// the whole text parsed; a write builds the whole text first and writes it
// through a temporary file renamed over the target, so a failure never
// leaves a half-written file behind.
#include <new>
#include <string>

#include "interfaces/Config.h"
#include "interfaces/Debug.h"
#include "interfaces/Resource.h"
#include "platform/config/ConfigText.h"
#include "platform/files/DiskFile.h"

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
    diskfile::ReadFile in;
    if (!in.open(filePath)) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to read " << filePath << ": cannot open");
        return false;
    }
    std::string text;
    char block[16384];
    long n;
    while ((n = in.readAt(block, sizeof block, static_cast<long>(text.size()))) > 0)
        text.append(block, static_cast<size_t>(n));
    if (n < 0) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to read " << filePath << ": read error");
        return false;
    }
    return readText(text, filePath);
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

bool ConfigManager::writePlainFile(const std::string& filePath) const {
    std::string text;
    if (!writeText(&text)) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to write " << filePath << ": nothing written");
        return false;
    }
    const std::string temporary = filePath + ".tmp";
    std::string why;
    if (!diskfile::writeDurably(temporary, text.data(), text.size(), &why)) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to write " << filePath << ": cannot write "
                                                   << temporary << ": " << why);
        diskfile::removeFile(temporary);
        return false;
    }
    if (!diskfile::replaceFile(temporary, filePath, &why)) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to write " << filePath << ": cannot replace it: "
                                                   << why);
        diskfile::removeFile(temporary);
        return false;
    }
    return true;
}

}  // namespace configmanager

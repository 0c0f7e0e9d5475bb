#include "sound/request/EffectsFile.h"

#include <charconv>
#include <cstring>
#include <deque>
#include <limits>

#include "interfaces/Resource.h"
#include "sound/manager/LogChannels.h"

// The generated scanner and parser.
typedef void* yyscan_t;
struct yy_buffer_state;
int effectslex_init(yyscan_t* scanner);
int effectslex_destroy(yyscan_t scanner);
yy_buffer_state* effects_scan_bytes(const char* bytes, int length, yyscan_t scanner);
void effects_delete_buffer(yy_buffer_state* buffer, yyscan_t scanner);
int yyparse(void* scanner);

namespace {

// Loaded with the library; changed only by "default" entries.
const EffectConfig builtInDefaults{};
EffectConfig defaultConfig;
std::string directoryPrefix;
int lineNumber = 1;
EffectsFile::Records* target = nullptr;
std::deque<std::string> texts;  // token values of the read in progress

void insert(const char* name, EffectConfig* record) {
    if (!target) {
        delete record;
        return;
    }
    // The first record of a name wins.
    if (!target->emplace(name, record).second) delete record;
}

}  // namespace

void EffectsFile::resetDirectoryPrefix() { directoryPrefix.clear(); }
void EffectsFile::setTarget(Records* records) { target = records; }
const EffectConfig& EffectsFile::getDefaults() { return defaultConfig; }
void EffectsFile::restoreBuiltInDefaults() { defaultConfig = builtInDefaults; }

void EffectsFile::read(const std::string& fileName) {
    ResourceManager* resources = theResourceManager;
    if (!resources) return;
    ResourceLock guard(resources);
    lineNumber = 1;
    const std::string path = "/Configs/Sounds/" + fileName;
    if (resources->notFound(path.c_str())) return;
    ResourceStream* stream = resources->openStream(path.c_str());
    if (!stream) return;
    std::string text;
    const long size = stream->seek(ResourceStream::End, 0);
    bool ok = size >= 0 && stream->seek(ResourceStream::Begin, 0) == 0;
    if (ok && size > 0) {
        text.resize(static_cast<size_t>(size));
        ok = stream->read(&text[0], size) == size;
    }
    resources->closeStream(stream);
    if (ok) parse(text);
}

void EffectsFile::parse(const std::string& text) {
    lineNumber = 1;
    // The text ends at its first zero byte, as a zero-terminated block would.
    const size_t length = std::min(text.size(), std::strlen(text.c_str()));
    if (length > static_cast<size_t>(std::numeric_limits<int>::max() - 2)) return;
    yyscan_t scanner = nullptr;
    if (effectslex_init(&scanner) != 0) return;
    // A fresh buffer over this text only: nothing of an earlier read remains.
    yy_buffer_state* buffer = effects_scan_bytes(text.data(), static_cast<int>(length), scanner);
    if (yyparse(scanner) != 0)
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Syntax error in line " << lineNumber);
    effects_delete_buffer(buffer, scanner);
    effectslex_destroy(scanner);
    texts.clear();
}

const char* EffectsFile::keep(const char* text, int length) {
    texts.emplace_back(text, static_cast<size_t>(length));
    return texts.back().c_str();
}

float EffectsFile::toFloat(const char* text) {
    float value = 0.0f;
    const char* end = text + std::strlen(text);
    if (std::from_chars(text, end, value).ec != std::errc()) value = 0.0f;  // "." alone is 0.0
    return value;
}

int EffectsFile::toInteger(const char* text) {
    long long value = 0;
    const char* end = text + std::strlen(text);
    if (std::from_chars(text, end, value).ec != std::errc() || value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    return static_cast<int>(value);
}

void EffectsFile::newLine() { ++lineNumber; }

void EffectsFile::countLines(const char* text) {
    for (const char* c = text; *c; ++c)
        if (*c == '\n') ++lineNumber;
}

int EffectsFile::reportInvalidSymbol() {
    channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Invalid symbol at line " << lineNumber);
    return 0;  // end of input
}

int EffectsFile::reportTooLong() {
    channels::soundManager.post(debug::Error(DEBUG_CONTEXT)
                                << "Token longer than " << maxTokenLength << " characters at line " << lineNumber);
    return 0;
}

void EffectsFile::reportParseError() {
    channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "YYERROR: " << "parse error" << " at line "
                                                            << lineNumber);
}

void EffectsFile::addFull(const char* name, const char* file, float volume, float radius, const char* storage,
                          bool looped, const char* mode, int spare) {
    insert(name, new EffectConfig{directoryPrefix + file, volume, radius, storage, looped, mode, spare});
}

void EffectsFile::addWithVolumeAndRadius(const char* name, const char* file, float volume, float radius) {
    insert(name, new EffectConfig{directoryPrefix + file, volume, radius, defaultConfig.storage, defaultConfig.looped,
                                  defaultConfig.mode, defaultConfig.spareNumber});
}

void EffectsFile::addShort(const char* name, const char* file) {
    EffectConfig* record = new EffectConfig(defaultConfig);
    record->fileName = directoryPrefix + file;
    insert(name, record);
}

void EffectsFile::setDirectory(const char* directory) { directoryPrefix = directory; }

void EffectsFile::setDefaults(float volume, float radius, const char* storage, bool looped, const char* mode,
                              int spare) {
    defaultConfig.volume = volume;
    defaultConfig.radius = radius;
    defaultConfig.storage = storage;
    defaultConfig.looped = looped;
    defaultConfig.mode = mode;
    defaultConfig.spareNumber = spare;
}

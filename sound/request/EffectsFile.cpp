#include "sound/request/EffectsFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <new>

#include "interfaces/Resource.h"
#include "sound/manager/LogChannels.h"
#include "sound/manager/ResourceText.h"

// The generated scanner and parser.
typedef void* yyscan_t;
struct yy_buffer_state;
int effectslex_init(yyscan_t* scanner);
int effectslex_destroy(yyscan_t scanner);
yy_buffer_state* effects_scan_buffer(char* base, size_t size, yyscan_t scanner);
void effects_delete_buffer(yy_buffer_state* buffer, yyscan_t scanner);
int effectsparse(void* scanner);

namespace {

// Loaded with the library; changed only by "default" entries.
const EffectConfig builtInDefaults{};
EffectConfig defaultConfig;
std::string directoryPrefix;
int lineNumber = 1;
EffectsFile::Records* target = nullptr;
std::deque<std::string> texts;  // token values of the read in progress
std::vector<EffectsFile::Problem>* problemSink = nullptr;

// An error of the text: logged, or kept for the check that asked for it.
void reportError(const debug::Context& context, const std::string& text) {
    if (problemSink) {
        problemSink->push_back({lineNumber, text});
        return;
    }
    channels::soundManager.post(debug::Error(context) << text);
}

void insert(const char* name, std::unique_ptr<EffectConfig> record) {
    if (!target) return;
    // The first record of a name wins; a later one is dropped.
    if (target->emplace(name, record.get()).second) record.release();
}

// One scanner over one buffer, given back however the parse ends.
class Scan {
public:
    Scan() {
        if (effectslex_init(&scanner) != 0) scanner = nullptr;
    }
    ~Scan() {
        if (buffer) effects_delete_buffer(buffer, scanner);
        if (scanner) effectslex_destroy(scanner);
        texts.clear();
    }
    Scan(const Scan&) = delete;
    Scan& operator=(const Scan&) = delete;

    // Parses block[0, length); block holds two more bytes, both zero, which
    // the scanner needs to find the end of its buffer.
    void parse(std::string& block, size_t length) {
        if (!scanner) return;
        buffer = effects_scan_buffer(&block[0], length + 2, scanner);
        if (!buffer) return;
        if (effectsparse(scanner) != 0) reportError(DEBUG_CONTEXT, "Syntax error in line " + std::to_string(lineNumber));
    }

private:
    yyscan_t scanner = nullptr;
    yy_buffer_state* buffer = nullptr;
};

// Scans block (the file's bytes) from memory. The text ends at its first zero
// byte, as a zero-terminated block would; the scanner starts afresh at its
// first character, so nothing of an earlier read carries over.
void scan(std::string& block) {
    lineNumber = 1;
    const size_t length = std::min(block.size(), std::strlen(block.c_str()));
    // The scanner counts its buffer in int: a larger text cannot be read.
    if (length > static_cast<size_t>(std::numeric_limits<int>::max() - 2)) return;
    try {
        block.resize(length);
        block.append(2, '\0');
        Scan scan;
        scan.parse(block, length);
    } catch (const std::bad_alloc&) {
        // Out of memory for the text or its records: the records completed
        // so far stay, as after any other early end.
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Out of memory reading Effects.snd at line "
                                                                << lineNumber);
    }
}

}  // namespace

void EffectsFile::resetDirectoryPrefix() { directoryPrefix.clear(); }
void EffectsFile::setTarget(Records* records) { target = records; }
void EffectsFile::setProblemSink(std::vector<Problem>* sink) { problemSink = sink; }
void EffectsFile::restoreDefaults(const EffectConfig& saved) { defaultConfig = saved; }
const EffectConfig& EffectsFile::getDefaults() { return defaultConfig; }
void EffectsFile::restoreBuiltInDefaults() { defaultConfig = builtInDefaults; }

void EffectsFile::read(const std::string& fileName) {
    lineNumber = 1;
    std::string block;
    if (readResourceText("/Configs/Sounds/" + fileName, &block)) scan(block);
}

void EffectsFile::parse(const std::string& text) {
    std::string block;
    try {
        block.reserve(text.size() + 2);
        block = text;
    } catch (const std::bad_alloc&) {
        return;
    }
    scan(block);
}

const char* EffectsFile::keep(const char* text, int length) {
    texts.emplace_back(text, static_cast<size_t>(length));
    return texts.back().c_str();
}

float EffectsFile::toFloat(const char* text) {
    float value = 0.0f;
    const char* end = text + std::strlen(text);
    const std::errc result = std::from_chars(text, end, value).ec;
    if (result == std::errc::result_out_of_range) {
        // Beyond the float's range: infinity when a digit before the point
        // is not zero, else too small to tell from zero.
        const char* point = std::strchr(text, '.');
        const bool large = std::find_if(text, point ? point : end, [](char c) { return c != '0'; }) !=
                           (point ? point : end);
        return large ? std::numeric_limits<float>::infinity() : 0.0f;
    }
    if (result != std::errc()) return 0.0f;  // "." alone
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
    reportError(DEBUG_CONTEXT, "Invalid symbol at line " + std::to_string(lineNumber));
    return 0;  // end of input
}

int EffectsFile::reportTooLong() {
    reportError(DEBUG_CONTEXT, "Token longer than " + std::to_string(maxTokenLength) + " characters at line " +
                                   std::to_string(lineNumber));
    return 0;
}

void EffectsFile::reportParseError() {
    reportError(DEBUG_CONTEXT, "YYERROR: parse error at line " + std::to_string(lineNumber));
}

void EffectsFile::addFull(const char* name, const char* file, float volume, float radius, const char* storage,
                          bool looped, const char* mode, int spare) {
    insert(name, std::make_unique<EffectConfig>(
                     EffectConfig{directoryPrefix + file, volume, radius, storage, looped, mode, spare}));
}

void EffectsFile::addWithVolumeAndRadius(const char* name, const char* file, float volume, float radius) {
    insert(name, std::make_unique<EffectConfig>(EffectConfig{directoryPrefix + file, volume, radius,
                                                             defaultConfig.storage, defaultConfig.looped,
                                                             defaultConfig.mode, defaultConfig.spareNumber}));
}

void EffectsFile::addShort(const char* name, const char* file) {
    auto record = std::make_unique<EffectConfig>(defaultConfig);
    record->fileName = directoryPrefix + file;
    insert(name, std::move(record));
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

bool EffectsFile::hasStatements(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "/*") == 0) {
            const size_t end = text.find("*/", i + 2);
            if (end == std::string::npos) return true;
            i = end + 1;
        } else if (text.compare(i, 2, "//") == 0) {
            i = text.find('\n', i);
            if (i == std::string::npos) return false;
        } else if (!std::isspace(static_cast<unsigned char>(text[i]))) {
            return true;
        }
    }
    return false;
}

#include "sandbox/check/ContentCheck.h"

#include <physfs.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "interfaces/Config.h"
#include "interfaces/Resource.h"
#include "platform/debug/Capture.h"
#include "platform/device/Decoder.h"
#include "sandbox/host/Board.h"
#include "sound/manager/ResourceText.h"
#include "sound/request/EffectsFile.h"

namespace zscheck {

std::string Problem::format() const {
    const std::string body = (warning ? "warning: " : "") + text;
    return line > 0 ? file + ":" + std::to_string(line) + ": " + body : file + ": " + body;
}

size_t countErrors(const std::vector<Problem>& problems) {
    size_t n = 0;
    for (const Problem& p : problems) n += p.warning ? 0 : 1;
    return n;
}

namespace {

const std::string soundsDir = "/Configs/Sounds/";
const std::string effectsPath = soundsDir + "Effects.snd";
constexpr double none = std::numeric_limits<double>::quiet_NaN();

std::string quoted(const std::string& s) { return "'" + s + "'"; }

int lineIn(const std::string& message) {
    static const std::regex pattern("line ([0-9]+)");
    std::smatch m;
    return std::regex_search(message, m, pattern) ? std::stoi(m[1]) : 0;
}

// Where names are written in a ".cfg" text: the first line at or after a
// given one on which the name stands before "=" or ":".
class LineIndex {
public:
    explicit LineIndex(const std::string& text) {
        size_t start = 0;
        while (start <= text.size()) {
            const size_t end = text.find('\n', start);
            lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    int find(const std::string& name, int from = 1) const {
        const std::regex pattern("(^|[^A-Za-z0-9_*-])" + escape(name) + "\\s*[=:]");
        for (size_t k = static_cast<size_t>(std::max(from, 1)) - 1; k < lines.size(); ++k)
            if (std::regex_search(lines[k], pattern)) return static_cast<int>(k) + 1;
        return 0;
    }

private:
    static std::string escape(const std::string& s) {
        std::string out;
        for (char c : s) {
            if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
            out += c;
        }
        return out;
    }
    std::vector<std::string> lines;
};

// The entries of an "Effects.snd" text with the line each name stands on:
// a name that starts an entry (the first token, or one after ";").
struct Entry {
    std::string name;
    int line;
};

std::vector<Entry> scanEntries(const std::string& text) {
    std::vector<Entry> entries;
    int line = 1;
    bool atStart = true;
    size_t i = 0;
    auto isWordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    while (i < text.size()) {
        const char c = text[i];
        if (text.compare(i, 2, "/*") == 0) {
            const size_t end = text.find("*/", i + 2);
            const size_t stop = end == std::string::npos ? text.size() : end + 2;
            line += static_cast<int>(std::count(text.begin() + static_cast<long>(i), text.begin() + static_cast<long>(stop), '\n'));
            i = stop;
        } else if (text.compare(i, 2, "//") == 0) {
            const size_t end = text.find('\n', i);
            i = end == std::string::npos ? text.size() : end;
        } else if (c == '\'') {
            const size_t end = text.find('\'', i + 1);
            const size_t stop = end == std::string::npos ? text.size() : end + 1;
            line += static_cast<int>(std::count(text.begin() + static_cast<long>(i), text.begin() + static_cast<long>(stop), '\n'));
            i = stop;
            atStart = false;
        } else if (c == '\n') {
            ++line;
            ++i;
        } else if (std::isalpha(static_cast<unsigned char>(c))) {
            size_t end = i;
            while (end < text.size() && isWordChar(text[end])) ++end;
            const std::string word = text.substr(i, end - i);
            if (atStart && word != "directory" && word != "default") entries.push_back({word, line});
            atStart = false;
            i = end;
        } else {
            if (c == ';') atStart = true;
            else if (c != ' ' && c != '\t' && c != '\r') atStart = false;
            ++i;
        }
    }
    return entries;
}


// The text from the newline that ends line `line` (1-based) on.
std::string after(const std::string& text, int line) {
    size_t pos = 0;
    for (int k = 1; k < line; ++k) {
        pos = text.find('\n', pos);
        if (pos == std::string::npos) return std::string();
        ++pos;
    }
    pos = text.find('\n', pos);
    return pos == std::string::npos ? std::string() : text.substr(pos);
}

enum class Type { Float, Int, Bool, String };

struct Key {
    const char* name;
    Type type;
    double min = none;
    double max = none;
};

const std::vector<Key> landSoundKeys = {
    {"regionType", Type::String},          {"regionWidth", Type::Float, 0},     {"regionHeight", Type::Float, 0},
    {"regionRadius", Type::Float, 0},      {"powerRadius", Type::Float, 0},     {"threshold", Type::Float, 0},
    {"starter", Type::Float, 0},           {"probability", Type::Float, 0},     {"auto", Type::Bool},
    {"priority", Type::Float},             {"soundName", Type::String},         {"x", Type::Float},
    {"y", Type::Float},                    {"z", Type::Float},                  {"beginHour", Type::Float, 0, 24},
    {"endHour", Type::Float, 0, 24},
};

const std::vector<Key> adaptKeys = {
    {"randomTimeStep", Type::Float, 0},      {"randomSoundLimiter", Type::Float, 0}, {"adaptRandomSounds", Type::Bool},
    {"enableLandSound", Type::Bool},         {"enableUpdate", Type::Bool},           {"makeDebugOutput", Type::Bool},
    {"adaptCoefficient", Type::Float},       {"adaptDistance1", Type::Float, 0},     {"adaptDistance2", Type::Float, 0},
    {"algorithm", Type::Float, 0, 6.999999}, {"throwRadius", Type::Float, 0},        {"expcoefficient", Type::Float},
    {"expsqsigma", Type::Float, 0},          {"isEmulated3d", Type::Bool},
};

const std::vector<Key> musicKeys = {
    {"fadeStepNumber", Type::Int, 1},
    {"louder", Type::Float, 0, 1},
    {"sleepMilliseconds", Type::Int, 0},
};

const std::vector<Key> listenerKeys = {
    {"rolloff", Type::Float, 0}, {"distance", Type::Float, 0},         {"scaleXY", Type::Float, 0},
    {"scaleZ", Type::Float, 0},  {"processTimeLimit", Type::Float, 0},
};

const char* typeWord(Type type) {
    switch (type) {
        case Type::Float: return "a number";
        case Type::Int: return "a whole number";
        case Type::Bool: return "true or false";
        case Type::String: return "a string";
    }
    return "";
}

std::string number(double v) {
    std::ostringstream out;
    out << v;
    return out.str();
}

class Checker {
public:
    std::vector<Problem> run() {
        checkEffects();
        checkMenuSounds();
        checkDefaultSounds();
        checkSettings("AdaptSettings.cfg", adaptKeys);
        checkSettings("MusicSettings.cfg", musicKeys);
        checkSettings("Listener.cfg", listenerKeys);
        checkMaps();
        std::stable_sort(problems.begin(), problems.end(), [](const Problem& a, const Problem& b) {
            return a.file != b.file ? a.file < b.file : a.line < b.line;
        });
        return problems;
    }

private:
    std::vector<Problem> problems;
    std::set<std::string> declared;       // names the game reads from "Effects.snd"
    std::map<std::string, int> unread;    // names after a syntax error, with their lines
    std::map<std::string, int> entryLine; // the first line of each name
    int stopLine = 0;                     // the syntax error that ends the game's reading

    void add(const std::string& path, int line, const std::string& text, bool warning = false) {
        problems.push_back({path.substr(path.rfind('/', 0) == 0 ? 1 : 0), line, text, warning});
    }

    // --- "Effects.snd" -----------------------------------------------------

    // Parses text (read from the resource when `fromResource`), returns the
    // line of the first error it reports (0 when none) and adds it.
    int parseEffects(const std::string& text, bool fromResource, EffectsFile::Records& target) {
        debug::Capture capture;
        EffectsFile::restoreBuiltInDefaults();
        EffectsFile::resetDirectoryPrefix();
        EffectsFile::setTarget(&target);
        if (fromResource) EffectsFile::read("Effects.snd");
        else EffectsFile::parse(text);
        EffectsFile::setTarget(nullptr);
        // A syntax error is reported twice ("YYERROR: ..." and "Syntax error
        // in line N"), after an invalid character too: one problem, named
        // by the message that says most.
        const std::vector<debug::Record> records = capture.records();
        const debug::Record* first = nullptr;
        for (const debug::Record& r : records) {
            if (r.kind != debug::Kind::Error) continue;
            if (!first || first->text.rfind("YYERROR", 0) == 0) first = &r;
            if (first->text.rfind("YYERROR", 0) != 0) break;
        }
        if (!first) return 0;
        const int line = lineIn(first->text);
        add(effectsPath, line, first->text + (stopLine ? "" : ": the game reads no entry after it"));
        return line;
    }

    void checkEffects() {
        std::string text;
        if (!readResourceText(effectsPath, &text)) {
            add(effectsPath, 0, "not found or unreadable: the game has no sounds");
            return;
        }
        EffectsFile::Records records;
        stopLine = parseEffects(text, true, records);
        for (auto& r : records) declared.insert(r.first);

        // Go on past a syntax error to find the next ones; what is read
        // there the game never sees.
        std::vector<std::unique_ptr<EffectConfig>> owned;
        for (auto& r : records) owned.emplace_back(r.second);
        for (int from = stopLine; from > 0;) {
            EffectsFile::Records late;
            const std::string rest = after(text, from);
            if (!EffectsFile::hasStatements(rest)) break;
            // Lines up to the error stay, blank, so the reader counts on.
            const int next = parseEffects(std::string(static_cast<size_t>(from - 1), '\n') + rest, false, late);
            for (auto& r : late) owned.emplace_back(r.second);
            from = next > from ? next : 0;
        }

        for (const Entry& e : scanEntries(text)) {
            auto first = entryLine.find(e.name);
            if (first != entryLine.end()) {
                add(effectsPath, e.line,
                    "effect " + quoted(e.name) + " declared again (first at line " + std::to_string(first->second) +
                        "); the first declaration is the one used");
                continue;
            }
            entryLine.emplace(e.name, e.line);
            if (stopLine && e.line > stopLine && !declared.count(e.name)) unread.emplace(e.name, e.line);
        }

        std::set<std::string> checkedFiles;
        for (auto& r : records) {
            const std::string path = "/Sounds/" + r.second->fileName;
            if (!checkedFiles.insert(path).second) continue;
            const int line = entryLine.count(r.first) ? entryLine[r.first] : 0;
            if (r.first == "device") checkDeviceSettings(path, line);
            else checkSoundFile(r.first, path, line);
        }
    }

    void checkSoundFile(const std::string& name, const std::string& path, int line) {
        ResourceLock guard(theResourceManager);
        if (theResourceManager->notFound(path.c_str())) {
            add(effectsPath, line, "effect " + quoted(name) + ": sound file " + path.substr(1) + " not found");
            return;
        }
        ResourceStream* stream = theResourceManager->openStream(path.c_str());
        if (!stream) {
            add(effectsPath, line, "effect " + quoted(name) + ": sound file " + path.substr(1) + " cannot be opened");
            return;
        }
        try {
            aldevice::Decoder decoder(stream, "decode");
            aldevice::DecodedSamples samples;
            decoder.decodeAll(samples);
        } catch (const debug::Exception& e) {
            add(effectsPath, line, "effect " + quoted(name) + ": sound file does not decode: " + e.getString());
        }
        theResourceManager->closeStream(stream);
    }

    void checkDeviceSettings(const std::string& path, int line) {
        if (theResourceManager->notFound(path.c_str())) {
            add(effectsPath, line, "the device settings file " + path.substr(1) + " is not found");
            return;
        }
        configmanager::ConfigManager config;
        readConfig(path, config);
    }

    void checkEffectName(const std::string& path, int line, const std::string& name, const std::string& what) {
        if (declared.count(name)) return;
        auto late = unread.find(name);
        if (late != unread.end())
            add(path, line,
                what + " " + quoted(name) + " is declared at line " + std::to_string(late->second) +
                    " of Effects.snd, after the syntax error at line " + std::to_string(stopLine) +
                    " where the game stops reading");
        else add(path, line, what + " " + quoted(name) + " is not declared in Effects.snd");
    }

    // --- ".cfg" files ------------------------------------------------------

    // Reads a configuration file, adding what the configuration layer
    // reports on it; false when it is missing or malformed.
    bool readConfig(const std::string& path, configmanager::ConfigManager& config) {
        if (theResourceManager->notFound(path.c_str())) return false;
        debug::Capture capture;
        const bool ok = config.readFile(path);
        for (const debug::Record& r : capture.records())
            if (r.kind == debug::Kind::Error || r.kind == debug::Kind::Warning) add(path, lineIn(r.text), r.text);
        if (!ok && capture.records().empty()) add(path, 0, "cannot be read");
        return ok;
    }

    // Checks the keys of a table present in a block: type and range.
    void checkKeys(const std::string& path, const LineIndex& lines, int blockLine, configmanager::Block& block,
                   const std::vector<Key>& keys, const std::string& where) {
        for (const Key& key : keys) {
            configmanager::PropertyType type;
            if (!block.getPropertyType(configmanager::LinkedName(key.name), &type)) continue;
            const int line = lines.find(key.name, blockLine);
            const bool fits = (key.type == Type::Float && (type == configmanager::PropertyType::Float ||
                                                           type == configmanager::PropertyType::Int)) ||
                              (key.type == Type::Int && type == configmanager::PropertyType::Int) ||
                              (key.type == Type::Bool && type == configmanager::PropertyType::Bool) ||
                              (key.type == Type::String && type == configmanager::PropertyType::String);
            if (!fits) {
                add(path, line, where + "\"" + key.name + "\" should be " + typeWord(key.type));
                continue;
            }
            double value = 0;
            if (key.type == Type::Float) {
                float f = 0;
                block.getProperty(key.name, &f);
                value = f;
            } else if (key.type == Type::Int) {
                int i = 0;
                block.getProperty(key.name, &i);
                value = i;
            } else {
                continue;
            }
            const bool low = !std::isnan(key.min) && value < key.min;
            const bool high = !std::isnan(key.max) && value > key.max;
            if (!low && !high && std::isfinite(value)) continue;
            std::string range;
            if (!std::isnan(key.min) && !std::isnan(key.max))
                range = "from " + number(key.min) + " to " + number(std::floor(key.max));
            else if (!std::isnan(key.min)) range = key.min == 0 ? "0 or more" : number(key.min) + " or more";
            else range = "a finite number";
            add(path, line, where + "\"" + key.name + "\" is " + number(value) + ", out of range (" + range + ")");
        }
    }

    void checkSettings(const std::string& file, const std::vector<Key>& keys) {
        const std::string path = soundsDir + file;
        configmanager::ConfigManager config;
        if (!readConfig(path, config)) return;
        std::string text;
        readResourceText(path, &text);
        checkKeys(path, LineIndex(text), 1, config, keys, "");
    }

    void checkMenuSounds() {
        const std::string path = soundsDir + "UI.cfg";
        configmanager::ConfigManager config;
        if (!readConfig(path, config)) return;
        std::string text;
        readResourceText(path, &text);
        const LineIndex lines(text);
        std::set<std::string> blocks;
        for (auto& child : config.getChildBlocks()) blocks.insert(child.first.getString());
        for (const configmanager::LinkedName& name : config.getPropertyNames()) {
            const std::string& menu = name.getString();
            const int line = lines.find(menu);
            if (!blocks.count(menu)) {
                add(path, line, "menu sound " + quoted(menu) + " is not a block { sound = \"EFFECT\"; }");
                continue;
            }
            configmanager::Block* block = nullptr;
            config.getSinglePropertyAccess(name, &block);
            std::string effect;
            configmanager::PropertyType type;
            if (!block->getPropertyType(configmanager::LinkedName("sound"), &type)) {
                add(path, line, "menu sound " + quoted(menu) + " has no \"sound\"");
            } else if (!block->getProperty("sound", &effect)) {
                add(path, lines.find("sound", line), "menu sound " + quoted(menu) + ": \"sound\" should be a string");
            } else {
                checkEffectName(path, lines.find("sound", line), effect, "menu sound " + quoted(menu) + ": effect");
            }
        }
    }

    // One landscape sound: a child of DefaultSounds.cfg or of a map's
    // "Sounds" block.
    void checkLandSound(const std::string& path, const LineIndex& lines, int line, const std::string& name,
                        configmanager::Block& block, bool inMap) {
        const std::string where = "sound " + quoted(name) + ": ";
        checkKeys(path, lines, line, block, landSoundKeys, where);
        configmanager::PropertyType type;
        if (inMap && block.getPropertyType(configmanager::LinkedName("regionRadius"), &type))
            add(path, lines.find("regionRadius", line),
                where + "old region form \"regionRadius\": write \"regionWidth\" and \"regionHeight\" (twice the radius)",
                true);
        std::string soundName, regionType;
        if (!block.getPropertyType(configmanager::LinkedName("soundName"), &type))
            add(path, line, where + "no \"soundName\"");
        else if (block.getProperty("soundName", &soundName))
            checkEffectName(path, lines.find("soundName", line), soundName, where + "effect");
        if (!block.getPropertyType(configmanager::LinkedName("regionType"), &type)) {
            add(path, line, where + "no \"regionType\"");
        } else if (block.getProperty("regionType", &regionType)) {
            bool known = false;
            std::string all;
            for (Landscape::Subtype s = sandbox::Sea; s <= sandbox::Mountains; ++s) {
                known = known || regionType == sandbox::subtypeName(s);
                all += (all.empty() ? "" : ", ") + sandbox::subtypeName(s);
            }
            if (!known)
                add(path, lines.find("regionType", line),
                    where + "\"regionType\" " + quoted(regionType) + " is no landscape subtype (" + all + ")");
        }
    }

    void checkSoundBlocks(const std::string& path, const LineIndex& lines, int from, configmanager::Block& block,
                          bool inMap) {
        std::set<std::string> blocks;
        for (auto& child : block.getChildBlocks()) blocks.insert(child.first.getString());
        for (const configmanager::LinkedName& name : block.getPropertyNames()) {
            const std::string& key = name.getString();
            const int line = lines.find(key, from);
            if (inMap && key == "fade") continue;
            if (!blocks.count(key)) {
                add(path, line, quoted(key) + " is not a sound block");
                continue;
            }
            configmanager::Block* child = nullptr;
            block.getSinglePropertyAccess(name, &child);
            checkLandSound(path, lines, line, key, *child, inMap);
        }
        if (inMap) checkKeys(path, lines, from, block, {{"fade", Type::Float, 0}}, "");
    }

    void checkDefaultSounds() {
        const std::string path = soundsDir + "DefaultSounds.cfg";
        configmanager::ConfigManager config;
        if (!readConfig(path, config)) return;
        std::string text;
        readResourceText(path, &text);
        checkSoundBlocks(path, LineIndex(text), 1, config, false);
    }

    void checkMaps() {
        std::vector<std::string> maps;
        listFiles("/Maps", maps);
        std::sort(maps.begin(), maps.end());
        for (const std::string& path : maps) {
            configmanager::ConfigManager config;
            if (!readConfig(path, config)) continue;
            configmanager::Block* sounds = nullptr;
            configmanager::PropertyType type;
            if (!config.getPropertyType(configmanager::LinkedName("Sounds"), &type)) continue;
            std::string text;
            readResourceText(path, &text);
            const LineIndex lines(text);
            const int line = lines.find("Sounds");
            if (type != configmanager::PropertyType::Block || !config.getPropertyAccess("Sounds", &sounds)) {
                add(path, line, "\"Sounds\" should be a block");
                continue;
            }
            checkSoundBlocks(path, lines, line, *sounds, true);
        }
    }

    static void listFiles(const std::string& dir, std::vector<std::string>& out) {
        char** names = PHYSFS_enumerateFiles(dir.c_str());
        if (!names) return;
        for (char** n = names; *n; ++n) {
            const std::string path = dir + "/" + *n;
            PHYSFS_Stat stat;
            if (!PHYSFS_stat(path.c_str(), &stat)) continue;
            if (stat.filetype == PHYSFS_FILETYPE_DIRECTORY) listFiles(path, out);
            else if (stat.filetype == PHYSFS_FILETYPE_REGULAR) out.push_back(path);
        }
        PHYSFS_freeList(names);
    }
};

}  // namespace

std::vector<Problem> checkContent() { return Checker().run(); }

}  // namespace zscheck

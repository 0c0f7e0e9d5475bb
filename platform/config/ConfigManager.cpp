// Reading and writing block trees as configuration text, over libconfig++.
// A read fills a fresh tree and replaces the block only when the whole text
// parsed; a write checks every name first and writes through a temporary
// file, so a failure never leaves a half-written file behind.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include <libconfig.h++>

#include "interfaces/Config.h"
#include "interfaces/Debug.h"
#include "interfaces/Resource.h"

namespace configmanager {
namespace {

const debug::Filter& channel() {
    static const debug::Filter* filter = new debug::Filter("ConfigManager");
    return *filter;
}

// Copies a libconfig group into a block; lists and arrays have no place in a
// block and are skipped with a warning.
void fromSetting(const libconfig::Setting& group, Block& block, const std::string& origin) {
    for (int k = 0; k < group.getLength(); ++k) {
        const libconfig::Setting& s = group[k];
        const std::string name = s.getName() ? s.getName() : "";
        switch (s.getType()) {
            case libconfig::Setting::TypeInt: {
                const int v = s;
                block.setProperty(name, &v);
                break;
            }
            case libconfig::Setting::TypeInt64: {
                const long long wide = s;
                if (wide >= std::numeric_limits<int>::min() && wide <= std::numeric_limits<int>::max()) {
                    const int v = static_cast<int>(wide);
                    block.setProperty(name, &v);
                } else {
                    const float v = static_cast<float>(wide);
                    block.setProperty(name, &v);
                }
                break;
            }
            case libconfig::Setting::TypeFloat: {
                const float v = static_cast<float>(static_cast<double>(s));
                block.setProperty(name, &v);
                break;
            }
            case libconfig::Setting::TypeBoolean: {
                const bool v = s;
                block.setProperty(name, &v);
                break;
            }
            case libconfig::Setting::TypeString: {
                const std::string v = s.c_str();
                block.setProperty(name, &v);
                break;
            }
            case libconfig::Setting::TypeGroup: {
                Block* child = new Block;
                fromSetting(s, *child, origin);
                block.addProperty(LinkedName(name), child);
                break;
            }
            default:
                channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f)
                               << origin << ": skipped " << s.getPath() << ": lists and arrays are not supported");
                break;
        }
    }
}

// Finds the first name in the tree that libconfig cannot write.
bool findUnwritable(Block& block, const std::string& path, std::string* bad) {
    for (const LinkedName& name : block.getPropertyNames()) {
        const std::string& text = name.getString();
        const std::string full = path.empty() ? text : path + "." + text;
        if (!ConfigManager::isWritableName(text)) {
            *bad = full;
            return true;
        }
        Block* child = nullptr;
        if (block.getSinglePropertyAccess(name, &child) && findUnwritable(*child, full, bad)) return true;
    }
    return false;
}

void toSetting(Block& block, libconfig::Setting& group) {
    for (const LinkedName& name : block.getPropertyNames()) {
        const std::string& key = name.getString();
        PropertyType type;
        if (!block.getPropertyType(name, &type)) continue;
        switch (type) {
            case PropertyType::Float: {
                float v = 0;
                block.getProperty(key, &v);
                group.add(key, libconfig::Setting::TypeFloat) = static_cast<double>(v);
                break;
            }
            case PropertyType::Int: {
                int v = 0;
                block.getProperty(key, &v);
                group.add(key, libconfig::Setting::TypeInt) = v;
                break;
            }
            case PropertyType::Bool: {
                bool v = false;
                block.getProperty(key, &v);
                group.add(key, libconfig::Setting::TypeBoolean) = v;
                break;
            }
            case PropertyType::String: {
                std::string v;
                block.getProperty(key, &v);
                group.add(key, libconfig::Setting::TypeString) = v;
                break;
            }
            case PropertyType::Block: {
                Block* child = nullptr;
                block.getSinglePropertyAccess(name, &child);
                toSetting(*child, group.add(key, libconfig::Setting::TypeGroup));
                break;
            }
        }
    }
}

}  // namespace

ConfigManager::ConfigManager() = default;
ConfigManager::~ConfigManager() = default;

bool ConfigManager::isWritableName(const std::string& name) {
    if (name.empty()) return false;
    const char first = name[0];
    if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z'))) return false;
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                        c == '_' || c == '*';
        if (!ok) return false;
    }
    return true;
}

bool ConfigManager::readText(const std::string& text, const std::string& origin) {
    try {
        libconfig::Config config;
        config.readString(text);
        Block fresh;
        fromSetting(config.getRoot(), fresh, origin);
        std::lock_guard<Block> guard(*this);
        properties.swap(fresh.properties);
        return true;
    } catch (const libconfig::ParseException& e) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to read " << origin << " at line " << e.getLine()
                                                   << ": " << e.getError());
    } catch (const std::exception& e) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to read " << origin << ": " << e.what());
    }
    return false;
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
            text.resize(static_cast<size_t>(size));
            ok = size == 0 || stream->read(&text[0], size) == size;
        }
        resources->closeStream(stream);
        if (!ok) {
            channel().post(debug::Error(DEBUG_CONTEXT) << "failed to read " << path << ": read error");
            return false;
        }
    }
    if (text.find('\0') != std::string::npos) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to read " << path << ": it holds a NUL byte");
        return false;
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
    Block copy(*this);
    std::string bad;
    if (findUnwritable(copy, "", &bad)) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to write: the name \"" << bad
                                                   << "\" cannot be written (a name starts with a letter and "
                                                      "holds letters, digits, '-', '_' or '*')");
        return false;
    }
    try {
        libconfig::Config config;
        toSetting(copy, config.getRoot());
        char* buffer = nullptr;
        size_t length = 0;
        FILE* memory = open_memstream(&buffer, &length);
        if (!memory) return false;
        config.write(memory);
        std::fclose(memory);
        text->assign(buffer, length);
        std::free(buffer);
        return true;
    } catch (const std::exception& e) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to write: " << e.what());
    }
    return false;
}

bool ConfigManager::writePlainFile(const std::string& filePath) const {
    std::string text;
    if (!writeText(&text)) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to write " << filePath << ": nothing written");
        return false;
    }
    const std::string temporary = filePath + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            channel().post(debug::Error(DEBUG_CONTEXT) << "failed to write " << filePath << ": cannot write "
                                                       << temporary);
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), filePath.c_str()) != 0) {
        channel().post(debug::Error(DEBUG_CONTEXT) << "failed to write " << filePath << ": cannot replace it");
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace configmanager

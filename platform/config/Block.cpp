// The in-memory tree of the configuration library: named properties in
// insertion order, names interned in one table for the whole process.
#include <deque>
#include <mutex>
#include <unordered_map>

#include "interfaces/Config.h"

namespace configmanager {
namespace {

struct Names {
    std::mutex mutex;
    std::unordered_map<std::string, unsigned> ids;
    std::deque<std::string> names;  // a deque keeps references stable

    Names() {
        ids.emplace(std::string(), 0);
        names.emplace_back();
    }
};

// Never destroyed: names may be interned and looked up by static objects.
Names& names() {
    static Names* instance = new Names;
    return *instance;
}

}  // namespace

NameTable ConfigManager::nameTable;

NameTable::NameTable() = default;
NameTable::~NameTable() = default;

unsigned NameTable::intern(const std::string& name) {
    Names& n = names();
    std::lock_guard<std::mutex> guard(n.mutex);
    auto found = n.ids.find(name);
    if (found != n.ids.end()) return found->second;
    const unsigned id = static_cast<unsigned>(n.names.size());
    n.names.push_back(name);
    n.ids.emplace(name, id);
    return id;
}

const std::string& NameTable::getName(unsigned id) const {
    Names& n = names();
    std::lock_guard<std::mutex> guard(n.mutex);
    return id < n.names.size() ? n.names[id] : n.names[0];
}

size_t NameTable::size() const {
    Names& n = names();
    std::lock_guard<std::mutex> guard(n.mutex);
    return n.names.size();
}

LinkedName::LinkedName() : id(0) {}
LinkedName::LinkedName(const std::string& name) : id(ConfigManager::nameTable.intern(name)) {}
LinkedName::LinkedName(const char* name) : LinkedName(std::string(name ? name : "")) {}
const std::string& LinkedName::getString() const { return ConfigManager::nameTable.getName(id); }

struct Block::Property {
    LinkedName name;
    PropertyType type = PropertyType::Int;
    float f = 0.0f;
    int i = 0;
    bool b = false;
    std::string s;
    std::unique_ptr<Block> block;

    Property() = default;
    Property(const Property& o) : name(o.name), type(o.type), f(o.f), i(o.i), b(o.b), s(o.s) {
        if (o.block) block = std::make_unique<Block>(*o.block);
    }

    void set(float v) { reset(PropertyType::Float); f = v; }
    void set(int v) { reset(PropertyType::Int); i = v; }
    void set(bool v) { reset(PropertyType::Bool); b = v; }
    void set(const std::string& v) { reset(PropertyType::String); s = v; }
    void set(const Block& v) { reset(PropertyType::Block); block = std::make_unique<Block>(v); }
    void adopt(Block* v) { reset(PropertyType::Block); block.reset(v); }

    void reset(PropertyType t) {
        type = t;
        s.clear();
        block.reset();
    }

    bool equals(const Property& o) const {
        if (name != o.name || type != o.type) return false;
        switch (type) {
            case PropertyType::Float: return f == o.f;
            case PropertyType::Int: return i == o.i;
            case PropertyType::Bool: return b == o.b;
            case PropertyType::String: return s == o.s;
            case PropertyType::Block: return *block == *o.block;
        }
        return false;
    }
};

Block::Block() = default;

Block::Block(const Block& other) : thread::SynchronizedObject() {
    std::lock_guard<const Block> guard(other);
    for (const auto& p : other.properties) properties.push_back(std::make_unique<Property>(*p));
}

Block& Block::operator=(const Block& other) {
    if (this == &other) return *this;
    Block copy(other);
    std::lock_guard<Block> guard(*this);
    properties.swap(copy.properties);
    return *this;
}

Block::~Block() = default;

Block::Property* Block::find(const LinkedName& name) const {
    for (const auto& p : properties)
        if (p->name == name) return p.get();
    return nullptr;
}

// For "a.b.c" returns the block "a.b" and sets leaf to "c"; the caller holds
// this block's lock, and the inner blocks are owned by this tree.
Block* Block::resolveParent(const std::string& key, std::string* leaf) const {
    const Block* current = this;
    size_t start = 0;
    for (;;) {
        const size_t dot = key.find('.', start);
        if (dot == std::string::npos) {
            *leaf = key.substr(start);
            return const_cast<Block*>(current);
        }
        Property* p = current->find(LinkedName(key.substr(start, dot - start)));
        if (!p || p->type != PropertyType::Block) return nullptr;
        current = p->block.get();
        start = dot + 1;
    }
}

// Calls f with the property at key (a name or a path) while the locks of
// this block and of the block holding the property are held.
template <typename F>
bool Block::visit(const std::string& key, F&& f) const {
    std::lock_guard<const Block> guard(*this);
    std::string leaf;
    const Block* parent = resolveParent(key, &leaf);
    if (!parent) return false;
    std::lock_guard<const Block> inner(*parent);
    const Property* p = parent->find(LinkedName(leaf));
    return p && f(*p);
}

bool Block::getProperty(const std::string& key, float* value) const {
    return value && visit(key, [value](const Property& p) {
        if (p.type == PropertyType::Float) *value = p.f;
        else if (p.type == PropertyType::Int) *value = static_cast<float>(p.i);  // "fade = 1;"
        else return false;
        return true;
    });
}

bool Block::getProperty(const std::string& key, int* value) const {
    return value && visit(key, [value](const Property& p) {
        if (p.type != PropertyType::Int) return false;
        *value = p.i;
        return true;
    });
}

bool Block::getProperty(const std::string& key, bool* value) const {
    return value && visit(key, [value](const Property& p) {
        if (p.type != PropertyType::Bool) return false;
        *value = p.b;
        return true;
    });
}

bool Block::getProperty(const std::string& key, std::string* value) const {
    return value && visit(key, [value](const Property& p) {
        if (p.type != PropertyType::String) return false;
        *value = p.s;
        return true;
    });
}

template <typename T>
bool Block::store(const std::string& key, T value) {
    std::lock_guard<Block> guard(*this);
    std::string leaf;
    Block* parent = resolveParent(key, &leaf);
    if (!parent) return false;
    std::lock_guard<Block> inner(*parent);
    const LinkedName name(leaf);
    Property* p = parent->find(name);
    if (!p) {
        parent->properties.push_back(std::make_unique<Property>());
        p = parent->properties.back().get();
        p->name = name;
    }
    p->set(value);
    return true;
}

bool Block::setProperty(const std::string& key, const float* value) { return value && store(key, *value); }
bool Block::setProperty(const std::string& key, const int* value) { return value && store(key, *value); }
bool Block::setProperty(const std::string& key, const bool* value) { return value && store(key, *value); }
bool Block::setProperty(const std::string& key, const std::string* value) {
    return value && store<const std::string&>(key, *value);
}
bool Block::setProperty(const std::string& key, const Block* value) {
    if (!value) return false;
    const Block copy(*value);  // a block may be stored inside itself
    return store<const Block&>(key, copy);
}

bool Block::getPropertyAccess(const std::string& key, Block** child) {
    if (!child) return false;
    std::lock_guard<Block> guard(*this);
    std::string leaf;
    Block* parent = resolveParent(key, &leaf);
    if (!parent) return false;
    return parent->getSinglePropertyAccess(LinkedName(leaf), child);
}

bool Block::getSinglePropertyAccess(const LinkedName& name, Block** child) {
    if (!child) return false;
    std::lock_guard<Block> guard(*this);
    Property* p = find(name);
    if (!p || p->type != PropertyType::Block) return false;
    *child = p->block.get();
    return true;
}

bool Block::setSingleProperty(const LinkedName& name, const Block* value) {
    if (!value) return false;
    Block* copy = new Block(*value);
    addProperty(name, copy);
    return true;
}

void Block::addProperty(const LinkedName& name, Block* child) {
    if (!child) return;
    std::lock_guard<Block> guard(*this);
    Property* p = find(name);
    if (!p) {
        properties.push_back(std::make_unique<Property>());
        p = properties.back().get();
        p->name = name;
    }
    p->adopt(child);
}

bool Block::removeProperty(const LinkedName& name) {
    std::lock_guard<Block> guard(*this);
    for (auto it = properties.begin(); it != properties.end(); ++it) {
        if ((*it)->name == name) {
            properties.erase(it);
            return true;
        }
    }
    return false;
}

void Block::clear() {
    std::lock_guard<Block> guard(*this);
    properties.clear();
}

size_t Block::getPropertyCount() const {
    std::lock_guard<const Block> guard(*this);
    return properties.size();
}

std::vector<LinkedName> Block::getPropertyNames() const {
    std::lock_guard<const Block> guard(*this);
    std::vector<LinkedName> result;
    for (const auto& p : properties) result.push_back(p->name);
    return result;
}

bool Block::getPropertyType(const LinkedName& name, PropertyType* type) const {
    std::lock_guard<const Block> guard(*this);
    const Property* p = find(name);
    if (!p || !type) return false;
    *type = p->type;
    return true;
}

std::vector<std::pair<LinkedName, Block*>> Block::getChildBlocks() {
    std::lock_guard<Block> guard(*this);
    std::vector<std::pair<LinkedName, Block*>> result;
    for (const auto& p : properties)
        if (p->type == PropertyType::Block) result.emplace_back(p->name, p->block.get());
    return result;
}

bool Block::operator==(const Block& other) const {
    if (this == &other) return true;
    std::lock_guard<const Block> a(*this);
    std::lock_guard<const Block> b(other);
    if (properties.size() != other.properties.size()) return false;
    for (size_t k = 0; k < properties.size(); ++k)
        if (!properties[k]->equals(*other.properties[k])) return false;
    return true;
}

}  // namespace configmanager

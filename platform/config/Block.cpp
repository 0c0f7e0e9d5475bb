// The in-memory tree of the configuration library: named properties in
// insertion order, names interned in one table for the whole process. A
// block past a few properties also keeps an index from name to property, so
// building, enumerating and looking up a block of any size stays linear.
#include <deque>
#include <functional>
#include <mutex>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/config/BlockInternal.h"

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


// Open addressing over the positions of the properties: one allocation for
// the whole table, a probe or two per lookup.
struct Block::Index {
    std::vector<uint32_t> slots;  // position + 1, 0 for a free slot
    size_t mask = 0;

    static size_t slotOf(unsigned id, size_t mask) { return (static_cast<size_t>(id) * 2654435761u) & mask; }

    void rebuild(const std::vector<Property>& properties) {
        size_t capacity = 64;
        while (capacity < properties.size() * 2) capacity *= 2;
        slots.assign(capacity, 0);
        mask = capacity - 1;
        for (size_t k = 0; k < properties.size(); ++k) place(properties[k].name.getId(), k);
    }
    void place(unsigned id, size_t position) {
        size_t slot = slotOf(id, mask);
        while (slots[slot] != 0) slot = (slot + 1) & mask;
        slots[slot] = static_cast<uint32_t>(position + 1);
    }
    // After properties.back() was appended.
    void added(const std::vector<Property>& properties) {
        if (properties.size() * 2 > slots.size()) rebuild(properties);
        else place(properties.back().name.getId(), properties.size() - 1);
    }
    const Property* find(const std::vector<Property>& properties, unsigned id) const {
        for (size_t slot = slotOf(id, mask);; slot = (slot + 1) & mask) {
            const uint32_t entry = slots[slot];
            if (entry == 0) return nullptr;
            if (properties[entry - 1].name.getId() == id) return &properties[entry - 1];
        }
    }
};

namespace {
// Up to this many properties a scan is as quick as a hash lookup.
constexpr size_t indexFrom = 32;
// Room made at a block's first property: a source of a map has about 14.
constexpr size_t firstRoom = 16;
}  // namespace

Block::Block() = default;

Block::Block(const Block& other) : thread::SynchronizedObject() {
    std::lock_guard<const Block> guard(other);
    properties = other.properties;
    if (properties.size() > indexFrom) {
        index = std::make_unique<Index>();
        index->rebuild(properties);
    }
}

Block& Block::operator=(const Block& other) {
    if (this == &other) return *this;
    Block copy(other);
    std::lock_guard<Block> guard(*this);
    properties.swap(copy.properties);
    index.swap(copy.index);
    return *this;
}

Block::~Block() = default;

Block::Property* Block::find(const LinkedName& name) const {
    if (index) return const_cast<Property*>(index->find(properties, name.getId()));
    for (const Property& p : properties)
        if (p.name == name) return const_cast<Property*>(&p);
    return nullptr;
}

// Appends a property the block does not hold yet; the caller holds the lock.
// The reference is valid until the next append.
Block::Property& Block::append(const LinkedName& name) {
    if (properties.empty()) properties.reserve(firstRoom);
    properties.emplace_back();
    properties.back().name = name;
    if (index) {
        index->added(properties);
    } else if (properties.size() > indexFrom) {
        index = std::make_unique<Index>();
        index->rebuild(properties);
    }
    return properties.back();
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
    if (!p) p = &parent->append(name);
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
    if (!p) p = &append(name);
    p->adopt(child);
}

bool Block::removeProperty(const LinkedName& name) {
    std::lock_guard<Block> guard(*this);
    const Property* p = find(name);
    if (!p) return false;
    properties.erase(properties.begin() + (p - properties.data()));
    if (index) index->rebuild(properties);  // the positions after it moved
    return true;
}

void Block::clear() {
    std::lock_guard<Block> guard(*this);
    properties.clear();
    index.reset();
}

size_t Block::getPropertyCount() const {
    std::lock_guard<const Block> guard(*this);
    return properties.size();
}

std::vector<LinkedName> Block::getPropertyNames() const {
    std::lock_guard<const Block> guard(*this);
    std::vector<LinkedName> result;
    result.reserve(properties.size());
    for (const auto& p : properties) result.push_back(p.name);
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
        if (p.type == PropertyType::Block) result.emplace_back(p.name, p.block.get());
    return result;
}

bool Block::operator==(const Block& other) const {
    if (this == &other) return true;
    // Both locks in one order, by address, whichever side is asked: a == b
    // and b == a on two threads would otherwise wait for each other. Child
    // blocks are compared the same way, each pair after its parents.
    const Block* first = std::less<const Block*>()(this, &other) ? this : &other;
    const Block* second = first == this ? &other : this;
    std::lock_guard<const Block> a(*first);
    std::lock_guard<const Block> b(*second);
    if (properties.size() != other.properties.size()) return false;
    for (size_t k = 0; k < properties.size(); ++k)
        if (!properties[k].equals(other.properties[k])) return false;
    return true;
}

}  // namespace configmanager

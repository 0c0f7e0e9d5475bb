#pragma once
// The inside of a block, shared by the tree and its text reader and writer.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/Config.h"

namespace configmanager {

struct Block::Property {
    LinkedName name;
    PropertyType type = PropertyType::Int;
    float f = 0.0f;
    int i = 0;
    bool b = false;
    std::string s;
    std::unique_ptr<Block> block;

    Property() = default;
    Property(Property&&) noexcept = default;
    Property& operator=(Property&&) noexcept = default;
    Property& operator=(const Property& o) {
        Property copy(o);
        return *this = std::move(copy);
    }
    Property(const Property& o) : name(o.name), type(o.type), f(o.f), i(o.i), b(o.b), s(o.s) {
        if (o.block) block = std::make_unique<Block>(*o.block);
    }

    void set(float v) { reset(PropertyType::Float); f = v; }
    void set(int v) { reset(PropertyType::Int); i = v; }
    void set(bool v) { reset(PropertyType::Bool); b = v; }
    void set(const std::string& v) { reset(PropertyType::String); s = v; }
    void set(const Block& v) { reset(PropertyType::Block); block = std::make_unique<Block>(v); }
    void adopt(Block* v) {
        if (block.get() == v) return;  // the same child handed in again
        reset(PropertyType::Block);
        block.reset(v);
    }

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

// The reader and writer build and walk trees directly: one property at a
// time, without a path lookup per property.
struct TextAccess {
    using Property = Block::Property;
    static std::vector<Block::Property>& properties(Block& b) { return b.properties; }
    static const std::vector<Block::Property>& properties(const Block& b) { return b.properties; }
    static Block::Property* find(const Block& b, const LinkedName& name) { return b.find(name); }
    static Block::Property& append(Block& b, const LinkedName& name) { return b.append(name); }
};

}  // namespace configmanager

#pragma once
// The configuration library as the sound library calls it: trees of named
// properties (float, int, bool, string, child block) read from ".cfg"
// resources and written to and read from the host's saved games.
//
// Threads: a Block is a thread::SynchronizedObject; its own operations take
// its re-entrant lock, and a caller that walks or changes a tree from several
// threads holds the block's lock around each group of calls (lock()/unlock(),
// or std::lock_guard on the block itself).
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/Export.h"

namespace thread {

// Holder of one re-entrant lock; usable with std::lock_guard.
class ZULSOUND_API SynchronizedObject {
public:
    SynchronizedObject() = default;
    SynchronizedObject(const SynchronizedObject&) {}
    SynchronizedObject& operator=(const SynchronizedObject&) { return *this; }
    virtual ~SynchronizedObject() = default;

    void lock() const { mutex.lock(); }
    void unlock() const { mutex.unlock(); }
    bool try_lock() const { return mutex.try_lock(); }

private:
    mutable std::recursive_mutex mutex;
};

}  // namespace thread

namespace configmanager {

// A property name interned in ConfigManager::nameTable.
class ZULSOUND_API LinkedName {
public:
    LinkedName();  // the empty name
    explicit LinkedName(const std::string& name);
    explicit LinkedName(const char* name);

    unsigned getId() const { return id; }
    const std::string& getString() const;

    bool operator==(const LinkedName& o) const { return id == o.id; }
    bool operator!=(const LinkedName& o) const { return id != o.id; }
    bool operator<(const LinkedName& o) const { return id < o.id; }

private:
    unsigned id;
};

// The table of every name interned so far; ids are never reused.
class ZULSOUND_API NameTable {
public:
    NameTable();
    ~NameTable();
    NameTable(const NameTable&) = delete;
    NameTable& operator=(const NameTable&) = delete;

    unsigned intern(const std::string& name);
    const std::string& getName(unsigned id) const;
    size_t size() const;
};

class Block;

// What a property holds.
enum class PropertyType { Float, Int, Bool, String, Block };

class ZULSOUND_API Block : public thread::SynchronizedObject {
public:
    Block();
    Block(const Block& other);             // deep copy
    Block& operator=(const Block& other);  // deep copy
    virtual ~Block();

    // Lookups. A key may be a path "a.b.c" through child blocks. True when the
    // key exists with that type and the value was written; false leaves the
    // target untouched. A float lookup also accepts an integer property.
    bool getProperty(const std::string& key, float* value) const;
    bool getProperty(const std::string& key, int* value) const;
    bool getProperty(const std::string& key, bool* value) const;
    bool getProperty(const std::string& key, std::string* value) const;

    // Stores (replacing a property of the same name in its place, or
    // appending). A path's parent blocks must exist. A Block value is copied.
    bool setProperty(const std::string& key, const float* value);
    bool setProperty(const std::string& key, const int* value);
    bool setProperty(const std::string& key, const bool* value);
    bool setProperty(const std::string& key, const std::string* value);
    bool setProperty(const std::string& key, const Block* value);

    // The child block under a key or path; it stays owned by this tree.
    bool getPropertyAccess(const std::string& key, Block** child);
    bool getSinglePropertyAccess(const LinkedName& name, Block** child);
    // Stores a copy of the block under one name.
    bool setSingleProperty(const LinkedName& name, const Block* value);
    // Adopts a block made with new; a child of the same name is replaced.
    void addProperty(const LinkedName& name, Block* child);

    bool removeProperty(const LinkedName& name);
    void clear();

    // Enumeration in the block's own order (insertion order, file order).
    size_t getPropertyCount() const;
    std::vector<LinkedName> getPropertyNames() const;
    bool getPropertyType(const LinkedName& name, PropertyType* type) const;
    // Child blocks with their names, in order. The pointers stay owned by the
    // tree and are valid until the block changes.
    std::vector<std::pair<LinkedName, Block*>> getChildBlocks();

    bool operator==(const Block& other) const;
    bool operator!=(const Block& other) const { return !(*this == other); }

private:
    struct Property;
    struct Index;
    std::vector<Property> properties;
    // Names to positions, kept once a block holds more than a few
    // properties, so that lookups and stores stay constant time in large
    // blocks.
    std::unique_ptr<Index> index;

    Property* find(const LinkedName& name) const;
    Block* resolveParent(const std::string& key, std::string* leaf) const;
    template <typename T>
    bool store(const std::string& key, T value);
    template <typename F>
    bool visit(const std::string& key, F&& f) const;

    Property& append(const LinkedName& name);

    friend class ConfigManager;
    friend struct TextAccess;
};

// One read of a configuration file into a block tree.
class ZULSOUND_API ConfigManager : public Block {
public:
    static NameTable nameTable;

    // Groups nest at most this deep; deeper text is refused on reading and a
    // deeper tree on writing (a write holds the lock of every block on the
    // way down, and copies and comparisons recurse). Names hold at most
    // maxNameLength bytes.
    static constexpr int maxDepth = 32;
    static constexpr size_t maxNameLength = 1024;

    ConfigManager();
    ~ConfigManager() override;

    // Reads a resource ("/Configs/Sounds/UI.cfg") into this block, replacing
    // its content. On any failure the block is unchanged, the reason is
    // logged and the result is false.
    bool readFile(const std::string& resourcePath);

    // Saved games live outside the resources: a plain file of the host.
    bool readPlainFile(const std::string& filePath);
    // Writes the tree; refuses (false, nothing written) when a name cannot be
    // written: names start with a letter and hold letters, digits, '-', '_'
    // or '*', at most maxNameLength of them. Also refused: a float that is
    // not finite, a tree nested deeper than maxDepth. The file is written
    // to a temporary beside it and renamed over it, so a failed write
    // leaves the old file as it was.
    bool writePlainFile(const std::string& filePath) const;

    // Parses configuration text; `origin` names it in messages.
    bool readText(const std::string& text, const std::string& origin);
    // Whether configuration text reads, logging nothing: on failure the line
    // (0 when none applies) and the reason readText would log.
    static bool checkText(const std::string& text, int* line, std::string* reason);
    // The tree as configuration text; false if a name cannot be written.
    bool writeText(std::string* text) const;

    static bool isWritableName(const std::string& name);
};

}  // namespace configmanager

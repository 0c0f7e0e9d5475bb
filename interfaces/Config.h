#pragma once
/// @file
/// The configuration library as the sound library calls it: trees of named
/// properties (float, int, bool, string, child block) read from ".cfg"
/// resources and written to and read from the host's saved games.
///
/// Threads: a Block is a thread::SynchronizedObject; its own operations take
/// its re-entrant lock, and a caller that walks or changes a tree from several
/// threads holds the block's lock around each group of calls (lock()/unlock(),
/// or std::lock_guard on the block itself).
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/Export.h"

namespace thread {

/// Holder of one re-entrant lock; usable with std::lock_guard.
class ZULSOUND_API SynchronizedObject {
public:
    /// An unlocked lock.
    SynchronizedObject() = default;
    /// A copy has a lock of its own.
    SynchronizedObject(const SynchronizedObject&) {}
    /// The lock is not copied.
    SynchronizedObject& operator=(const SynchronizedObject&) { return *this; }
    virtual ~SynchronizedObject() = default;

    /// Takes the lock (re-entrant).
    void lock() const { mutex.lock(); }
    /// Gives the lock back.
    void unlock() const { mutex.unlock(); }
    /// Takes the lock if it is free.
    bool try_lock() const { return mutex.try_lock(); }

private:
    mutable std::recursive_mutex mutex;
};

}  // namespace thread

namespace configmanager {

/// A property name interned in ConfigManager::nameTable.
class ZULSOUND_API LinkedName {
public:
    LinkedName();  // the empty name
    /// The name `name`, interned.
    explicit LinkedName(const std::string& name);
    /// The name `name`, interned.
    explicit LinkedName(const char* name);

    /// Its id in the name table.
    unsigned getId() const { return id; }
    /// The name as text.
    const std::string& getString() const;

    /// The same name.
    bool operator==(const LinkedName& o) const { return id == o.id; }
    /// Another name.
    bool operator!=(const LinkedName& o) const { return id != o.id; }
    /// Order of interning.
    bool operator<(const LinkedName& o) const { return id < o.id; }

private:
    unsigned id;
};

/// The table of every name interned so far; ids are never reused.
class ZULSOUND_API NameTable {
public:
    NameTable();
    ~NameTable();
    NameTable(const NameTable&) = delete;
    NameTable& operator=(const NameTable&) = delete;

    /// The id of `name`, interned if new.
    unsigned intern(const std::string& name);
    /// The name of an id.
    const std::string& getName(unsigned id) const;
    /// How many names are interned.
    size_t size() const;
};

class Block;

/// What a property holds.
enum class PropertyType { Float, Int, Bool, String, Block };

/// A block of named properties in order: numbers, bools, strings and
/// child blocks. A game's save tree is one; it passes a child block of it
/// to SoundManager::saveGame() and loadGame().
class ZULSOUND_API Block : public thread::SynchronizedObject {
public:
    Block();
    /// A deep copy.
    Block(const Block& other);             // deep copy
    /// A deep copy.
    Block& operator=(const Block& other);  // deep copy
    virtual ~Block();

    /// Lookups. A key may be a path "a.b.c" through child blocks. True when the
    /// key exists with that type and the value was written; false leaves the
    /// target untouched. A float lookup also accepts an integer property.
    bool getProperty(const std::string& key, float* value) const;
    /// Reads an integer (see the float lookup).
    bool getProperty(const std::string& key, int* value) const;
    /// Reads a bool (see the float lookup).
    bool getProperty(const std::string& key, bool* value) const;
    /// Reads a string (see the float lookup).
    bool getProperty(const std::string& key, std::string* value) const;

    /// Stores (replacing a property of the same name in its place, or
    /// appending). A path's parent blocks must exist. A Block value is copied.
    bool setProperty(const std::string& key, const float* value);
    /// Stores an integer (see the float store).
    bool setProperty(const std::string& key, const int* value);
    /// Stores a bool (see the float store).
    bool setProperty(const std::string& key, const bool* value);
    /// Stores a string (see the float store).
    bool setProperty(const std::string& key, const std::string* value);
    /// Stores a copy of a block (see the float store).
    bool setProperty(const std::string& key, const Block* value);

    /// The child block under a key or path; it stays owned by this tree.
    bool getPropertyAccess(const std::string& key, Block** child);
    /// The child block under one name (no path).
    bool getSinglePropertyAccess(const LinkedName& name, Block** child);
    /// Stores a copy of the block under one name.
    bool setSingleProperty(const LinkedName& name, const Block* value);
    /// Adopts a block made with new; a child of the same name is replaced.
    void addProperty(const LinkedName& name, Block* child);

    /// Removes a property; false when there is none of that name.
    bool removeProperty(const LinkedName& name);
    /// Removes every property.
    void clear();

    /// Enumeration in the block's own order (insertion order, file order).
    size_t getPropertyCount() const;
    /// The names of the properties, in order.
    std::vector<LinkedName> getPropertyNames() const;
    /// What the property holds; false when there is none of that name.
    bool getPropertyType(const LinkedName& name, PropertyType* type) const;
    /// Child blocks with their names, in order. The pointers stay owned by the
    /// tree and are valid until the block changes.
    std::vector<std::pair<LinkedName, Block*>> getChildBlocks();

    /// The same properties with the same values, in the same order.
    bool operator==(const Block& other) const;
    /// Not equal.
    bool operator!=(const Block& other) const { return !(*this == other); }

private:
    struct Property;
    struct Index;
    std::vector<Property> properties;
    /// Names to positions, kept once a block holds more than a few
    /// properties, so that lookups and stores stay constant time in large
    /// blocks.
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

/// One read of a configuration file into a block tree.
class ZULSOUND_API ConfigManager : public Block {
public:
    /// Every name interned so far.
    static NameTable nameTable;

    /// Groups nest at most this deep; deeper text is refused on reading and a
    /// deeper tree on writing (a write holds the lock of every block on the
    /// way down, and copies and comparisons recurse). Names hold at most
    /// maxNameLength bytes.
    static constexpr int maxDepth = 32;
    /// The longest name, in bytes.
    static constexpr size_t maxNameLength = 1024;

    ConfigManager();
    ~ConfigManager() override;

    /// Reads a resource ("/Configs/Sounds/UI.cfg") into this block, replacing
    /// its content. On any failure the block is unchanged, the reason is
    /// logged and the result is false.
    bool readFile(const std::string& resourcePath);

    /// Saved games live outside the resources: a plain file of the host.
    bool readPlainFile(const std::string& filePath);
    /// Writes the tree; refuses (false, nothing written) when a name cannot be
    /// written: names start with a letter and hold letters, digits, '-', '_'
    /// or '*', at most maxNameLength of them. Also refused: a float that is
    /// not finite, a tree nested deeper than maxDepth. The file is written
    /// to a temporary beside it and renamed over it, so a failed write
    /// leaves the old file as it was.
    bool writePlainFile(const std::string& filePath) const;

    /// Parses configuration text; `origin` names it in messages.
    bool readText(const std::string& text, const std::string& origin);
    /// Whether configuration text reads, logging nothing: on failure the line
    /// (0 when none applies) and the reason readText would log.
    static bool checkText(const std::string& text, int* line, std::string* reason);
    /// The tree as configuration text; false if a name cannot be written.
    bool writeText(std::string* text) const;

    /// Whether writeText() and writePlainFile() can write the name.
    static bool isWritableName(const std::string& name);
};

}  // namespace configmanager

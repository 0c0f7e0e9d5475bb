#pragma once
// Storage for the nodes of one node-based container (a map), handed out
// from blocks of many nodes instead of one heap allocation each, so that a
// walk over thousands of nodes reads a few compact blocks rather than
// pages spread across the whole heap. Freed nodes are reused; the blocks
// go back to the heap when the last node is freed.
//
// Threads: none of its own; the container's owner serialises every use
// (the request manager's lock).
#include <cstddef>
#include <new>
#include <vector>

class NodePool {
public:
    NodePool() = default;
    ~NodePool() { releaseBlocks(); }
    NodePool(const NodePool&) = delete;
    NodePool& operator=(const NodePool&) = delete;

    // One node of `bytes`; the first request fixes the node size, and any
    // other size comes from the heap directly.
    void* take(size_t bytes) {
        if (nodeBytes == 0 && live == 0) nodeBytes = rounded(bytes);
        if (rounded(bytes) != nodeBytes) return ::operator new(bytes);
        void* node;
        if (freed) {
            node = freed;
            freed = freed->next;
        } else {
            if (blocks.empty() || usedInBlock == nodesPerBlock) {
                blocks.reserve(blocks.size() + 1);  // may throw before the block is made
                blocks.push_back(static_cast<unsigned char*>(::operator new(nodeBytes * nodesPerBlock)));
                usedInBlock = 0;
            }
            node = blocks.back() + nodeBytes * usedInBlock++;
        }
        ++live;
        return node;
    }

    void give(void* node, size_t bytes) noexcept {
        if (rounded(bytes) != nodeBytes) {
            ::operator delete(node);
            return;
        }
        auto* slot = static_cast<Free*>(node);
        slot->next = freed;
        freed = slot;
        if (--live == 0) releaseBlocks();
    }

private:
    struct Free {
        Free* next;
    };
    static constexpr size_t nodesPerBlock = 256;

    static size_t rounded(size_t bytes) {
        constexpr size_t align = alignof(std::max_align_t);
        const size_t atLeast = bytes < sizeof(Free) ? sizeof(Free) : bytes;
        return (atLeast + align - 1) / align * align;
    }

    void releaseBlocks() noexcept {
        for (unsigned char* block : blocks) ::operator delete(block);
        blocks.clear();
        freed = nullptr;
        usedInBlock = 0;
        nodeBytes = 0;
    }

    size_t nodeBytes = 0;
    size_t live = 0;  // nodes of the pool's size handed out
    size_t usedInBlock = 0;
    Free* freed = nullptr;
    std::vector<unsigned char*> blocks;
};

// The allocator a container is given to take its nodes from a pool.
template <class T>
class PoolAllocator {
public:
    using value_type = T;

    explicit PoolAllocator(NodePool* p) noexcept : pool(p) {}
    template <class U>
    PoolAllocator(const PoolAllocator<U>& other) noexcept : pool(other.pool) {}

    T* allocate(size_t n) {
        if (n != 1) return static_cast<T*>(::operator new(n * sizeof(T)));
        return static_cast<T*>(pool->take(sizeof(T)));
    }
    void deallocate(T* p, size_t n) noexcept {
        if (n != 1) ::operator delete(p);
        else pool->give(p, sizeof(T));
    }

    template <class U>
    bool operator==(const PoolAllocator<U>& other) const noexcept {
        return pool == other.pool;
    }
    template <class U>
    bool operator!=(const PoolAllocator<U>& other) const noexcept {
        return pool != other.pool;
    }

private:
    template <class U>
    friend class PoolAllocator;
    NodePool* pool;
};

#pragma once
// The first-in first-out queue of sources waiting for their next random try.
// A ring over one array that only grows (doubling from 16, so its size is a
// power of two and a mask wraps the positions), so a frame that re-queues
// the sources it tried allocates nothing.
#include <cstddef>
#include <vector>

struct LandSound;

class LandSchedule {
public:
    bool empty() const { return count == 0; }
    size_t size() const { return count; }
    LandSound* front() const { return ring[head]; }
    // The entry `k` places behind the front (k < size()).
    LandSound* at(size_t k) const { return ring[(head + k) & (ring.size() - 1)]; }

    void pushBack(LandSound* sound) {
        if (count == ring.size()) grow();
        ring[(head + count) & (ring.size() - 1)] = sound;
        ++count;
    }

    LandSound* popFront() {
        LandSound* sound = ring[head];
        head = (head + 1) & (ring.size() - 1);
        --count;
        return sound;
    }

    void clear() {
        head = 0;
        count = 0;
    }

    // The entries in queue order.
    template <typename F>
    void forEach(F&& f) const {
        for (size_t k = 0; k < count; ++k) f(ring[(head + k) & (ring.size() - 1)]);
    }

private:
    void grow() {
        std::vector<LandSound*> larger(ring.empty() ? 16 : ring.size() * 2);
        for (size_t k = 0; k < count; ++k) larger[k] = ring[(head + k) & (ring.size() - 1)];
        ring.swap(larger);
        head = 0;
    }

    std::vector<LandSound*> ring;
    size_t head = 0;
    size_t count = 0;
};

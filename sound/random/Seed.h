#pragma once
// The root of the random generator family: a generator with a seed of type
// SeedT that produces values of type ValueT. The system uses Seed<float, float>.
namespace random_ {

// The namespace is "random_" because "random" is the C library's random().
template <typename SeedT, typename ValueT>
class Seed {
public:
    Seed() = default;
    Seed(const Seed&) = default;
    Seed& operator=(const Seed&) = default;

    // Stores the value without checks; generators that need a valid seed
    // override it.
    virtual void setSeed(SeedT value) { seed = value; }
    virtual SeedT getSeed() { return seed; }
    virtual ValueT generate() = 0;
    virtual ~Seed() = default;

protected:
    SeedT seed = SeedT();
};

}  // namespace random_

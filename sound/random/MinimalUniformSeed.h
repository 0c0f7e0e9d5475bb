#pragma once
// The minimal standard generator: state = state * 16807 mod (2^31 - 1),
// stepped with Schrage's method so that nothing overflows 32 bits. Its seed
// is a float in [0, 1); after each value the seed field holds the unit value
// state * 2^-31 that was drawn, before it was scaled to [min, max).
//
// No lock: callers that share one generator serialise its use themselves.
#include "sound/random/UniformSeed.h"

namespace random_ {

class MinimalUniformSeed : public virtual UniformSeed {
public:
    // Throws InvalidSeedException unless 0 <= value < 1; then nothing changes.
    // 0 seeds like 0.5.
    void setSeed(float value) override;
    float generate() override;
    ~MinimalUniformSeed() override = default;

    // One step of the integer sequence; returns the new state.
    virtual int nextInteger();

private:
    // Schrage's constants, held by every generator for its life; the step
    // divides by the same values written as constants (see nextInteger).
    [[maybe_unused]] int q = 127773;  // 2147483647 div 16807
    [[maybe_unused]] int r = 2836;    // 2147483647 mod 16807
    int state = 1073741823;
};

}  // namespace random_

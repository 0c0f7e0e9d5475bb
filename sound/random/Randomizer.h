#pragma once
// The system's random source (theRandomizer): one minimal standard generator
// over [0, 1). A bad seed is ignored, so callers never see a failure.
//
// No lock: the landscape insonificator uses it only under its own lock.
#include "sound/random/MinimalUniformSeed.h"

class Randomizer {
public:
    Randomizer() = default;
    Randomizer(const Randomizer&) = delete;
    Randomizer& operator=(const Randomizer&) = delete;

    virtual ~Randomizer() = default;
    // Seeds the generator with a value in [0, 1); any other value leaves the
    // sequence as it was.
    virtual void setSeed(float value);
    // The last seed set or the last unit value drawn.
    virtual float getSeed();
    // The next value in [0, 1).
    virtual float random();

private:
    random_::MinimalUniformSeed generator;
};

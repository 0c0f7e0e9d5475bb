#include "sound/random/MinimalUniformSeed.h"

#include <sstream>

#include "sound/random/InvalidSeedException.h"

namespace random_ {

namespace {
constexpr int multiplier = 16807;
constexpr int modulus = 2147483647;
constexpr float unit = 4.656613e-10f;  // 2^-31 as a float
constexpr int quotient = modulus / multiplier;   // q
constexpr int remainder = modulus % multiplier;  // r
}  // namespace

void MinimalUniformSeed::setSeed(float value) {
    if (value < 0.0f || !(value < 1.0f)) {
        std::ostringstream text;
        text << "invalid seed value" << value << "for random";
        throw InvalidSeedException(text.str());
    }
    seed = value;
    state = static_cast<int>((value == 0.0f ? 0.5f : value) * 2147483647.0);
}

float MinimalUniformSeed::generate() {
    nextInteger();
    // Single precision, as the sequence has always been drawn: the states just
    // below 2^31 round up to a unit value of exactly 1.
    seed = static_cast<float>(state) * unit;
    return (max - min) * seed + min;
}

int MinimalUniformSeed::nextInteger() {
    if (state <= q) {
        state = (state * multiplier) % modulus;  // below 2^31: no overflow
    } else if (q == quotient && r == remainder) {
        // The generator's own q and r, as always: the same step dividing by
        // constants, which the compiler turns into multiplications (the
        // landscape draws a value for every due source of the map, every
        // frame).
        state = multiplier * (state % quotient) - remainder * (state / quotient);
        if (state <= 0) state += modulus;
    } else {
        state = multiplier * (state % q) - r * (state / q);
        if (state <= 0) state += modulus;
    }
    return state;
}

}  // namespace random_

#include "sound/random/MinimalUniformSeed.h"

#include <sstream>

#include "sound/random/InvalidSeedException.h"

namespace random_ {

namespace {
constexpr int multiplier = 16807;
constexpr int modulus = 2147483647;
constexpr float unit = 4.656613e-10f;  // 2^-31 as a float
constexpr int quotient = modulus / multiplier;   // q, 127773
constexpr int remainder = modulus % multiplier;  // r, 2836
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
    // Schrage's step, so that nothing overflows 32 bits. The divisors are
    // constants, which the compiler turns into multiplications: the
    // landscape draws a value for every due source of the map, every frame.
    if (state <= quotient) {
        state = (state * multiplier) % modulus;  // below 2^31 as it is (a state of 0 stays 0)
    } else {
        state = multiplier * (state % quotient) - remainder * (state / quotient);
        if (state <= 0) state += modulus;
    }
    return state;
}

}  // namespace random_

#include "sound/random/MinimalUniformSeed.h"

#include <sstream>

#include "sound/random/InvalidSeedException.h"

namespace random_ {

namespace {
constexpr int multiplier = 16807;
constexpr int modulus = 2147483647;
constexpr float unit = 4.656613e-10f;  // 2^-31 as a float
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
    } else {
        state = multiplier * (state % q) - r * (state / q);
        if (state <= 0) state += modulus;
    }
    return state;
}

}  // namespace random_

#include "sound/random/UniformSeed.h"

namespace random_ {

void UniformSeed::setMin(float value) { min = value; }

void UniformSeed::setMax(float value) { max = value; }

void UniformSeed::setRange(float minValue, float maxValue) {
    min = minValue;
    max = maxValue;
}

float UniformSeed::getMin() { return min; }

float UniformSeed::getMax() { return max; }

float UniformSeed::getMean() { return (max + min) * 0.5f; }

float UniformSeed::getHalfRange() { return (max - min) * 0.5f; }

}  // namespace random_

#pragma once
// A generator of values spread uniformly over [min, max), by default [0, 1).
#include "sound/random/Seed.h"

namespace random_ {

class UniformSeed : public Seed<float, float> {
public:
    virtual void setMin(float value);
    virtual void setMax(float value);
    virtual void setRange(float minValue, float maxValue);
    virtual float getMin();
    virtual float getMax();
    virtual float getMean();       // (max + min) * 0.5
    virtual float getHalfRange();  // (max - min) * 0.5

protected:
    float min = 0.0f;
    float max = 1.0f;
};

}  // namespace random_

#include "sound/random/Randomizer.h"

#include "sound/random/InvalidSeedException.h"

void Randomizer::setSeed(float value) {
    try {
        generator.setSeed(value);
    } catch (const random_::InvalidSeedException&) {
        // Dropped: the sequence goes on as before.
    }
}

float Randomizer::getSeed() { return generator.getSeed(); }

float Randomizer::random() { return generator.generate(); }

// The random generator family and the Randomizer.
//
// Golden values: computed apart from this code with python3, stepping the
// sequence by plain integer arithmetic (state = state * 16807 % (2**31 - 1),
// no Schrage split) from the state the seed gives (int(float32(s) *
// 2147483647.0)), and rounding the unit value as a float:
// float32(float32(state) * 2**-31) (struct.pack('f', ...)). Seed 0.057 is
// there because its first step takes Schrage's negative branch (16807 *
// (s mod q) - r * (s div q) = -2162257), seed 1e-5 because its state (21474)
// is below q and steps directly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sound/random/InvalidSeedException.h"
#include "sound/random/MinimalUniformSeed.h"
#include "sound/random/Randomizer.h"

namespace {

struct Golden {
    const char* name;
    bool seeded;
    float seed;
    std::vector<int> states;
    std::vector<float> units;
};

const std::vector<Golden> goldens = {
    {"unseeded", false, 0.0f,
     {1073733420, 932504199, 262416787, 1655011818, 1575429182},
     {0.4999960958957672f, 0.43423110246658325f, 0.12219733744859695f, 0.7706749439239502f,
      0.7336163520812988f}},
    // 0 seeds like 0.5, and 0.5 is where an unseeded generator starts.
    {"0.0", true, 0.0f,
     {1073733420, 932504199, 262416787, 1655011818, 1575429182},
     {0.4999960958957672f, 0.43423110246658325f, 0.12219733744859695f, 0.7706749439239502f,
      0.7336163520812988f}},
    {"0.5", true, 0.5f,
     {1073733420, 932504199, 262416787, 1655011818, 1575429182},
     {0.4999960958957672f, 0.43423110246658325f, 0.12219733744859695f, 0.7706749439239502f,
      0.7336163520812988f}},
    {"0.25", true, 0.25f,
     {1610600130, 325014475, 1467367004, 335034080, 215660126},
     {0.749994158744812f, 0.15134665369987488f, 0.6832960247993469f, 0.1560124009847641f,
      0.10042457282543182f}},
    {"0.057", true, 0.057f, {2145321390}, {0.9989930987358093f}},
    {"1e-5", true, 1e-5f, {360913518, 1379677898}, {0.1680634468793869f, 0.6424626111984253f}},
};

TEST(Random, SequencesMatchTheMinimalStandardGenerator) {
    for (const Golden& golden : goldens) {
        SCOPED_TRACE(golden.name);
        random_::MinimalUniformSeed integers;
        Randomizer randomizer;
        if (golden.seeded) {
            integers.setSeed(golden.seed);
            randomizer.setSeed(golden.seed);
            EXPECT_EQ(randomizer.getSeed(), golden.seed);
        }
        for (size_t i = 0; i < golden.states.size(); ++i) {
            EXPECT_EQ(integers.nextInteger(), golden.states[i]) << "step " << i;
            EXPECT_EQ(randomizer.random(), golden.units[i]) << "step " << i;
            EXPECT_EQ(randomizer.getSeed(), golden.units[i]) << "step " << i;
        }
    }
}

TEST(Random, BadSeedsThrowFromTheGeneratorAndAreDroppedByTheRandomizer) {
    struct Case {
        float seed;
        const char* text;
    };
    for (const Case& c : {Case{1.0f, "invalid seed value1for random"},
                          Case{-0.25f, "invalid seed value-0.25for random"},
                          Case{1.5f, "invalid seed value1.5for random"}}) {
        SCOPED_TRACE(c.text);
        random_::MinimalUniformSeed generator;
        generator.setSeed(0.25f);
        try {
            generator.setSeed(c.seed);
            ADD_FAILURE() << "no exception";
        } catch (const debug::Exception& e) {
            EXPECT_NE(dynamic_cast<const random_::InvalidSeedException*>(&e), nullptr);
            EXPECT_EQ(e.getString(), c.text);
        }
        EXPECT_EQ(generator.getSeed(), 0.25f);
        EXPECT_EQ(generator.generate(), 0.749994158744812f);  // the 0.25 sequence goes on

        Randomizer randomizer;
        randomizer.random();
        randomizer.setSeed(c.seed);
        EXPECT_EQ(randomizer.getSeed(), 0.4999960958957672f);
        EXPECT_EQ(randomizer.random(), 0.43423110246658325f);  // second unseeded value
    }
}

TEST(Random, RangeScalesTheUnitValue) {
    random_::MinimalUniformSeed generator;
    EXPECT_EQ(generator.getMin(), 0.0f);
    EXPECT_EQ(generator.getMax(), 1.0f);
    generator.setRange(2.0f, 4.0f);
    EXPECT_EQ(generator.getMean(), 3.0f);
    EXPECT_EQ(generator.getHalfRange(), 1.0f);
    // First unseeded unit value 0.4999960958957672, scaled: 2 * u + 2 in floats.
    EXPECT_EQ(generator.generate(), 2.9999921321868896f);
    EXPECT_EQ(generator.getSeed(), 0.4999960958957672f);  // the seed stays the unit value
    for (int i = 0; i < 10000; ++i) {
        const float value = generator.generate();
        ASSERT_GE(value, 2.0f);
        ASSERT_LT(value, 4.0f);
    }
    generator.setMin(-1.0f);
    generator.setMax(0.0f);
    EXPECT_EQ(generator.getMean(), -0.5f);
    EXPECT_EQ(generator.getHalfRange(), 0.5f);

    // The base stores any seed unchecked.
    random_::UniformSeed& base = generator;
    base.random_::UniformSeed::setSeed(7.0f);
    EXPECT_EQ(base.getSeed(), 7.0f);
}

}  // namespace

// The password model: how the flags, volumes and radii of several clients
// combine into what the implementation is told.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sound/effects/Effect.h"

namespace {

// Records what the base class hands to the implementation.
class Probe : public Effect {
public:
    Probe() : Effect("probe") {}
    std::vector<std::string> told;

    void activate() override {
        active = true;
        told.push_back("on");
    }
    void deactivate() override {
        active = false;
        told.push_back("off");
    }
    using Effect::activate;
    using Effect::deactivate;
    using Effect::setRadius;
    using Effect::setVolume;
    void setVolume(float v) override {
        volume = v;
        told.push_back("volume " + std::to_string(v));
    }
    void setRadius(float r) override {
        radius = r;
        told.push_back("radius " + std::to_string(r));
    }
    void play() override {}
    bool isPlaying() override { return false; }
    void stop() override {}
    void pause() override {}
    void trigger() override {}
    void setPosition(const Vector&) override {}
    Vector getPosition() override { return {}; }
};

}  // namespace

TEST(Effect, EveryPasswordMustAgreeBeforeTheEffectIsOn) {
    Probe effect;
    effect.activate("nobody");  // unknown passwords change nothing
    EXPECT_TRUE(effect.told.empty());

    effect.addCommonPassword(true, "group");
    EXPECT_TRUE(effect.getIsActive());
    effect.addCommonPassword(false, "pause");  // any false flag switches it off
    EXPECT_FALSE(effect.getIsActive());
    effect.activate("pause");
    EXPECT_TRUE(effect.getIsActive());

    effect.told.clear();
    effect.activate("pause");  // already true: no update at all
    EXPECT_TRUE(effect.told.empty());

    effect.deactivate("group");
    EXPECT_FALSE(effect.getIsActive());
    effect.addCommonPassword(true, "group");  // re-adding replaces the flag
    EXPECT_TRUE(effect.getIsActive());

    effect.removeCommonPassword("group");
    effect.removeCommonPassword("pause");  // no password left: off
    EXPECT_FALSE(effect.getIsActive());
    EXPECT_EQ(effect.told.back(), "radius 1.000000");
}

TEST(Effect, VolumeAndRadiusAreProductsOfTheFactors) {
    Probe effect;
    effect.setVolume(0.3f, "never added");  // ignored
    EXPECT_EQ(effect.getVolume("never added"), 1.0f);
    EXPECT_TRUE(effect.told.empty());

    effect.addCommonPassword(true, "a");
    effect.addCommonPassword(true, "b");
    effect.setVolume(0.5f, "a");
    effect.setVolume(0.5f, "b");
    EXPECT_EQ(effect.getVolume(), 0.25f);
    effect.setRadius(4.0f, "a");
    effect.setRadius(-2.0f, "b");  // stored and multiplied unchanged
    EXPECT_EQ(effect.getRadius(), -8.0f);

    effect.addCommonPassword(true, "a");  // re-adding resets a's factors
    EXPECT_EQ(effect.getVolume(), 0.5f);
    EXPECT_EQ(effect.getRadius(), -2.0f);
    EXPECT_EQ(effect.getVolume("a"), 1.0f);

    effect.setVolume(0.0f, "a");
    EXPECT_EQ(effect.getVolume(), 0.0f);

    // The product is handed on at every update, changed or not.
    effect.told.clear();
    effect.setVolume(0.0f, "a");
    EXPECT_EQ(effect.told, std::vector<std::string>{"volume 0.000000"});

    effect.removeCommonPassword("a");
    effect.removeCommonPassword("b");
    EXPECT_EQ(effect.getVolume(), 1.0f);
    EXPECT_EQ(effect.getRadius(), 1.0f);
    effect.setPriority(5);
    EXPECT_EQ(effect.getPriority(), 0);
}

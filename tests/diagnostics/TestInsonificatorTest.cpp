// The test insonificator from its keys: 19 creates "sin" and the 500
// numbered effects once, 25 plays the numbered ones, 26 restarts "sin".
#include <gtest/gtest.h>

#include <set>

#include "interfaces/DebugInput.h"
#include "sound/diagnostics/TestInsonificator.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "tests/support/TestLibrary.h"

using testsupport::RecordingEffect;

namespace {

std::string effectsFile() {
    // "disk" effects take their device effect at creation, so the device
    // shows every effect the insonificator holds.
    std::string text = "device = 'device.cfg';\ndefault = 0.3, 4.0, disk, false, normal, 0;\nsin = 'sin.wav';\n";
    for (int i = 0; i < 500; ++i) text += "test" + std::to_string(i) + " = 'tone" + std::to_string(i) + ".wav';\n";
    return text;
}

struct TestInsonificatorTest : testing::Test {
    testsupport::TestLibrary library{effectsFile()};

    void SetUp() override {
        library.sound("device.cfg");
        library.sound("sin.wav");
        for (int i = 0; i < 500; ++i) library.sound("tone" + std::to_string(i) + ".wav");
        library.activate();
    }
    size_t playing() {
        size_t n = 0;
        for (RecordingEffect* e : library.device->liveEffects()) n += e->snapshot().playing ? 1 : 0;
        return n;
    }
};

}  // namespace

TEST_F(TestInsonificatorTest, KeysBeforeCreationDoNothingThenCreationHappensOnce) {
    TestInsonificator test;
    EXPECT_EQ(test.getName(), "undefined insonificator");
    library.device->clearCalls();
    debuginput::dispatch(25, 1);
    debuginput::dispatch(26, 1);
    EXPECT_TRUE(library.device->calls().empty());

    debuginput::dispatch(19, 0);  // a release is not a press
    EXPECT_TRUE(library.device->liveEffects().empty());
    debuginput::dispatch(19, 1);
    debuginput::dispatch(19, 1);
    const auto live = library.device->liveEffects();
    ASSERT_EQ(live.size(), 501u);
    std::set<std::string> sources;
    for (RecordingEffect* e : live) sources.insert(e->snapshot().source);
    EXPECT_EQ(sources.size(), 501u);
    EXPECT_TRUE(sources.count("/Sounds/sin.wav"));
    EXPECT_TRUE(sources.count("/Sounds/tone0.wav"));
    EXPECT_TRUE(sources.count("/Sounds/tone499.wav"));
    EXPECT_EQ(playing(), 0u);

    library.device->clearCalls();
    debuginput::dispatch(25, 1);
    EXPECT_EQ(playing(), 500u);
    // One batch: the device starts the 500 together, in step.
    const auto calls = library.device->calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().name, "beginBatch");
    EXPECT_EQ(calls.back().name, "endBatch");
    EXPECT_EQ(library.device->count("play"), 500u);
    EXPECT_FALSE(library.devicesOf("sin.wav").at(0)->snapshot().playing);

    debuginput::dispatch(26, 1);
    RecordingEffect* sin0 = library.devicesOf("sin.wav").at(0);
    EXPECT_TRUE(sin0->snapshot().playing);
    library.device->clearCalls();
    debuginput::dispatch(26, 1);  // while it plays: from its start again
    RecordingEffect* sin = library.devicesOf("sin.wav").at(0);
    std::vector<std::string> onSin;
    for (const auto& call : library.device->calls())
        if (call.object == sin->label() && (call.name == "stop" || call.name == "play")) onSin.push_back(call.name);
    EXPECT_EQ(onSin, (std::vector<std::string>{"stop", "play"}));
    EXPECT_TRUE(sin->snapshot().playing);
}

TEST_F(TestInsonificatorTest, NoGroupSettingReachesItAndItGivesItsEffectsBack) {
    {
        TestInsonificator test;
        debuginput::dispatch(19, 1);
        ASSERT_EQ(library.device->liveEffects().size(), 501u);
        for (unsigned long id = 0; id < 4; ++id) library.registry->disable(id);
        EXPECT_TRUE(test.getIsEnabledAllEffects());
        EXPECT_EQ(library.registry->getQuantity(), 1u);
    }
    EXPECT_TRUE(library.device->liveEffects().empty());
    EXPECT_EQ(debuginput::dispatch(19, 1), 0);  // its shortcuts went with it
}

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <set>
#include <thread>
#include <vector>

#include "sound/manager/LogChannels.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ResourceTree.h"

using debug::Kind;
using testsupport::logged;

TEST(Logging, EachKindArrivesWithChannelLevelAndContext) {
    debug::Capture capture;
    const int line = __LINE__ + 1;
    channels::requestManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << "Skip load " << "x" << ": " << 3);
    channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "Invalid symbol at line " << 12);
    channels::musicInsonificator.post(debug::Message(DEBUG_CONTEXT, 0.5f) << "flag " << true << " " << false);
    channels::landInsonificator.post(debug::Message(DEBUG_CONTEXT, 0.0f) << 0.25f << " " << 1e-7 << " " << 100000.0);

    const auto records = capture.records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0], logged("RequestManager", Kind::Warning, 0.1f, "Skip load x: 3"));
    EXPECT_EQ(records[0].context, "(LoggingTest.cpp," + std::to_string(line) + ")");
    EXPECT_EQ(records[1], logged("SoundManager", Kind::Error, 0.0f, "Invalid symbol at line 12"));
    // bools as 1 and 0, numbers in the stream's default format
    EXPECT_EQ(records[2], logged("MusicInsonificator", Kind::Message, 0.5f, "flag 1 0"));
    EXPECT_EQ(records[3], logged("LandInsonificator", Kind::Message, 0.0f, "0.25 1e-07 100000"));
}

TEST(Logging, CaptureSeesOnlyWhatIsPostedWhileItExists) {
    channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "before");
    debug::Capture capture;
    {
        debug::Capture inner;
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "during");
        EXPECT_EQ(inner.count("during"), 1u);
    }
    channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "after");
    EXPECT_EQ(capture.count("before"), 0u);
    EXPECT_EQ(capture.count("during"), 1u);
    EXPECT_EQ(capture.count("after"), 1u);
}

TEST(Logging, ManyThreadsPostingLoseNothingAndTearNothing) {
    debug::Capture capture;
    constexpr int threads = 8, each = 500;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t] {
            const debug::Filter& channel = t % 2 ? channels::soundManager : channels::landInsonificator;
            for (int k = 0; k < each; ++k)
                channel.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << "thread " << t << " message " << k);
        });
    }
    for (auto& w : workers) w.join();

    const auto records = capture.records();
    ASSERT_EQ(records.size(), static_cast<size_t>(threads * each));
    std::set<std::string> seen;
    for (const auto& r : records) {
        int t = -1, k = -1;
        ASSERT_EQ(std::sscanf(r.text.c_str(), "thread %d message %d", &t, &k), 2) << r.text;
        EXPECT_EQ(r.channel, t % 2 ? "SoundManager" : "LandInsonificator");
        seen.insert(r.text);
    }
    EXPECT_EQ(seen.size(), records.size());
}

TEST(Logging, LogFileKeepsMessagesWithinTheThreshold) {
    testsupport::TemporaryDirectory dir;
    const std::string file = dir.file("sound.log");
    ASSERT_TRUE(debug::setLogFile(file));
    debug::setLevelThreshold(0.5f);
    channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << "device failed");
    channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 1.0f) << "repeated focus");
    channels::musicInsonificator.post(debug::Message(DEBUG_CONTEXT, 0.5f) << "music command");
    channels::requestManager.post(debug::Error(DEBUG_CONTEXT) << "misuse");
    debug::setLevelThreshold(std::numeric_limits<float>::infinity());
    ASSERT_TRUE(debug::setLogFile(""));  // closes the file

    const std::string text = testsupport::readWholeFile(file);
    EXPECT_THAT(text, testing::HasSubstr("[SoundManager] warning (0.1): device failed (LoggingTest.cpp,"));
    EXPECT_THAT(text, testing::HasSubstr("[MusicInsonificator] message (0.5): music command"));
    EXPECT_THAT(text, testing::HasSubstr("[RequestManager] error: misuse"));
    EXPECT_THAT(text, testing::Not(testing::HasSubstr("repeated focus")));

    debug::Capture capture;
    // a path below a regular file cannot be opened
    EXPECT_FALSE(debug::setLogFile(file + "/inner.log"));
    EXPECT_EQ(capture.records().size(), 1u);
}


// The live pacer's schedule, on a clock of the test's own: frames end a
// frame's time apart from the first one on; a late wake-up is caught up so
// the schedule never drifts; a frame that ran long (a configuration read
// again, a game loaded) delays the rest of the session instead of letting
// the next frames run back to back, which would squeeze what they play into
// no time and make the live session sound unlike its rendering.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "sandbox/demo/Output.h"
#include "tests/support/ResourceTree.h"

namespace {

using Clock = zsdemo::RealTimePacer::Clock;
using Ms = std::chrono::duration<double, std::milli>;

constexpr double frameSeconds = 0.02;  // 20 ms frames: the figures read plainly

// A clock that moves only when the frames work or the pacer sleeps; each
// sleep ends `wakeLate` after the moment asked for (never before "now").
struct FakeTime {
    Clock::time_point now{std::chrono::seconds(100)};
    Ms wakeLate{0.0};
    std::vector<Clock::time_point> wakes;

    zsdemo::RealTimePacer::Time time() {
        zsdemo::RealTimePacer::Time t;
        t.now = [this] { return now; };
        t.sleepUntil = [this](Clock::time_point until) {
            if (until > now) now = until;
            now += std::chrono::duration_cast<Clock::duration>(wakeLate);
            wakes.push_back(now);
        };
        return t;
    }
};

double millis(Clock::duration d) { return Ms(d).count(); }

struct Case {
    std::string name;
    std::vector<double> workMs;  // each frame's own work before the pacer is called
    double wakeLateMs;
    // The time from the end of the first frame to each later frame's end.
    std::vector<double> expectedEndsMs;
};

TEST(RealTimePacer, FramesEndOnScheduleAndALongFrameDelaysTheRestInsteadOfSqueezingIt) {
    const std::vector<Case> cases = {
        {"light frames end a frame apart", {5, 5, 5, 5}, 0.0, {20, 40, 60}},
        // Waking 3 ms late each time is caught up by the next frame's sleep.
        {"late wake-ups do not drift", {5, 5, 5, 5}, 3.0, {20, 40, 60}},
        // Work that overruns its frame by less than half a frame (8 ms): that
        // frame ends late, the next one on schedule again.
        {"a frame a little late is caught up", {5, 28, 5, 5}, 0.0, {28, 40, 60}},
        // The third frame works 100 ms: it ends at 20 + 100 = 120 ms after the
        // first, and the frames after it keep a full frame each.
        {"a long frame delays the rest", {5, 5, 100, 5, 5}, 0.0, {20, 120, 140, 160}},
        // The time before the first frame (the session starting) is no lateness.
        {"a slow start is not caught up", {500, 5, 5}, 0.0, {20, 40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTime fake;
        fake.wakeLate = Ms(c.wakeLateMs);
        zsdemo::RealTimePacer pacer(fake.time());
        for (double work : c.workMs) {
            fake.now += std::chrono::duration_cast<Clock::duration>(Ms(work));
            ASSERT_TRUE(pacer.frame(frameSeconds));
        }
        ASSERT_EQ(fake.wakes.size(), c.workMs.size());
        std::vector<double> ends;
        for (size_t k = 1; k < fake.wakes.size(); ++k) ends.push_back(millis(fake.wakes[k] - fake.wakes[0]));
        ASSERT_EQ(ends.size(), c.expectedEndsMs.size());
        for (size_t k = 0; k < ends.size(); ++k)
            EXPECT_NEAR(ends[k], c.expectedEndsMs[k], 1e-3) << "frame " << k + 1;
    }
}

}  // namespace

// The rendering's file: every sample saturated and rounded as lrint rounds
// (halves to even), whatever the pieces the frames come in, the header
// finished with the frame count at close.
TEST(WavWriter, SamplesAreRoundedAndSaturatedAsLrintAndTheFileIsWhole) {
    testsupport::TemporaryDirectory dir;
    const std::string path = dir.file("render.wav");
    std::vector<float> samples;
    // Halves of a step either side of zero and near full scale, beyond
    // full scale, not a number, and a ramp long enough to be written in
    // several pieces.
    for (float steps : {0.5f, 1.5f, 2.5f, -0.5f, -1.5f, -2.5f, 32766.5f, -32766.5f, 1000.49f, -1000.51f})
        samples.push_back(steps / 32767.0f);
    for (float v : {1.0f, -1.0f, 1.25f, -7.0f, std::nanf(""), 0.0f, -0.0f, 1e-30f}) samples.push_back(v);
    for (int k = 0; k < 400000; ++k) samples.push_back(std::sin(0.001f * float(k)) * 1.1f);
    if (samples.size() % 2) samples.push_back(0.25f);
    const uint32_t frames = static_cast<uint32_t>(samples.size() / 2);

    zsdemo::WavWriter writer;
    ASSERT_TRUE(writer.open(path, 48000));
    for (uint32_t done = 0, piece = 1; done < frames; done += piece, piece = piece * 3 % 1000 + 1) {
        piece = std::min(piece, frames - done);
        ASSERT_TRUE(writer.write(samples.data() + 2 * done, piece));
    }
    EXPECT_EQ(writer.getFrames(), frames);
    ASSERT_TRUE(writer.close());

    const std::string bytes = testsupport::readWholeFile(path);
    ASSERT_EQ(bytes.size(), 44 + 4 * size_t(frames));
    auto word32 = [&](size_t at) {
        uint32_t v = 0;
        for (int b = 3; b >= 0; --b) v = v << 8 | static_cast<unsigned char>(bytes[at + b]);
        return v;
    };
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(word32(4), 36 + 4 * frames);
    EXPECT_EQ(word32(24), 48000u);
    EXPECT_EQ(word32(40), 4 * frames);
    size_t wrong = 0;
    for (size_t k = 0; k < samples.size(); ++k) {
        const float v = std::max(-1.0f, std::min(1.0f, samples[k]));
        const auto expected = static_cast<int16_t>(std::lrint(v * 32767.0f));
        const auto written = static_cast<int16_t>(static_cast<unsigned char>(bytes[44 + 2 * k]) |
                                                  static_cast<unsigned char>(bytes[45 + 2 * k]) << 8);
        if (written != expected && wrong++ < 5) ADD_FAILURE() << "sample " << k << ": " << written << " != " << expected;
    }
    EXPECT_EQ(wrong, 0u);
}

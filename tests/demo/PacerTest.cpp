// The live pacer's schedule, on a clock of the test's own: frames end a
// frame's time apart from the first one on; a late wake-up is caught up so
// the schedule never drifts; a frame that ran long (a configuration read
// again, a game loaded) delays the rest of the session instead of letting
// the next frames run back to back, which would squeeze what they play into
// no time and make the live session sound unlike its rendering.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "sandbox/demo/Output.h"

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

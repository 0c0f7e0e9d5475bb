// A session played live sounds as its rendering does: zsdemo renders a short
// session through the loopback, then plays it on the default output of a
// PulseAudio server of the test's own while the test records the server's
// monitor; the two, lined up by the cross-correlation of their envelopes,
// differ by at most 1.5 dB in every 4 s window (the music fading in and out
// included). The waits are on events: the recording runs until the live
// program has exited, bounded only by a generous limit.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "sandbox/demo/Comparison.h"
#include "sandbox/demo/Loudness.h"
#include "tests/support/PulseServer.h"
#include "tests/support/ResourceTree.h"

namespace {

constexpr uint32_t rate = 48000;

int runSession(const testsupport::TemporaryDirectory& dir, const std::string& output, const std::string& logName) {
    const std::string command = std::string(ZSDEMO_PROGRAM) + " --no-progress --content " + ZULSOUND_CONTENT_DIR +
                                " --script " + ZSDEMO_LIVE + " --seed 7 --save-dir " + dir.path() + " " + output +
                                " > " + dir.file(logName) + " 2>&1";
    return std::system(command.c_str());
}

}  // namespace

TEST(LiveAndRendered, EveryWindowOfTheLiveSessionIsWithinOneAndAHalfDecibelsOfTheRendering) {
    testsupport::PulseServer server;
    ASSERT_TRUE(server.ok()) << server.log();
    testsupport::TemporaryDirectory dir;
    ASSERT_EQ(runSession(dir, "--render " + dir.file("rendered.wav"), "rendered.log"), 0)
        << testsupport::readWholeFile(dir.file("rendered.log"));
    const zsdemo::LoudnessFigures rendered = zsdemo::measureLoudness(dir.file("rendered.wav"));
    ASSERT_TRUE(rendered.ok);

    // The monitor records from before the program starts until after it has
    // exited (and its last period has been played).
    testsupport::Monitor monitor(server);
    ASSERT_TRUE(monitor.ok());
    std::atomic<bool> finished{false};
    int status = -1;
    std::thread player([&] {
        status = runSession(dir, "--output default", "live.log");
        finished = true;
    });
    std::vector<float> heard, block;
    const uint64_t limit = uint64_t(rate) * 240;  // far beyond a 10 s session's start-up and run
    bool recording = true;
    while (!finished && monitor.position() < limit && (recording = monitor.read(block, rate / 10)))
        heard.insert(heard.end(), block.begin(), block.end());
    if (recording && monitor.read(block, rate / 2)) heard.insert(heard.end(), block.begin(), block.end());
    player.join();
    ASSERT_TRUE(recording) << "the server went away: " << server.log();
    ASSERT_TRUE(finished) << "the live session did not end within " << limit / rate << " s";
    ASSERT_EQ(status, 0) << testsupport::readWholeFile(dir.file("live.log"));

    zsdemo::ComparisonSettings settings;
    settings.earliest = -1.0;  // the recording starts before the program does
    settings.latest = static_cast<double>(heard.size() / 2) / rate;
    const zsdemo::Comparison comparison =
        zsdemo::compareEnvelopes(zsdemo::envelopeOf(heard, rate), rendered.envelope, settings);
    std::printf("live is %+.2f s against the rendering\n", comparison.lag);
    size_t counted = 0;
    for (const zsdemo::WindowDifference& w : comparison.windows) {
        std::printf("%4.1f-%4.1f s: live %6.1f dBFS, rendered %6.1f dBFS, %+.2f dB%s\n", w.from, w.to, w.live,
                    w.rendered, w.difference, w.counted ? "" : " (both below -60 dBFS)");
        if (!w.counted) continue;
        ++counted;
        EXPECT_LE(std::fabs(w.difference), 1.5) << "window " << w.from << "-" << w.to << " s";
    }
    // The music and the effects are heard in every window: 0-4, 4-8 and 8-10 s.
    EXPECT_EQ(counted, 3u);
}

// The session script: times in their three forms, every command with its
// arguments, and bad lines reported with their line numbers while the rest
// still plays. The session's frame loop over the sandbox host with a
// recording sound side: commands at their frames, pause, focus, the day.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sandbox/demo/Script.h"
#include "sandbox/demo/Session.h"

namespace {

using testing::ElementsAre;
using zsdemo::parseScript;

std::vector<std::string> messages(const zsdemo::Script& s) {
    std::vector<std::string> out;
    for (const auto& m : s.messages) out.push_back(m.format());
    return out;
}

TEST(Script, ReadsTimesCommandsAndArguments) {
    const auto s = parseScript(
        "# a session\n"
        "\n"
        "0     menu button_press\n"
        "1.5   action bell 3 8   # at a cell\n"
        "+0.5  music theme\n"
        "1:02.5 subtype 6 7 forest\n"
        "70 end\n");
    EXPECT_THAT(messages(s), testing::IsEmpty());
    ASSERT_EQ(s.commands.size(), 5u);
    EXPECT_EQ(s.commands[1].text(), "action bell 3 8");
    EXPECT_EQ(s.commands[1].line, 4);
    EXPECT_DOUBLE_EQ(s.commands[2].time, 2.0);
    EXPECT_DOUBLE_EQ(s.commands[3].time, 62.5);
    EXPECT_DOUBLE_EQ(s.length(), 70.0);
}

TEST(Script, ReportsEachBadLineWithItsNumberAndKeepsTheRest) {
    const auto s = parseScript(
        "1 menu click\n"          // 1 fine
        "soon music theme\n"      // 2 no time
        "2 dance\n"               // 3 unknown
        "3 action bell 3\n"       // 4 too few
        "4 focus maybe\n"         // 5 bad word
        "5 subtype 1 1 lava\n"    // 6 bad subtype
        "6 volume 0 1.5\n"        // 7 out of range
        "0.5 pause\n"             // 8 goes back
        "7\n"                     // 9 no command
        "1:75 quiet\n"            // 10 seconds >= 60
        "8 unpause\n");           // 11 fine
    EXPECT_THAT(messages(s),
                ElementsAre("line 2: \"soon\" is not a time (seconds, MIN:SEC or +SECONDS)",
                            "line 3: unknown command \"dance\"", "line 4: action takes EFFECT X Y",
                            "line 5: focus: expected on or off, not maybe",
                            "line 6: subtype: unknown subtype lava (sea, coast, meadow, forest, mountains)",
                            "line 7: volume: VALUE should be from 0 to 1, not 1.5",
                            "line 8: time 0.5 goes back before the previous command", "line 9: a time without a command",
                            "line 10: \"1:75\" is not a time (seconds, MIN:SEC or +SECONDS)"));
    ASSERT_EQ(s.commands.size(), 2u);
    EXPECT_EQ(s.commands[0].verb, "menu");
    EXPECT_EQ(s.commands[1].verb, "unpause");
}

struct RecordingSide : zsdemo::SoundSide {
    sandbox::Host* host = nullptr;
    std::vector<std::string> calls;
    bool begin(sandbox::Host& h) override {
        host = &h;
        calls.push_back("begin");
        return true;
    }
    void command(const zsdemo::Command& c, const Vector& place, const std::string& path) override {
        std::string call = c.text() + " @" + std::to_string(host->view.getFrameCount());
        if (c.verb == "action") call += " (" + std::to_string(place.x) + "," + std::to_string(place.y) + ")";
        if (!path.empty()) call += " " + path;
        calls.push_back(call);
    }
    void end() override { calls.push_back("end @" + std::to_string(host->view.getFrameCount())); }
};

struct CountingPacer : zsdemo::Pacer {
    double seconds = 0;
    bool frame(double s) override {
        seconds += s;
        return true;
    }
};

TEST(Session, RunsCommandsAtTheirFramesOverADay) {
    const auto script = parseScript(
        "0 menu hover\n"
        "0.5 action bell 0 0\n"
        "1 pause\n"
        "1 focus off\n"
        "2 unpause\n"
        "2 focus on\n"
        "2.5 subtype 0 0 mountains\n"
        "3 save a.cfg\n"
        "4 end\n");
    RecordingSide side;
    CountingPacer pacer;
    zsdemo::SessionOptions options;
    options.width = 8;
    options.height = 4;
    options.saveDirectory = "/saves";
    zsdemo::Session session(script, options, side, pacer);
    ASSERT_TRUE(session.run());
    EXPECT_THAT(side.calls, ElementsAre("begin", "menu hover @0", "action bell 0 0 @30 (-3.500000,1.500000)",
                                        "pause @60", "unpause @120", "save a.cfg @180 /saves/a.cfg", "end @240"));
    EXPECT_NEAR(pacer.seconds, 4.0, 1e-9);
    sandbox::Host& host = session.getHost();
    // The window came back; the cell changed; the render timer stood still
    // for the paused second; the clock ran a day less that second.
    EXPECT_TRUE(host.window.hasFocus());
    EXPECT_EQ(host.board.getSubtype({0, 0}), sandbox::Mountains);
    EXPECT_NEAR(host.timer.getTime(), 3.0, 1e-3);
    EXPECT_NEAR(host.clock.getDayTime(), 3 * 24 * 60 / 4, 1);
    ASSERT_EQ(session.getActions().size(), 1u);
}

}  // namespace

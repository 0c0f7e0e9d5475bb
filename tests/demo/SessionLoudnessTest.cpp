// The sample session sounds like a game, not like a wall of noise: the first
// twelve seconds of the default session (menus, music, actions, the quiet
// and loud music, the landscape) rendered by zsdemo measure about -24 LUFS
// integrated, with the true peak at most -1 dBTP and no sample at full
// scale.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "sandbox/demo/Loudness.h"
#include "sandbox/demo/Script.h"
#include "tests/support/ResourceTree.h"

namespace {

TEST(SessionLoudness, TheSampleSessionsOpeningMeetsTheGameAudioTarget) {
    const std::string content = ZULSOUND_CONTENT_DIR;
    const zsdemo::Script session =
        zsdemo::parseScript(testsupport::readWholeFile(content + "/Sessions/demo.session"));
    ASSERT_TRUE(session.messages.empty());
    testsupport::TemporaryDirectory dir;
    {
        std::ofstream excerpt(dir.file("excerpt.session"));
        for (const zsdemo::Command& c : session.commands)
            if (c.time < 12.0) excerpt << c.time << " " << c.text() << "\n";
        excerpt << "12.0 end\n";
    }
    const std::string command = std::string(ZSDEMO_PROGRAM) + " --no-progress --content " + content + " --script " +
                                dir.file("excerpt.session") + " --save-dir " + dir.path() + " --render " +
                                dir.file("excerpt.wav") + " > " + dir.file("log") + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << testsupport::readWholeFile(dir.file("log"));

    const zsdemo::LoudnessFigures figures = zsdemo::measureLoudness(dir.file("excerpt.wav"));
    ASSERT_TRUE(figures.ok);
    EXPECT_NEAR(figures.seconds, 12.0, 0.05);
    EXPECT_NEAR(figures.integrated, -24.0, 2.0) << zsdemo::describeLoudness(figures);
    EXPECT_LE(figures.truePeak, -1.0) << zsdemo::describeLoudness(figures);
    EXPECT_EQ(figures.fullScaleSamples, 0u);
    // What zsdemo prints is what the file measures.
    EXPECT_NE(testsupport::readWholeFile(dir.file("log")).find("loudness of the session: " +
                                                               zsdemo::describeLoudness(figures)),
              std::string::npos);
}

}  // namespace

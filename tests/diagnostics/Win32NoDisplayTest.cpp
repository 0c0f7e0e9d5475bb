// The Win32 window where no window can be made: under Wine without an X
// display. run() returns at once with NoDisplay and says why, the content
// goes on without a window, and the statistics window turns headless with
// its one warning.
#include <gtest/gtest.h>

#include "interfaces/TextWindow.h"
#include "sound/diagnostics/RequestInformatorWindow.h"
#include "sound/diagnostics/ScrolledLines.h"
#include "tests/support/LogCapture.h"

using namespace std::chrono_literals;

TEST(Win32TextWindowWithoutDisplay, RunSaysWhyAndTheContentLivesOn) {
    auto window = textwindow::createTextWindow();
    ASSERT_NE(window, nullptr);
    ScrolledLines content;
    std::string reason;
    EXPECT_EQ(window->run("no display", 800, 600, content, reason), textwindow::Ending::NoDisplay);
    EXPECT_EQ(reason.rfind("cannot create the window: ", 0), 0u) << reason;
    EXPECT_GT(reason.size(), std::string("cannot create the window: ").size());
    std::vector<std::string> lines{"a", "b"};
    content.setLines(lines);
    EXPECT_EQ(content.getLines().size(), 2u);
    window->redraw();  // nothing to wake: returns
    window->quit();
}

TEST(Win32TextWindowWithoutDisplay, TheStatisticsWindowTurnsHeadless) {
    debug::Capture log;
    RequestInformatorWindow window;
    window.initiate();
    ASSERT_TRUE(window.waitUntilWindowEnded(10s));
    EXPECT_FALSE(window.isClosed());
    ASSERT_EQ(log.records().size(), 1u);
    EXPECT_EQ(log.records()[0].channel, "SoundManager");
    EXPECT_EQ(log.records()[0].kind, debug::Kind::Warning);
    EXPECT_EQ(log.records()[0].text.rfind("RequestInformatorWindow has no window: cannot create the window: ", 0), 0u)
        << log.records()[0].text;
    window.stopNotifying();
}

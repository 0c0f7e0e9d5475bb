// The text window over a real X server (Xvfb): what reaches the screen, how
// keys, wheel and mouse scroll it, and how its loop ends (quit, the close
// button, the server going away, no display at all).
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <condition_variable>
#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>

#include "interfaces/TextWindow.h"
#include "sound/diagnostics/ScrolledLines.h"
#include "tests/diagnostics/XServer.h"

using namespace std::chrono_literals;
using textwindow::Ending;
using testsupport::XClient;
using testsupport::XServer;

namespace {

constexpr unsigned long white = 0xffffff, black = 0x000000, trough = 0xe0e0e0, thumb = 0x707070;

// The window's content, counting the scroll actions that reach it.
class Content : public ScrolledLines {
public:
    textwindow::TextWindow* window = nullptr;
    void scrolled(textwindow::ScrollCode code, int position) override {
        ScrolledLines::scrolled(code, position);
        std::lock_guard<std::mutex> guard(m);
        ++actions;
        cv.notify_all();
    }
    int actionCount() { std::lock_guard<std::mutex> guard(m); return actions; }
    bool waitActions(int n) {
        std::unique_lock<std::mutex> guard(m);
        return cv.wait_for(guard, 10s, [&] { return actions >= n; });
    }
    void lines(int n) {
        std::vector<std::string> l;
        for (int i = 0; i < n; ++i) l.push_back("line number " + std::to_string(i));
        setLines(l);
    }

protected:
    void requestRedraw() override {
        if (window) window->redraw();
    }

private:
    std::mutex m;
    std::condition_variable cv;
    int actions = 0;
};

struct Running {
    std::unique_ptr<textwindow::TextWindow> window = textwindow::createTextWindow();
    Content content;
    std::string reason;
    std::future<Ending> ending;

    Running() {
        content.window = window.get();
        ending = std::async(std::launch::async,
                            [this] { return window->run("RequestInformatorWindow", 800, 600, content, reason); });
    }
    ~Running() {
        window->quit();
        if (ending.valid()) ending.wait();
    }
};

// Rows of text that show black pixels, by line slot (y = 30 + 20 * slot).
std::vector<int> textRows(const XClient::Shot& s) {
    std::vector<int> rows;
    for (int slot = 0; 30 + 20 * slot + 20 <= s.height; ++slot)
        if (s.count(20, 30 + 20 * slot, s.width - 16, 50 + 20 * slot, black) > 0) rows.push_back(slot);
    return rows;
}

std::vector<int> upTo(int n) {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(i);
    return v;
}

}  // namespace

TEST(TextWindow, ShowsLinesOnTheirRowsAndAScrollBar) {
    XServer server;
    ASSERT_TRUE(server.ok()) << "Xvfb did not start";
    Running running;
    running.content.lines(25);
    ASSERT_TRUE(running.content.waitUntilShown(10s));
    XClient client;
    ASSERT_TRUE(client.ok());
    const Window w = client.find("RequestInformatorWindow");
    ASSERT_NE(w, 0u);
    XClient::Shot s = client.shot(w);
    ASSERT_EQ(s.width, 800);
    ASSERT_EQ(s.height, 600);
    EXPECT_EQ(textRows(s), upTo(20));  // one page of the 25 lines
    EXPECT_EQ(s.countNot(0, 0, 784, 30, white), 0);   // nothing above the first line
    EXPECT_EQ(s.countNot(0, 30, 20, 600, white), 0);  // nor left of the text
    // The thumb covers 20 of 25 lines' worth of the bar, from the top.
    EXPECT_GT(s.count(784, 0, 800, 470, thumb), 0);
    EXPECT_EQ(s.count(784, 490, 800, 600, thumb), 0);
    EXPECT_GT(s.count(784, 490, 800, 600, trough), 0);

    running.content.lines(3);
    ASSERT_TRUE(running.content.waitUntilShown(10s));
    s = client.shot(w);
    EXPECT_EQ(textRows(s), upTo(3));
    EXPECT_GT(s.count(784, 560, 800, 600, thumb), 0);  // all lines fit: the thumb fills the bar
}

TEST(TextWindow, KeysWheelAndMouseScroll) {
    XServer server;
    ASSERT_TRUE(server.ok()) << "Xvfb did not start";
    Running running;
    running.content.lines(100);  // last first line 80; thumb 120 pixels high
    ASSERT_TRUE(running.content.waitUntilShown(10s));
    XClient client;
    const Window w = client.find("RequestInformatorWindow");
    ASSERT_NE(w, 0u);

    struct Step {
        const char* what;
        std::function<void()> input;
        int actions;  // scroll actions the input makes
        int firstLine;
    } steps[] = {
        {"key Down", [&] { client.key(w, XK_Down); }, 1, 1},
        {"key Page_Down", [&] { client.key(w, XK_Page_Down); }, 1, 21},
        {"key Up", [&] { client.key(w, XK_Up); }, 1, 20},
        {"key End", [&] { client.key(w, XK_End); }, 1, 80},
        {"key Page_Up", [&] { client.key(w, XK_Page_Up); }, 1, 60},
        {"key Home", [&] { client.key(w, XK_Home); }, 1, 0},
        {"wheel down", [&] { client.button(w, ButtonPress, Button5, 400, 300); }, 1, 1},
        {"wheel up", [&] { client.button(w, ButtonPress, Button4, 400, 300); }, 1, 0},
        {"click below the thumb", [&] { client.button(w, ButtonPress, Button1, 792, 500); }, 1, 20},
        {"click above the thumb", [&] { client.button(w, ButtonPress, Button1, 792, 5); }, 1, 0},
        {"drag the thumb halfway",
         [&] {
             client.button(w, ButtonPress, Button1, 792, 10);
             client.motion(w, 792, 250);
             client.button(w, ButtonRelease, Button1, 792, 250);
         },
         3, 40},
    };
    int actions = 0;
    for (const Step& step : steps) {
        step.input();
        actions += step.actions;
        ASSERT_TRUE(running.content.waitActions(actions)) << step.what << " " << running.content.actionCount();
        EXPECT_EQ(running.content.getFirstLine(), step.firstLine) << step.what;
    }
    ASSERT_TRUE(running.content.waitUntilShown(10s));
    XClient::Shot s = client.shot(w);
    EXPECT_EQ(textRows(s), upTo(20));
    // The thumb sits halfway down its 480 pixels of travel.
    EXPECT_EQ(s.count(784, 0, 800, 235, thumb), 0);
    EXPECT_GT(s.count(784, 245, 800, 355, thumb), 0);
}

TEST(TextWindow, TheLoopEndsByQuitCloseButtonOrLostServer) {
    XServer server;
    ASSERT_TRUE(server.ok()) << "Xvfb did not start";
    {
        // Quit before the window runs: it never opens.
        auto window = textwindow::createTextWindow();
        Content content;
        std::string reason;
        window->quit();
        EXPECT_EQ(window->run("RequestInformatorWindow", 800, 600, content, reason), Ending::Quit);
    }
    {
        Running running;
        running.content.lines(1);
        ASSERT_TRUE(running.content.waitUntilShown(10s));
        XClient client;
        client.closeButton(client.find("RequestInformatorWindow"));
        EXPECT_EQ(running.ending.get(), Ending::Closed);
        EXPECT_EQ(client.find("RequestInformatorWindow"), 0u);
    }
    {
        Running running;
        running.content.lines(1);
        ASSERT_TRUE(running.content.waitUntilShown(10s));
        server.stop();
        EXPECT_EQ(running.ending.get(), Ending::DisplayLost);
        running.content.lines(2);  // the content lives on without a window
        EXPECT_EQ(running.content.getLines().size(), 2u);
    }
}

TEST(TextWindow, WithoutADisplayItSaysWhy) {
    struct Case {
        const char* display;
        std::string reason;
    } cases[] = {{nullptr, "DISPLAY is not set"}, {"", "DISPLAY is not set"},
                 {"unix:4711", "cannot open display \"unix:4711\""}};
    for (const Case& c : cases) {
        if (c.display) setenv("DISPLAY", c.display, 1);
        else unsetenv("DISPLAY");
        auto window = textwindow::createTextWindow();
        Content content;
        std::string reason;
        EXPECT_EQ(window->run("RequestInformatorWindow", 800, 600, content, reason), Ending::NoDisplay);
        EXPECT_EQ(reason, c.reason);
    }
}

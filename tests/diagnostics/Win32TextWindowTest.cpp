// The text window over Win32 (under Wine on a private Xvfb, see
// OnOwnDisplay.sh): which thread owns it, what reaches its client area, how
// the scroll bar's, the wheel's and the keys' messages reach the content,
// and how its loop ends (quit from another thread, before run, the close
// button).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "interfaces/TextWindow.h"
#include "sound/diagnostics/RequestInformatorWindow.h"
#include "sound/diagnostics/ScrolledLines.h"

using namespace std::chrono_literals;
using textwindow::Ending;

namespace {

constexpr COLORREF white = RGB(255, 255, 255), black = RGB(0, 0, 0);

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
    int actionCount() {
        std::lock_guard<std::mutex> guard(m);
        return actions;
    }
    bool waitActions(int n) {
        std::unique_lock<std::mutex> guard(m);
        return cv.wait_for(guard, 60s, [&] { return actions >= n; });
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

// A window run on a thread of its own, ended by quit() at the latest.
struct Running {
    std::unique_ptr<textwindow::TextWindow> window = textwindow::createTextWindow();
    Content content;
    std::string reason;
    std::atomic<DWORD> runThread{0};
    std::future<Ending> ending;

    explicit Running(const std::string& title) {
        content.window = window.get();
        ending = std::async(std::launch::async, [this, title] {
            runThread = GetCurrentThreadId();
            return window->run(title, 800, 600, content, reason);
        });
    }
    ~Running() {
        window->quit();
        if (ending.valid()) ending.wait();
    }
};

HWND findWindow(const char* title) {
    const std::string t(title);
    return FindWindowW(L"RequestInformatorWindow", std::wstring(t.begin(), t.end()).c_str());
}

// The client area's pixels as they are on the screen.
struct Shot {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    int count(int x0, int y0, int x1, int y1, COLORREF colour, bool equal = true) const {
        int n = 0;
        for (int y = std::max(0, y0); y < std::min(y1, height); ++y)
            for (int x = std::max(0, x0); x < std::min(x1, width); ++x)
                if ((at(x, y) == colour) == equal) ++n;
        return n;
    }
};

Shot shot(HWND window) {
    Shot s;
    RECT area{};
    GetClientRect(window, &area);
    s.width = area.right;
    s.height = area.bottom;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, s.width, s.height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, s.width, s.height, screen, 0, 0, SRCCOPY);
    s.pixels.reserve(static_cast<size_t>(s.width) * s.height);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) s.pixels.push_back(GetPixel(memory, x, y));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return s;
}

// Line slots (y = 30 + 20 * slot) that show black pixels right of x = 20.
std::vector<int> textRows(const Shot& s) {
    std::vector<int> rows;
    for (int slot = 0; 30 + 20 * slot + 20 <= s.height; ++slot)
        if (s.count(20, 30 + 20 * slot, s.width, 50 + 20 * slot, black) > 0) rows.push_back(slot);
    return rows;
}

std::vector<int> upTo(int n) {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(i);
    return v;
}

SCROLLINFO bar(HWND window) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(window, SB_VERT, &si);
    return si;
}

}  // namespace

TEST(Win32TextWindow, DrawsAPageOnItsOwnThreadWithTheScrollBarAlong) {
    Running running("page window");
    running.content.lines(25);
    ASSERT_TRUE(running.content.waitUntilShown(60s)) << running.reason;
    const HWND w = findWindow("page window");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(GetWindowThreadProcessId(w, nullptr), running.runThread.load());
    EXPECT_NE(GetWindowThreadProcessId(w, nullptr), GetCurrentThreadId());

    Shot s = shot(w);
    ASSERT_GT(s.height, 30 + 20 * 20);  // room for a page below the caption
    EXPECT_EQ(textRows(s), upTo(20));  // one page of the 25 lines
    EXPECT_EQ(s.count(0, 0, s.width, 30, white, false), 0);   // nothing above the first line
    EXPECT_EQ(s.count(0, 30, 20, s.height, white, false), 0);  // nor left of the text
    SCROLLINFO si = bar(w);
    EXPECT_EQ(si.nMin, 0);
    EXPECT_EQ(si.nMax, 24);  // positions 0 to 5: the last page starts at line 5
    EXPECT_EQ(si.nPage, 20u);
    EXPECT_EQ(si.nPos, 0);

    // Another thread's lines reach the screen through redraw().
    std::thread([&] { running.content.lines(3); }).join();
    ASSERT_TRUE(running.content.waitUntilShown(60s));
    s = shot(w);
    EXPECT_EQ(textRows(s), upTo(3));
    si = bar(w);
    EXPECT_EQ(si.nMax, 19);
    EXPECT_EQ(si.nPos, 0);
}

TEST(Win32TextWindow, ScrollBarWheelAndKeysScrollTheContent) {
    Running running("scroll window");
    running.content.lines(100);  // last first line 80
    ASSERT_TRUE(running.content.waitUntilShown(60s)) << running.reason;
    const HWND w = findWindow("scroll window");
    ASSERT_NE(w, nullptr);

    UINT perNotch = 3;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &perNotch, 0);
    const bool wheelPages = perNotch == WHEEL_PAGESCROLL;
    const int notchActions = wheelPages ? 1 : static_cast<int>(perNotch);
    const int notchLines = wheelPages ? 20 : static_cast<int>(perNotch);

    auto post = [w](UINT message, WPARAM wParam) { return [=] { PostMessageW(w, message, wParam, 0); }; };
    auto wheel = [w](short delta) {
        return [=] { PostMessageW(w, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), MAKELPARAM(400, 300)); };
    };
    struct Step {
        const char* what;
        std::function<void()> input;
        int actions;  // scroll actions the input makes
        int firstLine;
    } steps[] = {
        {"bar line down", post(WM_VSCROLL, SB_LINEDOWN), 1, 1},
        {"bar page down", post(WM_VSCROLL, SB_PAGEDOWN), 1, 21},
        {"bar line up", post(WM_VSCROLL, SB_LINEUP), 1, 20},
        {"bar bottom", post(WM_VSCROLL, SB_BOTTOM), 1, 80},
        {"bar page up", post(WM_VSCROLL, SB_PAGEUP), 1, 60},
        {"bar top", post(WM_VSCROLL, SB_TOP), 1, 0},
        {"thumb dragged to 40", post(WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 40)), 1, 40},
        {"thumb let go at 45", post(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 45)), 1, 45},
        {"end of the scroll", post(WM_VSCROLL, SB_ENDSCROLL), 1, 45},
        {"key Down", post(WM_KEYDOWN, VK_DOWN), 1, 46},
        {"key Page Down", post(WM_KEYDOWN, VK_NEXT), 1, 66},
        {"key Page Up", post(WM_KEYDOWN, VK_PRIOR), 1, 46},
        {"key Up", post(WM_KEYDOWN, VK_UP), 1, 45},
        {"key End", post(WM_KEYDOWN, VK_END), 1, 80},
        {"key Home", post(WM_KEYDOWN, VK_HOME), 1, 0},
        {"a key that does not scroll, then Down",
         [&] {
             PostMessageW(w, WM_KEYDOWN, 'A', 0);
             PostMessageW(w, WM_KEYDOWN, VK_DOWN, 0);
         },
         1, 1},
        {"wheel one notch up", wheel(WHEEL_DELTA), notchActions, 0},
        {"wheel one notch down", wheel(-WHEEL_DELTA), notchActions, notchLines},
        // A fine wheel's half notches add up to one.
        {"wheel two half notches down",
         [&] {
             wheel(-WHEEL_DELTA / 2)();
             wheel(-WHEEL_DELTA / 2)();
         },
         notchActions, 2 * notchLines},
    };
    int actions = 0;
    for (const Step& step : steps) {
        step.input();
        actions += step.actions;
        ASSERT_TRUE(running.content.waitActions(actions)) << step.what << " " << running.content.actionCount();
        EXPECT_EQ(running.content.getFirstLine(), step.firstLine) << step.what;
    }
    // The thumb follows the content: the page last scrolled to is on screen.
    ASSERT_TRUE(running.content.waitUntilShown(60s));
    EXPECT_EQ(running.content.actionCount(), actions);
    EXPECT_EQ(bar(w).nPos, 2 * notchLines);
    EXPECT_EQ(textRows(shot(w)), upTo(20));
}

TEST(Win32TextWindow, TheLoopEndsByQuitFromAnyThreadOrTheCloseButton) {
    {
        // Quit before run: no window is made.
        auto window = textwindow::createTextWindow();
        Content content;
        std::string reason;
        window->quit();
        EXPECT_EQ(window->run("never shown", 800, 600, content, reason), Ending::Quit);
        EXPECT_EQ(findWindow("never shown"), nullptr);
        window->redraw();  // after the end: nothing to wake, nothing breaks
        window->quit();
    }
    struct Case {
        const char* how;
        std::function<void(Running&, HWND)> end;
        Ending ending;
    } cases[] = {
        {"quit from another thread", [](Running& r, HWND) { std::thread([&] { r.window->quit(); }).join(); },
         Ending::Quit},
        {"WM_CLOSE", [](Running&, HWND w) { PostMessageW(w, WM_CLOSE, 0, 0); }, Ending::Closed},
        {"the close button's SC_CLOSE", [](Running&, HWND w) { PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); },
         Ending::Closed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        Running running("ending window");
        running.content.lines(1);
        ASSERT_TRUE(running.content.waitUntilShown(60s)) << running.reason;
        const HWND w = findWindow("ending window");
        ASSERT_NE(w, nullptr);
        c.end(running, w);
        ASSERT_EQ(running.ending.wait_for(60s), std::future_status::ready);
        EXPECT_EQ(running.ending.get(), c.ending);
        EXPECT_FALSE(IsWindow(w));
        running.content.lines(2);  // the content lives on without a window
        EXPECT_EQ(running.content.getLines().size(), 2u);
    }
}

TEST(Win32TextWindow, WindowsSideBySideAndOneAfterTheOther) {
    {
        Running first("first window");
        Running second("second window");
        first.content.lines(2);
        second.content.lines(5);
        ASSERT_TRUE(first.content.waitUntilShown(60s)) << first.reason;
        ASSERT_TRUE(second.content.waitUntilShown(60s)) << second.reason;
        const HWND a = findWindow("first window"), b = findWindow("second window");
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_NE(GetWindowThreadProcessId(a, nullptr), GetWindowThreadProcessId(b, nullptr));
        EXPECT_EQ(textRows(shot(a)), upTo(2));
        EXPECT_EQ(textRows(shot(b)), upTo(5));
        first.window->quit();
        EXPECT_EQ(first.ending.get(), Ending::Quit);
        // The other window is still served.
        second.content.lines(4);
        ASSERT_TRUE(second.content.waitUntilShown(60s));
        EXPECT_EQ(textRows(shot(b)), upTo(4));
    }
    // Both gone: a new window registers what it needs again.
    Running third("third window");
    third.content.lines(1);
    ASSERT_TRUE(third.content.waitUntilShown(60s)) << third.reason;
    const HWND c = findWindow("third window");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(textRows(shot(c)), upTo(1));
}

TEST(Win32TextWindow, TheStatisticsWindowShowsItsLinesUntilStoppedOrClosed) {
    std::vector<std::string> lines;
    for (int i = 0; i < 25; ++i) lines.push_back("sound " + std::to_string(i));
    {
        RequestInformatorWindow window;
        window.initiate();
        std::vector<std::string> copy = lines;
        window.setLines(copy);
        ASSERT_TRUE(window.waitUntilShown(60s));
        const HWND w = findWindow("RequestInformatorWindow");
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(textRows(shot(w)), upTo(20));
        window.stopNotifying();
        ASSERT_TRUE(window.waitUntilWindowEnded(60s));
        EXPECT_FALSE(window.isClosed());
        EXPECT_FALSE(IsWindow(w));
    }
    RequestInformatorWindow window;
    window.initiate();
    window.setLines(lines);
    ASSERT_TRUE(window.waitUntilShown(60s));
    const HWND w = findWindow("RequestInformatorWindow");
    ASSERT_NE(w, nullptr);
    PostMessageW(w, WM_CLOSE, 0, 0);
    ASSERT_TRUE(window.waitUntilWindowEnded(60s));
    EXPECT_TRUE(window.isClosed());
    EXPECT_EQ(window.getLines().size(), 25u);  // the lines outlast the window
}

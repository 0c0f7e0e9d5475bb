#pragma once
// A plain window of text lines with a vertical scroll bar, as the statistics
// window uses it: white background, black text, lines from y = 30 stepping
// 20 pixels, a scroll bar the window draws itself. The window lives on the
// thread that calls run(); only redraw() and quit() may come from others.
//
// Threads: run() on the window's own thread; redraw() and quit() from any
// thread, never blocking; TextWindowClient is called on run()'s thread.
#include <memory>
#include <string>
#include <vector>

namespace textwindow {

// What a scroll action asks for (keys, wheel and mouse map onto these).
enum class ScrollCode { LineUp, LineDown, PageUp, PageDown, ThumbPosition, ThumbTrack, Top, Bottom, EndScroll };

// What is on screen: the lines shown from the top, and the scroll bar's
// range (0 to range), page and position.
struct Page {
    std::vector<std::string> lines;
    int range = 0;
    int page = 0;
    int position = 0;
    unsigned long version = 0;  // of the content, handed back to drawn()
};

class TextWindowClient {
public:
    virtual ~TextWindowClient() = default;
    // The page to draw now.
    virtual Page page() = 0;
    // A scroll action; position is the thumb's position for ThumbPosition
    // and ThumbTrack. The window redraws afterwards.
    virtual void scrolled(ScrollCode code, int position) = 0;
    // A page has reached the screen.
    virtual void drawn(unsigned long version) { (void)version; }
};

// How run() ended.
enum class Ending {
    Quit,        // quit() was called (also before run())
    Closed,      // the window's close button
    NoDisplay,   // no display to open the window on (reason says why)
    DisplayLost  // the connection to the display broke while the window was open
};

class TextWindow {
public:
    virtual ~TextWindow() = default;
    // Opens the window (title, width x height) on its own display
    // connection and serves it until quit() or its close button. Returns at
    // once with NoDisplay when there is none; reason then says why.
    virtual Ending run(const std::string& title, int width, int height, TextWindowClient& client,
                       std::string& reason) = 0;
    // Ask run() to draw the client's page again soon.
    virtual void redraw() = 0;
    // Make run() return (now, or at once when it is called later).
    virtual void quit() = 0;
};

// A window not yet open. Null only when the wake-up channel cannot be made.
std::unique_ptr<TextWindow> createTextWindow();

}  // namespace textwindow

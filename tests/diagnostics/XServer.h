#pragma once
// An Xvfb server for the window tests, started on a display number it picks
// itself (-displayfd), and a client connection that looks at the screen and
// sends input the way a user would.
#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace testsupport {

class XServer {
public:
    // Starts Xvfb and sets DISPLAY to it; ok() says whether it runs.
    XServer();
    ~XServer();
    bool ok() const { return pid > 0 && !name.empty(); }
    const std::string& display() const { return name; }
    // Ends the server (the windows on it lose their connection).
    void stop();

private:
    int pid = -1;
    std::string name;
};

// A client connection to DISPLAY.
class XClient {
public:
    XClient();
    ~XClient();
    bool ok() const { return display != nullptr; }
    // The top-level window with that title, or 0.
    Window find(const std::string& title);
    // The window's pixels as 0xRRGGBB, row by row.
    struct Shot {
        int width = 0, height = 0;
        std::vector<unsigned long> pixels;
        unsigned long at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
        // Pixels of that colour in the rectangle.
        int count(int x0, int y0, int x1, int y1, unsigned long colour) const;
        int countNot(int x0, int y0, int x1, int y1, unsigned long colour) const;
    };
    Shot shot(Window window);
    void key(Window window, unsigned long keysym);
    void button(Window window, int type, unsigned button, int x, int y);
    void motion(Window window, int x, int y);
    void closeButton(Window window);

private:
    Display* display = nullptr;
};

}  // namespace testsupport

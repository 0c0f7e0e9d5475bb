// The text window over Xlib. Each window opens its own display connection on
// the thread that runs it, so no other thread ever calls Xlib on it and Xlib
// needs no thread support. Other threads reach the loop through a pipe: a
// byte written to it wakes the poll() that waits on the connection's socket
// and the pipe together, so the loop never polls on a timer.
//
// A connection that breaks (the server goes away) ends the loop through the
// display's I/O exit handler, which records the loss and returns instead of
// ending the process.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <set>

#include "interfaces/TextWindow.h"

namespace textwindow {
namespace {

constexpr int textLeft = 20;
constexpr int textTop = 30;
constexpr int lineStep = 20;
constexpr int barWidth = 16;
constexpr int minThumb = 12;

constexpr unsigned long white = 0xffffff;
constexpr unsigned long black = 0x000000;
constexpr unsigned long trough = 0xe0e0e0;
constexpr unsigned long thumb = 0x707070;

void onConnectionLost(Display*, void* flag) { *static_cast<bool*>(flag) = true; }

// Xlib's process-wide I/O error handler ends the process before the
// display's own exit handler is asked. Ours returns for the windows' own
// connections, so that their exit handler can record the loss, and hands
// every other connection (the host's) to the handler that was there before.
std::mutex ownDisplaysMutex;
std::set<Display*> ownDisplays;
XIOErrorHandler previousHandler = nullptr;

int onIOError(Display* display) {
    {
        std::lock_guard<std::mutex> guard(ownDisplaysMutex);
        if (ownDisplays.count(display)) return 0;
    }
    return previousHandler ? previousHandler(display) : 0;
}

void own(Display* display) {
    static std::once_flag installed;
    std::call_once(installed, [] { previousHandler = XSetIOErrorHandler(onIOError); });
    std::lock_guard<std::mutex> guard(ownDisplaysMutex);
    ownDisplays.insert(display);
}

void disown(Display* display) {
    std::lock_guard<std::mutex> guard(ownDisplaysMutex);
    ownDisplays.erase(display);
}

class X11TextWindow : public TextWindow {
public:
    X11TextWindow(int readEnd, int writeEnd) : wakeRead(readEnd), wakeWrite(writeEnd) {}
    ~X11TextWindow() override {
        close(wakeRead);
        close(wakeWrite);
    }

    Ending run(const std::string& title, int w, int h, TextWindowClient& c, std::string& reason) override;

    void redraw() override {
        if (!redrawRequested.exchange(true)) wake();
    }
    void quit() override {
        quitRequested = true;
        wake();
    }

private:
    void wake() {
        const char byte = 0;
        // A full pipe already holds a wake-up; nothing is lost by dropping this one.
        while (write(wakeWrite, &byte, 1) < 0 && errno == EINTR) {
        }
    }
    void drainWakeups() {
        char bytes[64];
        while (read(wakeRead, bytes, sizeof bytes) > 0) {
        }
    }

    // The scroll bar's thumb for the page last drawn.
    struct Thumb {
        int top = 0, height = 0;
    };
    Thumb thumbOf(const Page& p) const;
    int positionAt(int y) const;

    bool handle(XEvent& event);  // false when the window was closed
    void draw();
    void scroll(ScrollCode code, int position) {
        client->scrolled(code, position);
        // Input still queued behind this action meets the thumb where it is now.
        shown = client->page();
        dirty = true;
    }

    int wakeRead, wakeWrite;
    std::atomic<bool> quitRequested{false};
    std::atomic<bool> redrawRequested{false};

    // Window thread only.
    TextWindowClient* client = nullptr;
    Display* display = nullptr;
    Window window = 0;
    Pixmap buffer = 0;
    GC gc = nullptr;
    XFontStruct* font = nullptr;
    Atom deleteWindow = 0;
    int width = 0, height = 0;
    bool exposed = false;
    bool dirty = true;
    bool lost = false;
    Page shown;      // the page last drawn, for the mouse
    int dragFrom = -1;  // offset of the pointer in the thumb while dragging
    int dragPosition = 0;
};

X11TextWindow::Thumb X11TextWindow::thumbOf(const Page& p) const {
    Thumb t;
    if (p.range <= 0 || p.page >= p.range) {
        t.height = height;
        return t;
    }
    t.height = std::max(minThumb, static_cast<int>(static_cast<long>(height) * p.page / p.range));
    const int travel = height - t.height;
    const int last = p.range - p.page;
    t.top = last > 0 ? static_cast<int>(static_cast<long>(travel) * p.position / last) : 0;
    return t;
}

// The position that puts the thumb's top at y (while dragging).
int X11TextWindow::positionAt(int y) const {
    const Thumb t = thumbOf(shown);
    const int travel = height - t.height;
    const int last = std::max(0, shown.range - shown.page);
    if (travel <= 0 || last == 0) return 0;
    const int top = std::clamp(y, 0, travel);
    return static_cast<int>((static_cast<long>(top) * last + travel / 2) / travel);
}

void X11TextWindow::draw() {
    dirty = false;
    if (!exposed) return;  // not on screen yet: the first Expose draws
    shown = client->page();
    XSetForeground(display, gc, white);
    XFillRectangle(display, buffer, gc, 0, 0, width, height);
    XSetForeground(display, gc, black);
    XSetBackground(display, gc, white);
    const int ascent = font ? font->ascent : 10;
    int y = textTop;
    for (const std::string& line : shown.lines) {
        XDrawImageString(display, buffer, gc, textLeft, y + ascent, line.data(), static_cast<int>(line.size()));
        y += lineStep;
    }
    const int barLeft = width - barWidth;
    XSetForeground(display, gc, trough);
    XFillRectangle(display, buffer, gc, barLeft, 0, barWidth, height);
    const Thumb t = thumbOf(shown);
    XSetForeground(display, gc, thumb);
    XFillRectangle(display, buffer, gc, barLeft + 2, t.top, barWidth - 4, t.height);
    XCopyArea(display, buffer, window, gc, 0, 0, width, height, 0, 0);
    XSync(display, False);
    if (!lost) client->drawn(shown.version);
}

bool X11TextWindow::handle(XEvent& event) {
    switch (event.type) {
    case Expose:
        if (event.xexpose.count == 0) {
            exposed = true;
            dirty = true;
        }
        break;
    case ConfigureNotify:
        if (event.xconfigure.width != width || event.xconfigure.height != height) {
            width = event.xconfigure.width;
            height = event.xconfigure.height;
            XFreePixmap(display, buffer);
            buffer = XCreatePixmap(display, window, width, height, DefaultDepth(display, DefaultScreen(display)));
            dirty = true;
        }
        break;
    case ClientMessage:
        if (static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow) return false;
        break;
    case KeyPress:
        switch (XLookupKeysym(&event.xkey, 0)) {
        case XK_Up: scroll(ScrollCode::LineUp, 0); break;
        case XK_Down: scroll(ScrollCode::LineDown, 0); break;
        case XK_Page_Up: scroll(ScrollCode::PageUp, 0); break;
        case XK_Page_Down: scroll(ScrollCode::PageDown, 0); break;
        case XK_Home: scroll(ScrollCode::Top, 0); break;
        case XK_End: scroll(ScrollCode::Bottom, 0); break;
        default: break;
        }
        break;
    case ButtonPress:
        if (event.xbutton.button == Button4) scroll(ScrollCode::LineUp, 0);
        else if (event.xbutton.button == Button5) scroll(ScrollCode::LineDown, 0);
        else if (event.xbutton.button == Button1 && event.xbutton.x >= width - barWidth) {
            const Thumb t = thumbOf(shown);
            if (event.xbutton.y < t.top) scroll(ScrollCode::PageUp, 0);
            else if (event.xbutton.y >= t.top + t.height) scroll(ScrollCode::PageDown, 0);
            else {
                dragFrom = event.xbutton.y - t.top;
                dragPosition = shown.position;
            }
        }
        break;
    case MotionNotify:
        if (dragFrom >= 0) {
            dragPosition = positionAt(event.xmotion.y - dragFrom);
            scroll(ScrollCode::ThumbTrack, dragPosition);
        }
        break;
    case ButtonRelease:
        if (event.xbutton.button == Button1 && dragFrom >= 0) {
            dragPosition = positionAt(event.xbutton.y - dragFrom);
            dragFrom = -1;
            scroll(ScrollCode::ThumbPosition, dragPosition);
            scroll(ScrollCode::EndScroll, 0);
        }
        break;
    default:
        break;
    }
    return true;
}

Ending X11TextWindow::run(const std::string& title, int w, int h, TextWindowClient& c, std::string& reason) {
    if (quitRequested) return Ending::Quit;
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        reason = "DISPLAY is not set";
        return Ending::NoDisplay;
    }
    display = XOpenDisplay(nullptr);
    if (!display) {
        reason = std::string("cannot open display \"") + name + "\"";
        return Ending::NoDisplay;
    }
    own(display);
    XSetIOErrorExitHandler(display, onConnectionLost, &lost);
    client = &c;
    width = w;
    height = h;
    const int screen = DefaultScreen(display);
    window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, w, h, 0, black, white);
    XStoreName(display, window, title.c_str());
    deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XSelectInput(display, window,
                 ExposureMask | StructureNotifyMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                     Button1MotionMask);
    gc = XCreateGC(display, window, 0, nullptr);
    font = XLoadQueryFont(display, "fixed");
    if (font) XSetFont(display, gc, font->fid);
    buffer = XCreatePixmap(display, window, w, h, DefaultDepth(display, screen));
    XMapWindow(display, window);
    XFlush(display);

    Ending ending = Ending::Quit;
    const int connection = ConnectionNumber(display);
    for (;;) {
        drainWakeups();
        bool open = true;
        while (open && !lost && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            open = handle(event);
        }
        if (lost) {
            ending = Ending::DisplayLost;
            break;
        }
        if (!open) {
            ending = Ending::Closed;
            break;
        }
        if (quitRequested) break;
        if (redrawRequested.exchange(false)) dirty = true;
        if (dirty) draw();
        if (lost) continue;
        if (XPending(display) > 0) continue;  // drawing may have read events
        pollfd fds[2] = {{connection, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        while (poll(fds, 2, -1) < 0 && errno == EINTR) {
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            // XPending reads the socket, sees the broken connection and
            // calls the exit handler.
            XPending(display);
            if (!lost) lost = true;
        }
    }

    if (!lost) {
        if (font) XFreeFont(display, font);
        XFreePixmap(display, buffer);
        XFreeGC(display, gc);
        XDestroyWindow(display, window);
    }
    XCloseDisplay(display);
    disown(display);
    display = nullptr;
    client = nullptr;
    return ending;
}

}  // namespace

std::unique_ptr<TextWindow> createTextWindow() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
    return std::make_unique<X11TextWindow>(fds[0], fds[1]);
}

}  // namespace textwindow

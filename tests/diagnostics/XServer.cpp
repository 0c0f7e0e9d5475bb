#include "tests/diagnostics/XServer.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace testsupport {

XServer::XServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid = fork();
    if (pid == 0) {
        close(fds[0]);
        // The server's chatter stays out of the test's output (and its pipes).
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset",
               (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return;
    }
    // -noreset: a server that resets when its last client leaves refuses
    // connections meanwhile, which windows opened and closed quickly meet.
    // Xvfb writes its display number once it accepts connections; a server
    // that fails to start closes the pipe without writing.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
        stop();
        return;
    }
    name = ":" + number;
    setenv("DISPLAY", name.c_str(), 1);
}

XServer::~XServer() { stop(); }

void XServer::stop() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
}

XClient::XClient() : display(XOpenDisplay(nullptr)) {}

XClient::~XClient() {
    if (display) XCloseDisplay(display);
}

Window XClient::find(const std::string& title) {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name) {
            if (title == name) found = children[i];
            XFree(name);
        }
    }
    if (children) XFree(children);
    return found;
}

XClient::Shot XClient::shot(Window window) {
    Shot s;
    XWindowAttributes attributes;
    XGetWindowAttributes(display, window, &attributes);
    XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!image) return s;
    s.width = attributes.width;
    s.height = attributes.height;
    s.pixels.reserve(static_cast<size_t>(s.width) * s.height);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) s.pixels.push_back(XGetPixel(image, x, y) & 0xffffff);
    XDestroyImage(image);
    return s;
}

int XClient::Shot::count(int x0, int y0, int x1, int y1, unsigned long colour) const {
    int n = 0;
    for (int y = y0; y < y1 && y < height; ++y)
        for (int x = x0; x < x1 && x < width; ++x) n += at(x, y) == colour ? 1 : 0;
    return n;
}

int XClient::Shot::countNot(int x0, int y0, int x1, int y1, unsigned long colour) const {
    int n = 0;
    for (int y = y0; y < y1 && y < height; ++y)
        for (int x = x0; x < x1 && x < width; ++x) n += at(x, y) != colour ? 1 : 0;
    return n;
}

void XClient::key(Window window, unsigned long keysym) {
    XEvent e;
    std::memset(&e, 0, sizeof e);
    e.xkey.type = KeyPress;
    e.xkey.display = display;
    e.xkey.window = window;
    e.xkey.root = DefaultRootWindow(display);
    e.xkey.keycode = XKeysymToKeycode(display, keysym);
    e.xkey.same_screen = True;
    XSendEvent(display, window, True, KeyPressMask, &e);
    XFlush(display);
}

void XClient::button(Window window, int type, unsigned button, int x, int y) {
    XEvent e;
    std::memset(&e, 0, sizeof e);
    e.xbutton.type = type;
    e.xbutton.display = display;
    e.xbutton.window = window;
    e.xbutton.root = DefaultRootWindow(display);
    e.xbutton.button = button;
    e.xbutton.x = x;
    e.xbutton.y = y;
    e.xbutton.same_screen = True;
    XSendEvent(display, window, True, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &e);
    XFlush(display);
}

void XClient::motion(Window window, int x, int y) {
    XEvent e;
    std::memset(&e, 0, sizeof e);
    e.xmotion.type = MotionNotify;
    e.xmotion.display = display;
    e.xmotion.window = window;
    e.xmotion.root = DefaultRootWindow(display);
    e.xmotion.x = x;
    e.xmotion.y = y;
    e.xmotion.state = Button1Mask;
    e.xmotion.same_screen = True;
    XSendEvent(display, window, True, Button1MotionMask, &e);
    XFlush(display);
}

void XClient::closeButton(Window window) {
    XEvent e;
    std::memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &e);
    XFlush(display);
}

}  // namespace testsupport

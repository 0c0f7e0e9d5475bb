// The text window over Win32 and GDI. The window is created on the thread
// that calls run() and served by that thread's own message loop, so every
// user32 and GDI call about it comes from that thread. Other threads only
// post: redraw() and quit() set a flag and post one wake-up message, to the
// window once it exists (a posted window message reaches it also inside the
// modal loops of a scroll-bar drag or a move), before that to the thread,
// whose queue run() creates first. A wake-up posted while run() is not
// there is not needed: run() looks at the flags after publishing itself.
//
// The page is drawn into a memory bitmap and copied to the window in one
// piece, so the text does not flicker when the lines change every pass.
// The scroll bar is the window's own (WS_VSCROLL); its range and position
// follow the client's page at every paint.
//
// The window class is registered by the first window opened and removed
// when the last one ends: a class outliving its window would keep a window
// procedure of a library that may be unloaded and loaded again.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>

#include "interfaces/TextWindow.h"
#include "platform/files/WidePath.h"

namespace textwindow {
namespace {

constexpr int textLeft = 20;
constexpr int textTop = 30;
constexpr int lineStep = 20;

constexpr COLORREF white = RGB(255, 255, 255);
constexpr COLORREF black = RGB(0, 0, 0);

// The wake-up redraw() and quit() post; what it asks for is in the flags.
constexpr UINT wakeMessage = WM_APP + 1;
const wchar_t className[] = L"RequestInformatorWindow";

// This module's instance: the library's own when it is a DLL.
HINSTANCE ownModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ownModule), &module))
        module = GetModuleHandleW(nullptr);
    return module;
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The class, shared by the windows open at a time.
std::mutex classMutex;
int classUsers = 0;

bool useClass(std::string& reason) {
    std::lock_guard<std::mutex> guard(classMutex);
    if (classUsers > 0) {
        ++classUsers;
        return true;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = windowProcedure;
    wc.hInstance = ownModule();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = className;
    if (!RegisterClassExW(&wc)) {
        const DWORD code = GetLastError();
        reason = "cannot register the window class: " + widepath::systemMessage(code);
        return false;
    }
    classUsers = 1;
    return true;
}

void releaseClass() {
    std::lock_guard<std::mutex> guard(classMutex);
    if (--classUsers == 0) UnregisterClassW(className, ownModule());
}

class Win32TextWindow : public TextWindow {
public:
    Ending run(const std::string& title, int w, int h, TextWindowClient& c, std::string& reason) override;

    void redraw() override {
        if (!redrawRequested.exchange(true)) wake();
    }
    void quit() override {
        quitRequested = true;
        wake();
    }

    // The window procedure's share, on the window thread.
    LRESULT handle(HWND from, UINT message, WPARAM wParam, LPARAM lParam);

private:
    // Posting never waits for the window thread; the lock only keeps the
    // target from going away between reading and posting.
    void wake() {
        std::lock_guard<std::mutex> guard(targetMutex);
        if (window) PostMessageW(window, wakeMessage, 0, 0);
        else if (threadId) PostThreadMessageW(threadId, wakeMessage, 0, 0);
    }
    void publish(HWND w, DWORD id) {
        std::lock_guard<std::mutex> guard(targetMutex);
        window = w;
        threadId = id;
    }
    void onWake();
    void scroll(ScrollCode code, int position);
    void paint(HDC target, bool onScreen);
    void syncScrollBar();

    std::atomic<bool> quitRequested{false};
    std::atomic<bool> redrawRequested{false};
    std::mutex targetMutex;
    HWND window = nullptr;  // under targetMutex for other threads
    DWORD threadId = 0;     // under targetMutex

    // Window thread only.
    HWND own = nullptr;
    TextWindowClient* client = nullptr;
    Ending ending = Ending::Quit;
    bool ended = false;  // the first ending found wins
    Page shown;
    SCROLLINFO barShown{};
    int wheelRest = 0;  // wheel turns short of a notch
};

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32TextWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(window, message, wParam, lParam);
}

void Win32TextWindow::onWake() {
    if (quitRequested) {
        if (!ended) {
            ended = true;
            ending = Ending::Quit;
        }
        if (own) DestroyWindow(own);  // its WM_DESTROY ends the loop
        else PostQuitMessage(0);
        return;
    }
    if (redrawRequested.exchange(false) && own) InvalidateRect(own, nullptr, FALSE);
}

void Win32TextWindow::scroll(ScrollCode code, int position) {
    client->scrolled(code, position);
    // Input still queued behind this action meets the bar where it is now.
    shown = client->page();
    syncScrollBar();
    InvalidateRect(own, nullptr, FALSE);
}

// The bar shows positions 0 to range - page: its maximum is range - 1.
void Win32TextWindow::syncScrollBar() {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = std::max(0, shown.range - 1);
    si.nPage = static_cast<UINT>(std::max(0, shown.page));
    si.nPos = shown.position;
    if (si.nMax == barShown.nMax && si.nPage == barShown.nPage && si.nPos == barShown.nPos &&
        barShown.cbSize != 0)
        return;
    barShown = si;
    SetScrollInfo(own, SB_VERT, &si, TRUE);
}

void Win32TextWindow::paint(HDC target, bool onScreen) {
    shown = client->page();
    syncScrollBar();
    RECT area{};
    GetClientRect(own, &area);
    const int w = std::max(1L, area.right - area.left);
    const int h = std::max(1L, area.bottom - area.top);
    HDC memory = CreateCompatibleDC(target);
    HBITMAP bitmap = memory ? CreateCompatibleBitmap(target, w, h) : nullptr;
    HDC dc = bitmap ? memory : target;  // no memory for a buffer: draw straight on
    HGDIOBJ oldBitmap = bitmap ? SelectObject(memory, bitmap) : nullptr;

    const RECT all{0, 0, w, h};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(ANSI_FIXED_FONT));
    SetTextColor(dc, black);
    SetBkColor(dc, white);
    SetBkMode(dc, OPAQUE);
    SetTextAlign(dc, TA_TOP | TA_LEFT | TA_NOUPDATECP);
    int y = textTop;
    for (const std::string& line : shown.lines) {
        if (y >= h) break;
        std::wstring text = widepath::toWide(line);
        if (text.empty()) text.assign(line.begin(), line.end());  // not UTF-8: byte by byte
        TextOutW(dc, textLeft, y, text.c_str(), static_cast<int>(text.size()));
        y += lineStep;
    }
    SelectObject(dc, oldFont);

    if (bitmap) {
        BitBlt(target, 0, 0, w, h, memory, 0, 0, SRCCOPY);
        SelectObject(memory, oldBitmap);
        DeleteObject(bitmap);
    }
    if (memory) DeleteDC(memory);
    if (onScreen) {
        GdiFlush();
        client->drawn(shown.version);
    }
}

LRESULT Win32TextWindow::handle(HWND from, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
        own = from;
        break;
    case wakeMessage:
        onWake();
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(own, &ps);
        if (dc) paint(dc, true);
        EndPaint(own, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        paint(reinterpret_cast<HDC>(wParam), false);
        return 0;
    case WM_VSCROLL: {
        // The message carries 16 bits of the thumb's position; the bar's
        // track position has all of them while the thumb is dragged.
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_TRACKPOS;
        GetScrollInfo(own, SB_VERT, &si);
        const int carried = HIWORD(wParam);
        const int position = (si.nTrackPos & 0xffff) == carried ? si.nTrackPos : carried;
        switch (LOWORD(wParam)) {
        case SB_LINEUP: scroll(ScrollCode::LineUp, 0); break;
        case SB_LINEDOWN: scroll(ScrollCode::LineDown, 0); break;
        case SB_PAGEUP: scroll(ScrollCode::PageUp, 0); break;
        case SB_PAGEDOWN: scroll(ScrollCode::PageDown, 0); break;
        case SB_THUMBPOSITION: scroll(ScrollCode::ThumbPosition, position); break;
        case SB_THUMBTRACK: scroll(ScrollCode::ThumbTrack, position); break;
        case SB_TOP: scroll(ScrollCode::Top, 0); break;
        case SB_BOTTOM: scroll(ScrollCode::Bottom, 0); break;
        case SB_ENDSCROLL: scroll(ScrollCode::EndScroll, 0); break;
        default: break;
        }
        return 0;
    }
    case WM_MOUSEWHEEL: {
        // Each notch moves the lines the system's setting asks for (a page
        // when it says so); a high-resolution wheel's part turns add up.
        UINT perNotch = 3;
        SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &perNotch, 0);
        wheelRest += GET_WHEEL_DELTA_WPARAM(wParam);
        while (wheelRest >= WHEEL_DELTA || wheelRest <= -WHEEL_DELTA) {
            const bool up = wheelRest > 0;
            wheelRest += up ? -WHEEL_DELTA : WHEEL_DELTA;
            if (perNotch == WHEEL_PAGESCROLL) scroll(up ? ScrollCode::PageUp : ScrollCode::PageDown, 0);
            else
                for (UINT i = 0; i < perNotch; ++i) scroll(up ? ScrollCode::LineUp : ScrollCode::LineDown, 0);
        }
        return 0;
    }
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_UP: scroll(ScrollCode::LineUp, 0); return 0;
        case VK_DOWN: scroll(ScrollCode::LineDown, 0); return 0;
        case VK_PRIOR: scroll(ScrollCode::PageUp, 0); return 0;
        case VK_NEXT: scroll(ScrollCode::PageDown, 0); return 0;
        case VK_HOME: scroll(ScrollCode::Top, 0); return 0;
        case VK_END: scroll(ScrollCode::Bottom, 0); return 0;
        default: break;
        }
        break;
    case WM_CLOSE:
        if (!ended) {
            ended = true;
            ending = Ending::Closed;
        }
        DestroyWindow(own);
        return 0;
    case WM_DESTROY:
        publish(nullptr, GetCurrentThreadId());  // wake-ups go to the thread again
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(from, GWLP_USERDATA, 0);
        own = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(from, message, wParam, lParam);
}

Ending Win32TextWindow::run(const std::string& title, int w, int h, TextWindowClient& c, std::string& reason) {
    if (quitRequested) return Ending::Quit;
    // The thread's queue exists before anybody may post to it.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    publish(nullptr, GetCurrentThreadId());
    if (quitRequested) {
        publish(nullptr, 0);
        return Ending::Quit;
    }
    if (!useClass(reason)) {
        publish(nullptr, 0);
        return Ending::NoDisplay;
    }
    client = &c;
    ended = false;
    ending = Ending::Quit;
    barShown = SCROLLINFO{};
    wheelRest = 0;
    const std::wstring caption = widepath::toWide(title);
    HWND created = CreateWindowExW(0, className, caption.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU |
                                       WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_VSCROLL,
                                   0, 0, w, h, nullptr, nullptr, ownModule(), this);
    if (!created) {
        // Without a window system to draw on (Wine without an X display)
        // the creation fails without an error code.
        const DWORD code = GetLastError();
        reason = code ? "cannot create the window: " + widepath::systemMessage(code)
                      : std::string("cannot create the window: no window system answered");
        client = nullptr;
        releaseClass();
        publish(nullptr, 0);
        return Ending::NoDisplay;
    }
    publish(own, GetCurrentThreadId());
    ShowWindow(own, SW_SHOWNORMAL);
    UpdateWindow(own);
    onWake();  // what was asked while the window was being made

    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) break;  // WM_QUIT: the window is gone
        if (got < 0) {
            // The queue broke down under the window: as good as a lost display.
            if (!ended) {
                ended = true;
                ending = Ending::DisplayLost;
            }
            if (own) DestroyWindow(own);
            break;
        }
        if (msg.hwnd == nullptr && msg.message == wakeMessage) {
            onWake();
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    publish(nullptr, 0);
    client = nullptr;
    releaseClass();
    return ending;
}

}  // namespace

std::unique_ptr<TextWindow> createTextWindow() { return std::make_unique<Win32TextWindow>(); }

}  // namespace textwindow

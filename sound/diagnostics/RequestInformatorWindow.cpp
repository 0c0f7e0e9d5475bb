#include "sound/diagnostics/RequestInformatorWindow.h"

#include "interfaces/Debug.h"
#include "sound/manager/LogChannels.h"

RequestInformatorWindow::RequestInformatorWindow() : window(textwindow::createTextWindow()) {}

RequestInformatorWindow::~RequestInformatorWindow() {
    // The window thread uses this object's content: end it first.
    stopNotifying();
}

void RequestInformatorWindow::initiate() {
    thread::InitiationObject::initiate();
    initiationEvent.set();
}

void RequestInformatorWindow::stopNotifying() {
    if (window) window->quit();
    thread::InitiationObject::stopNotifying();
}

void RequestInformatorWindow::requestRedraw() {
    if (window) window->redraw();
}

void RequestInformatorWindow::process() {
    {
        std::lock_guard<std::mutex> guard(stateLock);
        if (served) return;  // one window per object
        served = true;
    }
    std::string reason = "the window system cannot be reached";
    const textwindow::Ending ending =
        window ? window->run("RequestInformatorWindow", 800, 600, *this, reason) : textwindow::Ending::NoDisplay;
    if (ending == textwindow::Ending::NoDisplay)
        channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f)
                                    << "RequestInformatorWindow has no window: " << reason);
    else if (ending == textwindow::Ending::DisplayLost)
        channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f)
                                    << "RequestInformatorWindow lost its display");
    {
        std::lock_guard<std::mutex> guard(stateLock);
        ended = true;
        closed = ending == textwindow::Ending::Closed || ending == textwindow::Ending::DisplayLost;
    }
    stateChanged.notify_all();
}

bool RequestInformatorWindow::waitUntilWindowEnded(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(stateLock);
    return stateChanged.wait_for(guard, limit, [&] { return ended; });
}

bool RequestInformatorWindow::isClosed() {
    std::lock_guard<std::mutex> guard(stateLock);
    return closed;
}

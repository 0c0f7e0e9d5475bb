#pragma once
// The statistics window: an initiation object whose thread owns a plain
// window of text lines ("RequestInformatorWindow", 800 x 600) and serves it
// until the window is closed. initiate() starts the thread and asks it at
// once for its one process() run, which opens the window and runs its event
// loop; stopNotifying() wakes that loop with a quit request and then waits
// for the thread. The lines and the scroll state (ScrolledLines) live in
// this object, so they outlast the window: after its close button, after
// the display went away, and without any display at all (then the window
// is headless and says once in the log why).
//
// Threads: the window thread runs process(); setLines and the other content
// operations come from any thread and never wait for the window thread;
// initiate, stopNotifying and the destructor from the owner's thread.
#include <condition_variable>
#include <memory>
#include <mutex>

#include "interfaces/TextWindow.h"
#include "sound/diagnostics/ScrolledLines.h"
#include "sound/music/InitiationObject.h"

class RequestInformatorWindow : public thread::InitiationObject, public ScrolledLines {
public:
    RequestInformatorWindow();
    ~RequestInformatorWindow() override;

    void initiate() override;
    void stopNotifying() override;

    // Whether process() has ended the window's life (closed, headless, lost
    // display, or quit); waits up to `limit` for it.
    bool waitUntilWindowEnded(std::chrono::milliseconds limit);
    // The window was shown and is gone again (its close button, or its
    // display went away); a headless window is never closed.
    bool isClosed();

protected:
    void process() override;
    void requestRedraw() override;

private:
    std::unique_ptr<textwindow::TextWindow> window;
    std::mutex stateLock;
    std::condition_variable stateChanged;
    bool served = false;
    bool ended = false;
    bool closed = false;
};

#pragma once
// The developer's view of every sound the device holds. Debug shortcuts:
//   27 open the statistics window (if none is open), start the periodic
//      refresh (if not running) and refresh at once;
//   33 start or stop the periodic refresh;
//   15 close the window and stop the periodic refresh;
//   28 re-read the sound configuration ("Effects.snd", the listener and the
//      music settings) while the game runs.
// The refresh (process(), on the periodic pass of the process-hearer
// registry) builds one line per device sound from the request manager's
// statistics, then the summary lines, and hands them to the window.
//
// Threads: the debug-input thread calls process(code, value); the rendering
// thread calls process() on the periodic pass. Opening and closing (the
// window pointer) are serialised by the informator's lock; a refresh holds
// it only while it hands its lines over, never while the window thread
// works, and closing a window waits for its thread without the lock.
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "interfaces/DebugInput.h"
#include "sound/effects/ProcessHearer.h"
#include "sound/request/StatisticsTable.h"

class RequestInformatorWindow;

class RequestInformator : public ProcessHearer, public DebugInputCapturer {
public:
    RequestInformator();
    ~RequestInformator() override;

    // A debug shortcut (value 1: pressed).
    void process(int code, int value) override;
    // The periodic refresh; does nothing while no window is open.
    void process() override;

    // For tests and tools: the window if one is open, and the hearing state.
    RequestInformatorWindow* getWindow();
    bool getIsHearing();

    RequestInformator(const RequestInformator&) = delete;
    RequestInformator& operator=(const RequestInformator&) = delete;

private:
    using Guard = std::lock_guard<std::recursive_mutex>;

    void open();
    void toggle();
    void close();
    void reReadConfig();
    void startHearing();
    void stopHearing();

    std::recursive_mutex lock;
    RequestInformatorWindow* window = nullptr;
    bool hearing = false;
    // Storage kept from one refresh to the next.
    StatisticsTable perName;
    std::list<std::string> totals;
    std::vector<std::string> lines;
};

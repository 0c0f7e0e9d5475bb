#include "sound/diagnostics/RequestInformator.h"

#include <list>
#include <memory>
#include <string>
#include <vector>

#include "sound/diagnostics/RequestInformatorWindow.h"
#include "sound/diagnostics/StatisticsLines.h"
#include "sound/manager/Boundary.h"
#include "sound/manager/Globals.h"
#include "sound/manager/LogChannels.h"
#include "sound/manager/ReReadConfig.h"
#include "sound/request/RequestManager.h"

namespace {
constexpr int openCode = 27;
constexpr int toggleCode = 33;
constexpr int closeCode = 15;
constexpr int reReadCode = 28;
}  // namespace

RequestInformator::RequestInformator() {
    addShortcut(openCode, 1);
    addShortcut(toggleCode, 1);
    addShortcut(closeCode, 1);
    addShortcut(reReadCode, 1);
}

RequestInformator::~RequestInformator() {
    // No key and no pass may reach the object once it has started to go away;
    // both wait for a call already under way on another thread.
    delAllShortcuts();
    if (theProcessHearerManager) theProcessHearerManager->retireHearer(this);
    RequestInformatorWindow* closing = nullptr;
    {
        Guard guard(lock);
        hearing = false;
        closing = window;
        window = nullptr;
    }
    delete closing;  // stops its thread first
}

void RequestInformator::process(int code, int value) {
    if (value != 1) return;
    // A key arrives from the debug-input library: nothing may go back to it.
    guarded(channels::requestManager, DEBUG_CONTEXT, "process key", [&] {
        switch (code) {
        case openCode: open(); break;
        case toggleCode: toggle(); break;
        case closeCode: close(); break;
        case reReadCode: reReadConfig(); break;
        default: break;
        }
    });
}

void RequestInformator::open() {
    RequestInformatorWindow* closed = nullptr;
    {
        Guard guard(lock);
        // A window closed by its own close button (or whose display went
        // away) is replaced; an open or headless one stays.
        if (window && window->isClosed()) {
            closed = window;
            window = nullptr;
        }
        if (!window) {
            // Kept only once made whole: a window that cannot be made
            // (out of memory) leaves none.
            std::unique_ptr<RequestInformatorWindow> made(new RequestInformatorWindow);
            made->initiate();
            window = made.release();
        }
        startHearing();
    }
    delete closed;
    process();
}

void RequestInformator::toggle() {
    Guard guard(lock);
    if (hearing) stopHearing();
    else startHearing();
}

void RequestInformator::close() {
    RequestInformatorWindow* closing = nullptr;
    {
        Guard guard(lock);
        closing = window;
        window = nullptr;
        stopHearing();
    }
    // Waiting for the window thread happens without the lock, so a refresh
    // on the rendering thread never waits for it.
    delete closing;
}

void RequestInformator::startHearing() {
    if (hearing || !theProcessHearerManager) return;
    theProcessHearerManager->addHearer(this);
    hearing = true;
}

void RequestInformator::stopHearing() {
    if (!hearing) return;
    if (theProcessHearerManager) theProcessHearerManager->removeHearer(this);
    hearing = false;
}

void RequestInformator::process() {
    Guard guard(lock);
    if (!window || !theRequestManager) return;
    // The statistics and the lines are written over those of the previous
    // refresh: a refresh over thousands of sounds allocates almost nothing.
    // Called by the periodic pass on the rendering thread: a refresh that
    // runs out of memory is logged and the window keeps its lines.
    guarded(channels::requestManager, DEBUG_CONTEXT, "refresh the statistics", [&] {
        theRequestManager->generateInfo(perName, totals);
        window->takeSpareLines(lines);
        statisticsLines(perName, totals, lines);
        window->setLines(lines);  // never waits for the window thread
    });
}

void RequestInformator::reReadConfig() {
    // The sound manager's re-read without the landscape.
    reReadSoundConfig(nullptr);
}

RequestInformatorWindow* RequestInformator::getWindow() {
    Guard guard(lock);
    return window;
}

bool RequestInformator::getIsHearing() {
    Guard guard(lock);
    return hearing;
}

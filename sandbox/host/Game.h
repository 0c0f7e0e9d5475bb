#pragma once
// The sandbox game's clock and its window's focus.
#include <atomic>
#include <mutex>

#include "interfaces/GameLogic.h"
#include "interfaces/Window.h"
#include "sandbox/host/ListenerList.h"

namespace sandbox {

// The game clock in minutes (ZULUI_INTERFACE). Hour of day = (minutes / 60)
// mod 24. Any thread may set, advance or read it.
class GameClock : public ZulUIInterface {
public:
    explicit GameClock(DayTime minutes = 12 * 60) : minutes(minutes) {}
    DayTime getDayTime() override { return minutes.load(); }
    void setDayTime(DayTime value) { minutes.store(value); }
    // Sets the clock to hour:minute of day `day` (0 the first day).
    void setTimeOfDay(int hour, int minute = 0, int day = 0) { minutes.store((day * 24 + hour) * 60 + minute); }
    void advance(DayTime delta) { minutes.fetch_add(delta); }

private:
    std::atomic<DayTime> minutes;
};

// The game window (theRenderWindow) and its focus.
//
// Threads: setFocus delivers getFocus or lostFocus on the calling thread (the
// window's thread) to every registered listener, without the list's lock
// held (see ListenerList.h); focus changes are serialised among themselves.
// Do not call setFocus while holding a lock a window listener takes.
class FocusWindow : public RenderWindow {
public:
    explicit FocusWindow(bool focused = true) : focused(focused) {}
    bool hasFocus() override { return focused.load(); }
    void registerListener(RenderWindowListener* listener) override { listeners.add(listener); }
    void unregisterListener(RenderWindowListener* listener) override { listeners.remove(listener); }

    // Sets the focus and tells the listeners, also when it did not change
    // (a repeated focus event).
    void setFocus(bool focus);
    bool isRegistered(RenderWindowListener* listener) const { return listeners.contains(listener); }

private:
    std::atomic<bool> focused;
    std::recursive_mutex eventMutex;
    ListenerList<RenderWindowListener> listeners;
};

}  // namespace sandbox

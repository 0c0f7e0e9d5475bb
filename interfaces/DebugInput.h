#pragma once
// The debug-input library as the sound library calls it: developer key
// shortcuts. A capturer registers shortcut codes; when the host reports a
// key, every capturer that registered its code gets process(code, value).
//
// Threads: any thread may register or dispatch; a capturer's destructor
// waits until no dispatch is calling it.
#include "interfaces/Export.h"

class ZULSOUND_API DebugInputCapturer {
public:
    DebugInputCapturer();
    virtual ~DebugInputCapturer();
    DebugInputCapturer(const DebugInputCapturer&) = delete;
    DebugInputCapturer& operator=(const DebugInputCapturer&) = delete;

    void addShortcut(int code, int flag);
    void delAllShortcuts();

    virtual void process(int code, int value) = 0;
};

namespace debuginput {
// Host side: a key with that shortcut code was pressed (value 1) or released
// (value 0). Returns how many capturers were called.
ZULSOUND_API int dispatch(int code, int value);
}  // namespace debuginput

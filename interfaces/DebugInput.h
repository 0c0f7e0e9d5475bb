#pragma once
/// @file
/// The debug-input library as the sound library calls it: developer key
/// shortcuts. A capturer registers shortcut codes; when the host reports a
/// key, every capturer that registered its code gets process(code, value).
///
/// Threads: any thread may register or dispatch; a capturer's destructor
/// waits until no dispatch is calling it.
#include "interfaces/Export.h"

/// Something that listens to developer keys (the TestInsonificator is one).
class ZULSOUND_API DebugInputCapturer {
public:
    DebugInputCapturer();
    /// Unregisters every shortcut, waiting for a dispatch calling it.
    virtual ~DebugInputCapturer();
    DebugInputCapturer(const DebugInputCapturer&) = delete;
    DebugInputCapturer& operator=(const DebugInputCapturer&) = delete;

    /// Registers shortcut `code`; `flag` is kept for the debug-input library.
    void addShortcut(int code, int flag);
    /// Unregisters every shortcut of this capturer.
    void delAllShortcuts();

    /// A registered key was pressed (value 1) or released (value 0).
    virtual void process(int code, int value) = 0;
};

/// The host's side of developer keys.
namespace debuginput {
/// Host side: a key with that shortcut code was pressed (value 1) or released
/// (value 0). Returns how many capturers were called.
ZULSOUND_API int dispatch(int code, int value);
}  // namespace debuginput

#pragma once
/// @file
/// The window bridge as the sound library calls it: the game window's focus.
/// A null theRenderWindow means there is no window.
///
/// Threads: the window's thread calls RenderWindowListener.
#include "interfaces/Export.h"

/// What the window calls on its listeners; the effect manager is one.
class ZULSOUND_API RenderWindowListener {
public:
    virtual ~RenderWindowListener() = default;
    /// The window gained the focus: every effect is heard again. Told
    /// twice: warning "Skip getFocus: already done".
    virtual void getFocus() = 0;
    /// The window lost the focus: every effect falls silent. Told twice:
    /// warning "Skip lostFocus: already done".
    virtual void lostFocus() = 0;
    /// The display mode changed; the sound library ignores it.
    virtual void changedMode(unsigned long width, unsigned long height, unsigned long bits) {
        (void)width;
        (void)height;
        (void)bits;
    }
};

/// The game window (implemented by the game).
class ZULSOUND_API RenderWindow {
public:
    virtual ~RenderWindow() = default;
    /// Whether the window has the focus now; read at SoundManager::activate():
    /// false there mutes every effect until getFocus() is told.
    virtual bool hasFocus() = 0;
    /// Adds a focus listener (SoundManager::activate()).
    virtual void registerListener(RenderWindowListener* listener) = 0;
    /// Removes it (SoundManager::deactivate()).
    virtual void unregisterListener(RenderWindowListener* listener) = 0;
};

/// The game window: set it before SoundManager::activate() and keep it until
/// after deactivate() (a window gone by then is an error "theRenderWindow !=
/// 0"). Null: no window, never muted.
extern ZULSOUND_API RenderWindow* theRenderWindow;

#pragma once
// The window bridge as the sound library calls it: the game window's focus.
// A null theRenderWindow means there is no window.
//
// Threads: the window's thread calls RenderWindowListener.
#include "interfaces/Export.h"

class ZULSOUND_API RenderWindowListener {
public:
    virtual ~RenderWindowListener() = default;
    virtual void getFocus() = 0;
    virtual void lostFocus() = 0;
    virtual void changedMode(unsigned long width, unsigned long height, unsigned long bits) {
        (void)width;
        (void)height;
        (void)bits;
    }
};

class ZULSOUND_API RenderWindow {
public:
    virtual ~RenderWindow() = default;
    virtual bool hasFocus() = 0;
    virtual void registerListener(RenderWindowListener* listener) = 0;
    virtual void unregisterListener(RenderWindowListener* listener) = 0;
};

extern ZULSOUND_API RenderWindow* theRenderWindow;

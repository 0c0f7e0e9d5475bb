#pragma once
// The 3D engine as the sound library calls it: views that call registered
// listeners once per rendered frame, the paused render timer, and the
// landscape camera. The game (or the sandbox host) implements these and sets
// the pointers; they are null until it does.
//
// Threads: the engine calls RenderDriverListener on its rendering thread.
#include "interfaces/Export.h"
#include "interfaces/Vector.h"

class RenderView;

class ZULSOUND_API RenderDriverListener {
public:
    virtual ~RenderDriverListener() = default;
    virtual void initView(RenderView* view) { (void)view; }
    virtual void termView(RenderView* view) { (void)view; }
    virtual void initFrame(float time) { (void)time; }
    virtual void termFrame(float time) { (void)time; }
};

class ZULSOUND_API View {
public:
    virtual ~View() = default;
    virtual void registerListener(RenderDriverListener* listener) = 0;
    virtual void unregisterListener(RenderDriverListener* listener) = 0;
};

// Render time that stands still while the game is paused, in seconds.
class ZULSOUND_API PausedRenderTimer {
public:
    virtual ~PausedRenderTimer() = default;
    virtual float getTime() = 0;
};

extern ZULSOUND_API PausedRenderTimer* thePausedRenderTimer;

namespace landcamera {

class ZULSOUND_API Camera {
public:
    virtual ~Camera() = default;
    virtual Vector getPosition() = 0;  // world position
    virtual Vector getFront() = 0;     // unit direction of view
    virtual Vector getTop() = 0;       // unit up direction
};

class ZULSOUND_API Manager {
public:
    virtual ~Manager() = default;
    virtual Camera* getCurrentCamera() = 0;
};

extern ZULSOUND_API Manager* theManager;

}  // namespace landcamera

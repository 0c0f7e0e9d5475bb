#pragma once
/// @file
/// The 3D engine as the sound library calls it: views that call registered
/// listeners once per rendered frame, the paused render timer, and the
/// landscape camera. The game (or the sandbox host) implements these and sets
/// the pointers before SoundManager::startGame(); they are null until it does.
///
/// Threads: the engine calls RenderDriverListener on its rendering thread.
#include "interfaces/Export.h"
#include "interfaces/Vector.h"

class RenderView;

/// What a view calls on its listeners; the landscape is one.
class ZULSOUND_API RenderDriverListener {
public:
    virtual ~RenderDriverListener() = default;
    /// Called once per rendered frame, before the frame is drawn: the
    /// landscape updates its sounds here (the library's only clock).
    virtual void initView(RenderView* view) { (void)view; }
    /// Called once per rendered frame, after it is drawn.
    virtual void termView(RenderView* view) { (void)view; }
    /// The frame begins, at render time `time`.
    virtual void initFrame(float time) { (void)time; }
    /// The frame ends, at render time `time`.
    virtual void termFrame(float time) { (void)time; }
};

/// A 3D view (implemented by the game): calls every registered listener's
/// initView() once per rendered frame.
class ZULSOUND_API View {
public:
    virtual ~View() = default;
    /// Adds a listener (SoundManager::startGame()). Called under the
    /// landscape's lock: do not call a listener from inside it.
    virtual void registerListener(RenderDriverListener* listener) = 0;
    /// Removes a listener (SoundManager::stopGame()); after it returns the
    /// view calls that listener no more.
    virtual void unregisterListener(RenderDriverListener* listener) = 0;
};

/// Render time that stands still while the game is paused (implemented by
/// the game).
class ZULSOUND_API PausedRenderTimer {
public:
    virtual ~PausedRenderTimer() = default;
    /// Seconds of render time; grows with frames, stands still in a pause.
    virtual float getTime() = 0;
};

/// The game's render timer; set it before SoundManager::startGame().
extern ZULSOUND_API PausedRenderTimer* thePausedRenderTimer;

/// The landscape camera of the 3D engine.
namespace landcamera {

/// A camera (implemented by the game): where the listener stands.
class ZULSOUND_API Camera {
public:
    virtual ~Camera() = default;
    /// The camera's world position.
    virtual Vector getPosition() = 0;
    /// Unit direction of view.
    virtual Vector getFront() = 0;
    /// Unit up direction.
    virtual Vector getTop() = 0;
};

/// The cameras (implemented by the game).
class ZULSOUND_API Manager {
public:
    virtual ~Manager() = default;
    /// The camera the player looks through, or null (the listener stays).
    virtual Camera* getCurrentCamera() = 0;
};

/// The game's camera manager; set it before SoundManager::startGame().
extern ZULSOUND_API Manager* theManager;

}  // namespace landcamera

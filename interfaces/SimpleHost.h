#pragma once
/// @file
/// Ready-made host objects for a game that does not care to write its own:
/// a view called once a frame, a board of cells, a camera that is the
/// listener, a paused render timer, a game clock and a window with the
/// focus. A game makes one SimpleHost before its SoundManager, passes
/// view() and board() to SoundManager::prepareGame() and drives it once a
/// frame; any object it has of its own it sets through the exported pointer
/// after constructing the SimpleHost (the pointer then stays the game's).
#include <memory>

#include "interfaces/Engine.h"
#include "interfaces/Export.h"
#include "interfaces/GameLogic.h"
#include "interfaces/Vector.h"
#include "interfaces/Window.h"

/// The host objects a game does not write itself, installed in the exported
/// pointers (thePausedRenderTimer, landcamera::theManager, ZULUI_INTERFACE,
/// theRenderWindow) for the SimpleHost's life. Threads: frame(),
/// setListener(), setDayTime(), setSubtype() and setFocus() on the game's
/// rendering thread (the one the view's listeners are called on); the
/// library's calls into the objects from any thread.
class ZULSOUND_API SimpleHost {
public:
    /// Makes the objects, with a board of `boardWidth` x `boardHeight` cells
    /// of subtype 0, the listener at the origin looking along +y with +z up,
    /// render time 0 and the clock at 0 minutes, the window focused; and
    /// sets the four exported pointers to them.
    explicit SimpleHost(unsigned long boardWidth = 1, unsigned long boardHeight = 1);
    /// Sets back to null each exported pointer that still points at one of
    /// its objects. Destroy it after the SoundManager.
    ~SimpleHost();
    SimpleHost(const SimpleHost&) = delete;
    SimpleHost& operator=(const SimpleHost&) = delete;

    /// The view to pass to SoundManager::prepareGame().
    View* view();
    /// The board to pass to SoundManager::prepareGame().
    GameBoard* board();

    /// One rendered frame of `seconds`: the render time moves on by it, then
    /// every listener of the view is called (the landscape moves its sources
    /// and the listener to the camera).
    void frame(float seconds);
    /// Where the listener is from the next frame on: the camera's position,
    /// its front and top directions, in world units.
    void setListener(const Vector& position, const Vector& front = Vector(0.0f, 1.0f, 0.0f),
                     const Vector& top = Vector(0.0f, 0.0f, 1.0f));
    /// The game clock in minutes of the day (what landscape sounds with
    /// hours of their own follow).
    void setDayTime(DayTime minutes);
    /// Changes the subtype of `cell` and tells the board's listeners (the
    /// landscape hears a board only through these changes). Cells outside
    /// the board are ignored.
    void setSubtype(Point2D cell, Landscape::Subtype subtype);
    /// Gives the window the focus or takes it away, telling its listeners.
    void setFocus(bool focused);

private:
    struct Objects;
    std::unique_ptr<Objects> objects;
};

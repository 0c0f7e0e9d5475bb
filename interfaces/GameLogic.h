#pragma once
/// @file
/// The game logic as the sound library calls it: the game board with its
/// landscape subtypes and their names, and the game clock.
///
/// Threads: the game logic calls GameBoardListener on its own thread.
#include <cstdint>
#include <functional>
#include <string>

#include "interfaces/Export.h"

/// A board cell: column x, then row y.
struct Point2D {
    uint32_t x = 0;  ///< Column, from 0 at the left.
    uint32_t y = 0;  ///< Row, from 0 at the top.
};

/// The landscape subtypes of the board's cells and their names.
class ZULSOUND_API Landscape {
public:
    /// A landscape subtype, as the game numbers them.
    typedef int Subtype;

    /// The subtype's name as the game spells it: the "regionType" of the
    /// sound maps and DefaultSounds.cfg. Until the game installs its names
    /// every subtype is named by its number.
    static std::string getNameOfLandscapeSubtype(Subtype subtype);
    /// Installs the game's names (before SoundManager::startGame()); a null
    /// namer names subtypes by their numbers again. Any thread.
    static void setSubtypeNamer(std::function<std::string(Subtype)> namer);
};

/// The order of a board's listeners; the sound library passes the default.
enum ListenerPriority : int { LISTENER_PRIORITY_DEFAULT = 0 };

/// What a board calls on its listeners; the landscape is one.
class ZULSOUND_API GameBoardListener {
public:
    virtual ~GameBoardListener() = default;
    /// Cell `cell` changed its subtype from `oldSubtype` to `newSubtype`:
    /// the landscape removes the sources it placed for the old one and
    /// places the templates of the new one. A game replays its cells after
    /// SoundManager::startGame() and reReadConfig() by calling it with the
    /// cell's subtype as both.
    virtual void afterChangeLandscapeSubtype(Point2D cell, Landscape::Subtype oldSubtype,
                                             Landscape::Subtype newSubtype) {
        (void)cell;
        (void)oldSubtype;
        (void)newSubtype;
    }
};

/// The game board (implemented by the game): width x height cells, one
/// world unit each, centred on the origin.
class ZULSOUND_API GameBoard {
public:
    virtual ~GameBoard() = default;
    /// Width in cells.
    virtual unsigned long getWidth() = 0;
    /// Height in cells.
    virtual unsigned long getHeight() = 0;
    /// Adds a listener (SoundManager::startGame()), under the landscape's
    /// lock: do not call listeners from inside it.
    virtual void registerListener(GameBoardListener* listener, ListenerPriority priority) = 0;
    /// Removes a listener; after it returns the board calls it no more.
    virtual void unregisterListener(GameBoardListener* listener) = 0;
};

/// The game clock in minutes; hour of day = (minutes / 60) mod 24.
typedef int32_t DayTime;

/// The game's UI interface object (implemented by the game): its clock.
class ZULSOUND_API ZulUIInterface {
public:
    virtual ~ZulUIInterface() = default;
    /// The game clock, read once per frame by the landscape.
    virtual DayTime getDayTime() = 0;
};

/// The game's clock object; set it before SoundManager::startGame().
extern ZULSOUND_API ZulUIInterface* ZULUI_INTERFACE;

#pragma once
// The game logic as the sound library calls it: the game board with its
// landscape subtypes and their names, and the game clock.
//
// Threads: the game logic calls GameBoardListener on its own thread.
#include <cstdint>
#include <functional>
#include <string>

#include "interfaces/Export.h"

// A board cell: column x, then row y.
struct Point2D {
    uint32_t x = 0;
    uint32_t y = 0;
};

class ZULSOUND_API Landscape {
public:
    typedef int Subtype;

    // The subtype's name as the game spells it. The game installs the names;
    // until it does, every subtype is named by its number.
    static std::string getNameOfLandscapeSubtype(Subtype subtype);
    static void setSubtypeNamer(std::function<std::string(Subtype)> namer);
};

enum ListenerPriority : int { LISTENER_PRIORITY_DEFAULT = 0 };

class ZULSOUND_API GameBoardListener {
public:
    virtual ~GameBoardListener() = default;
    virtual void afterChangeLandscapeSubtype(Point2D cell, Landscape::Subtype oldSubtype,
                                             Landscape::Subtype newSubtype) {
        (void)cell;
        (void)oldSubtype;
        (void)newSubtype;
    }
};

class ZULSOUND_API GameBoard {
public:
    virtual ~GameBoard() = default;
    virtual unsigned long getWidth() = 0;   // in cells
    virtual unsigned long getHeight() = 0;  // in cells
    virtual void registerListener(GameBoardListener* listener, ListenerPriority priority) = 0;
    virtual void unregisterListener(GameBoardListener* listener) = 0;
};

// The game clock in minutes; hour of day = (minutes / 60) mod 24.
typedef int32_t DayTime;

// The game's UI interface object; its first operation gives the game clock.
class ZULSOUND_API ZulUIInterface {
public:
    virtual ~ZulUIInterface() = default;
    virtual DayTime getDayTime() = 0;
};

extern ZULSOUND_API ZulUIInterface* ZULUI_INTERFACE;

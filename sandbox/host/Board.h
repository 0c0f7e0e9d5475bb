#pragma once
// The sandbox game board: W x H cells, each with a landscape subtype, and the
// listeners told when a cell's subtype changes. Cells are addressed by column
// x (0 at the west edge) and row y (0 at the north edge).
//
// Threads: every operation may be called from any thread. The cells and the
// listener list are guarded by one mutex that is never held while a listener
// runs (see ListenerList.h); a second, re-entrant mutex serialises the
// changes themselves, so listeners hear the changes of one cell in the order
// they were made. Do not call setSubtype while holding a lock that a board
// listener takes in its callback.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "interfaces/GameLogic.h"
#include "sandbox/host/ListenerList.h"

namespace sandbox {

// The landscape subtypes of the sandbox game, with their names as the
// landscape sound maps spell them ("regionType").
enum LandscapeSubtype : Landscape::Subtype {
    Sea = 0,        // "sea"
    Coast = 1,      // "coast"
    Meadow = 2,     // "meadow"
    Forest = 3,     // "forest"
    Mountains = 4,  // "mountains"
};

// The name of a subtype; an unknown one is named by its number.
std::string subtypeName(Landscape::Subtype subtype);

// A board of width x height cells, row after row (index y * width + x),
// deterministic for a seed: sea along the west edge (at least one column),
// one coast cell after it in every row, then meadow, forest and mountains
// toward the east, each band at least one cell wide when the board is at
// least 5 cells wide. The band edges wander from row to row.
std::vector<Landscape::Subtype> generateLandscape(unsigned long width, unsigned long height, uint32_t seed);

class Board : public GameBoard {
public:
    // Every cell starts as `initial`.
    Board(unsigned long width, unsigned long height, Landscape::Subtype initial = Sea);

    unsigned long getWidth() override;
    unsigned long getHeight() override;
    // Listeners are called in registration order; the priority is accepted
    // and not used. Registering a listener twice keeps one entry.
    void registerListener(GameBoardListener* listener, ListenerPriority priority) override;
    void unregisterListener(GameBoardListener* listener) override;

    // Sets the cell and then calls afterChangeLandscapeSubtype(cell, old, new)
    // on every registered listener, also when old equals new. A cell off the
    // board is ignored (returns false).
    bool setSubtype(Point2D cell, Landscape::Subtype subtype);
    // The cell's subtype; -1 for a cell off the board.
    Landscape::Subtype getSubtype(Point2D cell) const;
    // Replaces every cell without telling the listeners (a new map, before
    // anyone listens). False, and nothing changed, unless cells holds
    // width x height entries.
    bool reset(const std::vector<Landscape::Subtype>& cells);
    // Sets, through setSubtype, every cell whose subtype differs from cells
    // (row after row); the listeners hear each change. False, and nothing
    // changed, unless cells holds width x height entries.
    bool apply(const std::vector<Landscape::Subtype>& cells);
    // A copy of every cell, row after row.
    std::vector<Landscape::Subtype> getCells() const;
    bool isRegistered(GameBoardListener* listener) const { return listeners.contains(listener); }

private:
    const unsigned long width;
    const unsigned long height;
    std::recursive_mutex changeMutex;  // one change and its notifications at a time
    mutable std::mutex cellMutex;      // the cells; a leaf
    std::vector<Landscape::Subtype> cells;
    ListenerList<GameBoardListener> listeners;
};

}  // namespace sandbox

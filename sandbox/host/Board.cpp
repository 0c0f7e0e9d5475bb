#include "sandbox/host/Board.h"

#include <algorithm>
#include <cmath>

namespace sandbox {

std::string subtypeName(Landscape::Subtype subtype) {
    switch (subtype) {
        case Sea: return "sea";
        case Coast: return "coast";
        case Meadow: return "meadow";
        case Forest: return "forest";
        case Mountains: return "mountains";
        default: return std::to_string(subtype);
    }
}

namespace {

// A small generator of its own (the minimal standard sequence in 64-bit
// arithmetic), so the board does not depend on the library's internals.
class Draw {
public:
    explicit Draw(uint32_t seed) : state(seed % 2147483647u) {
        if (state == 0) state = 1;
    }
    double unit() {  // in (0, 1)
        state = state * 16807u % 2147483647u;
        return static_cast<double>(state) / 2147483647.0;
    }

private:
    uint64_t state;
};

// v limited to [lo, hi]; lo wins when the two cross (tiny boards).
long between(long v, long lo, long hi) { return std::max(lo, std::min(v, hi)); }

}  // namespace

std::vector<Landscape::Subtype> generateLandscape(unsigned long width, unsigned long height, uint32_t seed) {
    std::vector<Landscape::Subtype> cells(width * height, Sea);
    if (width == 0) return cells;
    Draw draw(seed);
    // Band edges as fractions of the width; each row moves them a little.
    double sea = 0.15 + 0.1 * draw.unit();
    double meadow = 0.5, forest = 0.75;
    const long w = static_cast<long>(width);
    for (unsigned long y = 0; y < height; ++y) {
        sea = std::clamp(sea + 0.06 * (draw.unit() - 0.5), 0.05, 0.35);
        meadow = std::clamp(meadow + 0.08 * (draw.unit() - 0.5), 0.4, 0.6);
        forest = std::clamp(forest + 0.08 * (draw.unit() - 0.5), 0.65, 0.85);
        // Cell columns where each band ends (exclusive), kept in order and at
        // least one cell apart while the width allows.
        long seaEnd = between(std::lround(sea * w), 1, w - 4);
        long coastEnd = std::min(seaEnd + 1, w);
        long meadowEnd = between(std::lround(meadow * w), std::min(coastEnd + 1, w), w - 2);
        long forestEnd = between(std::lround(forest * w), std::min(meadowEnd + 1, w), w - 1);
        for (long x = 0; x < w; ++x) {
            Landscape::Subtype subtype = x < seaEnd      ? Sea
                                         : x < coastEnd  ? Coast
                                         : x < meadowEnd ? Meadow
                                         : x < forestEnd ? Forest
                                                         : Mountains;
            cells[y * width + static_cast<unsigned long>(x)] = subtype;
        }
    }
    return cells;
}

Board::Board(unsigned long w, unsigned long h, Landscape::Subtype initial)
    : width(w), height(h), cells(w * h, initial) {}

unsigned long Board::getWidth() { return width; }

unsigned long Board::getHeight() { return height; }

void Board::registerListener(GameBoardListener* listener, ListenerPriority) { listeners.add(listener); }

void Board::unregisterListener(GameBoardListener* listener) { listeners.remove(listener); }

bool Board::setSubtype(Point2D cell, Landscape::Subtype subtype) {
    if (cell.x >= width || cell.y >= height) return false;
    std::lock_guard<std::recursive_mutex> change(changeMutex);
    Landscape::Subtype old;
    {
        std::lock_guard<std::mutex> guard(cellMutex);
        Landscape::Subtype& slot = cells[cell.y * width + cell.x];
        old = slot;
        slot = subtype;
    }
    listeners.forEach([&](GameBoardListener* l) { l->afterChangeLandscapeSubtype(cell, old, subtype); });
    return true;
}

Landscape::Subtype Board::getSubtype(Point2D cell) const {
    if (cell.x >= width || cell.y >= height) return -1;
    std::lock_guard<std::mutex> guard(cellMutex);
    return cells[cell.y * width + cell.x];
}

bool Board::reset(const std::vector<Landscape::Subtype>& newCells) {
    if (newCells.size() != width * height) return false;
    std::lock_guard<std::recursive_mutex> change(changeMutex);
    std::lock_guard<std::mutex> guard(cellMutex);
    cells = newCells;
    return true;
}

bool Board::apply(const std::vector<Landscape::Subtype>& newCells) {
    if (newCells.size() != width * height) return false;
    std::lock_guard<std::recursive_mutex> change(changeMutex);
    for (unsigned long y = 0; y < height; ++y) {
        for (unsigned long x = 0; x < width; ++x) {
            const Point2D cell{static_cast<uint32_t>(x), static_cast<uint32_t>(y)};
            const Landscape::Subtype subtype = newCells[y * width + x];
            if (getSubtype(cell) != subtype) setSubtype(cell, subtype);
        }
    }
    return true;
}

std::vector<Landscape::Subtype> Board::getCells() const {
    std::lock_guard<std::mutex> guard(cellMutex);
    return cells;
}

}  // namespace sandbox

// The index of continuous sources that tells a frame which of them to visit.
#include "sound/land/LandIndex.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "sound/land/LandInternal.h"
#include "sound/land/LandSound.h"

namespace {

// Side of a board square of the spatial hash, in world units (cells).
const double squareSide = 4.0;
// A source whose widened region touches more squares than this is looked
// at everywhere instead.
const int64_t mostSquares = 64;

uint32_t bitsOf(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The squares a range [low, high] of one axis touches; false if the range
// is not finite or too long. Division by a positive side and floor are both
// monotonic, so a point inside the range falls in one of them.
bool squaresOf(double low, double high, int64_t* first, int64_t* last) {
    if (!std::isfinite(low) || !std::isfinite(high)) return false;
    if (high < low) {  // an empty region (negative margin): no square
        *first = 0;
        *last = -1;
        return true;
    }
    const double a = std::floor(low / squareSide), b = std::floor(high / squareSide);
    if (b - a >= static_cast<double>(mostSquares)) return false;
    if (std::fabs(a) > 1e15 || std::fabs(b) > 1e15) return false;
    *first = static_cast<int64_t>(a);
    *last = static_cast<int64_t>(b);
    return true;
}

}  // namespace

size_t LandIndex::slotOf(int64_t column, int64_t row) const {
    uint64_t h = static_cast<uint64_t>(column) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(row) * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 29;
    return static_cast<size_t>(h) & (squares.size() - 1);
}

void LandIndex::place(LandSound* s) {
    // The region widened by the threshold, as isInside computes it.
    const double hw = static_cast<double>(s->regionWidth) * 0.5 + s->threshold;
    const double hh = static_cast<double>(s->regionHeight) * 0.5 + s->threshold;
    const double cx = s->position.x, cy = s->position.y;
    s->wide = !squaresOf(cx - hw, cx + hw, &s->firstColumn, &s->lastColumn) ||
              !squaresOf(cy - hh, cy + hh, &s->firstRow, &s->lastRow);
    if (!s->wide && s->lastColumn >= s->firstColumn && s->lastRow >= s->firstRow &&
        (s->lastColumn - s->firstColumn + 1) * (s->lastRow - s->firstRow + 1) > mostSquares)
        s->wide = true;
    if (s->wide) {
        wide.push_back(s);
        return;
    }
    for (int64_t row = s->firstRow; row <= s->lastRow; ++row)
        for (int64_t column = s->firstColumn; column <= s->lastColumn; ++column)
            squares[slotOf(column, row)].push_back(s);
}

void LandIndex::unplace(LandSound* s) {
    if (s->wide) {
        wide.erase(std::remove(wide.begin(), wide.end(), s), wide.end());
        return;
    }
    for (int64_t row = s->firstRow; row <= s->lastRow; ++row)
        for (int64_t column = s->firstColumn; column <= s->lastColumn; ++column) {
            std::vector<LandSound*>& square = squares[slotOf(column, row)];
            square.erase(std::remove(square.begin(), square.end(), s), square.end());
        }
}

void LandIndex::rehash(size_t slots) {
    std::vector<std::vector<LandSound*>> larger(slots);
    squares.swap(larger);
    for (const Window& w : windows)
        for (LandSound* s : w.members)
            if (!s->wide)
                for (int64_t row = s->firstRow; row <= s->lastRow; ++row)
                    for (int64_t column = s->firstColumn; column <= s->lastColumn; ++column)
                        squares[slotOf(column, row)].push_back(s);
}

void LandIndex::add(LandSound* s) {
    if (s->indexed) return;
    // About one source per slot: the hash grows with the sources.
    if (squares.empty()) squares.resize(64);
    if (indexed + 1 > squares.size()) rehash(squares.size() * 2);
    place(s);

    const auto key = std::make_pair(bitsOf(s->beginHour), bitsOf(s->endHour));
    auto found = windowOf.find(key);
    if (found == windowOf.end()) {
        windows.push_back(Window{s->beginHour, s->endHour, 1.0f, {}});
        found = windowOf.emplace(key, windows.size() - 1).first;
    }
    Window& w = windows[found->second];
    s->window = found->second;
    s->windowSlot = w.members.size();
    w.members.push_back(s);
    // A new effect holds factor 1.
    if (!(w.given == s->faderVolume)) {
        w.given = std::numeric_limits<float>::quiet_NaN();
        windowsStale = true;
    }
    s->indexed = true;
    s->live = false;
    ++indexed;
    // Room for a frame that lists every source, so that frames never grow it.
    if (visit.capacity() < indexed) visit.reserve(2 * indexed);
    if (live.capacity() < indexed) live.reserve(2 * indexed);
}

void LandIndex::remove(LandSound* s) {
    if (!s->indexed) return;
    unplace(s);
    Window& w = windows[s->window];
    LandSound* last = w.members.back();
    w.members[s->windowSlot] = last;
    last->windowSlot = s->windowSlot;
    w.members.pop_back();
    if (s->live) live.erase(std::remove(live.begin(), live.end(), s), live.end());
    visit.erase(std::remove(visit.begin(), visit.end(), s), visit.end());
    s->indexed = false;
    s->live = false;
    s->wide = false;
    --indexed;
}

void LandIndex::clear() {
    for (const Window& w : windows)
        for (LandSound* s : w.members) {
            s->indexed = false;
            s->live = false;
            s->wide = false;
        }
    squares.clear();
    wide.clear();
    live.clear();
    windows.clear();
    windowOf.clear();
    visit.clear();
    indexed = 0;
    windowsStale = true;
}

void LandIndex::markLive(LandSound* s) {
    if (!s->indexed || s->live) return;
    s->live = true;
    live.push_back(s);
}

void LandIndex::faderChanged(LandSound* s, float factor) {
    if (!s->indexed) return;
    Window& w = windows[s->window];
    if (factor == w.given) return;
    w.given = std::numeric_limits<float>::quiet_NaN();
    windowsStale = true;
}

void LandIndex::take(LandSound* s) {
    if (s->visitMark == mark) return;
    s->visitMark = mark;
    visit.push_back(s);
}

void LandIndex::evaluateWindows(DayTime dayTime, float fade, bool gather) {
    windowsStale = false;
    windowsDayTime = dayTime;
    windowsFade = fade;
    for (Window& w : windows) {
        if (w.members.empty()) continue;
        float factor = 1.0f;
        if (!land::timeWindow(w.beginHour, w.endHour, fade, dayTime, &factor)) continue;
        if (factor == w.given) continue;
        if (gather)
            for (LandSound* s : w.members) take(s);
        w.given = factor;
        // A factor that is not a number differs from itself: handed over at
        // every visit, so every frame visits the window's sources.
        if (factor != factor) windowsStale = true;
    }
}

const std::vector<LandSound*>& LandIndex::collect(const Vector& p, DayTime dayTime, float fade) {
    ++mark;
    visit.clear();
    for (LandSound* s : live) take(s);
    for (LandSound* s : wide)
        if (land::inside(s, s->threshold, p)) take(s);
    // Squares lie within 1e15 squares of the origin (squaresOf): a camera
    // farther out is inside none of them.
    const double farthest = 1e15 * squareSide;
    if (!squares.empty() && std::fabs(p.x) < farthest && std::fabs(p.y) < farthest) {
        const int64_t column = static_cast<int64_t>(std::floor(static_cast<double>(p.x) / squareSide));
        const int64_t row = static_cast<int64_t>(std::floor(static_cast<double>(p.y) / squareSide));
        for (LandSound* s : squares[slotOf(column, row)])
            if (land::inside(s, s->threshold, p)) take(s);
    }
    if (windowsStale || dayTime != windowsDayTime || bitsOf(fade) != bitsOf(windowsFade))
        evaluateWindows(dayTime, fade, true);
    std::sort(visit.begin(), visit.end(), [](const LandSound* a, const LandSound* b) { return a->order < b->order; });
    return visit;
}

void LandIndex::settleWindows(DayTime dayTime, float fade) { evaluateWindows(dayTime, fade, false); }

void LandIndex::settle(LandSound* s, bool mayPlay) {
    if (!s->indexed) return;
    if (mayPlay) markLive(s);
    else s->live = false;
}

void LandIndex::endFrame() {
    live.erase(std::remove_if(live.begin(), live.end(), [](const LandSound* s) { return !s->live; }), live.end());
}

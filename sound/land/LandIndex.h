#pragma once
// Which continuous sources a frame has to visit. A visit of a continuous
// source changes something only if
//  - its effect may be playing (it is stopped, moved or re-volumed), or
//  - the listener is inside its region widened by its threshold (it may
//    start), or
//  - its time window gives a fader factor other than the one its effect
//    holds (the new factor is handed over),
// so the index keeps exactly these three ways in:
//  - the live list: sources the frame started and has not yet seen stopped;
//  - a spatial hash of board squares: each source is listed under every
//    square its widened region touches (regions too large, or not finite,
//    are listed apart and always looked at);
//  - windows: the sources of one time window (begin and end hour) share
//    one fader factor, so when the clock (or the fade) changes, one
//    evaluation per window tells whether its sources need the new factor.
// collect() gathers the candidates of one frame in the order of the
// continuous sequence, each once, and nothing else; a candidate may still
// turn out to do nothing (the visit decides), a source left out provably
// would have done nothing.
//
// Owned by the insonificator and used only under its lock. The lists keep
// their capacity, so a frame in which nothing starts allocates nothing.
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "interfaces/GameLogic.h"
#include "interfaces/Vector.h"

struct LandSound;

class LandIndex {
public:
    // A continuous source with an effect joins (after it joined the
    // continuous sequence: its rank there orders the visits).
    void add(LandSound* sound);
    // It leaves every list; a source not indexed is ignored.
    void remove(LandSound* sound);
    void clear();

    // The frame started the source.
    void markLive(LandSound* sound);
    // updateTime handed a fader factor to the source's effect: its window no
    // longer knows that all its sources hold one factor.
    void faderChanged(LandSound* sound, float factor);

    // The candidates of a frame at listener position `position` (finite),
    // game clock `dayTime` and fade `fade`, in continuous order. The
    // windows that need a new factor count as given it.
    const std::vector<LandSound*>& collect(const Vector& position, DayTime dayTime, float fade);
    // After a frame that visited every source: the windows in the window
    // take their factor as given.
    void settleWindows(DayTime dayTime, float fade);
    // After the visit of a live candidate (or of any source in a full pass):
    // whether its effect may still be playing. The live list is compacted
    // by endFrame().
    void settle(LandSound* sound, bool mayPlay);
    void endFrame();

    // Candidates of the last collect, and the sources that may be playing
    // (statistics for tests and benchmarks).
    size_t lastCandidates() const { return visit.size(); }
    template <typename F>
    void forEachLive(F&& f) const {
        for (LandSound* s : live) f(s);
    }

private:
    struct Window {
        float beginHour;
        float endHour;
        // The factor every member's effect holds while this is a number; NaN
        // when unknown (a member joined with another one, or got one out of
        // turn).
        float given;
        std::vector<LandSound*> members;
    };

    size_t slotOf(int64_t column, int64_t row) const;
    void place(LandSound* sound);
    void unplace(LandSound* sound);
    void rehash(size_t slots);
    void evaluateWindows(DayTime dayTime, float fade, bool gather);
    void take(LandSound* sound);

    std::vector<std::vector<LandSound*>> squares;  // spatial hash, power-of-two size
    std::vector<LandSound*> wide;                  // sources looked at everywhere
    std::vector<LandSound*> live;
    std::vector<Window> windows;
    std::map<std::pair<uint32_t, uint32_t>, size_t> windowOf;  // hour bits to windows
    std::vector<LandSound*> visit;                             // the candidates of a frame
    size_t indexed = 0;
    unsigned long long mark = 0;  // stamp of the current collect
    // The clock and fade the windows were last evaluated at.
    DayTime windowsDayTime = 0;
    float windowsFade = 0.0f;
    bool windowsStale = true;
};

#pragma once
// One landscape sound source: a sound bound to an axis-aligned rectangle of
// the game board, tied to a landscape subtype, heard within a margin around
// the rectangle and only during a window of the day.
//
// Owned by the landscape insonificator (map sources and default records);
// never shared between threads without the insonificator's lock.
#include <cstddef>
#include <cstdint>
#include <string>

#include "interfaces/Export.h"
#include "interfaces/Vector.h"

class Effect;

struct ZULSOUND_API LandSound {
    // First what a due random try reads, together in one cache line (a map
    // of many sources tries many records a frame, seldom in the cache: a
    // record that began anywhere in a line took two).
    alignas(64) Effect* effect = nullptr;  // while the insonificator is initialized
    float nextTime = 0.0f;      // timer value of the next random try
    float interval = 0.0f;      // mean time between random tries
    float probability = 0.0f;   // exactly 1: continuous; otherwise random
    float starter = 0.0f;       // margin where a random try may start it (distance)
    float regionWidth = 0.0f;   // extent along x, world units
    float regionHeight = 0.0f;  // extent along y
    Vector position;            // region centre (x, y) and height (z)
    float beginHour = 0.0f;     // time window, may wrap past midnight
    float endHour = 0.0f;
    // The fader volume last given to the effect: an unchanged factor is not
    // handed to it again every frame.
    float faderVolume = 1.0f;
    // Bookkeeping of the schedule: whether the record is in it, and whether
    // it was taken off the map while queued (the schedule then deletes it).
    bool queued = false;
    bool removed = false;

    bool automatic = false;     // default records: placed on cells of their subtype
    float threshold = 0.0f;     // margin where it is heard at all (distance)
    float powerRadius = 0.0f;   // effect radius; full loudness distance when emulated
    Vector currentPosition;     // last position given to the effect
    float priority = 0.0f;      // kept and written back only
    std::string name;           // the child block's name in a map or default file
    std::string regionType;     // landscape subtype name
    std::string soundName;      // effect name in "Effects.snd"

    // Bookkeeping of the frame's index of continuous sources (LandIndex):
    // the rank in the continuous sequence, the stamp of the last frame that
    // listed it, the board squares it is hashed under, its time window and
    // its place there, and whether it is indexed, looked at everywhere, or
    // may be playing.
    unsigned long long order = 0;
    unsigned long long visitMark = 0;
    int64_t firstColumn = 0, firstRow = 0, lastColumn = -1, lastRow = -1;
    size_t window = 0;
    size_t windowSlot = 0;
    bool indexed = false;
    bool wide = false;
    bool live = false;

    bool isContinuous() const { return probability == 1.0f; }
};

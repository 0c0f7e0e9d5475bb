// The landscape insonificator's frame: the listener to the camera, the
// schedule of random tries, the continuous sources with their time windows,
// the positioning algorithms and the volumes of emulated 3D.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "sound/effects/Effect.h"
#include "sound/effects/Listener.h"
#include "sound/effects/ProcessHearer.h"
#include "sound/land/LandInsonificator.h"
#include "sound/land/LandInternal.h"
#include "sound/manager/Boundary.h"
#include "sound/manager/Globals.h"
#include "sound/manager/LogChannels.h"
#include "sound/random/Randomizer.h"

using land::settings;
using land::timerNow;

namespace {

DayTime gameClock() { return ZULUI_INTERFACE ? ZULUI_INTERFACE->getDayTime() : 0; }

float draw() { return theRandomizer ? theRandomizer->random() : 0.0f; }

bool finite(const Vector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The camera against the listener, component by component and bit for bit:
// +0 and -0 differ, and a NaN equals only the same bits (so a camera stuck
// on NaN is not a move every frame).
bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool sameBits(const Vector& a, const Vector& b) {
    return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z);
}

// The algorithm setting as a whole number; anything outside 1 to 6 is 0.
int algorithmNumber(float value) {
    if (!(value >= 1.0f && value < 7.0f)) return 0;
    return static_cast<int>(value);
}

double length3(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

// How many records ahead of the current due try the frame asks the memory for.
const size_t lookAhead = 8;
// At most how many records a frame asks for before its first due try.
const size_t maxPrefetched = 256;

}  // namespace

// A source enters the schedule only if it can ever be due: probability 0,
// and a negative or non-finite interval, mean never. An interval of 0 (a
// "randomTimeStep" of 0) is a try every frame: the re-queued source is due
// at now, and the due test is strict.
void LandInsonificator::queue(LandSound* s, float now) {
    if (s->queued || s->removed) return;
    if (s->probability == 0.0f || !(s->interval >= 0.0f) || !std::isfinite(s->interval)) return;
    s->nextTime = now + draw() * s->interval;
    // Marked queued only once listed: a source marked but not listed (out
    // of memory) would never be deleted by the schedule.
    schedule.pushBack(s);
    s->queued = true;
}

// ---- the frame ----

// A frame or a board change that was already on its way when stop
// unregistered the insonificator finds it stopped and does nothing.
void LandInsonificator::initView(RenderView*) {
    Guard guard(lock);
    // Called by the engine: a frame that runs out of memory is logged and
    // the next frame tries again.
    if (started) guarded(channels::landInsonificator, DEBUG_CONTEXT, "initView", [this] { forceUpdate(); });
}

void LandInsonificator::forceUpdate() {
    Guard guard(lock);
    if (!initialized) return;
    const float now = timerNow();
    float elapsed = now - lastTime;
    if (!(elapsed > 0.0f)) elapsed = 0.0f;
    if (theProcessHearerManager) theProcessHearerManager->processHearers(elapsed);
    lastTime = now;

    Vector oldPosition, oldFront, oldTop;
    if (listener) listener->getPosition(oldPosition, oldFront, oldTop);
    Vector pos = oldPosition, front = oldFront, top = oldTop;
    if (landcamera::theManager) {
        if (landcamera::Camera* camera = landcamera::theManager->getCurrentCamera()) {
            pos = camera->getPosition();
            front = camera->getFront();
            top = camera->getTop();
        }
    }
    const bool moved = !sameBits(pos, oldPosition);
    const bool changed = moved || !sameBits(front, oldFront) || !sameBits(top, oldTop);
    if (changed && listener) listener->setPosition(pos, front, top);
    if (settings.enableLandSound && enabled && !mapSounds.empty()) updateSounds(pos, moved);
    if (changed && settings.enableUpdate && listener) listener->update();
}

void LandInsonificator::updateSounds(const Vector& pos, bool moved) {
    Guard guard(lock);
    DayTime dayTime = gameClock();
    const float now = timerNow();
    const bool debugLines = settings.makeDebugOutput && moved;

    // 2. Fill the schedule: sources not yet queued (the first frame after start) join it.
    if (scheduleStale) {
        for (LandSound* s : mapSounds) queue(s, now);
        scheduleStale = false;
    }

    // 3. Random sounds the schedule started.
    finished.clear();
    for (LandSound* s : playingRandomSounds) {
        if (debugLines) writeDebugLine(s, pos);
        Effect* e = s->effect;
        if (!e || !e->isPlaying()) {
            finished.push_back(s);
        } else if (moved) {
            if (updateRandomSoundCoordinates(s, pos)) {
                if (isEmulated3d) e->setVolume(getEmulatedVolume(s, pos), emulatorPassword);
            } else {
                e->stop();
                finished.push_back(s);
            }
        }
    }
    for (LandSound* s : finished) playingRandomSounds.remove(s);

    // 4. Due tries, each source at most once: a re-queued one is due no earlier than now.
    // Every due source draws its next time, near or far; only the try itself
    // is skipped where it provably does nothing.
    const land::ClockReading clock = land::readClock(dayTime);
    // The records come in queue order from all over the map and are seldom
    // in the cache: once the front is due, ask the memory at once for as
    // many as the last frame tried, and a few more, then for the ones a few
    // tries ahead while one is tried. A frame with nothing due asks nothing.
    if (!schedule.empty() && schedule.front()->nextTime < now) {
        const size_t expected = std::min(schedule.size(), std::min(lastTries + lookAhead, maxPrefetched));
        for (size_t k = 1; k < expected; ++k) __builtin_prefetch(schedule.at(k));
    }
    lastTries = 0;
    while (!schedule.empty() && schedule.front()->nextTime < now) {
        ++lastTries;
        if (schedule.size() > lookAhead) __builtin_prefetch(schedule.at(lookAhead));
        LandSound* s = schedule.popFront();
        s->queued = false;
        if (s->removed) {
            delete s;
            continue;
        }
        if (static_cast<float>(playingRandomSounds.size()) < settings.randomSoundLimiter &&
            (visitEverySource || mayTry(s, pos, clock)))
            updateRandomSound(s, pos, dayTime);
        queue(s, now);
    }

    // 5. Continuous sources: those the index names, in sequence order; all of
    // them when every visit writes a debug line, or when the listener is
    // nowhere on the plane (a NaN position is inside every region).
    if (visitEverySource || debugLines || !finite(pos)) {
        for (LandSound* s : continuousSounds) {
            if (debugLines) writeDebugLine(s, pos);
            if (!s->effect) continue;
            index.settle(s, updateContinuousSound(s, pos, moved, dayTime));
        }
        index.settleWindows(dayTime, fade);
    } else {
        for (LandSound* s : index.collect(pos, dayTime, fade))
            if (s->effect) index.settle(s, updateContinuousSound(s, pos, moved, dayTime));
    }
    index.endFrame();
}

// Whether a due try of `s` can do anything: it may start only within its
// starter margin; outside, a continuous source's try still hands its effect
// a changed fader factor (the window test comes first).
bool LandInsonificator::mayTry(const LandSound* s, const Vector& pos, land::ClockReading clock) const {
    if (!s->effect) return false;
    if (land::inside(s, s->starter, pos)) return true;
    if (!s->isContinuous()) return false;
    float factor = 1.0f;
    return land::timeWindow(s->beginHour, s->endHour, fade, clock, &factor) && factor != s->faderVolume;
}

// One continuous source in its window and margin; returns whether its effect
// may still be playing afterwards.
bool LandInsonificator::updateContinuousSound(LandSound* s, const Vector& pos, bool moved, DayTime& dayTime) {
    Effect* e = s->effect;
    if (!updateTime(s, dayTime)) {
        if (e->isPlaying()) e->stop();
        return false;
    }
    if (!e->isPlaying()) {
        if (!updateCoordinates(s, pos)) return false;
        if (!isEmulated3d) {
            if (listener) listener->update();
        } else {
            e->setVolume(getEmulatedVolume(s, pos), emulatorPassword);
        }
        e->play();
        return true;
    }
    if (moved && !updateCoordinates(s, pos)) {
        e->stop();
        return false;
    }
    if (isEmulated3d) e->setVolume(getEmulatedVolume(s, pos), emulatorPassword);
    return true;
}

void LandInsonificator::updateRandomSound(LandSound* s, const Vector& pos, DayTime& dayTime) {
    Guard guard(lock);
    Effect* e = s->effect;
    if (!e) return;
    if (!updateTime(s, dayTime)) return;
    if (!isInside(s, s->starter, pos)) return;
    if (!updateRandomSoundCoordinates(s, pos)) return;
    if (isEmulated3d) e->setVolume(getEmulatedVolume(s, pos), emulatorPassword);
    if (!e->isPlaying()) {
        e->play();
        playingRandomSounds.push_back(s);
        if (s->isContinuous()) index.markLive(s);
    }
}

bool LandInsonificator::updateRandomSoundCoordinates(LandSound* s, const Vector& pos) {
    Guard guard(lock);
    if (settings.adaptRandomSounds) return updateCoordinates(s, pos);
    return isInside(s, s->threshold, pos);
}

bool LandInsonificator::updateCoordinates(LandSound* s, const Vector& pos) {
    Guard guard(lock);
    if (!isInside(s, s->threshold, pos)) return false;
    const Vector base = isInside(s, 0.0f, pos) ? Vector(pos.x, pos.y, s->position.z)
                                                : getNearbyRectanglePoint(s, 0.0f, pos);
    double px = base.x, py = base.y, pz = base.z;
    const double ex = px - pos.x, ey = py - pos.y, ez = pz - pos.z;
    const double dist = length3(ex, ey, ez);
    // Unit vector from the listener toward the point; none at distance 0.
    const double ux = dist > 0.0 ? ex / dist : 0.0, uy = dist > 0.0 ? ey / dist : 0.0,
                 uz = dist > 0.0 ? ez / dist : 0.0;
    const Settings& k = settings;
    switch (algorithmNumber(k.algorithm)) {
        case 1: {
            const double d2 = std::sqrt(ex * ex + ey * ey);
            if (d2 > 0.0 && d2 < k.throwRadius) {
                px = pos.x + ex / d2 * k.throwRadius;
                py = pos.y + ey / d2 * k.throwRadius;
            }
            pz = s->position.z;
            break;
        }
        case 2:
            if (dist > 0.0 && dist < k.throwRadius) {
                px = pos.x + ux * k.throwRadius;
                py = pos.y + uy * k.throwRadius;
                pz = pos.z + uz * k.throwRadius;
            }
            break;
        case 3: {
            const double d2squared = ex * ex + ey * ey;
            pz = -static_cast<double>(k.expcoefficient) * std::exp(-d2squared / k.expsqsigma);
            break;
        }
        case 4: {
            const double push = k.expcoefficient * std::exp(-(dist * dist) / k.expsqsigma);
            px += push * ux;
            py += push * uy;
            pz += push * uz;
            break;
        }
        case 5:
        case 6:
            if (dist > k.adaptDistance1) {
                const double over = dist - k.adaptDistance1;
                const double stretched = dist + k.adaptCoefficient * (algorithmNumber(k.algorithm) == 5 ? over : over * over);
                px = pos.x + ux * stretched;
                py = pos.y + uy * stretched;
                pz = pos.z + uz * stretched;
            }
            break;
        default:
            break;
    }
    Vector placed(static_cast<float>(px), static_cast<float>(py), static_cast<float>(pz));
    // Tuning values that overflow (or a zero sigma) fall back to the base
    // point, a base point out of range to the region centre.
    if (!finite(placed)) placed = finite(base) ? base : s->position;
    if (s->effect) s->effect->setPosition(placed);
    s->currentPosition = placed;
    return true;
}

float LandInsonificator::getEmulatedVolume(LandSound* s, const Vector& pos) {
    Guard guard(lock);
    const double d = length3(static_cast<double>(pos.x) - s->currentPosition.x,
                             static_cast<double>(pos.y) - s->currentPosition.y,
                             static_cast<double>(pos.z) - s->currentPosition.z);
    if (d == 0.0) return 1.0f;
    const double volume = s->powerRadius / d;
    if (!(volume > 0.0)) return 0.0f;  // a negative radius, or a distance out of range
    return volume > 1.0 ? 1.0f : static_cast<float>(volume);
}

land::ClockReading land::readClock(DayTime dayTime) {
    // Whole hours and minutes; a clock before zero reads as the day before.
    const long minutes = dayTime;
    const long hours = minutes >= 0 ? minutes / 60 : -((-minutes + 59) / 60);
    return ClockReading{static_cast<int>(((hours % 24) + 24) % 24), static_cast<int>(((minutes % 60) + 60) % 60)};
}

bool land::timeWindow(float b, float e, float fade, ClockReading clock, float* factor) {
    int hour = clock.hour;
    const int minute = clock.minute;
    if (e < b) {
        e += 24.0f;
        if (static_cast<float>(hour) < b) hour += 24;
    }
    const float h = static_cast<float>(hour);
    const bool inWindow = b == e || (b <= h && h < e);
    if (!inWindow) return false;
    *factor = 1.0f;
    if (b != e && 2.0f * fade <= e - b) {
        const float t = h + static_cast<float>(minute) / 60.0f;
        if (h >= e - fade) *factor = 1.0f - 0.8f * (t - (e - fade)) / fade;
        if (h < b + fade) *factor = 1.0f - 0.8f * (1.0f - (t - b) / fade);
        // Windows on fractional hours can leave the ramp: never louder than
        // full, never below silence.
        *factor = std::min(std::max(*factor, 0.0f), 1.0f);
    }
    return true;
}

bool LandInsonificator::updateTime(LandSound* s, DayTime& dayTime) {
    Guard guard(lock);
    float factor = 1.0f;
    const bool inWindow = land::timeWindow(s->beginHour, s->endHour, fade, dayTime, &factor);
    if (!s->isContinuous()) return inWindow;
    if (!inWindow) return false;
    if (s->effect && factor != s->faderVolume) {
        s->effect->setVolume(factor, faderPassword);
        s->faderVolume = factor;
        index.faderChanged(s, factor);
    }
    return true;
}

void LandInsonificator::writeDebugLine(LandSound* s, const Vector& pos) {
    const double d = length3(static_cast<double>(pos.x) - s->currentPosition.x,
                             static_cast<double>(pos.y) - s->currentPosition.y,
                             static_cast<double>(pos.z) - s->currentPosition.z);
    const float distance = static_cast<float>(d);
    const float attenuation = s->powerRadius / distance;
    channels::landInsonificator.post(debug::Message(DEBUG_CONTEXT, 0.0f)
                                     << "name: " << s->soundName << " play: " << (s->effect && s->effect->isPlaying())
                                     << " dist: " << distance << " att: " << attenuation);
}

// The landscape insonificator's placement: sources put on and taken off
// board cells when a cell changes its landscape subtype, the effect set-up
// every source gets, and the rectangle geometry of regions.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "sound/effects/Effect.h"
#include "sound/land/LandInsonificator.h"
#include "sound/land/LandInternal.h"
#include "sound/manager/Boundary.h"
#include "sound/manager/LogChannels.h"

using land::settings;
using land::timerNow;

// ---- placement ----

void LandInsonificator::afterChangeLandscapeSubtype(Point2D cell, Landscape::Subtype oldSubtype,
                                                    Landscape::Subtype newSubtype) {
    Guard guard(lock);
    if (!started) return;
    // Called by the game logic: a change that runs out of memory is logged
    // and the cell keeps what was placed before the failure.
    guarded(channels::landInsonificator, DEBUG_CONTEXT, "afterChangeLandscapeSubtype", [&] {
        const std::string oldName = Landscape::getNameOfLandscapeSubtype(oldSubtype);
        const std::string newName = Landscape::getNameOfLandscapeSubtype(newSubtype);
        const Vector centre = convertGameBoardCoordinatesToAbsolute(cell.x, cell.y);
        removeLandSound(centre, oldName);
        addLandSound(centre, newName);
    });
}

Vector LandInsonificator::convertGameBoardCoordinatesToAbsolute(unsigned long x, unsigned long y) {
    Guard guard(lock);
    const double w = gameBoard ? static_cast<double>(gameBoard->getWidth()) : 0.0;
    const double h = gameBoard ? static_cast<double>(gameBoard->getHeight()) : 0.0;
    return Vector(static_cast<float>(static_cast<double>(x) + 0.5 - w * 0.5),
                  static_cast<float>(h * 0.5 - (static_cast<double>(y) + 0.5)), 0.0f);
}

std::string LandInsonificator::placedName(const LandSound& pattern, const Vector& centre) {
    std::string base;
    if (gameBoard) {
        // The cell's column and row back from its centre.
        const double w = static_cast<double>(gameBoard->getWidth());
        const double h = static_cast<double>(gameBoard->getHeight());
        const long column = std::lround(static_cast<double>(centre.x) + w * 0.5 - 0.5);
        const long row = std::lround(h * 0.5 - 0.5 - static_cast<double>(centre.y));
        base = pattern.name + "-" + std::to_string(column) + "-" + std::to_string(row);
    } else {
        base = pattern.name + "-" + std::to_string(++placedSerial);
    }
    // A map read from a save may already hold the name (an inconsistent map,
    // or a hand-made source): number the copy.
    std::string candidate = base;
    for (unsigned copy = 2;; ++copy) {
        const bool taken = std::any_of(mapSounds.begin(), mapSounds.end(),
                                       [&](const LandSound* s) { return s->name == candidate; });
        if (!taken) return candidate;
        candidate = base + "-" + std::to_string(copy);
    }
}

void LandInsonificator::addLandSound(const Vector& centre, const std::string& subtypeName) {
    Guard guard(lock);
    for (const LandSound* d : defaultSounds) {
        if (d->regionType != subtypeName || !d->automatic) continue;
        // Owned by the map once listed; until then a failure (out of
        // memory) takes it back.
        auto made = std::make_unique<LandSound>();
        LandSound* s = made.get();
        s->name = placedName(*d, centre);
        s->regionType = d->regionType;
        s->powerRadius = d->powerRadius;
        s->threshold = d->threshold;
        s->starter = d->starter;
        s->probability = d->probability;
        s->automatic = d->automatic;
        s->priority = d->priority;
        s->soundName = d->soundName;
        s->beginHour = d->beginHour;
        s->endHour = d->endHour;
        s->regionWidth = s->regionHeight = 1.0f;
        s->position = Vector(centre.x, centre.y, d->position.z);
        mapSounds.push_back(s);
        made.release();
        if (initialized) {
            setUpEffect(s);
            if (started) queue(s, timerNow());
        }
    }
}

void LandInsonificator::removeLandSound(const Vector& centre, const std::string& subtypeName) {
    Guard guard(lock);
    std::vector<LandSound*> found;
    for (LandSound* s : mapSounds)
        if (s->position.x == centre.x && s->position.y == centre.y && s->regionType == subtypeName)
            found.push_back(s);
    if (found.empty()) return;
    if (initialized) {
        for (LandSound* s : found) {
            // A source whose effect could not be made is listed all the same
            // (continuous sources join their sequence at the set-up): it
            // leaves every list a later frame visits before it is deleted.
            if (s->effect) s->effect->stop();
            playingRandomSounds.remove(s);
            index.remove(s);
            continuousSounds.erase(std::remove(continuousSounds.begin(), continuousSounds.end(), s),
                                   continuousSounds.end());
            if (s->effect) destroyEffect(s->effect);
            s->effect = nullptr;
        }
    }
    for (LandSound* s : found) {
        mapSounds.remove(s);
        // The schedule deletes what it holds when it reaches it; anything else
        // goes at once.
        if (started && s->queued) s->removed = true;
        else delete s;
    }
}

void LandInsonificator::setUpEffect(LandSound* s) {
    s->effect = createEffect(s->soundName);
    if (Effect* e = s->effect) {
        e->setRadius(s->powerRadius, name);
        e->setSound3DApply(SOUND3D_APPLY_DEFERRED);
        e->setPosition(s->position);
        e->addCommonPassword(true, faderPassword);
        e->addCommonPassword(true, emulatorPassword);
        e->setSound3DMode(isEmulated3d ? SOUND3D_MODE_DISABLE : SOUND3D_MODE_NORMAL);
    }
    s->faderVolume = 1.0f;  // the new password's volume
    // The effect sounds from the region centre until a frame places it.
    s->currentPosition = s->position;
    if (s->probability != 0.0f) s->interval = settings.randomTimeStep / s->probability;
    if (s->isContinuous()) {
        continuousSounds.push_back(s);
        s->order = ++continuousRank;
        if (s->effect) index.add(s);
    }
}

// ---- geometry ----

bool LandInsonificator::isInside(const LandSound* s, float margin, const Vector& p) { return land::inside(s, margin, p); }

bool land::inside(const LandSound* s, float margin, const Vector& p) {
    const double hw = static_cast<double>(s->regionWidth) * 0.5 + margin;
    const double hh = static_cast<double>(s->regionHeight) * 0.5 + margin;
    const double cx = s->position.x, cy = s->position.y;
    if (cx + hw < p.x) return false;
    if (p.x < cx - hw) return false;
    if (cy + hh < p.y) return false;
    if (p.y < cy - hh) return false;
    return true;
}

Vector LandInsonificator::getNearbyRectanglePoint(const LandSound* s, float margin, const Vector& p) {
    const double hw = static_cast<double>(s->regionWidth) * 0.5 + margin;
    const double hh = static_cast<double>(s->regionHeight) * 0.5 + margin;
    const double dx = static_cast<double>(p.x) - s->position.x, dy = static_cast<double>(p.y) - s->position.y;
    const double corners[4][2] = {{-hw, hh}, {-hw, -hh}, {hw, -hh}, {hw, hh}};
    double bestX = corners[0][0], bestY = corners[0][1], best = 0.0;
    for (int i = 0; i < 4; ++i) {
        const double ax = corners[i][0], ay = corners[i][1];
        const double bx = corners[(i + 1) % 4][0], by = corners[(i + 1) % 4][1];
        const double l = std::sqrt((bx - ax) * (bx - ax) + (by - ay) * (by - ay));
        const double da = (dx - ax) * (dx - ax) + (dy - ay) * (dy - ay);
        const double db = (dx - bx) * (dx - bx) + (dy - by) * (dy - by);
        double cx = ax, cy = ay, t = 0.0;
        if (l > 0.0) {
            // A region of no width or height: its degenerate edge is its start point.
            t = std::min(std::max((l * l + da - db) / (2.0 * l), 0.0), l);
            cx = ax + (bx - ax) / l * t;
            cy = ay + (by - ay) / l * t;
        }
        const double squared = da - t * t;
        if (i == 0 || squared < best) {
            best = squared;
            bestX = cx;
            bestY = cy;
        }
    }
    return Vector(static_cast<float>(bestX + s->position.x), static_cast<float>(bestY + s->position.y),
                  s->position.z);
}

Vector LandInsonificator::projectToRectangle(const LandSound* s, float margin, const Vector& p) {
    auto nonZero = [](double v) { return v == 0.0 ? 1e-10 : v; };
    const double hw = nonZero(static_cast<double>(s->regionWidth) * 0.5 + margin);
    const double hh = nonZero(static_cast<double>(s->regionHeight) * 0.5 + margin);
    const double dx = nonZero(static_cast<double>(p.x) - s->position.x);
    const double dy = nonZero(static_cast<double>(p.y) - s->position.y);
    const double sx = std::copysign(hw, dx), sy = std::copysign(hh, dy);
    const double slope = dy / dx;
    if (std::fabs(hh / hw) > std::fabs(slope))
        return Vector(static_cast<float>(s->position.x + sx), static_cast<float>(s->position.y + slope * sx),
                      s->position.z);
    return Vector(static_cast<float>(s->position.x + sy / slope), static_cast<float>(s->position.y + sy),
                  s->position.z);
}

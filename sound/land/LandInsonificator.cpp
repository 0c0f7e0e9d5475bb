#include "sound/land/LandInsonificator.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <ctime>
#include <memory>
#include <sstream>

#include "interfaces/Config.h"
#include "sound/effects/Effect.h"
#include "sound/effects/Listener.h"
#include "sound/effects/ListenerManager.h"
#include "sound/effects/ProcessHearer.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/manager/Globals.h"
#include "sound/manager/LogChannels.h"
#include "sound/random/Randomizer.h"

namespace {

const char* const defaultSoundsPath = "/Configs/Sounds/DefaultSounds.cfg";
const char* const adaptSettingsPath = "/Configs/Sounds/AdaptSettings.cfg";
const char* const groupFallbackName = "Environment sounds";

// Class-wide: written by load under the loading instance's lock, read by the
// frames of the (one) instance under its lock.
LandInsonificator::Settings settings;

float timerNow() { return thePausedRenderTimer ? thePausedRenderTimer->getTime() : 0.0f; }

DayTime gameClock() { return ZULUI_INTERFACE ? ZULUI_INTERFACE->getDayTime() : 0; }

float draw() { return theRandomizer ? theRandomizer->random() : 0.0f; }

bool finite(const Vector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// A value read from a file: NaN keeps the default, infinities become the
// largest finite float, so nothing the frame computes from it is NaN and a
// save writes it back.
bool readFloat(configmanager::Block* block, const char* key, float* field) {
    float value = 0.0f;
    if (!block->getProperty(key, &value)) return false;
    if (std::isnan(value)) return false;
    if (std::isinf(value)) value = value > 0 ? FLT_MAX : -FLT_MAX;
    *field = value;
    return true;
}

// What a save writes for a held value: never NaN or an infinity.
float writable(float value) {
    if (std::isnan(value)) return 0.0f;
    if (std::isinf(value)) return value > 0 ? FLT_MAX : -FLT_MAX;
    return value;
}

// A margin held as a distance, written as a multiple of powerRadius. With
// powerRadius 0 the held margin is 0 whatever the file said: 0 is written.
float perRadius(float margin, float powerRadius) {
    if (powerRadius == 0.0f) return 0.0f;
    return writable(margin / powerRadius);
}

// The record of one child block. Map children have "x" and "y" (and may be
// in the old "regionRadius" form); default records have neither.
LandSound* readRecord(const std::string& name, configmanager::Block* child, bool mapForm) {
    auto* s = new LandSound;
    s->name = name;
    child->getProperty("regionType", &s->regionType);
    float radius = 0.0f;
    if (mapForm && readFloat(child, "regionRadius", &radius)) {
        channels::landInsonificator.post(debug::Warning(DEBUG_CONTEXT, 0.1f)
                                         << "Old sounds map format. To convert press ignore.");
        s->regionWidth = s->regionHeight = 2.0f * radius;
    } else {
        readFloat(child, "regionWidth", &s->regionWidth);
        readFloat(child, "regionHeight", &s->regionHeight);
    }
    readFloat(child, "powerRadius", &s->powerRadius);
    float threshold = 0.0f;
    readFloat(child, "threshold", &threshold);
    s->threshold = threshold * s->powerRadius;
    float starter = threshold;  // a missing "starter" takes "threshold", in both forms
    readFloat(child, "starter", &starter);
    s->starter = starter * s->powerRadius;
    readFloat(child, "probability", &s->probability);
    child->getProperty("auto", &s->automatic);
    readFloat(child, "priority", &s->priority);
    child->getProperty("soundName", &s->soundName);
    if (mapForm) {
        readFloat(child, "x", &s->position.x);
        readFloat(child, "y", &s->position.y);
    }
    readFloat(child, "z", &s->position.z);
    readFloat(child, "beginHour", &s->beginHour);
    readFloat(child, "endHour", &s->endHour);
    return s;
}

void readSettings(configmanager::Block& file, bool* isEmulated3d) {
    LandInsonificator::Settings& s = settings;
    file.getProperty("randomTimeStep", &s.randomTimeStep);
    file.getProperty("randomSoundLimiter", &s.randomSoundLimiter);
    file.getProperty("adaptRandomSounds", &s.adaptRandomSounds);
    file.getProperty("enableLandSound", &s.enableLandSound);
    file.getProperty("enableUpdate", &s.enableUpdate);
    file.getProperty("makeDebugOutput", &s.makeDebugOutput);
    file.getProperty("adaptCoefficient", &s.adaptCoefficient);
    file.getProperty("adaptDistance1", &s.adaptDistance1);
    file.getProperty("adaptDistance2", &s.adaptDistance2);
    file.getProperty("algorithm", &s.algorithm);
    file.getProperty("throwRadius", &s.throwRadius);
    file.getProperty("expcoefficient", &s.expcoefficient);
    file.getProperty("expsqsigma", &s.expsqsigma);
    file.getProperty("isEmulated3d", isEmulated3d);
}

// The algorithm setting as a whole number; anything outside 1 to 6 is 0.
int algorithmNumber(float value) {
    if (!(value >= 1.0f && value < 7.0f)) return 0;
    return static_cast<int>(value);
}

double length3(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

}  // namespace

// ---- construction and settings ----

LandInsonificator::LandInsonificator() {
    Guard guard(lock);
    name = theInsonificatorManager ? theInsonificatorManager->getName(1) : std::string(groupFallbackName);
    if (name.empty()) name = groupFallbackName;
    faderPassword = name + "Fader";
    emulatorPassword = name + "Emulator";
}

LandInsonificator::~LandInsonificator() {
    Guard guard(lock);
    if (initialized) uninitialize();
    for (LandSound* s : mapSounds) delete s;
    mapSounds.clear();
    for (LandSound* s : defaultSounds) delete s;
    defaultSounds.clear();
    schedule.forEach([](LandSound* s) {
        if (s->removed) delete s;
    });
    schedule.clear();
}

LandInsonificator::Settings LandInsonificator::getSettings() { return settings; }

void LandInsonificator::resetSettings() { settings = Settings(); }

bool LandInsonificator::getIsInitialized() {
    Guard guard(lock);
    return initialized;
}

bool LandInsonificator::getIsStarted() {
    Guard guard(lock);
    return started;
}

// ---- life cycle ----

void LandInsonificator::initialize(View* v, GameBoard* board) {
    Guard guard(lock);
    if (initialized) {
        channels::landInsonificator.post(debug::Error(DEBUG_CONTEXT) << "failed to initialize: already initialized");
        return;
    }
    initialized = true;
    view = v;
    gameBoard = board;
    listener = theListenerManager ? theListenerManager->createListener() : nullptr;
    for (LandSound* s : mapSounds) setUpEffect(s);
    if (listener) listener->update();
    loadDefaultSounds();
}

void LandInsonificator::uninitialize() {
    Guard guard(lock);
    if (started) stop();
    if (!initialized) {
        channels::landInsonificator.post(debug::Error(DEBUG_CONTEXT)
                                         << "failed to uninitialize: already uninitialized");
        return;
    }
    initialized = false;
    for (LandSound* s : mapSounds) {
        if (s->effect) destroyEffect(s->effect);
        s->effect = nullptr;
    }
    unload();
    unloadDefaultSounds();
    continuousSounds.clear();
    if (listener && theListenerManager) theListenerManager->destroyListener(listener);
    listener = nullptr;
    view = nullptr;
    gameBoard = nullptr;
}

void LandInsonificator::start() {
    Guard guard(lock);
    if (!initialized) {
        channels::landInsonificator.post(debug::Error(DEBUG_CONTEXT) << "failed to start: not initialized");
        return;
    }
    if (started) return;
    if (view) view->registerListener(static_cast<RenderDriverListener*>(this));
    if (gameBoard) gameBoard->registerListener(static_cast<GameBoardListener*>(this), LISTENER_PRIORITY_DEFAULT);
    started = true;
    if (theRandomizer)
        theRandomizer->setSeed(static_cast<float>(static_cast<double>(std::time(nullptr)) * (1.0 / 2147483648.0)));
    lastTime = timerNow();
    scheduleStale = true;
}

void LandInsonificator::stop() {
    Guard guard(lock);
    if (!started) return;
    if (view) view->unregisterListener(static_cast<RenderDriverListener*>(this));
    if (gameBoard) gameBoard->unregisterListener(static_cast<GameBoardListener*>(this));
    started = false;
    for (LandSound* s : mapSounds)
        if (s->effect) s->effect->stop();
    playingRandomSounds.clear();
    while (!schedule.empty()) {
        LandSound* s = schedule.popFront();
        s->queued = false;
        if (s->removed) delete s;
    }
    scheduleStale = false;
}

void LandInsonificator::emulate3dsound(bool flag) {
    Guard guard(lock);
    if (isEmulated3d == flag) {
        channels::landInsonificator.post(debug::Warning(DEBUG_CONTEXT, 1.0f)
                                         << "skip to emulate 3dsound: isEmulated3d == flag == " << flag);
        return;
    }
    isEmulated3d = flag;
    if (!initialized) return;
    for (LandSound* s : mapSounds) {
        Effect* e = s->effect;
        if (!e) continue;
        e->setSound3DApply(SOUND3D_APPLY_IMMEDIATE);
        if (flag) {
            e->setSound3DMode(SOUND3D_MODE_DISABLE);
            e->setVolume(0.0f, emulatorPassword);
        } else {
            e->setSound3DMode(SOUND3D_MODE_NORMAL);
            e->setVolume(1.0f, emulatorPassword);
        }
        e->setSound3DApply(SOUND3D_APPLY_DEFERRED);
    }
}

void LandInsonificator::reReadConfig(std::string mapName) {
    Guard guard(lock);
    if (!initialized) return;
    View* keptView = view;
    GameBoard* keptBoard = gameBoard;
    const bool wasStarted = started;
    uninitialize();
    auto file = std::make_unique<configmanager::ConfigManager>();
    file->readFile("/Maps" + mapName);
    configmanager::Block* sounds = nullptr;
    bool found = false;
    {
        std::lock_guard<configmanager::Block> blockGuard(*file);
        found = file->getPropertyAccess("Sounds", &sounds);
    }
    if (found && sounds) load(sounds);
    initialize(keptView, keptBoard);
    if (wasStarted) start();
}

void LandInsonificator::readAdaptSettings(configmanager::Block& file, bool* emulated) { readSettings(file, emulated); }

// ---- sound maps ----

void LandInsonificator::load(configmanager::Block* block) {
    Guard guard(lock);
    const bool wasStarted = started;
    View* keptView = view;
    GameBoard* keptBoard = gameBoard;
    if (initialized) {
        stop();
        uninitialize();
    }
    unload();
    if (block) {
        readFloat(block, "fade", &fade);
        for (auto& child : block->getChildBlocks())
            mapSounds.push_back(readRecord(child.first.getString(), child.second, true));
    }
    auto file = std::make_unique<configmanager::ConfigManager>();
    file->readFile(adaptSettingsPath);
    readSettings(*file, &isEmulated3d);
    if (wasStarted) {
        initialize(keptView, keptBoard);
        start();
    }
}

void LandInsonificator::save(configmanager::Block* block) {
    Guard guard(lock);
    if (!block) return;
    const float fadeValue = writable(fade);
    block->setProperty("fade", &fadeValue);
    const configmanager::Block empty;
    for (LandSound* s : mapSounds) {
        // A dotted name is a path: every block on the way is created first.
        for (size_t dot = s->name.find('.'); dot != std::string::npos; dot = s->name.find('.', dot + 1)) {
            const std::string prefix = s->name.substr(0, dot);
            std::lock_guard<configmanager::Block> blockGuard(*block);
            configmanager::Block* existing = nullptr;
            if (block->getPropertyAccess(prefix, &existing)) continue;
            block->setProperty(prefix, &empty);
        }
        configmanager::Block* child = nullptr;
        {
            std::lock_guard<configmanager::Block> blockGuard(*block);
            if (!block->setProperty(s->name, &empty)) continue;
        }
        {
            std::lock_guard<configmanager::Block> blockGuard(*block);
            if (!block->getPropertyAccess(s->name, &child) || !child) continue;
        }
        const float regionWidth = writable(s->regionWidth), regionHeight = writable(s->regionHeight);
        const float powerRadius = writable(s->powerRadius);
        const float starter = perRadius(s->starter, s->powerRadius);
        const float threshold = perRadius(s->threshold, s->powerRadius);
        const float probability = writable(s->probability), priority = writable(s->priority);
        const float x = writable(s->position.x), y = writable(s->position.y), z = writable(s->position.z);
        const float beginHour = writable(s->beginHour), endHour = writable(s->endHour);
        child->setProperty("regionType", &s->regionType);
        child->setProperty("regionWidth", &regionWidth);
        child->setProperty("regionHeight", &regionHeight);
        child->setProperty("powerRadius", &powerRadius);
        child->setProperty("starter", &starter);
        child->setProperty("threshold", &threshold);
        child->setProperty("probability", &probability);
        child->setProperty("auto", &s->automatic);
        child->setProperty("priority", &priority);
        child->setProperty("soundName", &s->soundName);
        child->setProperty("x", &x);
        child->setProperty("y", &y);
        child->setProperty("z", &z);
        child->setProperty("beginHour", &beginHour);
        child->setProperty("endHour", &endHour);
    }
}

void LandInsonificator::loadDefaultSounds() {
    Guard guard(lock);
    auto file = std::make_unique<configmanager::ConfigManager>();
    file->readFile(defaultSoundsPath);
    for (auto& child : file->getChildBlocks())
        defaultSounds.push_back(readRecord(child.first.getString(), child.second, false));
}

void LandInsonificator::unloadDefaultSounds() {
    Guard guard(lock);
    for (LandSound* s : defaultSounds) delete s;
    defaultSounds.clear();
}

void LandInsonificator::unload() {
    Guard guard(lock);
    for (LandSound* s : mapSounds) {
        // A record the schedule still holds is marked and left to it.
        if (s->queued) s->removed = true;
        else delete s;
    }
    mapSounds.clear();
}

// ---- placement ----

void LandInsonificator::afterChangeLandscapeSubtype(Point2D cell, Landscape::Subtype oldSubtype,
                                                    Landscape::Subtype newSubtype) {
    Guard guard(lock);
    if (!started) return;
    const std::string oldName = Landscape::getNameOfLandscapeSubtype(oldSubtype);
    const std::string newName = Landscape::getNameOfLandscapeSubtype(newSubtype);
    const Vector centre = convertGameBoardCoordinatesToAbsolute(cell.x, cell.y);
    removeLandSound(centre, oldName);
    addLandSound(centre, newName);
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
        auto* s = new LandSound;
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
            if (!s->effect) continue;
            s->effect->stop();
            playingRandomSounds.remove(s);
            continuousSounds.erase(std::remove(continuousSounds.begin(), continuousSounds.end(), s),
                                   continuousSounds.end());
            destroyEffect(s->effect);
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
    if (s->isContinuous()) continuousSounds.push_back(s);
}

// A source enters the schedule only if it can ever be due: probability 0,
// and any interval that is not a positive finite number, mean never.
void LandInsonificator::queue(LandSound* s, float now) {
    if (s->queued || s->removed) return;
    if (s->probability == 0.0f || !(s->interval > 0.0f) || !std::isfinite(s->interval)) return;
    s->nextTime = now + draw() * s->interval;
    s->queued = true;
    schedule.pushBack(s);
}

// ---- geometry ----

bool LandInsonificator::isInside(const LandSound* s, float margin, const Vector& p) {
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

// ---- the frame ----

// A frame or a board change that was already on its way when stop
// unregistered the insonificator finds it stopped and does nothing.
void LandInsonificator::initView(RenderView*) {
    Guard guard(lock);
    if (started) forceUpdate();
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
    const bool moved = pos != oldPosition;
    const bool changed = moved || front != oldFront || top != oldTop;
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
    while (!schedule.empty() && schedule.front()->nextTime < now) {
        LandSound* s = schedule.popFront();
        s->queued = false;
        if (s->removed) {
            delete s;
            continue;
        }
        if (static_cast<float>(playingRandomSounds.size()) < settings.randomSoundLimiter)
            updateRandomSound(s, pos, dayTime);
        queue(s, now);
    }

    // 5. Continuous sources.
    for (LandSound* s : continuousSounds) {
        if (debugLines) writeDebugLine(s, pos);
        Effect* e = s->effect;
        if (!e) continue;
        if (!updateTime(s, dayTime)) {
            if (e->isPlaying()) e->stop();
        } else if (!e->isPlaying()) {
            if (updateCoordinates(s, pos)) {
                if (!isEmulated3d) {
                    if (listener) listener->update();
                } else {
                    e->setVolume(getEmulatedVolume(s, pos), emulatorPassword);
                }
                e->play();
            }
        } else if (moved && !updateCoordinates(s, pos)) {
            e->stop();
        } else if (isEmulated3d) {
            e->setVolume(getEmulatedVolume(s, pos), emulatorPassword);
        }
    }
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

bool LandInsonificator::updateTime(LandSound* s, DayTime& dayTime) {
    Guard guard(lock);
    // Whole hours and minutes; a clock before zero reads as the day before.
    const long minutes = dayTime;
    const long hours = minutes >= 0 ? minutes / 60 : -((-minutes + 59) / 60);
    int hour = static_cast<int>(((hours % 24) + 24) % 24);
    const int minute = static_cast<int>(((minutes % 60) + 60) % 60);
    const float b = s->beginHour;
    float e = s->endHour;
    if (e < b) {
        e += 24.0f;
        if (static_cast<float>(hour) < b) hour += 24;
    }
    const float h = static_cast<float>(hour);
    const bool inWindow = b == e || (b <= h && h < e);
    if (!s->isContinuous()) return inWindow;
    if (!inWindow) return false;
    float factor = 1.0f;
    if (b != e && 2.0f * fade <= e - b) {
        const float t = h + static_cast<float>(minute) / 60.0f;
        if (h >= e - fade) factor = 1.0f - 0.8f * (t - (e - fade)) / fade;
        if (h < b + fade) factor = 1.0f - 0.8f * (1.0f - (t - b) / fade);
        // Windows on fractional hours can leave the ramp: never louder than
        // full, never below silence.
        factor = std::min(std::max(factor, 0.0f), 1.0f);
    }
    if (s->effect && factor != s->faderVolume) {
        s->effect->setVolume(factor, faderPassword);
        s->faderVolume = factor;
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

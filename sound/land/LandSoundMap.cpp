// The landscape insonificator's records: the sound map block (load, save),
// the default-sound templates and the tuning file of the frame update.
#include <cfloat>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>

#include "interfaces/Config.h"
#include "sound/land/LandInsonificator.h"
#include "sound/land/LandInternal.h"
#include "sound/manager/LogChannels.h"

using land::settings;

namespace {

const char* const defaultSoundsPath = "/Configs/Sounds/DefaultSounds.cfg";
const char* const adaptSettingsPath = "/Configs/Sounds/AdaptSettings.cfg";

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
std::unique_ptr<LandSound> readRecord(const std::string& name, configmanager::Block* child, bool mapForm) {
    auto record = std::make_unique<LandSound>();
    LandSound* s = record.get();
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
    return record;
}

// Lists a record; the list owns it from then on (out of memory: it goes).
template <typename List>
void keep(List& list, std::unique_ptr<LandSound> record) {
    list.push_back(record.get());
    record.release();
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

}  // namespace

void LandInsonificator::readAdaptSettings(configmanager::Block& file, bool* emulated) { readSettings(file, emulated); }

// ---- sound maps ----

void LandInsonificator::load(configmanager::Block* block) {
    Guard guard(lock);
    // Refused before anything changes: without a block the map would only be
    // thrown away.
    if (!block) {
        channels::landInsonificator.post(debug::Error(DEBUG_CONTEXT) << "Skip load: no block");
        return;
    }
    const bool wasStarted = started;
    View* keptView = view;
    GameBoard* keptBoard = gameBoard;
    if (initialized) {
        stop();
        uninitialize();
    }
    unload();
    readFloat(block, "fade", &fade);
    for (auto& child : block->getChildBlocks())
        keep(mapSounds, readRecord(child.first.getString(), child.second, true));
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
    if (!block) {
        channels::landInsonificator.post(debug::Error(DEBUG_CONTEXT) << "Skip save: no block");
        return;
    }
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
        keep(defaultSounds, readRecord(child.first.getString(), child.second, false));
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

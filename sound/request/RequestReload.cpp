// The request manager's part in reloading content while the device runs:
// reading a changed "Effects.snd" beside the records in use, checking it,
// swapping the records, and checking that a sound file loads.
#include <algorithm>

#include "sound/request/RequestManager.h"

namespace {

// text with its first `lines` lines emptied (their newlines kept, so the
// lines after them keep their numbers).
std::string blankedUpTo(const std::string& text, int lines) {
    std::string out = text;
    int line = 1;
    for (char& c : out) {
        if (line > lines) break;
        if (c == '\n') ++line;
        else c = ' ';
    }
    return out;
}


}  // namespace

void RequestManager::freeRecords(EffectsFile::Records& records) {
    for (auto& record : records) delete record.second;
    records.clear();
}

bool RequestManager::readEffectConfigs(const std::string& text, EffectsFile::Records& records,
                                       std::vector<EffectsFile::Problem>& problems) {
    Guard guard(lock);  // the reader keeps its state in statics: one read at a time
    const EffectConfig savedDefaults = EffectsFile::getDefaults();
    std::vector<EffectsFile::Problem> found;
    EffectsFile::setProblemSink(&found);
    EffectsFile::resetDirectoryPrefix();
    EffectsFile::setTarget(&records);
    EffectsFile::parse(text);
    EffectsFile::setTarget(nullptr);
    // The reader stops at an error: read on after it to find the others.
    int lastLine = 0;
    EffectsFile::Records rest;
    for (int round = 0; !found.empty() && round < 1000; ++round) {
        int line = 0;
        for (const auto& problem : found) line = std::max(line, problem.line);
        // "Syntax error in line N" repeats the parser's own message for the
        // same place: keep one message a line.
        for (const auto& problem : found)
            if (problem.line > lastLine &&
                (problems.empty() || problems.back().line != problem.line))
                problems.push_back(problem);
        if (line <= lastLine) break;
        lastLine = line;
        found.clear();
        const std::string remaining = blankedUpTo(text, line);
        if (!EffectsFile::hasStatements(remaining)) break;  // an empty text does not parse: nothing more to find
        EffectsFile::restoreDefaults(savedDefaults);
        EffectsFile::resetDirectoryPrefix();
        EffectsFile::setTarget(&rest);
        EffectsFile::parse(remaining);
        EffectsFile::setTarget(nullptr);
        freeRecords(rest);
    }
    EffectsFile::setProblemSink(nullptr);
    if (!problems.empty()) EffectsFile::restoreDefaults(savedDefaults);
    return problems.empty();
}

EffectConfig RequestManager::getReaderDefaults() {
    Guard guard(lock);
    return EffectsFile::getDefaults();
}

void RequestManager::restoreReaderDefaults(const EffectConfig& saved) {
    Guard guard(lock);
    EffectsFile::restoreDefaults(saved);
}

bool RequestManager::replaceEffectConfigs(EffectsFile::Records& fresh) {
    Guard guard(lock);
    if (!initialized) {
        freeRecords(fresh);
        return false;
    }
    freeRecords(effectConfigs);
    effectConfigs.swap(fresh);
    return true;
}

bool RequestManager::checkSound(const std::string& fileName, const std::string& storage, uint32_t* frames,
                                std::string* error) {
    Guard guard(lock);
    *frames = 0;
    ResourceManager* resources = theResourceManager;
    if (!initialized || !resources) {
        *error = "the device is uninitialized";
        return false;
    }
    ResourceLock resourceGuard(resources);
    const std::string path = "/Sounds/" + fileName;
    if (resources->notFound(path.c_str())) {
        *error = "not found";
        return false;
    }
    Sound3DEffect* effect = nullptr;
    try {
        effect = theSound3DDevice->createEffect();
    } catch (const debug::Exception& e) {
        *error = e.getString();
        return false;
    }
    if (!effect) {
        *error = "the device made no effect";
        return false;
    }
    ResourceStream* stream = resources->openStream(path.c_str());
    bool ok = stream != nullptr;
    if (!ok) *error = "cannot open";
    try {
        if (ok && storage == "memory") {
            effect->createStatic(stream);
            resources->closeStream(stream);
            stream = nullptr;
        } else if (ok) {
            effect->createStreaming(stream, 4);
        }
        if (ok) {
            const uint32_t bytesPerFrame = effect->getChannels() * effect->getBits() / 8;
            *frames = bytesPerFrame ? effect->getSize() / bytesPerFrame : 0;
        }
    } catch (const debug::Exception& e) {
        *error = e.getString();
        ok = false;
    }
    try {
        effect->release();
    } catch (const debug::Exception&) {
    }
    theSound3DDevice->destroyEffect(effect);
    if (stream) resources->closeStream(stream);
    return ok;
}

std::map<std::string, EffectConfig> RequestManager::copyEffectConfigs() {
    Guard guard(lock);
    std::map<std::string, EffectConfig> copy;
    if (!initialized) return copy;
    for (const auto& record : effectConfigs) copy.emplace(record.first, *record.second);
    return copy;
}

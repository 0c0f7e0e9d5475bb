// Statistics of every device effect handed out, for the diagnostics window.
#include <algorithm>
#include <vector>

#include "sound/manager/LogChannels.h"
#include "sound/request/RequestManager.h"

namespace {

struct Summary {
    uint32_t size = 0;
    std::string state;
    uint32_t cloneCount = 0;
    uint32_t playCount = 0;
    uint32_t frequency = 0;
    uint32_t bits = 0;
    uint32_t channels = 0;
};

}  // namespace

void RequestManager::generateInfo(std::list<std::list<std::string>>& perName, std::list<std::string>& totals) {
    Guard guard(lock);
    if (!initialized) {
        channels::requestManager.post(debug::Error(DEBUG_CONTEXT) << "Skip generateInfo: device is not initialized");
        return;
    }
    perName.clear();
    totals.clear();
    try {
        summarise(perName, totals);
    } catch (const debug::Exception& e) {
        // A device that fails to describe its effects: no statistics this time.
        channels::requestManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << e.getString());
        perName.clear();
        totals.clear();
    }
}

void RequestManager::summarise(std::list<std::list<std::string>>& perName, std::list<std::string>& totals) {

    std::vector<std::pair<std::string, Summary>> summaries;  // in name order, as the walk meets them
    for (const auto& entry : theSound3DEffects) {
        Sound3DEffect* effect = entry.second;
        std::string state;
        if (summaries.empty() || summaries.back().first != entry.first) {
            Summary s;
            s.size = effect->getSize();
            effect->getState(state);
            if (state == "clone") ++s.cloneCount;
            else s.state = state;
            if (effect->isPlaying()) ++s.playCount;
            s.frequency = effect->getFrequency();
            s.bits = effect->getBits();
            s.channels = effect->getChannels();
            summaries.emplace_back(entry.first, s);
        } else {
            Summary& s = summaries.back().second;
            effect->getState(state);
            if (state == "clone") {
                ++s.cloneCount;
                if (effect->isPlaying()) ++s.playCount;
            } else {
                s.state = state;  // a further loaded or streamed one: its playing and size are not counted
            }
        }
    }

    uint32_t totalSize = 0, totalClones = 0, totalPlaying = 0;
    for (const auto& [name, s] : summaries) {
        perName.push_back({name, std::to_string(s.size), s.state, std::to_string(s.cloneCount),
                           std::to_string(s.playCount), std::to_string(s.frequency), std::to_string(s.bits),
                           std::to_string(s.channels)});
        totalSize += s.size;
        totalClones += s.cloneCount;
        totalPlaying += s.playCount;
    }
    totals.push_back("Total sounds: " + std::to_string(summaries.size()));
    totals.push_back("Total size: " + std::to_string(totalSize));
    totals.push_back("Total clone number: " + std::to_string(totalClones));
    totals.push_back("Total playing number: " + std::to_string(totalPlaying));

    // The device's own lines merged in: walking both lists from their
    // starts, each device line goes before the first remaining totals line
    // that is greater than it (byte-wise); the rest go to the end.
    std::list<std::string> deviceLines;
    theSound3DDevice->getInfo(deviceLines);
    auto position = totals.begin();
    for (const std::string& line : deviceLines) {
        while (position != totals.end() && !(line < *position)) ++position;
        totals.insert(position, line);
    }
}

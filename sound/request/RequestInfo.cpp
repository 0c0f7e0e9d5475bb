// Statistics of every device effect handed out, for the diagnostics window.
#include <charconv>
#include <cstring>
#include <new>
#include <vector>

#include "sound/manager/LogChannels.h"
#include "sound/request/RequestManager.h"

void RequestManager::generateInfo(StatisticsTable& perName, std::list<std::string>& totals) {
    Guard guard(lock);
    if (!initialized) {
        channels::requestManager.post(debug::Error(DEBUG_CONTEXT) << "Skip generateInfo: device is not initialized");
        return;
    }
    try {
        summarise(perName, totals);
    } catch (const debug::Exception& e) {
        // A device that fails to describe its effects: no statistics this time.
        channels::requestManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << e.getString());
        perName.clear();
        totals.clear();
    } catch (const std::bad_alloc&) {
        channels::requestManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << "Skip generateInfo: out of memory");
        perName.clear();
        totals.clear();
    }
}

void RequestManager::generateInfo(std::list<std::list<std::string>>& perName, std::list<std::string>& totals) {
    Guard guard(lock);
    const bool refused = !initialized;
    StatisticsTable table;
    generateInfo(table, totals);  // reports a refusal; the lists are then left as they are
    if (refused) return;
    try {
        std::list<std::list<std::string>> rows;
        for (size_t row = 0; row < table.rows(); ++row) {
            std::list<std::string>& cells = rows.emplace_back();
            for (size_t column = 0; column < table.cells(row); ++column) cells.emplace_back(table.cell(row, column));
        }
        perName.swap(rows);
    } catch (const std::bad_alloc&) {
        channels::requestManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << "Skip generateInfo: out of memory");
        perName.clear();
        totals.clear();
    }
}

namespace {

// "Total sounds: " and the like, with the number, in one allocation.
std::string totalLine(const char* title, size_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    std::string line;
    const size_t titleLength = std::strlen(title);
    line.reserve(titleLength + static_cast<size_t>(end - digits));
    line.append(title, titleLength).append(digits, end);
    return line;
}

bool isClone(const std::string& state) { return state.size() == 5 && std::memcmp(state.data(), "clone", 5) == 0; }

// The figures of one name while its effects are walked.
struct Summary {
    uint32_t size = 0;
    uint32_t cloneCount = 0;
    uint32_t playCount = 0;
    uint32_t frequency = 0;
    uint32_t bits = 0;
    uint32_t channels = 0;
};

}  // namespace

void RequestManager::summarise(StatisticsTable& perName, std::list<std::string>& totals) {
    // The effects are gathered first (the map's nodes lie together in their
    // pool), then asked in turn, each made ready a few turns ahead: the
    // effects lie wherever the device made them, and thousands of them read
    // one after the other would each wait for memory.
    walked.clear();
    walked.reserve(theSound3DEffects.size());
    for (const auto& entry : theSound3DEffects) walked.emplace_back(&entry.first, entry.second);

    // One pass in name order: a name's row is written when its last effect
    // has been met.
    perName.clear();
    uint32_t totalSize = 0, totalClones = 0, totalPlaying = 0;
    size_t names = 0;
    Summary s;
    std::string state, word;
    constexpr size_t ahead = 8;
    bool sameAsPrevious = false;  // the effect's name is the one before's
    for (size_t k = 0; k < walked.size(); ++k) {
#if defined(__GNUC__)
        if (k + ahead < walked.size()) __builtin_prefetch(walked[k + ahead].second);
#endif
        const std::string& name = *walked[k].first;
        Sound3DEffect* effect = walked[k].second;
        if (!sameAsPrevious) {
            s = Summary();
            s.size = effect->getSize();
            effect->getState(state);
            if (isClone(state)) {
                ++s.cloneCount;
                state.clear();
            }
            if (effect->isPlaying()) ++s.playCount;
            s.frequency = effect->getFrequency();
            s.bits = effect->getBits();
            s.channels = effect->getChannels();
        } else {
            effect->getState(word);
            if (isClone(word)) {
                ++s.cloneCount;
                if (effect->isPlaying()) ++s.playCount;
            } else {
                state.swap(word);  // a further loaded or streamed one: its playing and size are not counted
            }
        }
        // Names compared once for each two neighbours.
        sameAsPrevious = k + 1 < walked.size() && *walked[k + 1].first == name;
        if (sameAsPrevious) continue;
        perName.addRow();
        perName.addCell(name);
        perName.addNumber(s.size);
        perName.addCell(state);
        perName.addNumber(s.cloneCount);
        perName.addNumber(s.playCount);
        perName.addNumber(s.frequency);
        perName.addNumber(s.bits);
        perName.addNumber(s.channels);
        totalSize += s.size;
        totalClones += s.cloneCount;
        totalPlaying += s.playCount;
        ++names;
    }

    totals.clear();
    totals.push_back(totalLine("Total sounds: ", names));
    totals.push_back(totalLine("Total size: ", totalSize));
    totals.push_back(totalLine("Total clone number: ", totalClones));
    totals.push_back(totalLine("Total playing number: ", totalPlaying));

    // The device's own lines merged in: walking both lists from their
    // starts, each device line goes before the first remaining totals line
    // that is greater than it (byte-wise); the rest go to the end.
    std::list<std::string> deviceLines;
    theSound3DDevice->getInfo(deviceLines);
    auto position = totals.begin();
    while (!deviceLines.empty()) {
        while (position != totals.end() && !(deviceLines.front() < *position)) ++position;
        totals.splice(position, deviceLines, deviceLines.begin());  // the node moves, nothing is copied
    }
}

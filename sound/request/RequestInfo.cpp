// Statistics of every device effect handed out, for the diagnostics window.
#include <algorithm>
#include <charconv>
#include <new>
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

namespace {

// Writes an unsigned number into a string, reusing its storage.
void assignNumber(std::string& to, uint32_t value) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    to.assign(digits, end);
}

// The lists of the previous statistics are written over in place: a
// refresh over thousands of sounds then allocates nothing once the lists
// have reached their size. The outcome is the same as clearing the lists
// and appending to them.
class RowWriter {
public:
    explicit RowWriter(std::list<std::list<std::string>>& rows) : rows(rows), next(rows.begin()) {}
    std::list<std::string>& row() {
        if (next == rows.end()) next = rows.insert(next, std::list<std::string>());
        std::list<std::string>& r = *next++;
        r.resize(8);
        return r;
    }
    void finish() { rows.erase(next, rows.end()); }

private:
    std::list<std::list<std::string>>& rows;
    std::list<std::list<std::string>>::iterator next;
};

}  // namespace

void RequestManager::summarise(std::list<std::list<std::string>>& perName, std::list<std::string>& totals) {
    // In name order, as the walk meets them; the names stay in the map for
    // the length of this call (the lock is held).
    std::vector<std::pair<const std::string*, Summary>> summaries;
    summaries.reserve(theSound3DEffects.size());
    std::string state;
    for (const auto& entry : theSound3DEffects) {
        Sound3DEffect* effect = entry.second;
        if (summaries.empty() || *summaries.back().first != entry.first) {
            Summary s;
            s.size = effect->getSize();
            effect->getState(state);
            if (state == "clone") ++s.cloneCount;
            else s.state = state;
            if (effect->isPlaying()) ++s.playCount;
            s.frequency = effect->getFrequency();
            s.bits = effect->getBits();
            s.channels = effect->getChannels();
            summaries.emplace_back(&entry.first, std::move(s));
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
    RowWriter rows(perName);
    for (const auto& [name, s] : summaries) {
        std::list<std::string>& row = rows.row();
        auto cell = row.begin();
        (cell++)->assign(*name);
        assignNumber(*cell++, s.size);
        (cell++)->assign(s.state);
        assignNumber(*cell++, s.cloneCount);
        assignNumber(*cell++, s.playCount);
        assignNumber(*cell++, s.frequency);
        assignNumber(*cell++, s.bits);
        assignNumber(*cell++, s.channels);
        totalSize += s.size;
        totalClones += s.cloneCount;
        totalPlaying += s.playCount;
    }
    rows.finish();
    totals.clear();
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

#include "sound/diagnostics/StatisticsLines.h"

#include <algorithm>
#include <array>
#include <cstring>

const char* const statisticsColumnTitles[8] = {"",        " size: ", " state: ", " clone: ",
                                               " play: ", " freq: ", " bits: ",  " chan: "};

void appendStatisticsCell(std::string& line, const std::string& cell) {
    line += cell;
    const size_t n = cell.size();
    if (n >= 4 && n <= 7) line.append(8 - n, ' ');
    else if (n >= 8 && n <= 14) line.append(15 - n, ' ');
}

namespace {

// The titles' lengths, measured once.
const std::array<size_t, 8> titleLengths = [] {
    std::array<size_t, 8> lengths{};
    for (size_t k = 0; k < lengths.size(); ++k) lengths[k] = std::strlen(statisticsColumnTitles[k]);
    return lengths;
}();

}  // namespace

void statisticsLines(const std::list<std::list<std::string>>& perName, const std::list<std::string>& totals,
                     std::vector<std::string>& lines) {
    lines.resize(perName.size() + totals.size());
    auto line = lines.begin();
    for (const auto& row : perName) {
        line->clear();  // keeps the line's storage
        size_t length = 0, column = 0;
        for (const std::string& cell : row) {
            length += (column < 8 ? titleLengths[column] : 0) + std::max<size_t>(cell.size(), 15);
            ++column;
        }
        line->reserve(length);  // one allocation at most, however many cells
        column = 0;
        for (const std::string& cell : row) {
            // A row longer than the titles goes on without titles.
            if (column < 8) line->append(statisticsColumnTitles[column], titleLengths[column]);
            appendStatisticsCell(*line, cell);
            ++column;
        }
        ++line;
    }
    for (const std::string& total : totals) (line++)->assign(total);
}

std::vector<std::string> statisticsLines(const std::list<std::list<std::string>>& perName,
                                         const std::list<std::string>& totals) {
    std::vector<std::string> lines;
    statisticsLines(perName, totals, lines);
    return lines;
}

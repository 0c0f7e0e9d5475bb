#include "sound/diagnostics/StatisticsLines.h"

#include <algorithm>
#include <array>
#include <cstring>

const char* const statisticsColumnTitles[8] = {"",        " size: ", " state: ", " clone: ",
                                               " play: ", " freq: ", " bits: ",  " chan: "};

namespace {

// The width a cell of n characters takes with its padding.
size_t padded(size_t n) { return n >= 4 && n <= 7 ? 8 : n >= 8 && n <= 14 ? 15 : n; }

// The titles' lengths, measured once.
const std::array<size_t, 8> titleLengths = [] {
    std::array<size_t, 8> lengths{};
    for (size_t k = 0; k < lengths.size(); ++k) lengths[k] = std::strlen(statisticsColumnTitles[k]);
    return lengths;
}();

size_t titleLength(size_t column) { return column < titleLengths.size() ? titleLengths[column] : 0; }

}  // namespace

void appendStatisticsCell(std::string& line, const std::string& cell) {
    line += cell;
    line.append(padded(cell.size()) - cell.size(), ' ');
}

void statisticsLines(const StatisticsTable& perName, const std::list<std::string>& totals,
                     std::vector<std::string>& lines) {
    // Short pieces go in fixed moves of 16 bytes: the titles from copies
    // padded with spaces, cells of up to 16 characters straight from the
    // table (which keeps 16 readable bytes past every cell), each followed
    // by 16 spaces of which the cell's padding is kept and the rest written
    // over by the next piece.
    constexpr size_t move = 16;
    static_assert(StatisticsTable::slack >= move, "the table keeps a move's worth past every cell");
    static const char spaces[move + 1] = "                ";
    static const auto titles = [] {
        std::array<std::array<char, move>, 9> padded{};
        for (size_t k = 0; k < padded.size(); ++k) {
            padded[k].fill(' ');
            if (k < 8) std::memcpy(padded[k].data(), statisticsColumnTitles[k], titleLength(k));
        }
        return padded;
    }();
    lines.resize(perName.rows() + totals.size());
    auto line = lines.begin();
    for (size_t row = 0; row < perName.rows(); ++row) {
        const size_t cells = perName.cells(row);
        size_t most = 2 * move;  // room for the last moves
        for (size_t column = 0; column < cells; ++column)
            most += titleLength(column) + std::max<size_t>(perName.cell(row, column).size(), 15);
        line->resize(most);  // over the storage the line already has
        char* const start = &(*line)[0];
        char* out = start;
        for (size_t column = 0; column < cells; ++column) {
            // A row longer than the titles goes on without titles.
            std::memcpy(out, titles[std::min<size_t>(column, 8)].data(), move);
            out += titleLength(column);
            const std::string_view cell = perName.cell(row, column);
            if (cell.size() <= move) std::memcpy(out, cell.data(), move);
            else std::memcpy(out, cell.data(), cell.size());
            std::memcpy(out + cell.size(), spaces, move);
            out += padded(cell.size());
        }
        line->resize(static_cast<size_t>(out - start));
        ++line;
    }
    for (const std::string& total : totals) (line++)->assign(total);
}

void statisticsLines(const std::list<std::list<std::string>>& perName, const std::list<std::string>& totals,
                     std::vector<std::string>& lines) {
    statisticsLines(StatisticsTable::fromLists(perName), totals, lines);
}

std::vector<std::string> statisticsLines(const std::list<std::list<std::string>>& perName,
                                         const std::list<std::string>& totals) {
    std::vector<std::string> lines;
    statisticsLines(perName, totals, lines);
    return lines;
}

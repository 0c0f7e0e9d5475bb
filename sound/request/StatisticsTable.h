#pragma once
// The per-name statistics as one table: rows of cells (strings), all their
// text kept in one buffer. Rebuilt at every statistics refresh; written
// over in place, it allocates nothing once it has grown to the size the
// refresh needs, and reading it row by row runs through memory in order.
//
// Threads: none of its own (a value owned by its caller).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <list>
#include <string>
#include <string_view>
#include <vector>

class StatisticsTable {
public:
    // Bytes readable past the end of every cell's text: a reader may copy
    // a short cell in one fixed-size move.
    static constexpr size_t slack = 16;

    size_t rows() const { return rowStarts.size(); }
    bool empty() const { return rowStarts.empty(); }
    size_t cells(size_t row) const {
        return (row + 1 < rowStarts.size() ? rowStarts[row + 1] : cellEnds.size()) - rowStarts[row];
    }
    std::string_view cell(size_t row, size_t column) const {
        const size_t k = rowStarts[row] + column;
        const size_t from = k == 0 ? 0 : cellEnds[k - 1];
        return std::string_view(text.data() + from, cellEnds[k] - from);
    }

    // Empties the table; its storage stays for the next rows.
    void clear() {
        used = 0;
        cellEnds.clear();
        rowStarts.clear();
    }
    // Starts a row; the cells added after it belong to it.
    void addRow() { rowStarts.push_back(static_cast<uint32_t>(cellEnds.size())); }
    void addCell(std::string_view cellText) {
        std::memcpy(room(cellText.size()), cellText.data(), cellText.size());
        endCell(cellText.size());
    }
    // An unsigned number in decimal.
    void addNumber(uint32_t value);

    // A table of rows given as lists of strings.
    static StatisticsTable fromLists(const std::list<std::list<std::string>>& rows);

private:
    // Where the next cell's `bytes` go, the buffer grown when needed.
    char* room(size_t bytes) {
        if (text.size() < used + bytes + slack) text.resize(2 * (used + bytes + slack));
        return text.data() + used;
    }
    void endCell(size_t bytes) {
        used += bytes;
        cellEnds.push_back(static_cast<uint32_t>(used));
    }

    std::vector<char> text;          // the cells' text, back to back, then at least `slack` bytes
    size_t used = 0;                 // bytes of text in use
    std::vector<uint32_t> cellEnds;  // where each cell's text ends
    std::vector<uint32_t> rowStarts;  // the first cell of each row
};

#include "sound/request/StatisticsTable.h"

#include <charconv>

void StatisticsTable::addNumber(uint32_t value) {
    constexpr size_t digits = 10;  // the most an unsigned 32-bit number takes
    char* at = room(digits);
    endCell(static_cast<size_t>(std::to_chars(at, at + digits, value).ptr - at));
}

StatisticsTable StatisticsTable::fromLists(const std::list<std::list<std::string>>& rows) {
    StatisticsTable table;
    for (const auto& row : rows) {
        table.addRow();
        for (const std::string& cell : row) table.addCell(cell);
    }
    return table;
}

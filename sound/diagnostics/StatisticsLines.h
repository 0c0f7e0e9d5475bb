#pragma once
// The statistics window's lines from the request manager's statistics: one
// line per device sound, each cell after its column's title and padded so
// that the columns line up, then the summary lines.
//
// Threads: any (a pure function).
#include <list>
#include <string>
#include <vector>

#include "sound/request/StatisticsTable.h"

// Titles of the columns, in order: the sound's name carries none.
extern const char* const statisticsColumnTitles[8];

// One cell: a cell of 4 to 7 characters is padded with spaces to 8, one of 8
// to 14 characters to 15; other cells stay as they are.
void appendStatisticsCell(std::string& line, const std::string& cell);

// The lines written over `lines`, whose strings keep their storage: a
// refresh that passes the same vector each time allocates only for lines
// longer than before.
void statisticsLines(const StatisticsTable& perName, const std::list<std::string>& totals,
                     std::vector<std::string>& lines);
void statisticsLines(const std::list<std::list<std::string>>& perName, const std::list<std::string>& totals,
                     std::vector<std::string>& lines);
std::vector<std::string> statisticsLines(const std::list<std::list<std::string>>& perName,
                                         const std::list<std::string>& totals);

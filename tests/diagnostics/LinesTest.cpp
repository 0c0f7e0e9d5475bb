// The statistics window's content: lines built from the statistics with
// their titles and padding, and the scroll arithmetic over them.
#include <gtest/gtest.h>

#include "sound/diagnostics/ScrolledLines.h"
#include "sound/diagnostics/StatisticsLines.h"

using textwindow::ScrollCode;

namespace {

std::vector<std::string> numbered(int n) {
    std::vector<std::string> lines;
    for (int i = 0; i < n; ++i) lines.push_back("line " + std::to_string(i));
    return lines;
}

}  // namespace

TEST(StatisticsLines, CellsArePaddedByLength) {
    struct Case {
        std::string cell, written;
    } cases[] = {
        {"ab", "ab"},                                 // 2: as it is
        {"abc", "abc"},                               // 3: as it is
        {"abcd", "abcd    "},                         // 4: to 8
        {"abcdefg", "abcdefg "},                      // 7: to 8
        {"abcdefgh", "abcdefgh       "},              // 8: to 15
        {"abcdefghi", "abcdefghi      "},             // 9: to 15
        {"abcdefghijklmn", "abcdefghijklmn "},        // 14: to 15
        {"abcdefghijklmno", "abcdefghijklmno"},       // 15: as it is
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string line;
        appendStatisticsCell(line, c.cell);
        EXPECT_EQ(line, c.written) << c.cell.size() << " characters";
    }
}

TEST(StatisticsLines, RowsCarryTheColumnTitlesThenTheTotalsFollow) {
    std::list<std::list<std::string>> rows{
        {"sin", "26460", "static", "2", "1", "44100", "16", "1"},
        {"test_long_name1", "12", "stream", "0", "0", "22050", "8", "2"},
    };
    std::list<std::string> totals{"Device: recording", "Total sounds: 2"};
    const auto lines = statisticsLines(rows, totals);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "sin size: 26460    state: static   clone: 2 play: 1 freq: 44100    bits: 16 chan: 1");
    EXPECT_EQ(lines[1],
              "test_long_name1 size: 12 state: stream   clone: 0 play: 0 freq: 22050    bits: 8 chan: 2");
    EXPECT_EQ(lines[2], "Device: recording");
    EXPECT_EQ(lines[3], "Total sounds: 2");
    EXPECT_TRUE(statisticsLines({}, {}).empty());
}

TEST(StatisticsLines, CellsOfEveryLengthAndRowsOfEveryWidthAreWrittenWhole) {
    // Cells around the padding steps and around 16 characters (short cells
    // are copied in fixed moves), rows narrower and wider than the titles,
    // and lines written over longer and shorter ones of an earlier refresh.
    const std::string cell16(16, 'p'), cell17 = std::string(16, 'q') + "r", cell40(40, 's');
    std::list<std::list<std::string>> rows{
        {cell40, cell17, cell16, "", "abcdefghijklmno", "x"},
        {"n"},
        {"a", "b", "c", "d", "e", "f", "g", "h", "ninth", "tenth-cell"},
        {},
    };
    std::vector<std::string> lines{std::string(300, '#'), "old", "", std::string(5, '#'), "t"};
    statisticsLines(rows, {"Total sounds: 4"}, lines);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], cell40 + " size: " + cell17 + " state: " + cell16 + " clone: " + " play: " +
                            "abcdefghijklmno" + " freq: x");
    EXPECT_EQ(lines[1], "n");
    EXPECT_EQ(lines[2], "a size: b state: c clone: d play: e freq: f bits: g chan: hninth   tenth-cell     ");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "Total sounds: 4");
}

TEST(ScrolledLines, ScrollActionsStayWithinTheLines) {
    ScrolledLines view;
    auto lines = numbered(25);
    view.setLines(lines);
    EXPECT_TRUE(lines.empty());  // moved out
    EXPECT_EQ(view.getLastFirstLine(), 5);
    struct Step {
        ScrollCode code;
        int position;
        int firstLine;
    } steps[] = {
        {ScrollCode::LineUp, 0, 0},         {ScrollCode::PageDown, 0, 5},       {ScrollCode::LineDown, 0, 5},
        {ScrollCode::LineUp, 0, 4},         {ScrollCode::PageUp, 0, 0},         {ScrollCode::ThumbTrack, 3, 3},
        {ScrollCode::EndScroll, 0, 3},      {ScrollCode::ThumbPosition, 99, 5}, {ScrollCode::Top, 0, 0},
        {ScrollCode::ThumbPosition, -4, 0}, {ScrollCode::Bottom, 0, 5},         {ScrollCode::LineDown, 0, 5},
    };
    int i = 0;
    for (const Step& s : steps) {
        view.scrolled(s.code, s.position);
        EXPECT_EQ(view.getFirstLine(), s.firstLine) << "step " << i;
        ++i;
    }
    const textwindow::Page page = view.page();
    ASSERT_EQ(page.lines.size(), 20u);
    EXPECT_EQ(page.lines.front(), "line 5");
    EXPECT_EQ(page.lines.back(), "line 24");
    EXPECT_EQ(page.range, 25);
    EXPECT_EQ(page.page, 20);
    EXPECT_EQ(page.position, 5);
}

TEST(ScrolledLines, FewerLinesWhileScrolledBringTheFirstLineBack) {
    ScrolledLines view;
    auto lines = numbered(25);
    view.setLines(lines);
    view.scrolled(ScrollCode::Bottom, 0);
    ASSERT_EQ(view.getFirstLine(), 5);
    lines = numbered(10);
    view.setLines(lines);
    EXPECT_EQ(view.getFirstLine(), 0);
    EXPECT_EQ(view.getLastFirstLine(), 0);
    EXPECT_EQ(view.page().lines.size(), 10u);
    view.scrolled(ScrollCode::PageDown, 0);
    EXPECT_EQ(view.getFirstLine(), 0);

    // Appending moves the limit on; clearing takes both positions back.
    for (int i = 0; i < 30; ++i) view.addLine("more");
    EXPECT_EQ(view.getLastFirstLine(), 20);
    view.scrolled(ScrollCode::Bottom, 0);
    view.clearLines();
    EXPECT_EQ(view.getFirstLine(), 0);
    EXPECT_EQ(view.getLastFirstLine(), 0);
    EXPECT_TRUE(view.page().lines.empty());
}

// The lines a refresh replaces come back to the caller for their storage;
// what is shown stays the new lines.
TEST(ScrolledLines, ReplacedLinesComeBackForTheNextRefresh) {
    ScrolledLines view;
    std::vector<std::string> lines = numbered(3);
    view.setLines(lines);
    std::vector<std::string> spare = {"dropped"};
    view.takeSpareLines(spare);
    EXPECT_TRUE(spare.empty());  // nothing was replaced yet
    lines = numbered(5);
    view.setLines(lines);
    view.takeSpareLines(spare);
    EXPECT_EQ(spare, numbered(3));
    EXPECT_EQ(view.getLines(), numbered(5));
    view.takeSpareLines(spare);
    EXPECT_TRUE(spare.empty());  // taken once
    // Lines written over the spare storage, as the statistics refresh does.
    statisticsLines({{"a", "1"}}, {"Total sounds: 1"}, spare);
    EXPECT_EQ(spare, (std::vector<std::string>{"a size: 1", "Total sounds: 1"}));
}

#include "printing/page_breaks.h"

#include "model/drawing_objects.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace printing {
namespace {

// A 300-dpi printer whose "0" is 20 pixels wide: default rows (255 twips)
// are 255 * 300 / 1440 = 53 pixels high, default columns (8 characters)
// 8 * 20 = 160 pixels wide.
constexpr model::PixelScale kScale{20, 300};

void addCells(model::Sheet& s, std::initializer_list<std::pair<int, int>> cells) {
  for (const auto& [row, column] : cells)
    model::append_cell(s.cells, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column), u"x", 15);
}

TEST(PrintableRect, KeepsToThePaperAndLeavesTwoScreenPixels) {
  struct Case {
    const char* name;
    platform::PrinterCaps caps;
    platform::Rect expected;
  };
  const Case cases[] = {
      // 2 screen pixels at 300 dpi over 96 are 6.25 printer pixels.
      {"margins all round", {300, 300, 2550, 3300, 75, 75, 2400, 3150}, {6, 6, 2400, 3150}},
      {"printable part past the paper", {300, 300, 2550, 3300, 75, 75, 2500, 3300}, {6, 6, 2475, 3225}},
      {"negative offset", {300, 300, 2550, 3300, -10, -20, 2550, 3300}, {16, 26, 2550, 3300}},
      {"600 dpi across, 300 down", {600, 300, 5100, 3300, 0, 0, 5100, 3300}, {13, 6, 5100, 3300}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(printableRect(c.caps, 96, 96), c.expected) << c.name;
}

TEST(PrintBlock, AllIsTheUsedRangeFromA1SelectionIsTheSelection) {
  model::Sheet empty;
  model::CellRange out;
  EXPECT_FALSE(printBlock(empty, PrintRange::All, out)) << "an empty sheet prints no pages";
  EXPECT_FALSE(printBlock(empty, PrintRange::Selection, out));

  model::Sheet s;
  addCells(s, {{3, 2}, {7, 5}});
  ASSERT_TRUE(printBlock(s, PrintRange::All, out));
  EXPECT_EQ(out, (model::CellRange{0, 0, 7, 5}));
  // Selected from the bottom right to the top left.
  s.selectionFirst = model::packCell(9, 4);
  s.selectionLast = model::packCell(2, 1);
  ASSERT_TRUE(printBlock(s, PrintRange::Selection, out));
  EXPECT_EQ(out, (model::CellRange{2, 1, 9, 4}));

  model::Sheet chart;
  addCells(chart, {{0, 0}});
  chart.kind = model::SheetKind::Chart;
  EXPECT_FALSE(printBlock(chart, PrintRange::All, out));
}

TEST(PrintBlock, AllReachesObjectsButNotCommentsOrFilterButtons) {
  model::Sheet s;
  addCells(s, {{1, 1}});
  model::DrawingObject picture, comment, arrow;
  picture.anchor = {{2, 0, 3, 0}, {4, 0, 12, 0}}; // C4 to E13
  comment.kind = model::kObjectComment;
  comment.anchor = {{20, 0, 40, 0}, {22, 0, 44, 0}};
  arrow.filterArrow = true;
  arrow.anchor = {{30, 0, 0, 0}, {31, 0, 1, 0}};
  s.objects = {comment, arrow};
  model::CellRange out;
  ASSERT_TRUE(printBlock(s, PrintRange::All, out));
  EXPECT_EQ(out, (model::CellRange{0, 0, 1, 1}));
  s.objects.push_back(picture);
  ASSERT_TRUE(printBlock(s, PrintRange::All, out));
  EXPECT_EQ(out, (model::CellRange{0, 0, 12, 4}));
}

struct BreakCase {
  const char* name;
  model::CellRange block;
  bool toSheetEnd;
  int width, height;
  std::vector<Band> rows, columns;
};

class BreakPagesTest : public ::testing::Test {
protected:
  model::Sheet sheet;
  void check(const BreakCase& c) {
    const PageBreaks b = breakPages(sheet, c.block, c.toSheetEnd, kScale, c.width, c.height);
    EXPECT_EQ(b.rows, c.rows) << c.name;
    EXPECT_EQ(b.columns, c.columns) << c.name;
  }
};

TEST_F(BreakPagesTest, WholeRowsAndColumnsWhileTheyFit) {
  const BreakCase cases[] = {
      // 1000 / 53 = 18 rows, 1000 / 160 = 6 columns a page.
      {"one page, columns run on to fill it", {0, 0, 9, 2}, true, 1000, 1000, {{0, 9}}, {{0, 5}}},
      {"one page, the selection's columns only", {0, 0, 9, 2}, false, 1000, 1000, {{0, 9}}, {{0, 2}}},
      {"exactly full", {0, 0, 17, 5}, false, 960, 954, {{0, 17}}, {{0, 5}}},
      {"one pixel short", {0, 0, 17, 5}, false, 959, 953, {{0, 16}, {17, 17}}, {{0, 4}, {5, 5}}},
      {"down then across",
       {0, 0, 39, 9},
       true,
       500,
       1000,
       {{0, 17}, {18, 35}, {36, 39}},
       {{0, 2}, {3, 5}, {6, 8}, {9, 11}}},
      {"the last band runs on to column IV", {0, 250, 0, 254}, true, 1000, 100, {{0, 0}}, {{250, 255}}},
      {"a block not from A1", {5, 3, 8, 4}, false, 1000, 1000, {{5, 8}}, {{3, 4}}},
  };
  for (const BreakCase& c : cases)
    check(c);
}

TEST_F(BreakPagesTest, PagesGoDownThenAcross) {
  const PageBreaks b = breakPages(sheet, {0, 0, 39, 9}, true, kScale, 500, 1000);
  ASSERT_EQ(b.pageCount(), 12u);
  EXPECT_EQ(b.page(0), (model::CellRange{0, 0, 17, 2}));
  EXPECT_EQ(b.page(1), (model::CellRange{18, 0, 35, 2}));
  EXPECT_EQ(b.page(2), (model::CellRange{36, 0, 39, 2}));
  EXPECT_EQ(b.page(3), (model::CellRange{0, 3, 17, 5}));
  EXPECT_EQ(b.page(11), (model::CellRange{36, 9, 39, 11}));
}

TEST_F(BreakPagesTest, ALineLargerThanThePageTakesAPageOfItsOwn) {
  // Column B 100 characters (2,000 pixels), row 3 8,000 twips (1,666 pixels):
  // each fits no page, is printed cut at its edge, and the next page moves on.
  model::setColumnWidthChars(sheet, 1, 1, 100);
  model::set_row_record(sheet, 2, model::kLineCustomHeight, 8000);
  check({"oversized", {0, 0, 4, 3}, false, 500, 1000, {{0, 1}, {2, 2}, {3, 4}}, {{0, 0}, {1, 1}, {2, 3}}});
  // A page smaller than any line still moves on by one line a page.
  check({"tiny page", {0, 0, 2, 1}, false, 1, 1, {{0, 0}, {1, 1}, {2, 2}}, {{0, 0}, {1, 1}}});
}

TEST_F(BreakPagesTest, HiddenAndFilteredLinesTakeNoRoom) {
  model::set_row_record(sheet, 0, model::kLineHidden | model::kLineDefaultSize, 0);
  model::set_row_record(sheet, 3, model::kLineHidden | model::kLineFilterHidden | model::kLineDefaultSize, 0);
  model::set_column_record(sheet, 1, model::kLineHidden | model::kLineDefaultSize, 0);
  // Two rows (106 pixels) and two columns (320) a page.
  check({"hidden", {0, 0, 5, 3}, false, 320, 106, {{1, 2}, {4, 5}}, {{0, 2}, {3, 3}}});
  model::set_row_record(sheet, 1, model::kLineHidden | model::kLineDefaultSize, 0);
  model::set_row_record(sheet, 2, model::kLineHidden | model::kLineDefaultSize, 0);
  check({"all of a block's rows hidden", {0, 0, 3, 3}, false, 320, 106, {}, {}});
}

TEST(RowsAndColumnsOnThePrinter, FollowThePrintersResolution) {
  // A 20-twip row at 300 dpi is 20 * 300 / 1440 = 4 pixels; eight
  // characters are eight widths of "0".
  model::Sheet s;
  model::set_row_record(s, 0, model::kLineCustomHeight, 20);
  EXPECT_EQ(model::row_px(s, 0, kScale), 4);
  EXPECT_EQ(model::column_px(s, 0, kScale), 8 * 20);
}

} // namespace
} // namespace printing

#include "view/grid_layout.h"

#include "model/workbook_list.h"
#include "platform/ui_services.h"

#include <gtest/gtest.h>

namespace view {
namespace {

// Fixed metrics: "0" is 7 pixels, the screen font 16 pixels high, 96 dpi;
// a default row (255 twips) is 17 pixels and a default column 56.
class GridLayoutTest : public ::testing::Test {
protected:
  GridLayoutTest() : m_scope(ui) { EXPECT_TRUE(books.new_workbook(nullptr)); }
  model::Workbook& book() { return *books.active(); }
  model::Sheet& sheet() { return book().sheet(0); }
  GridLayout layout() { return relayout(book(), LayoutInput{{0, 0, 800, 600}, 0, 0, 17, 17}); }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices m_scope;
  model::WorkbookList books;
};

TEST(ColumnLabel, OneAndTwoLetters) {
  const struct {
    int column;
    std::u16string_view label;
  } rows[] = {{0, u"A"}, {25, u"Z"}, {26, u"AA"}, {51, u"AZ"}, {52, u"BA"}, {255, u"IV"},
              {-4, u"A"}, {999, u"IV"}}; // out of range clamps
  for (const auto& row : rows)
    EXPECT_EQ(columnLabel(row.column), row.label) << row.column;
}

TEST_F(GridLayoutTest, RowHeaderGrowsWithDigitsOfLastVisibleRow) {
  // Rows below the 17-pixel header band: 583 - 17 = 566 pixels take 34 rows
  // at zoom 100 (the last one partly), 550 / 34 take 17 at zoom 200.
  const struct {
    int zoom;
    int topRow;
    int bottomRow;
    int width; // digits x character width + 3
  } rows[] = {
      {100, 0, 33, 7 * 3 + 3},
      {100, 965, 998, 7 * 3 + 3}, // row 999
      {100, 966, 999, 7 * 4 + 3}, // row 1000
      {100, 9965, 9998, 7 * 4 + 3},
      {100, 9966, 9999, 7 * 5 + 3},
      {200, 982, 998, 14 * 3 + 3},
      {200, 983, 999, 14 * 4 + 3},
      {200, 65535, 65535, 14 * 5 + 3},
  };
  for (const auto& row : rows) {
    sheet().zoom = static_cast<std::uint16_t>(row.zoom);
    sheet().topRow = static_cast<std::uint16_t>(row.topRow);
    sheet().bottomRow = 7;
    const GridLayout g = layout();
    EXPECT_EQ(g.bottomRow, row.bottomRow) << row.topRow;
    EXPECT_EQ(sheet().bottomRow, 7) << "laying out changes nothing in the sheet";
    storeViewState(sheet(), g);
    EXPECT_EQ(sheet().bottomRow, row.bottomRow);
    EXPECT_EQ(g.rowHeaderWidth, row.width) << row.zoom << " " << row.topRow;
  }
}

TEST_F(GridLayoutTest, ZoomScalesMetricsAndHeaders) {
  const struct {
    int zoom;
    int headerHeight, charWidth, ppi;
  } rows[] = {
      {100, 17, 7, 96},
      {200, 33, 14, 192},
      {50, 9, 4, 48},   // 3.5 rounds up
      {10, 3, 1, 10},   // 0.7 rounds to 1
      {400, 65, 28, 384},
      {1000, 65, 28, 384}, // out of range: clamped to 400
  };
  for (const auto& row : rows) {
    sheet().zoom = static_cast<std::uint16_t>(row.zoom);
    const GridLayout g = layout();
    EXPECT_EQ(g.headerHeight, row.headerHeight) << row.zoom;
    EXPECT_EQ(g.scale.standardCharWidthPx, row.charWidth) << row.zoom;
    EXPECT_EQ(g.scale.logicalPixelsPerInch, row.ppi) << row.zoom;
  }
  sheet().zoom = 100;
  sheet().flags &= ~model::kSheetShowHeaders;
  const GridLayout hidden = layout();
  EXPECT_EQ(hidden.headerHeight, 0);
  EXPECT_EQ(hidden.rowHeaderWidth, 0);
  EXPECT_EQ(hidden.cells.left, 0);
  EXPECT_EQ(hidden.cells.top, 0);
}

TEST_F(GridLayoutTest, BarsAndTabsShareTheBottomStrip) {
  GridLayout g = layout();
  EXPECT_EQ(g.grid, (platform::Rect{0, 0, 783, 583}));
  EXPECT_EQ(g.tabBar, (platform::Rect{0, 583, 400, 600}));
  EXPECT_EQ(g.horizontalScroll, (platform::Rect{400, 583, 783, 600}));
  EXPECT_EQ(g.verticalScroll, (platform::Rect{783, 0, 800, 583}));
  EXPECT_EQ(g.cornerBox, (platform::Rect{783, 583, 800, 600}));

  book().showHorizontalScrollBar = 0; // the tabs take the whole width
  g = layout();
  EXPECT_EQ(g.tabBar, (platform::Rect{0, 583, 783, 600}));
  EXPECT_TRUE(g.horizontalScroll.isEmpty());

  book().showSheetTabs = 0;
  book().showVerticalScrollBar = 0;
  g = layout();
  EXPECT_EQ(g.grid, (platform::Rect{0, 0, 800, 600}));
  EXPECT_TRUE(g.tabBar.isEmpty());

  const GridLayout withStatus = relayout(book(), LayoutInput{{0, 0, 800, 600}, 40, 20, 17, 17});
  EXPECT_EQ(withStatus.grid, (platform::Rect{0, 40, 800, 580}));
}

TEST_F(GridLayoutTest, ScrollRanges) {
  // 783 - 24 = 759 pixels of columns: 14 columns of 56 (the last partly).
  GridLayout g = layout();
  EXPECT_EQ(g.rightColumn, 13);
  EXPECT_EQ(g.vertical, (ScrollRange{0, 34 + 33, 34, 0}));
  EXPECT_EQ(g.horizontal, (ScrollRange{0, 14 + 13, 14, 0}));

  // Cells beyond the window stretch the ranges; the caps hold.
  sheet().cells.append(500, 250);
  g = layout();
  EXPECT_EQ(g.vertical.maximum, 34 + 500);
  EXPECT_EQ(g.horizontal.maximum, 255);

  // Frozen panes: the scrolling pane's first line is the minimum.
  sheet().flags |= model::kSheetPanesFrozen;
  sheet().scrollPaneRow = 3;
  sheet().scrollPaneColumn = 2;
  sheet().topRow = 0; // scrolled into the frozen rows: moved below them
  g = layout();
  EXPECT_EQ(g.vertical.minimum, 3);
  EXPECT_EQ(g.topRow, 3);
  EXPECT_EQ(g.frozenHeight, 3 * 17);
  EXPECT_EQ(g.frozenWidth, 2 * 56);
  EXPECT_EQ(g.horizontal.minimum, 2);
}

TEST_F(GridLayoutTest, BadActiveSheetGivesEmptyLayout) {
  book().activeSheet = 7;
  const GridLayout g = layout();
  EXPECT_EQ(g.sheet, -1);
  EXPECT_FALSE(g.hasGrid);
}


TEST_F(GridLayoutTest, SheetTabsUseTheWorkbooksDefaultFont) {
  const struct {
    std::u16string_view face;
    std::uint16_t height;
    std::uint16_t weight;
  } rows[] = {{u"Arial", 200, 400}, {u"宋体", 240, 400}, {u"Liberation Serif", 180, 700}};
  for (const auto& r : rows) {
    book().fonts[0].face = std::u16string(r.face);
    book().fonts[0].heightTwips = r.height;
    book().fonts[0].weight = r.weight;
    sheet().zoom = 200; // the tabs are not zoomed
    const GridLayout g = layout();
    EXPECT_EQ(g.tabFont.face, r.face);
    EXPECT_EQ(g.tabFont.heightTwips, r.height);
    EXPECT_EQ(g.tabFont.weight, r.weight);
    EXPECT_NE(g.uiFont.face, r.face); // the headers keep the interface font
  }
}

} // namespace
} // namespace view

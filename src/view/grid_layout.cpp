#include "view/grid_layout.h"

#include <algorithm>

namespace view {

using platform::mulDiv;
using platform::Rect;

std::u16string columnLabel(int column) {
  column = std::clamp(column, 0, model::kMaxColumn);
  if (column < 26)
    return std::u16string(1, static_cast<char16_t>(u'A' + column));
  return {static_cast<char16_t>(u'A' + column / 26 - 1), static_cast<char16_t>(u'A' + column % 26)};
}

namespace {

int digitCount(int rowIndex) {
  // Row numbers are 1-based: index 998 is row 999, the last of three digits.
  if (rowIndex <= 998)
    return 3;
  if (rowIndex <= 9998)
    return 4;
  return 5;
}

// The first line of the scrolling pane: the end of the frozen lines when
// the panes are frozen, else the sheet's first line.
struct Panes {
  int frozenFirstRow = 0, frozenEndRow = 0; // frozen rows [first, end)
  int frozenFirstColumn = 0, frozenEndColumn = 0;
};

Panes panesOf(const model::Sheet& sheet) {
  Panes p;
  if (!(sheet.flags & model::kSheetPanesFrozen))
    return p;
  if (sheet.scrollPaneRow > sheet.frozenRow) {
    p.frozenFirstRow = sheet.frozenRow;
    p.frozenEndRow = sheet.scrollPaneRow;
  }
  if (sheet.scrollPaneColumn > sheet.frozenColumn) {
    p.frozenFirstColumn = sheet.frozenColumn;
    p.frozenEndColumn = sheet.scrollPaneColumn;
  }
  return p;
}

} // namespace

GridLayout relayout(model::Workbook& book, const LayoutInput& in) {
  GridLayout g;
  g.client = in.client;
  if (book.activeSheet < 0 || book.activeSheet >= book.sheetCount())
    return g;
  g.sheet = book.activeSheet;
  model::Sheet& sheet = book.sheet(g.sheet);
  g.hasGrid = sheet.hasGrid();
  g.zoom = std::clamp<int>(sheet.zoom, 10, 400);

  const platform::TextMetrics& tm = platform::textMetrics();
  const platform::FontSpec screenFont = tm.defaultFont();
  g.tabFont = screenFont;
  g.tabFont.face = u"Helvetica";
  g.uiFont = g.tabFont;
  g.uiFont.heightTwips = mulDiv(screenFont.heightTwips, g.zoom, 100);
  g.uiBoldFont = g.uiFont;
  g.uiBoldFont.weight = 700;

  int charWidth = mulDiv(tm.textWidthPx(screenFont, u"0"), g.zoom, 100);
  if (sheet.flags & model::kSheetShowFormulas)
    charWidth *= 2;
  g.scale.standardCharWidthPx = std::max(1, charWidth);
  g.scale.logicalPixelsPerInch = std::max(1, mulDiv(tm.logicalPixelsPerInch(), g.zoom, 100));

  // The bottom strip holds the tabs and the horizontal scroll control; the
  // right strip the vertical one.
  const Rect& c = in.client;
  const bool hasHScroll = book.showHorizontalScrollBar && g.hasGrid;
  const bool hasTabs = book.showSheetTabs != 0;
  const bool hasVScroll = book.showVerticalScrollBar != 0;
  const int gridTop = std::max(c.top, in.rebarBottom);
  int gridBottom = c.bottom - in.statusBarHeight;
  const int stripBottom = gridBottom;
  if (hasHScroll || hasTabs)
    gridBottom -= in.scrollBarHeight;
  const int gridRight = c.right - (hasVScroll ? in.scrollBarWidth : 0);
  g.grid = {c.left, gridTop, std::max(c.left, gridRight), std::max(gridTop, gridBottom)};

  if (hasHScroll || hasTabs) {
    const int stripTop = g.grid.bottom;
    const int barRight = gridRight;
    int tabRight = c.left;
    if (hasTabs)
      tabRight = hasHScroll ? c.left + (c.right - c.left) / 2 : barRight;
    if (hasTabs)
      g.tabBar = {c.left, stripTop, std::min(tabRight, barRight), stripBottom};
    if (hasHScroll)
      g.horizontalScroll = {std::min(tabRight, barRight), stripTop, barRight, stripBottom};
    if (hasVScroll)
      g.cornerBox = {gridRight, stripTop, c.right, stripBottom};
  }
  if (hasVScroll)
    g.verticalScroll = {gridRight, gridTop, c.right, g.grid.bottom};

  if (!g.hasGrid)
    return g;

  const bool headers = (sheet.flags & model::kSheetShowHeaders) != 0;
  g.headerHeight = headers ? mulDiv(tm.fontMetrics(screenFont).heightPx, g.zoom, 100) + 1 : 0;

  const Panes panes = panesOf(sheet);
  g.firstScrollRow = panes.frozenEndRow;
  g.firstScrollColumn = panes.frozenEndColumn;
  g.topRow = std::max<int>(sheet.topRow, g.firstScrollRow);
  g.leftColumn = std::max<int>(sheet.leftColumn, g.firstScrollColumn);
  sheet.topRow = static_cast<std::uint16_t>(g.topRow);
  sheet.leftColumn = static_cast<std::uint8_t>(g.leftColumn);

  // Rows first: the row header's width depends on the last visible row.
  const int cellsTop = g.grid.top + g.headerHeight;
  const int rowRoom = std::max(0, g.grid.bottom - cellsTop);
  int y = 0;
  int lastRow = g.topRow;
  for (int r = panes.frozenFirstRow; r < panes.frozenEndRow; ++r) {
    const int h = model::row_px(sheet, static_cast<std::uint16_t>(r), g.scale);
    if (h > 0)
      ++g.frozenRowCount;
    y += h;
  }
  g.frozenHeight = std::min(y, rowRoom);
  for (int r = g.topRow; r <= model::kMaxRow && y < rowRoom; ++r) {
    y += model::row_px(sheet, static_cast<std::uint16_t>(r), g.scale);
    lastRow = r;
  }
  g.bottomRow = lastRow;
  g.rowHeaderWidth = headers ? g.scale.standardCharWidthPx * digitCount(g.bottomRow) + 3 : 0;

  const int cellsLeft = g.grid.left + g.rowHeaderWidth;
  g.cells = {std::min(cellsLeft, g.grid.right), std::min(cellsTop, g.grid.bottom), g.grid.right,
             g.grid.bottom};
  const int columnRoom = g.cells.width();
  int x = 0;
  int lastColumn = g.leftColumn;
  for (int col = panes.frozenFirstColumn; col < panes.frozenEndColumn; ++col) {
    const int w = model::column_px(sheet, static_cast<std::uint8_t>(col), g.scale);
    if (w > 0)
      ++g.frozenColumnCount;
    x += w;
  }
  g.frozenWidth = std::min(x, columnRoom);
  for (int col = g.leftColumn; col <= model::kMaxColumn && x < columnRoom; ++col) {
    x += model::column_px(sheet, static_cast<std::uint8_t>(col), g.scale);
    lastColumn = col;
  }
  g.rightColumn = lastColumn;
  sheet.bottomRow = static_cast<std::uint16_t>(g.bottomRow);
  sheet.rightColumn = static_cast<std::uint8_t>(g.rightColumn);

  model::CellRange used{};
  const bool hasCells = model::usedRange(sheet, used);
  g.vertical.minimum = g.firstScrollRow;
  g.vertical.page = std::max(1, g.bottomRow - g.topRow + 1);
  g.vertical.maximum =
      std::min(model::kMaxRow, g.vertical.page + std::max<int>(g.bottomRow, hasCells ? used.lastRow : 0));
  g.vertical.position = g.topRow;
  g.horizontal.minimum = g.firstScrollColumn;
  g.horizontal.page = std::max(1, g.rightColumn - g.leftColumn + 1);
  g.horizontal.maximum = std::min(
      model::kMaxColumn, g.horizontal.page + std::max<int>(g.rightColumn, hasCells ? used.lastColumn : 0));
  g.horizontal.position = g.leftColumn;
  return g;
}

} // namespace view

#include "view/grid_layout.h"

#include "drawing/object_paint.h"
#include "model/set_cell.h"
#include "view/filter_arrow.h"

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

GridLayout relayout(const model::Workbook& book, const LayoutInput& in) {
  return relayout(book, book.activeSheet, in);
}

void storeViewState(model::Sheet& sheet, const GridLayout& g) {
  if (!g.hasGrid)
    return;
  sheet.topRow = static_cast<std::uint16_t>(g.topRow);
  sheet.leftColumn = static_cast<std::uint8_t>(g.leftColumn);
  sheet.bottomRow = static_cast<std::uint16_t>(g.bottomRow);
  sheet.rightColumn = static_cast<std::uint8_t>(g.rightColumn);
}

GridLayout relayout(const model::Workbook& book, int sheetIndex, const LayoutInput& in) {
  GridLayout g;
  g.client = in.client;
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount())
    return g;
  g.sheet = sheetIndex;
  const model::Sheet& sheet = book.sheet(g.sheet);
  g.hasGrid = sheet.hasGrid();
  g.zoom = std::clamp<int>(sheet.zoom, 10, 400);

  const platform::TextMetrics& tm = platform::textMetrics();
  const platform::FontSpec screenFont = tm.defaultFont();
  // Sheet names are written in the workbook's own default font (its font
  // 0), the header labels in the interface font.
  g.tabFont = book.fonts.empty() ? screenFont : model::fontSpecOf(book.fonts[0]);
  g.uiFont = screenFont;
  g.uiFont.face = u"Helvetica";
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

  // Rows first: the row header's width depends on the last visible row.
  const int cellsTop = g.grid.top + g.headerHeight;
  const int rowRoom = std::max(0, g.grid.bottom - cellsTop);
  int y = 0;
  int lastRow = g.topRow;
  for (int r = model::nextShownRow(sheet, panes.frozenFirstRow); r < panes.frozenEndRow;
       r = model::nextShownRow(sheet, r + 1)) {
    const int h = model::row_px(sheet, static_cast<std::uint16_t>(r), g.scale);
    if (h > 0)
      ++g.frozenRowCount;
    y += h;
  }
  g.frozenHeight = std::min(y, rowRoom);
  for (int r = g.topRow; r <= model::kMaxRow && y < rowRoom; ++r) {
    // A run of hidden rows is passed whole.
    const int shown = model::nextShownRow(sheet, r);
    if (shown != r) {
      lastRow = r = shown - 1;
      continue;
    }
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
  for (int col = model::nextShownColumn(sheet, panes.frozenFirstColumn); col < panes.frozenEndColumn;
       col = model::nextShownColumn(sheet, col + 1)) {
    const int w = model::column_px(sheet, static_cast<std::uint8_t>(col), g.scale);
    if (w > 0)
      ++g.frozenColumnCount;
    x += w;
  }
  g.frozenWidth = std::min(x, columnRoom);
  for (int col = g.leftColumn; col <= model::kMaxColumn && x < columnRoom; ++col) {
    const int shown = model::nextShownColumn(sheet, col);
    if (shown != col) {
      lastColumn = col = shown - 1;
      continue;
    }
    x += model::column_px(sheet, static_cast<std::uint8_t>(col), g.scale);
    lastColumn = col;
  }
  g.rightColumn = lastColumn;

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

GridLayout pageLayout(const model::Workbook& book, int sheetIndex, const model::CellRange& block,
                      const model::PixelScale& scale, int fontZoom, int pixelRatio, const Rect& area,
                      int margin) {
  GridLayout g;
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount() || !book.sheet(sheetIndex).hasGrid())
    return g;
  const model::Sheet& sheet = book.sheet(sheetIndex);
  g.sheet = sheetIndex;
  g.hasGrid = true;
  g.page = true;
  g.zoom = std::max(1, fontZoom);
  g.pixelRatio = std::max(1, pixelRatio);
  g.scale = scale;
  g.topRow = g.firstScrollRow = block.firstRow;
  g.leftColumn = g.firstScrollColumn = block.firstColumn;
  g.bottomRow = block.lastRow;
  g.rightColumn = block.lastColumn;
  const auto extent = [](int from, int to, int (*px)(const model::Sheet&, int, const model::PixelScale&),
                         const model::Sheet& s, const model::PixelScale& sc) {
    return px(s, to + 1, sc) - px(s, from, sc);
  };
  const auto columns = [](const model::Sheet& s, int c, const model::PixelScale& sc) {
    return model::column_offset_px(s, c, 0, sc);
  };
  const auto rows = [](const model::Sheet& s, int r, const model::PixelScale& sc) {
    return model::row_offset_px(s, r, 0, sc);
  };
  const int width = extent(block.firstColumn, block.lastColumn, columns, sheet, scale);
  const int height = extent(block.firstRow, block.lastRow, rows, sheet, scale);
  g.cells = {area.left, area.top, std::min(area.right, area.left + width),
             std::min(area.bottom, area.top + height)};
  g.client = g.grid = {area.left - margin, area.top - margin, g.cells.right, g.cells.bottom};
  return g;
}

} // namespace view

namespace view {
namespace {

// One pane axis: lines [first, end) drawn from `origin` up to `limit`.
struct AxisPane {
  int first = 0;
  int end = 0;
  int origin = 0;
  int limit = 0;
};

struct Axis {
  AxisPane frozen;
  AxisPane scrolling;
};

Axis columnAxis(const model::Sheet& sheet, const GridLayout& g) {
  const Panes p = g.page ? Panes{} : panesOf(sheet);
  Axis a;
  a.frozen = {p.frozenFirstColumn, p.frozenEndColumn, g.cells.left, g.cells.left + g.frozenWidth};
  a.scrolling = {g.leftColumn, model::kColumnCount, g.cells.left + g.frozenWidth, g.cells.right};
  return a;
}

Axis rowAxis(const model::Sheet& sheet, const GridLayout& g) {
  const Panes p = g.page ? Panes{} : panesOf(sheet);
  Axis a;
  a.frozen = {p.frozenFirstRow, p.frozenEndRow, g.cells.top, g.cells.top + g.frozenHeight};
  a.scrolling = {g.topRow, model::kRowCount, g.cells.top + g.frozenHeight, g.cells.bottom};
  return a;
}

// One axis of a sheet at the layout's scale: a line's pixels, and the
// first line at or after one that is not hidden (runs of hidden lines are
// passed in one step).
struct Measure {
  const model::Sheet& sheet;
  const model::PixelScale& scale;
  bool rows;
  int size(int line) const {
    return rows ? model::row_px(sheet, static_cast<std::uint16_t>(line), scale)
                : model::column_px(sheet, static_cast<std::uint8_t>(line), scale);
  }
  int nextShown(int line) const {
    return rows ? model::nextShownRow(sheet, line) : model::nextShownColumn(sheet, line);
  }
};

int lineAt(const AxisPane& pane, int at, const Measure& m, int& sizingLine) {
  int pos = pane.origin;
  int last = pane.first;
  for (int i = m.nextShown(pane.first); i < pane.end; i = m.nextShown(i + 1)) {
    const int size = m.size(i);
    if (size == 0)
      continue;
    if (std::abs(at - (pos + size)) <= kSizingTolerance)
      sizingLine = i;
    if (at < pos + size)
      return i;
    pos += size;
    last = i;
    if (pos > pane.limit + kSizingTolerance)
      break;
  }
  return last;
}

int lineOf(const Axis& axis, int at, const Measure& m, int& sizingLine) {
  const bool inFrozen = axis.frozen.end > axis.frozen.first && at < axis.frozen.limit;
  return lineAt(inFrozen ? axis.frozen : axis.scrolling, at, m, sizingLine);
}

bool lineSpan(const Axis& axis, int line, const Measure& m, int& from, int& to) {
  for (const AxisPane* pane : {&axis.frozen, &axis.scrolling}) {
    if (line < pane->first || line >= pane->end)
      continue;
    int pos = pane->origin;
    for (int i = m.nextShown(pane->first); i < line && pos < pane->limit; i = m.nextShown(i + 1))
      pos += m.size(i);
    if (pos >= pane->limit)
      return false;
    from = pos;
    to = std::min(pos + m.size(line), pane->limit);
    return to > from;
  }
  return false;
}

} // namespace

std::vector<TabPlace> tabPlaces(const model::Workbook& book, const GridLayout& g) {
  std::vector<TabPlace> out;
  const Rect bar = g.tabBar;
  if (bar.isEmpty())
    return out;
  const platform::TextMetrics& tm = platform::textMetrics();
  int x = bar.left + 2 * kTabArrowWidth;
  for (int i = std::max<int>(0, book.firstVisibleTab); i < book.sheetCount() && x < bar.right; ++i) {
    const model::Sheet& s = book.sheet(i);
    if (s.hidden)
      continue;
    const int w = tm.textWidthPx(g.tabFont, s.name) + 16;
    out.push_back({i, x, w});
    x += w - 4; // neighbouring tabs overlap at their slanted sides
  }
  return out;
}

namespace {

// The window x of sheet pixel 0 for the pane axis that holds `line`.
int paneOrigin(const Axis& axis, int line, long long (*offset)(const model::Sheet&, int, const model::PixelScale&),
               const model::Sheet& sheet, const model::PixelScale& scale) {
  const bool frozen = axis.frozen.end > axis.frozen.first && line < axis.frozen.end;
  const AxisPane& pane = frozen ? axis.frozen : axis.scrolling;
  return pane.origin - static_cast<int>(offset(sheet, pane.first, scale));
}

long long columnOffset(const model::Sheet& s, int column, const model::PixelScale& scale) {
  return model::column_offset_px(s, column, 0, scale);
}
long long rowOffset(const model::Sheet& s, int row, const model::PixelScale& scale) {
  return model::row_offset_px(s, row, 0, scale);
}

bool nearPoint(platform::Point p, platform::Point q) {
  return std::abs(p.x - q.x) <= kHandleHalf && std::abs(p.y - q.y) <= kHandleHalf;
}

// The object under a point of the cell area: the selected object's handles,
// then objects from the top of the drawing order down.
// Whether a point lies within a handle's reach of a line running across
// the rectangle as its flip bits say.
bool nearLine(const Rect& r, int flip, platform::Point p) {
  platform::Point a, b;
  drawing::lineEnds(r, flip, a, b);
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double length2 = dx * dx + dy * dy;
  double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  const double ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
  return ex * ex + ey * ey <= (kHandleHalf + 1) * (kHandleHalf + 1);
}

bool hitObject(const model::Sheet& sheet, const GridLayout& g, platform::Point p, HitTest& h) {
  const int selected = sheet.selectedObject;
  if (selected >= 0 && selected < static_cast<int>(sheet.objects.size())) {
    const std::array<platform::Point, 8> handles = handlePoints(objectRect(sheet, g, selected));
    for (size_t i = 0; i < handles.size(); ++i)
      if (nearPoint(p, handles[i])) {
        h.object = selected;
        h.handle = static_cast<int>(i) + 1;
        return true;
      }
  }
  for (int i = static_cast<int>(sheet.objects.size()) - 1; i >= 0; --i) {
    if (!model::isHitTestable(sheet.objects[static_cast<size_t>(i)]))
      continue;
    Rect r = objectRect(sheet, g, i);
    // A filter arrow answers on its button; the rest of its cell is the cell's.
    if (sheet.objects[static_cast<size_t>(i)].filterArrow) {
      if (filterArrowButton(r).contains(p)) {
        h.object = i;
        return true;
      }
      continue;
    }
    // A line is grabbed near the line itself, not anywhere in its box.
    if (sheet.objects[static_cast<size_t>(i)].kind == model::kObjectLine) {
      if (nearLine(r, sheet.objects[static_cast<size_t>(i)].flip, p)) {
        h.object = i;
        return true;
      }
      continue;
    }
    // A flat shape is still grabbed near it.
    if (r.width() < 2 * kHandleHalf)
      r = {r.left - kHandleHalf, r.top, r.right + kHandleHalf, r.bottom};
    if (r.height() < 2 * kHandleHalf)
      r = {r.left, r.top - kHandleHalf, r.right, r.bottom + kHandleHalf};
    if (r.contains(p)) {
      h.object = i;
      return true;
    }
  }
  return false;
}

} // namespace

std::array<platform::Point, 8> handlePoints(const platform::Rect& r) {
  const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
  const int x2 = r.right - 1, y2 = r.bottom - 1;
  return {{{r.left, r.top}, {cx, r.top}, {x2, r.top}, {x2, cy},
           {x2, y2}, {cx, y2}, {r.left, y2}, {r.left, cy}}};
}

platform::Rect objectRect(const model::Sheet& sheet, const GridLayout& g, int index) {
  if (index < 0 || index >= static_cast<int>(sheet.objects.size()) || g.sheet < 0 || !g.hasGrid)
    return {};
  const model::DrawingObject& o = sheet.objects[static_cast<size_t>(index)];
  const Rect r = model::anchorToPixels(sheet, o.anchor, g.scale);
  const int x0 = paneOrigin(columnAxis(sheet, g), std::min(o.anchor.first.column, o.anchor.last.column),
                            columnOffset, sheet, g.scale);
  const int y0 =
      paneOrigin(rowAxis(sheet, g), std::min(o.anchor.first.row, o.anchor.last.row), rowOffset, sheet, g.scale);
  return {r.left + x0, r.top + y0, r.right + x0, r.bottom + y0};
}

HitTest hitTest(const model::Workbook& book, const GridLayout& g, platform::Point p) {
  HitTest h;
  if (g.tabBar.contains(p)) {
    if (p.x < g.tabBar.left + 2 * kTabArrowWidth) {
      h.region = HitRegion::TabArrows;
      h.tab = (p.x - g.tabBar.left) / kTabArrowWidth;
      return h;
    }
    h.region = HitRegion::TabBar;
    for (const TabPlace& t : tabPlaces(book, g))
      if (p.x >= t.left && p.x < t.left + t.width) {
        h.region = HitRegion::Tab;
        h.tab = t.sheet;
        if (t.sheet == book.activeSheet)
          break; // the active tab is drawn over its neighbours
      }
    return h;
  }
  if (g.sheet < 0 || !g.hasGrid || !g.grid.contains(p))
    return h;
  const model::Sheet& sheet = book.sheet(g.sheet);
  const Measure width{sheet, g.scale, false};
  const Measure height{sheet, g.scale, true};
  const bool inHeaderBand = p.y < g.cells.top;
  const bool inRowHeaders = p.x < g.cells.left;
  int columnSizing = -1, rowSizing = -1;
  if (!inRowHeaders)
    h.column = lineOf(columnAxis(sheet, g), p.x, width, columnSizing);
  if (!inHeaderBand)
    h.row = lineOf(rowAxis(sheet, g), p.y, height, rowSizing);
  if (inHeaderBand && inRowHeaders) {
    h.region = HitRegion::Corner;
  } else if (inHeaderBand) {
    h.region = HitRegion::ColumnHeader;
    h.sizingLine = columnSizing;
  } else if (inRowHeaders) {
    h.region = HitRegion::RowHeader;
    h.sizingLine = rowSizing;
  } else {
    h.region = HitRegion::Cell;
    if (hitObject(sheet, g, p, h))
      h.region = HitRegion::Object;
  }
  return h;
}

bool columnSpan(const model::Sheet& sheet, const GridLayout& g, int column, int& left, int& right) {
  if (g.sheet < 0 || !g.hasGrid)
    return false;
  return lineSpan(columnAxis(sheet, g), column, Measure{sheet, g.scale, false}, left, right);
}

bool rowSpan(const model::Sheet& sheet, const GridLayout& g, int row, int& top, int& bottom) {
  if (g.sheet < 0 || !g.hasGrid)
    return false;
  return lineSpan(rowAxis(sheet, g), row, Measure{sheet, g.scale, true}, top, bottom);
}

platform::Rect cellRect(const model::Sheet& sheet, const GridLayout& g, int row, int column) {
  if (g.sheet < 0 || !g.hasGrid)
    return {};
  Rect r;
  if (!lineSpan(columnAxis(sheet, g), column, Measure{sheet, g.scale, false}, r.left, r.right) ||
      !lineSpan(rowAxis(sheet, g), row, Measure{sheet, g.scale, true}, r.top, r.bottom))
    return {};
  return r;
}

Rect copyOutlineRect(const model::Sheet& sheet, const GridLayout& g, const model::CellRange& r) {
  if (!g.hasGrid || r.lastRow < g.topRow || r.firstRow > g.bottomRow || r.lastColumn < g.leftColumn ||
      r.firstColumn > g.rightColumn)
    return {};
  const int r1 = std::max<int>(r.firstRow, g.topRow), r2 = std::min<int>(r.lastRow, g.bottomRow);
  const int c1 = std::max<int>(r.firstColumn, g.leftColumn), c2 = std::min<int>(r.lastColumn, g.rightColumn);
  const Rect a = cellRect(sheet, g, r1, c1);
  const Rect b = cellRect(sheet, g, r2, c2);
  if (a.isEmpty() || b.isEmpty())
    return {};
  constexpr int kPast = 8;
  return {c1 == r.firstColumn ? a.left : g.cells.left - kPast, r1 == r.firstRow ? a.top : g.cells.top - kPast,
          c2 == r.lastColumn ? b.right : g.cells.right + kPast, r2 == r.lastRow ? b.bottom : g.cells.bottom + kPast};
}

} // namespace view

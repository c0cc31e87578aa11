#include "view/grid_painter.h"

#include "drawing/object_paint.h"
#include "model/display_text.h"
#include "model/set_cell.h"
#include "view/filter_arrow.h"

#include <algorithm>
#include <bitset>
#include <unordered_map>
#include <vector>

namespace view {

using platform::Brush;
using platform::Canvas;
using platform::Colour;
using platform::Pen;
using platform::PenStyle;
using platform::Point;
using platform::Rect;

namespace {

constexpr Colour kLightGrey = 0xC0C0C0;
constexpr Colour kDarkGrey = 0x808080;
constexpr Colour kInvert = 0xFFFFFF;
constexpr int kTextMargin = 2;
// The input message box of a validated cell.
constexpr int kMessageWidth = 200;
constexpr int kMessageLine = 16;
constexpr int kMessagePadding = 4;

// clang-format off
constexpr platform::PatternBits kPatterns[19] = {
    {},                                                  // 0 none
    {},                                                  // 1 solid: a solid brush
    {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55},    // 2 50% grey
    {0x77, 0xDD, 0x77, 0xDD, 0x77, 0xDD, 0x77, 0xDD},    // 3 75% grey
    {0x88, 0x22, 0x88, 0x22, 0x88, 0x22, 0x88, 0x22},    // 4 25% grey
    {0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00},    // 5 horizontal stripe
    {0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC},    // 6 vertical stripe
    {0xCC, 0x66, 0x33, 0x99, 0xCC, 0x66, 0x33, 0x99},    // 7 reverse diagonal stripe
    {0xCC, 0x99, 0x33, 0x66, 0xCC, 0x99, 0x33, 0x66},    // 8 diagonal stripe
    {0xCC, 0xCC, 0x33, 0x33, 0xCC, 0xCC, 0x33, 0x33},    // 9 diagonal crosshatch
    {0x99, 0xFF, 0x66, 0xFF, 0x99, 0xFF, 0x66, 0xFF},    // 10 thick diagonal crosshatch
    {0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00},    // 11 thin horizontal stripe
    {0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88},    // 12 thin vertical stripe
    {0x88, 0x44, 0x22, 0x11, 0x88, 0x44, 0x22, 0x11},    // 13 thin reverse diagonal stripe
    {0x11, 0x22, 0x44, 0x88, 0x11, 0x22, 0x44, 0x88},    // 14 thin diagonal stripe
    {0xFF, 0x88, 0x88, 0x88, 0xFF, 0x88, 0x88, 0x88},    // 15 thin horizontal crosshatch
    {0x88, 0x55, 0x22, 0x55, 0x88, 0x55, 0x22, 0x55},    // 16 thin diagonal crosshatch
    {0x88, 0x00, 0x22, 0x00, 0x88, 0x00, 0x22, 0x00},    // 17 12.5% grey
    {0x80, 0x00, 0x08, 0x00, 0x80, 0x00, 0x08, 0x00},    // 18 6.25% grey
};

// Index = the file format's border style.
constexpr BorderStroke kBorderStrokes[14] = {
    {PenStyle::None,       0, 0, 0},  // 0 none
    {PenStyle::Solid,      1, 0, 0},  // 1 thin
    {PenStyle::Solid,      2, 0, 0},  // 2 medium
    {PenStyle::Dash,       1, 0, 0},  // 3 dashed
    {PenStyle::Dot,        1, 0, 0},  // 4 dotted
    {PenStyle::Solid,      2, 0, -1}, // 5 thick: medium and a line beside it
    {PenStyle::Solid,      1, 1, -1}, // 6 double: two thin lines a pixel apart
    {PenStyle::Alternate,  1, 0, 0},  // 7 hair
    {PenStyle::Dash,       2, 0, 0},  // 8 medium dashed
    {PenStyle::DashDot,    1, 0, 0},  // 9 dash-dot
    {PenStyle::DashDot,    2, 0, 0},  // 10 medium dash-dot
    {PenStyle::DashDotDot, 1, 0, 0},  // 11 dash-dot-dot
    {PenStyle::DashDotDot, 2, 0, 0},  // 12 medium dash-dot-dot
    {PenStyle::DashDot,    2, 0, 0},  // 13 slanted dash-dot
};
// clang-format on

const model::CellFormat& formatOf(const model::Workbook& book, std::uint16_t index) {
  static const model::CellFormat kFallback{};
  if (index < book.cellFormats.size())
    return book.cellFormats[index];
  if (model::kDefaultCellFormat < book.cellFormats.size())
    return book.cellFormats[model::kDefaultCellFormat];
  return kFallback;
}

bool isEmptyCell(const model::CellRecord* c) {
  return c == nullptr || c->input.isNull() || c->input.view().empty();
}

// The format an empty cell shows: its column's default.
std::uint16_t formatIndexAt(const model::Sheet& sheet, const model::CellRecord* c, int column) {
  if (c)
    return c->formatIndex;
  return model::column_record(sheet, static_cast<std::uint8_t>(column)).formatIndex;
}

struct Line {
  int index = 0; // row or column
  int start = 0; // pixel of its top or left edge
  int size = 0;
};

// One of up to four panes: frozen or scrolling rows times frozen or scrolling columns.
struct Pane {
  Rect rect;
  std::vector<Line> rows;
  std::vector<Line> columns;
  int xOrigin = 0; // pixel of column 0's left edge, were it on screen
  int yOrigin = 0;
};

// The selection is drawn inverted, except the active cell (or its merged
// range), which keeps its own colours and gets a frame, so it can be found
// inside a large selection and a lone active cell is no black block.
struct Selection {
  bool shown = false;
  model::CellRange range;
  model::CellRange active;
  bool inverted(int r, int c) const { return shown && range.contains(r, c) && !active.contains(r, c); }
};

Selection selectionOf(const model::Sheet& sheet, bool shown) {
  const auto rowOf = [](std::uint32_t packed) { return static_cast<int>(packed & 0xFFFF); };
  const auto columnOf = [](std::uint32_t packed) { return static_cast<int>((packed >> 16) & 0xFF); };
  Selection s;
  s.shown = shown;
  s.range = {static_cast<std::uint16_t>(std::min(rowOf(sheet.selectionFirst), rowOf(sheet.selectionLast))),
             static_cast<std::uint8_t>(std::min(columnOf(sheet.selectionFirst), columnOf(sheet.selectionLast))),
             static_cast<std::uint16_t>(std::max(rowOf(sheet.selectionFirst), rowOf(sheet.selectionLast))),
             static_cast<std::uint8_t>(std::max(columnOf(sheet.selectionFirst), columnOf(sheet.selectionLast)))};
  const int m = model::merged_range_at(sheet, sheet.activeRow, sheet.activeColumn);
  s.active = m >= 0 ? sheet.mergedRanges[static_cast<size_t>(m)]
                    : model::CellRange::cell(sheet.activeRow, sheet.activeColumn);
  return s;
}

// Lays the parts a holding condition sets over a cell's format. A fill
// colour without a pattern (the usual form of a conditional fill) fills
// solid.
void applyCondition(const model::FormatCondition& c, model::CellFormat& f) {
  if (c.hasPattern) {
    const auto& p = c.pattern;
    if (p[model::kCondFill].set)
      f.fillPattern = static_cast<std::uint8_t>(p[model::kCondFill].value);
    if (p[model::kCondPatternColour].set)
      f.patternColour = static_cast<std::uint8_t>(p[model::kCondPatternColour].value);
    if (p[model::kCondBackgroundColour].set) {
      f.backgroundColour = static_cast<std::uint8_t>(p[model::kCondBackgroundColour].value);
      if (!p[model::kCondFill].set && f.fillPattern == 0) {
        f.fillPattern = 1;
        f.patternColour = f.backgroundColour;
      }
    }
  }
  if (c.hasBorder)
    for (size_t i = 0; i < f.borders.size(); ++i)
      if (c.borders[i].set)
        f.borders[i] = {c.borders[i].style, c.borders[i].colour};
}

void applyConditionFont(const model::FormatCondition& c, platform::FontSpec& font, int& colourIndex) {
  if (!c.hasFont)
    return;
  const auto& f = c.font;
  if (f[model::kCondItalic].set)
    font.italic = f[model::kCondItalic].value != 0;
  if (f[model::kCondBold].set)
    font.weight = f[model::kCondBold].value ? 700 : 400;
  if (f[model::kCondUnderline].set)
    font.underline = f[model::kCondUnderline].value != 0;
  if (f[model::kCondStrikeOut].set)
    font.strikeOut = f[model::kCondStrikeOut].value != 0;
  if (f[model::kCondColour].set)
    colourIndex = f[model::kCondColour].value == model::kConditionAutomaticColour ? 64 : f[model::kCondColour].value;
}

std::vector<Line> visibleColumns(const model::Sheet& sheet, const GridLayout& g, int first, int end,
                                 int x, int right) {
  std::vector<Line> out;
  // Runs of hidden columns are passed in one step.
  for (int c = model::nextShownColumn(sheet, first); c < end && c <= model::kMaxColumn && x < right;
       c = model::nextShownColumn(sheet, c + 1)) {
    const int w = model::column_px(sheet, static_cast<std::uint8_t>(c), g.scale);
    if (w > 0)
      out.push_back({c, x, w});
    x += w;
  }
  return out;
}

std::vector<Line> visibleRows(const model::Sheet& sheet, const GridLayout& g, int first, int end,
                              int y, int bottom) {
  std::vector<Line> out;
  for (int r = model::nextShownRow(sheet, first); r < end && r <= model::kMaxRow && y < bottom;
       r = model::nextShownRow(sheet, r + 1)) {
    const int h = model::row_px(sheet, static_cast<std::uint16_t>(r), g.scale);
    if (h > 0)
      out.push_back({r, y, h});
    y += h;
  }
  return out;
}

// A text ready to draw, and for overflowing text the columns it covers.
struct TextItem {
  std::u16string text;
  platform::FontSpec font;
  Colour colour = platform::kBlack;
  Rect box;  // cell or merged rectangle
  Rect span; // where the text may show
  unsigned align = 0;
  bool wrap = false;
  int row = 0, firstColumn = 0, lastColumn = 0; // columns of the span
  int ownColumn = 0;
  const Pane* pane = nullptr;
};

class Painter {
public:
  Painter(Canvas& canvas, model::Workbook& book, const GridLayout& g, const Rect& invalid,
          const PaintOverlays& overlays)
      : m_canvas(canvas), m_book(book), m_sheet(book.sheet(g.sheet)), m_g(g), m_invalid(invalid),
        m_overlays(overlays), m_selection(selectionOf(m_sheet, overlays.selection)),
        m_conditions(!m_sheet.conditionalFormats.empty() && paintServices().activeCondition) {}

  void run();

private:
  /// The condition that holds for a cell, asked once per cell and paint.
  const model::FormatCondition* conditionAt(int row, int column);
  /// The format a cell is drawn with: its own, with a holding condition's parts.
  model::CellFormat formatAt(int row, int column, const model::CellRecord* cell);
  void paintCommentMarks(const Pane& pane);
  void paintObjects();
  void paintNewObjectOutline(const PaintOverlays::NewObject& n);
  void paintCommentPopup(int index);
  void paintActiveFrame(const std::vector<Pane>& panes);
  void paintOverlays();
  void paintInputMessage(const PaintOverlays::InputMessage& m);
  void paintCopyOutline(const Rect& r, int phase);
  void paintHeaders(const std::vector<Pane>& panes);
  void paintButton(const Rect& r, const std::u16string& label, bool active);
  void paintPane(const Pane& pane);
  int columnX(const Pane& pane, int column) const {
    return pane.xOrigin + model::column_offset_px(m_sheet, column, 0, m_g.scale);
  }
  int rowY(const Pane& pane, int row) const {
    return pane.yOrigin + model::row_offset_px(m_sheet, row, 0, m_g.scale);
  }
  Rect mergedRect(const Pane& pane, const model::CellRange& m) const {
    return {columnX(pane, m.firstColumn), rowY(pane, m.firstRow), columnX(pane, m.lastColumn + 1),
            rowY(pane, m.lastRow + 1)};
  }
  void fillCell(const Rect& r, const model::CellFormat& f, bool selected);
  bool layoutText(const Pane& pane, model::CellRecord& cell, const Rect& box, bool selected,
                  TextItem& out);
  void drawText(const TextItem& item, const Rect& clip);
  void drawEdge(bool vertical, int at, int from, int to, const model::Border& b);
  void drawGridline(bool vertical, int at, int from, int to);
  /// Whether the cell is filled with a pattern (its condition's or its own).
  bool patterned(int row, int column);
  template <class InsideMerge>
  void paintLeadingEdges(const Pane& pane, bool gridlines, const InsideMerge& insideMerge);
  model::Border edgeBorder(int row, int column, bool rightEdge);
  void paintTabs();
  void clip(const Rect& r) { m_canvas.setClip(platform::intersection(r, m_invalid)); }

  Canvas& m_canvas;
  model::Workbook& m_book;
  const model::Sheet& m_sheet; // read only: a changing access would mark its indexes stale
  const GridLayout& m_g;
  Rect m_invalid;
  const PaintOverlays& m_overlays;
  Selection m_selection;
  bool m_conditions;
  std::unordered_map<std::uint32_t, const model::FormatCondition*> m_conditionCache;
};

const model::FormatCondition* Painter::conditionAt(int row, int column) {
  if (!m_conditions)
    return nullptr;
  const std::uint32_t key = model::packCell(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
  const auto it = m_conditionCache.find(key);
  if (it != m_conditionCache.end())
    return it->second;
  const model::FormatCondition* c = paintServices().activeCondition(m_book, m_g.sheet, row, column);
  m_conditionCache.emplace(key, c);
  return c;
}

model::CellFormat Painter::formatAt(int row, int column, const model::CellRecord* cell) {
  model::CellFormat f = formatOf(m_book, formatIndexAt(m_sheet, cell, column));
  if (const model::FormatCondition* c = conditionAt(row, column))
    applyCondition(*c, f);
  return f;
}

void Painter::paintButton(const Rect& r, const std::u16string& label, bool active) {
  if (!r.intersects(m_invalid) || r.isEmpty())
    return;
  m_canvas.fillRect(r, Brush::solid(kLightGrey));
  m_canvas.setPen(Pen{PenStyle::Solid, 1, platform::kWhite});
  m_canvas.drawLine({r.left, r.bottom - 1}, {r.left, r.top});
  m_canvas.drawLine({r.left, r.top}, {r.right - 1, r.top});
  m_canvas.setPen(Pen{PenStyle::Solid, 1, active ? platform::kBlack : kDarkGrey});
  m_canvas.drawLine({r.right - 1, r.top}, {r.right - 1, r.bottom - 1});
  m_canvas.drawLine({r.left, r.bottom - 1}, {r.right, r.bottom - 1});
  if (!label.empty())
    m_canvas.drawText(label, active ? m_g.uiBoldFont : m_g.uiFont, platform::kBlack, r,
                      platform::kTextCentre | platform::kTextVCentre,
                      platform::intersection(r, m_invalid));
}

void Painter::paintHeaders(const std::vector<Pane>& panes) {
  if (m_g.headerHeight <= 0)
    return;
  const Rect band{m_g.cells.left, m_g.grid.top, m_g.grid.right, m_g.cells.top};
  const Rect column{m_g.grid.left, m_g.cells.top, m_g.cells.left, m_g.grid.bottom};
  clip(m_g.grid);
  m_canvas.fillRect(platform::intersection(band, m_invalid), Brush::solid(kLightGrey));
  m_canvas.fillRect(platform::intersection(column, m_invalid), Brush::solid(kLightGrey));
  paintButton({m_g.grid.left, m_g.grid.top, m_g.cells.left, m_g.cells.top}, {}, false);
  // Frozen panes come first in the list, so their headers sit at the left and top.
  for (const Pane& p : panes) {
    if (p.rect.top != m_g.cells.top)
      continue; // one row of panes gives the column headers
    clip({p.rect.left, band.top, p.rect.right, band.bottom});
    for (const Line& c : p.columns)
      paintButton({c.start, band.top, c.start + c.size, band.bottom}, columnLabel(c.index),
                  c.index == m_sheet.activeColumn);
  }
  for (const Pane& p : panes) {
    if (p.rect.left != m_g.cells.left)
      continue;
    clip({column.left, p.rect.top, column.right, p.rect.bottom});
    for (const Line& r : p.rows) {
      std::u16string label;
      for (char ch : std::to_string(r.index + 1))
        label.push_back(static_cast<char16_t>(ch));
      paintButton({column.left, r.start, column.right, r.start + r.size}, label,
                  r.index == m_sheet.activeRow);
    }
  }
}

void Painter::fillCell(const Rect& r, const model::CellFormat& f, bool selected) {
  Colour fg = paletteColour(m_book, f.patternColour, platform::kBlack);
  Colour bg = paletteColour(m_book, f.backgroundColour, platform::kWhite);
  if (f.fillPattern == 0)
    fg = bg = platform::kWhite;
  if (selected) {
    fg ^= kInvert;
    bg ^= kInvert;
  }
  if (f.fillPattern <= 1 || f.fillPattern > 18)
    m_canvas.fillRect(r, Brush::solid(f.fillPattern == 1 ? fg : bg));
  else
    m_canvas.fillRect(r, Brush::patterned(kPatterns[f.fillPattern], fg, bg));
}

bool Painter::layoutText(const Pane& pane, model::CellRecord& cell, const Rect& box,
                         bool selected, TextItem& out) {
  const model::CellFormat& f = formatOf(m_book, cell.formatIndex);
  const bool showFormulas = (m_sheet.flags & model::kSheetShowFormulas) != 0;
  const model::Font& font = model::fontOfFormat(m_book, cell.formatIndex);
  out.font = model::fontSpecOf(font);
  out.font.heightTwips = platform::mulDiv(font.heightTwips, m_g.zoom, 100);
  int conditionColour = -1;
  if (const model::FormatCondition* c = showFormulas ? nullptr : conditionAt(cell.row, cell.column))
    applyConditionFont(*c, out.font, conditionColour);
  if (showFormulas) {
    out.text.assign(cell.input.view());
  } else {
    // Fitted in the font it is drawn in: a bold condition widens a number.
    const int room = model::availableWidthPx(m_book, m_g.sheet, cell, m_g.scale);
    out.text.assign(model::cell_fitted_text(m_book, m_g.sheet, cell, room, &out.font));
  }
  if (out.text.empty())
    return false;
  out.colour = showFormulas ? platform::kBlack
                            : paletteColour(m_book, cell.displayColour, platform::kBlack);
  if (conditionColour >= 0)
    out.colour = paletteColour(m_book, conditionColour, platform::kBlack);
  if (selected)
    out.colour ^= kInvert;
  out.box = box;
  out.span = box;
  out.row = cell.row;
  out.firstColumn = out.lastColumn = out.ownColumn = cell.column;
  out.pane = &pane;
  out.wrap = (f.flags & model::kFormatWrapText) || f.horizontalAlignment == model::kAlignJustify;

  const model::ValueKind kind = cell.value.kind();
  int h = f.horizontalAlignment;
  if (h == model::kAlignGeneral) {
    if (showFormulas || kind == model::ValueKind::String || kind == model::ValueKind::Empty)
      h = model::kAlignLeft;
    else if (kind == model::ValueKind::Number)
      h = model::kAlignRight;
    else
      h = model::kAlignCentre;
  }
  unsigned align = h == model::kAlignRight                                     ? platform::kTextRight
                   : h == model::kAlignCentre || h == model::kAlignCentreAcrossSelection
                       ? platform::kTextCentre
                       : platform::kTextLeft;
  align |= f.verticalAlignment == 1   ? platform::kTextVCentre
           : f.verticalAlignment == 2 ? platform::kTextBottom
                                      : platform::kTextTop;
  out.align = align;

  const platform::TextMetrics& tm = platform::textMetrics();
  const int inner = box.width() - 2 * kTextMargin * m_g.pixelRatio;
  if (h == model::kAlignFill) {
    const int one = tm.textWidthPx(out.font, out.text);
    if (one > 0) {
      const std::u16string unit = out.text;
      for (int n = std::max(1, inner / one); n > 1; --n)
        out.text += unit;
    }
    return true;
  }
  if (h == model::kAlignCentreAcrossSelection && merged_range_at(m_sheet, cell.row, cell.column) < 0) {
    int last = cell.column;
    for (int c = cell.column + 1; c <= model::kMaxColumn; ++c) {
      const model::CellRecord* next = model::cell_at(m_sheet, cell.row, static_cast<std::uint8_t>(c));
      if (!isEmptyCell(next) ||
          formatOf(m_book, formatIndexAt(m_sheet, next, c)).horizontalAlignment !=
              model::kAlignCentreAcrossSelection)
        break;
      last = c;
    }
    out.lastColumn = last;
    out.box.right = out.span.right = columnX(pane, last + 1);
    return true;
  }
  // Only unwrapped strings run over their empty neighbours; numbers never do.
  if (out.wrap || (kind != model::ValueKind::String && !showFormulas) ||
      merged_range_at(m_sheet, cell.row, cell.column) >= 0)
    return true;
  int need = tm.textWidthPx(out.font, out.text) - inner;
  const bool toRight = h != model::kAlignRight;
  const bool toLeft = h == model::kAlignRight || h == model::kAlignCentre;
  int left = cell.column, right = cell.column;
  while (need > 0) {
    bool grew = false;
    const int share = toLeft && toRight ? 2 : 1;
    if (toRight && right < model::kMaxColumn) {
      const model::CellRecord* n = model::cell_at(m_sheet, cell.row, static_cast<std::uint8_t>(right + 1));
      if (isEmptyCell(n) && merged_range_at(m_sheet, cell.row, static_cast<std::uint8_t>(right + 1)) < 0) {
        ++right;
        need -= model::column_px(m_sheet, static_cast<std::uint8_t>(right), m_g.scale) * share;
        grew = true;
      }
    }
    if (toLeft && left > 0 && need > 0) {
      const model::CellRecord* n = model::cell_at(m_sheet, cell.row, static_cast<std::uint8_t>(left - 1));
      if (isEmptyCell(n) && merged_range_at(m_sheet, cell.row, static_cast<std::uint8_t>(left - 1)) < 0) {
        --left;
        need -= model::column_px(m_sheet, static_cast<std::uint8_t>(left), m_g.scale) * share;
        grew = true;
      }
    }
    if (!grew)
      break;
  }
  out.firstColumn = left;
  out.lastColumn = right;
  out.span.left = columnX(pane, left);
  out.span.right = columnX(pane, right + 1);
  return true;
}

void Painter::drawText(const TextItem& item, const Rect& paneClip) {
  const Rect clipRect = platform::intersection(item.span, paneClip);
  if (clipRect.isEmpty())
    return;
  const int margin = kTextMargin * m_g.pixelRatio;
  const Rect inner{item.box.left + margin, item.box.top + m_g.pixelRatio, item.box.right - margin,
                   item.box.bottom - m_g.pixelRatio};
  if (!item.wrap) {
    if (item.firstColumn == item.lastColumn) {
      m_canvas.drawText(item.text, item.font, item.colour, inner, item.align, clipRect);
      return;
    }
    // A text running over its neighbours takes each column's selection
    // state, so it stays readable where it leaves or enters the selection.
    const int ownColumn = item.ownColumn;
    for (int c = item.firstColumn; c <= item.lastColumn; ++c) {
      const Rect column{columnX(*item.pane, c), item.span.top, columnX(*item.pane, c + 1),
                        item.span.bottom};
      const Rect part = platform::intersection(column, clipRect);
      if (part.isEmpty())
        continue;
      const bool flip = m_selection.inverted(item.row, c) != m_selection.inverted(item.row, ownColumn);
      m_canvas.drawText(item.text, item.font, flip ? item.colour ^ kInvert : item.colour, inner,
                        item.align, part);
    }
    return;
  }
  const int lineHeight = std::max(1, platform::textMetrics().fontMetrics(item.font).heightPx);
  // Only the lines the cell can show are broken: a long text costs what is seen.
  const size_t shown = static_cast<size_t>(std::max(1, inner.height() / lineHeight + 1));
  const std::vector<model::TextLine> lines =
      model::wrapText(item.text, item.font, std::max(1, inner.width()), shown + 1);
  const int total = lineHeight * static_cast<int>(lines.size());
  int y = inner.top;
  if (item.align & platform::kTextVCentre)
    y = inner.top + (inner.height() - total) / 2;
  else if (item.align & platform::kTextBottom)
    y = inner.bottom - total;
  y = std::max(y, inner.top);
  const unsigned horizontal = item.align & (platform::kTextCentre | platform::kTextRight);
  const std::u16string_view text = item.text;
  for (const model::TextLine& line : lines) {
    if (y >= inner.bottom)
      break;
    m_canvas.drawText(text.substr(line.start, line.length), item.font, item.colour,
                      {inner.left, y, inner.right, y + lineHeight}, horizontal, clipRect);
    y += lineHeight;
  }
}

model::Border Painter::edgeBorder(int row, int column, bool rightEdge) {
  // The edge after the cell: its own right (bottom) border, else the
  // neighbour's left (top) one.
  const auto r = static_cast<std::uint16_t>(row);
  const auto c = static_cast<std::uint8_t>(column);
  const model::CellRecord* cell = model::cell_at(m_sheet, r, c);
  const model::Border own = formatAt(row, column, cell).borders[rightEdge ? 1 : 3];
  if (own.style != 0)
    return own;
  if (rightEdge ? column >= model::kMaxColumn : row >= model::kMaxRow)
    return own;
  const int nr = rightEdge ? row : row + 1;
  const int nc = rightEdge ? column + 1 : column;
  const model::CellRecord* next =
      model::cell_at(m_sheet, static_cast<std::uint16_t>(nr), static_cast<std::uint8_t>(nc));
  return formatAt(nr, nc, next).borders[rightEdge ? 0 : 2];
}

void Painter::drawEdge(bool vertical, int at, int from, int to, const model::Border& b) {
  const BorderStroke s = borderStroke(b.style);
  if (s.style == PenStyle::None)
    return;
  const Colour colour = paletteColour(m_book, b.colour, platform::kBlack);
  const int k = m_g.pixelRatio;
  const auto line = [&](int offset, int width) {
    m_canvas.setPen(Pen{s.style, width * k, colour});
    // A wide pen is centred on its line: keep it on the cell's side.
    const int p = at - offset * k - (width * k - 1) / 2;
    if (vertical)
      m_canvas.drawLine({p, from}, {p, to});
    else
      m_canvas.drawLine({from, p}, {to, p});
  };
  line(s.mainOffset, s.width);
  if (s.extraOffset != 0)
    line(s.extraOffset, 1);
}

void Painter::paintPane(const Pane& pane) {
  const Rect paneClip = platform::intersection(pane.rect, m_invalid);
  if (paneClip.isEmpty() || pane.rows.empty() || pane.columns.empty())
    return;
  m_canvas.setClip(paneClip);
  std::vector<char> mergeDone(m_sheet.mergedRanges.size(), 0);
  std::vector<TextItem> texts;
  const bool gridlines = (m_sheet.flags & model::kSheetShowGridlines) != 0;

  // Fills first, then lines, then texts on top, so a text that runs into a
  // neighbour is not painted over by that neighbour's fill.
  for (const Line& row : pane.rows) {
    if (row.start >= paneClip.bottom || row.start + row.size <= paneClip.top)
      continue;
    const auto r = static_cast<std::uint16_t>(row.index);
    // Texts may run in from cells beside the damaged area, so the row's
    // texts are laid out across the whole pane.
    for (const Line& col : pane.columns) {
      const auto c = static_cast<std::uint8_t>(col.index);
      const Rect cellRect{col.start, row.start, col.start + col.size, row.start + row.size};
      const int merged = model::merged_range_at(m_sheet, r, c);
      if (merged >= 0) {
        if (mergeDone[static_cast<size_t>(merged)])
          continue;
        mergeDone[static_cast<size_t>(merged)] = 1;
        const model::CellRange& m = m_sheet.mergedRanges[static_cast<size_t>(merged)];
        const Rect whole = mergedRect(pane, m);
        model::CellRecord* anchor = model::cell_at(m_sheet, m.firstRow, m.firstColumn);
        const bool selected = m_selection.inverted(m.firstRow, m.firstColumn);
        if (whole.intersects(paneClip))
          fillCell(platform::intersection(whole, paneClip), formatAt(m.firstRow, m.firstColumn, anchor),
                   selected);
        TextItem item;
        if (anchor && !isEmptyCell(anchor) && layoutText(pane, *anchor, whole, selected, item))
          texts.push_back(std::move(item));
        continue;
      }
      model::CellRecord* cell = model::cell_at(m_sheet, r, c);
      const bool selected = m_selection.inverted(r, c);
      if (cellRect.intersects(paneClip))
        fillCell(cellRect, formatAt(r, c, cell), selected);
      TextItem item;
      if (!isEmptyCell(cell) && layoutText(pane, *cell, cellRect, selected, item))
        texts.push_back(std::move(item));
    }
  }

  // The edges of a row that lie under a text running over them. Texts are
  // taken in row order (merged ranges enter at the row where the pane meets
  // them, so the list itself is not quite sorted), each row's run once.
  std::vector<size_t> byRow(texts.size());
  for (size_t i = 0; i < byRow.size(); ++i)
    byRow[i] = i;
  std::stable_sort(byRow.begin(), byRow.end(), [&](size_t a, size_t b) { return texts[a].row < texts[b].row; });
  std::bitset<model::kColumnCount> coveredEdges;
  size_t nextText = 0;
  const auto coverRow = [&](int row) {
    coveredEdges.reset();
    while (nextText < byRow.size() && texts[byRow[nextText]].row < row)
      ++nextText;
    for (size_t i = nextText; i < byRow.size() && texts[byRow[i]].row == row; ++i) {
      const TextItem& t = texts[byRow[i]];
      for (int c = std::max(0, t.firstColumn); c < t.lastColumn && c < model::kColumnCount; ++c)
        coveredEdges.set(static_cast<size_t>(c));
    }
  };
  const auto insideText = [&](int column) { return coveredEdges.test(static_cast<size_t>(column)); };
  const auto insideMerge = [&](int row, int column, bool rightEdge) {
    const int m = model::merged_range_at(m_sheet, static_cast<std::uint16_t>(row),
                                         static_cast<std::uint8_t>(column));
    if (m < 0)
      return false;
    const model::CellRange& range = m_sheet.mergedRanges[static_cast<size_t>(m)];
    return rightEdge ? column < range.lastColumn : row < range.lastRow;
  };

  for (const Line& row : pane.rows) {
    if (row.start >= paneClip.bottom || row.start + row.size <= paneClip.top)
      continue;
    coverRow(row.index);
    for (const Line& col : pane.columns) {
      if (col.start >= paneClip.right || col.start + col.size <= paneClip.left)
        continue;
      const int right = col.start + col.size - 1;
      const int bottom = row.start + row.size - 1;
      for (const bool rightEdge : {true, false}) {
        if (insideMerge(row.index, col.index, rightEdge) ||
            (rightEdge && insideText(col.index)))
          continue;
        const model::Border b = edgeBorder(row.index, col.index, rightEdge);
        if (b.style != 0) {
          if (rightEdge)
            drawEdge(true, right, row.start, row.start + row.size, b);
          else
            drawEdge(false, bottom, col.start, col.start + col.size, b);
        } else if (gridlines && !(m_g.page && patterned(row.index, col.index))) {
          if (rightEdge)
            drawGridline(true, right, row.start, row.start + row.size);
          else
            drawGridline(false, bottom, col.start, col.start + col.size);
        }
      }
    }
  }
  if (m_g.page)
    paintLeadingEdges(pane, gridlines, insideMerge);

  for (const TextItem& t : texts)
    if (t.span.intersects(paneClip))
      drawText(t, paneClip);
  if (!m_g.page)
    paintCommentMarks(pane);
}

bool Painter::patterned(int row, int column) {
  const model::CellRecord* cell =
      model::cell_at(m_sheet, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
  return formatAt(row, column, cell).fillPattern != 0;
}

void Painter::drawGridline(bool vertical, int at, int from, int to) {
  // A page draws the gridline in the palette's grey, so a workbook that
  // changed that colour prints with its own.
  const Colour colour = m_g.page ? paletteColour(m_book, 22, kLightGrey) : kLightGrey;
  const int width = m_g.pixelRatio;
  m_canvas.setPen(Pen{PenStyle::Solid, width, colour});
  const int p = at - (width - 1) / 2;
  if (vertical)
    m_canvas.drawLine({p, from}, {p, to});
  else
    m_canvas.drawLine({from, p}, {to, p});
}

// A page has no neighbour to draw the left edge of its first column and the
// top edge of its first row, so it draws them itself, in the margin.
template <class InsideMerge>
void Painter::paintLeadingEdges(const Pane& pane, bool gridlines, const InsideMerge& insideMerge) {
  m_canvas.setClip(platform::intersection(
      Rect{m_g.grid.left, m_g.grid.top, pane.rect.right, pane.rect.bottom}, m_invalid));
  const Line& firstColumn = pane.columns.front();
  const Line& firstRow = pane.rows.front();
  const auto leading = [&](int row, int column, bool vertical) {
    if (vertical ? column > 0 : row > 0)
      return edgeBorder(vertical ? row : row - 1, vertical ? column - 1 : column, vertical);
    const model::CellRecord* cell =
        model::cell_at(m_sheet, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
    return formatAt(row, column, cell).borders[vertical ? 0 : 2];
  };
  for (const bool vertical : {true, false}) {
    const auto& lines = vertical ? pane.rows : pane.columns;
    for (const Line& line : lines) {
      const int row = vertical ? line.index : firstRow.index;
      const int column = vertical ? firstColumn.index : line.index;
      if ((vertical ? column > 0 : row > 0) &&
          insideMerge(vertical ? row : row - 1, vertical ? column - 1 : column, vertical))
        continue;
      const int at = (vertical ? firstColumn.start : firstRow.start) - 1;
      const model::Border b = leading(row, column, vertical);
      if (b.style != 0)
        drawEdge(vertical, at, line.start, line.start + line.size, b);
      else if (gridlines && !patterned(row, column))
        drawGridline(vertical, at, line.start, line.start + line.size);
    }
  }
  m_canvas.setClip(platform::intersection(pane.rect, m_invalid));
}

void Painter::paintCommentMarks(const Pane& pane) {
  if (pane.rows.empty() || pane.columns.empty())
    return;
  const int firstRow = pane.rows.front().index, lastRow = pane.rows.back().index;
  const int firstColumn = pane.columns.front().index, lastColumn = pane.columns.back().index;
  m_canvas.setPen(Pen{PenStyle::Solid, 1, kCommentMarkColour});
  for (const model::DrawingObject& o : m_sheet.objects) {
    if (o.kind != model::kObjectComment || o.row < firstRow || o.row > lastRow || o.column < firstColumn ||
        o.column > lastColumn)
      continue;
    // Hidden lines have no place in the pane, and neither has their mark.
    const auto row = std::find_if(pane.rows.begin(), pane.rows.end(), [&](const Line& l) { return l.index == o.row; });
    const auto column =
        std::find_if(pane.columns.begin(), pane.columns.end(), [&](const Line& l) { return l.index == o.column; });
    if (row == pane.rows.end() || column == pane.columns.end())
      continue;
    // Inside a merged range the mark sits at the range's top right corner.
    int right = column->start + column->size;
    int top = row->start;
    const int m = model::merged_range_at(m_sheet, o.row, o.column);
    if (m >= 0) {
      const Rect whole = mergedRect(pane, m_sheet.mergedRanges[static_cast<size_t>(m)]);
      right = whole.right;
      top = whole.top;
    }
    // Five lines of the red pen, five pixels wide at the top.
    for (int i = 0; i < kCommentMarkSize; ++i)
      m_canvas.drawLine({right - 1 - (kCommentMarkSize - 1 - i), top + i}, {right, top + i});
  }
}

void Painter::paintObjects() {
  if (m_sheet.objects.empty())
    return;
  clip(m_g.cells);
  const auto& draw = paintServices().drawObject;
  for (int i = 0; i < static_cast<int>(m_sheet.objects.size()); ++i) {
    const model::DrawingObject& o = m_sheet.objects[static_cast<size_t>(i)];
    // A comment shows as its cell's mark and a pop-up, unless it is kept
    // shown; a page prints neither comments nor the filter's buttons.
    if (o.kind == model::kObjectComment && (!o.visible || m_g.page))
      continue;
    if (o.filterArrow && m_g.page)
      continue;
    const Rect r = objectRect(m_sheet, m_g, i);
    if (!r.intersects(m_invalid))
      continue;
    // The filter's arrows are the grid's own buttons.
    if (o.filterArrow) {
      drawFilterArrow(m_canvas, r, filterArrowActive(m_sheet, o));
      continue;
    }
    if (!draw)
      continue;
    draw(m_canvas, m_book, m_sheet, i, r, m_g.zoom);
    clip(m_g.cells); // the object may have clipped tighter
  }
  const int selected = m_sheet.selectedObject;
  if (!m_overlays.selection || selected < 0 || selected >= static_cast<int>(m_sheet.objects.size()))
    return;
  for (const Point& h : handlePoints(objectRect(m_sheet, m_g, selected)))
    m_canvas.fillRect({h.x - kHandleHalf + 1, h.y - kHandleHalf + 1, h.x + kHandleHalf, h.y + kHandleHalf},
                      Brush::solid(platform::kBlack));
}

// The rubber outline of an object being dragged out: a dotted line, oval or
// rectangle as the object will be.
void Painter::paintNewObjectOutline(const PaintOverlays::NewObject& n) {
  m_canvas.setPen(Pen{PenStyle::Dot, 1, platform::kBlack});
  m_canvas.setBrush(Brush::none());
  if (n.kind == model::kObjectLine) {
    Point a, b;
    drawing::lineEnds(n.rect, n.flip, a, b);
    m_canvas.drawLine(a, b);
  } else if (n.kind == model::kObjectOval) {
    m_canvas.drawEllipse(n.rect);
  } else {
    m_canvas.drawRectangle(n.rect);
  }
}

// A comment over the sheet: its box where its anchor puts it, joined to the
// mark of its cell by a thin line.
void Painter::paintCommentPopup(int index) {
  if (index < 0 || index >= static_cast<int>(m_sheet.objects.size()))
    return;
  const model::DrawingObject& c = m_sheet.objects[static_cast<size_t>(index)];
  if (c.kind != model::kObjectComment)
    return;
  const Rect box = objectRect(m_sheet, m_g, index);
  if (box.isEmpty())
    return;
  const Rect cell = cellRect(m_sheet, m_g, c.row, c.column);
  if (!cell.isEmpty()) {
    m_canvas.setPen(Pen{PenStyle::Solid, 1, platform::kBlack});
    m_canvas.drawLine({cell.right - 1, cell.top}, {box.left, box.top + std::min(box.height() / 4, 10)});
  }
  drawing::drawCommentBox(m_canvas, m_book, c, box, m_g.zoom);
}

void Painter::paintActiveFrame(const std::vector<Pane>& panes) {
  if (!m_selection.shown)
    return;
  const model::CellRange& a = m_selection.active;
  for (const Pane& p : panes) {
    if (p.rows.empty() || p.columns.empty() || a.lastRow < p.rows.front().index ||
        a.firstRow > p.rows.back().index || a.lastColumn < p.columns.front().index ||
        a.firstColumn > p.columns.back().index)
      continue;
    const Rect r = mergedRect(p, a);
    if (r.isEmpty())
      continue; // hidden
    clip(p.rect);
    // Two black pixels inside the cell's own rectangle (over its right and
    // bottom gridlines), so repainting the cell alone takes the frame away.
    m_canvas.setPen(Pen{PenStyle::Solid, 1, platform::kBlack});
    m_canvas.setBrush(Brush::none());
    m_canvas.drawRectangle(r);
    m_canvas.drawRectangle({r.left + 1, r.top + 1, r.right - 1, r.bottom - 1});
  }
}

// Dashes that move round the copied range: white under black, so they show
// on any fill; the phase shifts them along the edges a step per tick.
void Painter::paintCopyOutline(const Rect& r, int phase) {
  if (r.isEmpty())
    return;
  constexpr int kDash = 4;
  m_canvas.setBrush(Brush::none());
  m_canvas.setPen(Pen{PenStyle::Solid, 2, platform::kWhite});
  m_canvas.drawRectangle(r);
  m_canvas.setPen(Pen{PenStyle::Solid, 2, platform::kBlack});
  const int shift = ((phase % (2 * kDash)) + 2 * kDash) % (2 * kDash);
  const auto dashes = [&](int from, int to, auto point) {
    for (int p = from - 2 * kDash + shift; p < to; p += 2 * kDash) {
      const int a = std::max(p, from), b = std::min(p + kDash, to);
      if (a < b)
        m_canvas.drawLine(point(a), point(b));
    }
  };
  dashes(r.left, r.right, [&](int x) { return Point{x, r.top}; });
  dashes(r.left, r.right, [&](int x) { return Point{x, r.bottom - 1}; });
  dashes(r.top, r.bottom, [&](int y) { return Point{r.left, y}; });
  dashes(r.top, r.bottom, [&](int y) { return Point{r.right - 1, y}; });
}

void Painter::paintInputMessage(const PaintOverlays::InputMessage& m) {
  const Rect box = inputMessageRect(m_sheet, m_g, m);
  if (box.isEmpty() || !box.intersects(m_invalid))
    return;
  m_canvas.setPen(Pen{PenStyle::Solid, 1, platform::kBlack});
  m_canvas.setBrush(Brush::solid(0xE1FFFF)); // pale yellow, 0x00BBGGRR
  m_canvas.drawRectangle(box);
  int y = box.top + kMessagePadding;
  const auto line = [&](std::u16string_view text, const platform::FontSpec& font) {
    m_canvas.drawText(text, font, platform::kBlack,
                      {box.left + kMessagePadding, y, box.right - kMessagePadding, y + kMessageLine},
                      platform::kTextLeft | platform::kTextVCentre, platform::intersection(box, m_invalid));
    y += kMessageLine;
  };
  if (!m.title.empty())
    line(m.title, m_g.uiBoldFont);
  for (size_t start = 0; start <= m.text.size() && y < box.bottom;) {
    const size_t end = std::min(m.text.find(u'\n', start), m.text.size());
    line(std::u16string_view(m.text).substr(start, end - start), m_g.uiFont);
    start = end + 1;
  }
}

void Painter::paintOverlays() {
  clip(m_g.cells);
  if (const std::optional<model::CellRange>& p = m_overlays.pointRange) {
    const Rect a = cellRect(m_sheet, m_g, p->firstRow, p->firstColumn);
    const Rect b = cellRect(m_sheet, m_g, p->lastRow, p->lastColumn);
    if (!a.isEmpty() && !b.isEmpty()) {
      m_canvas.setPen(Pen{PenStyle::Dash, 2, 0xFF0000});
      m_canvas.setBrush(Brush::none());
      m_canvas.drawRectangle({a.left, a.top, b.right, b.bottom});
    }
  }
  if (const std::optional<model::CellRange>& c = m_overlays.copyOutline)
    paintCopyOutline(copyOutlineRect(m_sheet, m_g, *c), m_overlays.copyPhase);
  if (const std::optional<Rect>& r = m_overlays.objectOutline) {
    m_canvas.setPen(Pen{PenStyle::Dot, 1, platform::kBlack});
    m_canvas.setBrush(Brush::none());
    m_canvas.drawRectangle(*r);
  }
  if (const auto& n = m_overlays.newObject)
    paintNewObjectOutline(*n);
  if (m_overlays.commentPopup)
    paintCommentPopup(*m_overlays.commentPopup);
  if (const auto& a = m_overlays.listArrow)
    if (const Rect r = listArrowRect(m_sheet, m_g, a->row, a->column); !r.isEmpty() && r.intersects(m_invalid))
      drawFilterArrow(m_canvas, r, false);
  if (const auto& m = m_overlays.inputMessage)
    paintInputMessage(*m);
  clip(m_g.grid);
  m_canvas.setPen(Pen{PenStyle::Solid, 1, platform::kBlack});
  if (m_overlays.columnSizingLine)
    m_canvas.drawLine({*m_overlays.columnSizingLine, m_g.grid.top}, {*m_overlays.columnSizingLine, m_g.grid.bottom});
  if (m_overlays.rowSizingLine)
    m_canvas.drawLine({m_g.grid.left, *m_overlays.rowSizingLine}, {m_g.grid.right, *m_overlays.rowSizingLine});
}

void Painter::paintTabs() {
  const Rect bar = m_g.tabBar;
  if (bar.isEmpty() || !bar.intersects(m_invalid))
    return;
  clip(bar);
  m_canvas.fillRect(bar, Brush::solid(kLightGrey));
  for (int i = 0; i < 2; ++i) {
    const Rect b{bar.left + i * kTabArrowWidth, bar.top, bar.left + (i + 1) * kTabArrowWidth,
                 bar.bottom};
    paintButton(b, {}, false);
    const int cx = (b.left + b.right) / 2, cy = (b.top + b.bottom) / 2;
    const Point left[3] = {{cx - 2, cy}, {cx + 2, cy - 4}, {cx + 2, cy + 4}};
    const Point right[3] = {{cx + 2, cy}, {cx - 2, cy - 4}, {cx - 2, cy + 4}};
    m_canvas.setPen(Pen{PenStyle::Solid, 1, platform::kBlack});
    m_canvas.setBrush(Brush::solid(platform::kBlack));
    m_canvas.drawPolygon(i == 0 ? left : right);
  }
  for (const TabPlace& t : tabPlaces(m_book, m_g)) {
    const model::Sheet& s = m_book.sheet(t.sheet);
    const int x = t.left, w = t.width;
    const bool active = t.sheet == m_book.activeSheet;
    const bool coloured = s.tabColour != 0;
    const Colour tabColour = paletteColour(m_book, s.tabColour, kLightGrey);
    const Colour fill = active ? platform::kWhite : coloured ? tabColour : kLightGrey;
    const Point shape[4] = {{x, bar.top}, {x + w, bar.top}, {x + w - 4, bar.bottom - 1},
                            {x + 4, bar.bottom - 1}};
    m_canvas.setPen(Pen{PenStyle::Solid, 1, platform::kBlack});
    m_canvas.setBrush(Brush::solid(fill));
    m_canvas.drawPolygon(shape);
    if (active && coloured) {
      m_canvas.setPen(Pen{PenStyle::Solid, 2, tabColour});
      m_canvas.drawLine({x + 5, bar.bottom - 3}, {x + w - 5, bar.bottom - 3});
    }
    const int sum = static_cast<int>((fill & 0xFF) + ((fill >> 8) & 0xFF) + ((fill >> 16) & 0xFF));
    m_canvas.drawText(s.name, m_g.tabFont, sum < 382 ? platform::kWhite : platform::kBlack,
                      {x, bar.top, x + w, bar.bottom}, platform::kTextCentre | platform::kTextVCentre,
                      platform::intersection(bar, m_invalid));
  }
}

void Painter::run() {
  m_book.circular = 0;
  if (!m_g.hasGrid) {
    clip(m_g.grid);
    m_canvas.fillRect(platform::intersection(m_g.grid, m_invalid), Brush::solid(platform::kWhite));
    if (const auto& chart = paintServices().drawChartSheet)
      chart(m_canvas, m_book, m_g.sheet, m_g.grid);
    paintTabs();
    return;
  }
  const Rect& cells = m_g.cells;
  const int splitX = cells.left + m_g.frozenWidth;
  const int splitY = cells.top + m_g.frozenHeight;
  const int frozenFirstColumn = m_g.frozenWidth > 0 ? m_sheet.frozenColumn : 0;
  const int frozenFirstRow = m_g.frozenHeight > 0 ? m_sheet.frozenRow : 0;

  std::vector<Pane> panes;
  for (const bool frozenRows : {true, false}) {
    for (const bool frozenColumns : {true, false}) {
      if ((frozenRows && m_g.frozenHeight <= 0) || (frozenColumns && m_g.frozenWidth <= 0))
        continue;
      Pane p;
      p.rect = {frozenColumns ? cells.left : splitX, frozenRows ? cells.top : splitY,
                frozenColumns ? splitX : cells.right, frozenRows ? splitY : cells.bottom};
      const int firstColumn = frozenColumns ? frozenFirstColumn : m_g.leftColumn;
      const int firstRow = frozenRows ? frozenFirstRow : m_g.topRow;
      p.columns = visibleColumns(m_sheet, m_g, firstColumn,
                                 frozenColumns ? m_g.firstScrollColumn : model::kColumnCount,
                                 p.rect.left, p.rect.right);
      p.rows = visibleRows(m_sheet, m_g, firstRow, frozenRows ? m_g.firstScrollRow : model::kRowCount,
                           p.rect.top, p.rect.bottom);
      p.xOrigin = p.rect.left - model::column_offset_px(m_sheet, firstColumn, 0, m_g.scale);
      p.yOrigin = p.rect.top - model::row_offset_px(m_sheet, firstRow, 0, m_g.scale);
      panes.push_back(std::move(p));
    }
  }

  for (const Pane& p : panes) {
    clip(p.rect);
    // The part of a pane past the last line is the window's background.
    m_canvas.fillRect(platform::intersection(p.rect, m_invalid), Brush::solid(platform::kWhite));
    paintPane(p);
  }
  clip(cells);
  m_canvas.setPen(Pen{PenStyle::Solid, 1, platform::kBlack});
  if (m_g.frozenWidth > 0)
    m_canvas.drawLine({splitX - 1, cells.top}, {splitX - 1, cells.bottom});
  if (m_g.frozenHeight > 0)
    m_canvas.drawLine({cells.left, splitY - 1}, {cells.right, splitY - 1});
  paintActiveFrame(panes);
  paintObjects();
  paintOverlays();

  paintHeaders(panes);
  if (m_g.headerHeight > 0 && m_book.circular) {
    const Rect corner{m_g.grid.left, m_g.grid.top, m_g.cells.left, m_g.cells.top};
    clip(corner);
    m_canvas.drawText(u"CIR", m_g.uiFont, platform::kBlack, corner,
                      platform::kTextCentre | platform::kTextVCentre,
                      platform::intersection(corner, m_invalid));
  }
  paintTabs();
  if (!m_g.cornerBox.isEmpty() && m_g.cornerBox.intersects(m_invalid)) {
    clip(m_g.cornerBox);
    m_canvas.fillRect(m_g.cornerBox, Brush::solid(kLightGrey));
  }
}

} // namespace

const platform::PatternBits& fillPatternBits(int pattern) {
  return pattern >= 2 && pattern <= 18 ? kPatterns[pattern] : kPatterns[0];
}

BorderStroke borderStroke(int style) {
  return style >= 0 && style < 14 ? kBorderStrokes[style] : kBorderStrokes[0];
}

Colour paletteColour(const model::Workbook& book, int index, Colour automatic) {
  return index >= 0 && index < 64 ? book.palette[static_cast<size_t>(index)] & 0xFFFFFF : automatic;
}

Rect listArrowRect(const model::Sheet& sheet, const GridLayout& g, int row, int column) {
  const Rect cell = cellRect(sheet, g, row, column);
  if (cell.isEmpty())
    return {};
  const int side = std::min(cell.height(), 16);
  return {cell.right + 1, cell.bottom - side, cell.right + 1 + side, cell.bottom};
}

Rect inputMessageRect(const model::Sheet& sheet, const GridLayout& g, const PaintOverlays::InputMessage& m) {
  const Rect cell = cellRect(sheet, g, m.row, m.column);
  if (cell.isEmpty())
    return {};
  const int lines = (m.title.empty() ? 0 : 1) + 1 + static_cast<int>(std::count(m.text.begin(), m.text.end(), u'\n'));
  const int left = cell.left + (cell.right - cell.left) / 2;
  const int top = cell.bottom + 4;
  return {left, top, left + kMessageWidth, top + 2 * kMessagePadding + std::min(lines, 8) * kMessageLine};
}

PaintServices& paintServices() {
  static PaintServices services;
  return services;
}

void paint(Canvas& canvas, model::Workbook& book, const GridLayout& layout, const Rect& invalid,
           const PaintOverlays& overlays) {
  if (layout.sheet < 0 || layout.sheet >= book.sheetCount()) {
    canvas.setClip(invalid);
    canvas.fillRect(platform::intersection(layout.client, invalid), Brush::solid(kDarkGrey));
    return;
  }
  Painter(canvas, book, layout, invalid, overlays).run();
}

void paintSheetPicture(Canvas& canvas, model::Workbook& book, int sheet, int width, int height) {
  LayoutInput in;
  in.client = {0, 0, width, height};
  const GridLayout layout = relayout(book, sheet, in);
  // The scroll controls are widgets of the window, not painted here: their
  // strips show as the window's face.
  canvas.setClip(in.client);
  canvas.fillRect(in.client, Brush::solid(kLightGrey));
  PaintOverlays overlays;
  overlays.selection = false;
  paint(canvas, book, layout, in.client, overlays);
}

} // namespace view

#include "view/pickers.h"

#include "model/workbook.h"
#include "view/control_paint.h"
#include "view/grid_painter.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace view {

using platform::Brush;
using platform::Canvas;
using platform::Colour;
using platform::Pen;
using platform::PenStyle;
using platform::Point;
using platform::Rect;

namespace {

struct KindInfo {
  PickerGrid grid;
  Point dialogUnits; // the list's size
};

// Indexed by PickerKind. Only the colour list's size is fixed by the dialogs
// that use it; the others give each cell room for its sample.
// clang-format off
constexpr KindInfo kKinds[] = {
    {{8, 8}, {72, 67}}, // colour
    {{3, 7}, {54, 70}}, // pattern
    {{2, 5}, {96, 60}}, // line
    {{2, 7}, {96, 84}}, // border
    {{2, 3}, {80, 36}}, // arrow head
    {{2, 5}, {64, 60}}, // marker
};
// clang-format on

const KindInfo& infoOf(PickerKind kind) { return kKinds[static_cast<int>(kind)]; }

// The line list's own samples; the dialogs translate them to the styles of
// the objects they edit. 0 is "无".
struct LineSample {
  PenStyle style;
  int width;
};
// clang-format off
constexpr LineSample kLineSamples[10] = {
    {PenStyle::None,       0},
    {PenStyle::Solid,      1},
    {PenStyle::Dash,       1},
    {PenStyle::Dot,        1},
    {PenStyle::DashDot,    1},
    {PenStyle::DashDotDot, 1},
    {PenStyle::Alternate,  1},
    {PenStyle::Solid,      2},
    {PenStyle::Solid,      3},
    {PenStyle::Dash,       2},
};
// clang-format on

constexpr unsigned kCentred = platform::kTextCentre | platform::kTextVCentre;

Rect inset(const Rect& r, int by) { return {r.left + by, r.top + by, r.right - by, r.bottom - by}; }
Point centreOf(const Rect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

Colour colourOf(const PickerLook& look, int index) {
  if (look.book)
    return paletteColour(*look.book, index, platform::kBlack);
  return model::kDefaultPalette[static_cast<size_t>(index)] & 0xFFFFFF;
}

void drawLabel(Canvas& canvas, std::u16string_view text, const Rect& r, const PickerLook& look) {
  canvas.drawText(text, look.font, platform::kBlack, r, kCentred, r);
}

void swatch(Canvas& canvas, const Rect& r, const Brush& brush) {
  canvas.setPen(Pen{PenStyle::Solid, 1, kShadowGrey});
  canvas.setBrush(brush);
  canvas.drawRectangle(r);
}

void sampleLine(Canvas& canvas, const Rect& r, const Pen& pen, int offset) {
  canvas.setPen(pen);
  const int y = centreOf(r).y - offset;
  canvas.drawLine({r.left + 3, y}, {r.right - 3, y});
}

// The marker shapes of charts, in the kind numbers of chart files:
// 1 square, 2 diamond, 3 triangle, 4 X, 5 star, 6 short dash, 7 long dash,
// 8 circle, 9 plus; an 8-pixel square around the centre.
void drawMarkerSample(Canvas& canvas, int kind, Point c) {
  const Rect box{c.x - 3, c.y - 3, c.x + 5, c.y + 5};
  canvas.setPen(Pen{PenStyle::Solid, 1, platform::kBlack});
  canvas.setBrush(Brush::solid(platform::kWhite));
  switch (kind) {
  case 1: canvas.drawRectangle(box); break;
  case 2: {
    const Point p[] = {{c.x, c.y - 3}, {c.x + 4, c.y}, {c.x, c.y + 4}, {c.x - 3, c.y}};
    canvas.drawPolygon(p);
    break;
  }
  case 3: {
    const Point p[] = {{c.x, c.y - 3}, {c.x + 4, c.y + 4}, {c.x - 3, c.y + 4}};
    canvas.drawPolygon(p);
    break;
  }
  case 5: canvas.drawLine({c.x, c.y - 3}, {c.x, c.y + 5}); [[fallthrough]];
  case 4:
    canvas.drawLine({c.x - 3, c.y - 3}, {c.x + 5, c.y + 5});
    canvas.drawLine({c.x - 3, c.y + 4}, {c.x + 5, c.y - 4});
    break;
  case 6: canvas.fillRect({c.x - 1, c.y, c.x + 3, c.y + 2}, Brush::solid(platform::kBlack)); break;
  case 7: canvas.fillRect({c.x - 3, c.y, c.x + 4, c.y + 2}, Brush::solid(platform::kBlack)); break;
  case 8: canvas.drawEllipse(box); break;
  case 9:
    canvas.drawLine({c.x - 3, c.y}, {c.x + 5, c.y});
    canvas.drawLine({c.x, c.y - 3}, {c.x, c.y + 5});
    break;
  default: break;
  }
}

// A short line ending at the right in one of the drawing objects' arrow
// heads: 0 none, 1 triangle, 2 stealth, 3 diamond, 4 oval, 5 open.
void drawArrowSample(Canvas& canvas, int kind, const Rect& r) {
  const int y = centreOf(r).y;
  const int tip = r.right - 5;
  const int start = r.left + 5;
  if (tip <= start)
    return;
  canvas.setPen(Pen{PenStyle::Solid, 1, platform::kBlack});
  canvas.setBrush(Brush::solid(platform::kBlack));
  canvas.drawLine({start, y}, {kind == 0 || kind == 5 ? tip : tip - 4, y});
  switch (kind) {
  case 1: {
    const Point p[] = {{tip, y}, {tip - 7, y - 3}, {tip - 7, y + 3}};
    canvas.drawPolygon(p);
    break;
  }
  case 2: {
    const Point p[] = {{tip, y}, {tip - 8, y - 4}, {tip - 5, y}, {tip - 8, y + 4}};
    canvas.drawPolygon(p);
    break;
  }
  case 3: {
    const Point p[] = {{tip, y}, {tip - 4, y - 4}, {tip - 8, y}, {tip - 4, y + 4}};
    canvas.drawPolygon(p);
    break;
  }
  case 4: canvas.drawEllipse({tip - 7, y - 3, tip + 1, y + 4}); break;
  case 5:
    canvas.drawLine({tip, y}, {tip - 5, y - 4});
    canvas.drawLine({tip, y}, {tip - 5, y + 4});
    break;
  default: break;
  }
}

} // namespace

PickerGrid pickerGrid(PickerKind kind) { return infoOf(kind).grid; }

std::vector<PickerCell> pickerCells(PickerKind kind, int option) {
  const PickerGrid g = pickerGrid(kind);
  std::vector<PickerCell> cells;
  int firstRow = 0;
  if (kind == PickerKind::Colour) {
    if (option != 0) {
      cells.push_back({0, 0, 4, kColourAutomatic});
      cells.push_back({4, 0, 4, kColourNone});
    } else {
      cells.push_back({0, 0, 8, kColourAutomatic});
    }
    firstRow = 1;
  } else if (kind == PickerKind::Pattern) {
    cells.push_back({0, 0, 3, 0});
    firstRow = 1;
  }
  for (int row = firstRow; row < g.rows; ++row) {
    for (int column = 0; column < g.columns; ++column) {
      const int index = row * g.columns + column;
      int value = index;
      if (kind == PickerKind::Pattern)
        value = index - 2;
      else if (kind == PickerKind::Border)
        value = kBorderStyleOfCell[index];
      cells.push_back({column, row, 1, value});
    }
  }
  return cells;
}

std::optional<int> pickerValueAt(PickerKind kind, int option, int column, int row) {
  for (const PickerCell& c : pickerCells(kind, option))
    if (row == c.row && column >= c.column && column < c.column + c.span)
      return c.value;
  return std::nullopt;
}

Point pickerListDialogUnits(PickerKind kind) { return infoOf(kind).dialogUnits; }

Point pickerListSize(PickerKind kind, int baseUnitX, int baseUnitY) {
  const Point du = pickerListDialogUnits(kind);
  return {std::max(0, platform::mulDiv(du.x, baseUnitX, 4)),
          std::max(0, platform::mulDiv(du.y, baseUnitY, 8))};
}

Rect placePickerList(const Rect& button, Point size, const Rect& workArea) {
  const int roomBelow = workArea.bottom - button.bottom;
  const int roomAbove = button.top - workArea.top;
  const bool below = size.y <= roomBelow || (size.y > roomAbove && roomBelow >= roomAbove);
  const int top = below ? button.bottom : button.top - size.y;
  int left = button.left;
  if (left + size.x > workArea.right)
    left = workArea.right - size.x;
  left = std::max(left, workArea.left);
  return {left, top, left + size.x, top + size.y};
}

void paintPickerSample(Canvas& canvas, PickerKind kind, int value, const Rect& r,
                       const PickerLook& look) {
  if (r.isEmpty())
    return;
  switch (kind) {
  case PickerKind::Colour:
    if (value == kColourAutomatic)
      drawLabel(canvas, u"自动", r, look);
    else if (value == kColourNone)
      drawLabel(canvas, u"无", r, look);
    else if (value >= 8 && value < 64)
      swatch(canvas, r, Brush::solid(colourOf(look, value)));
    break;
  case PickerKind::Pattern:
    if (value == 0)
      drawLabel(canvas, u"无", r, look);
    else if (value == 1)
      swatch(canvas, r, Brush::solid(platform::kBlack));
    else if (value >= 2 && value <= 18)
      swatch(canvas, r,
             Brush::patterned(fillPatternBits(value), platform::kBlack, platform::kWhite));
    break;
  case PickerKind::Line:
    if (value == 0)
      drawLabel(canvas, u"无", r, look);
    else if (value > 0 && value < 10)
      sampleLine(canvas, r,
                 Pen{kLineSamples[value].style, kLineSamples[value].width, platform::kBlack}, 0);
    break;
  case PickerKind::Border: {
    if (value == 0) {
      drawLabel(canvas, u"无", r, look);
      break;
    }
    const BorderStroke s = borderStroke(value);
    if (s.style == PenStyle::None)
      break;
    sampleLine(canvas, r, Pen{s.style, s.width, platform::kBlack}, s.mainOffset);
    if (s.extraOffset != 0)
      sampleLine(canvas, r, Pen{s.style, 1, platform::kBlack}, s.extraOffset);
    break;
  }
  case PickerKind::Arrow:
    if (value >= 0 && value < 6)
      drawArrowSample(canvas, value, r);
    break;
  case PickerKind::Marker:
    if (value == 0)
      drawLabel(canvas, u"无", r, look);
    else if (value > 0 && value < 10)
      drawMarkerSample(canvas, value, centreOf(r));
    break;
  }
}

// ---- button ----

PickerButton::PickerButton(PickerHost& host, PickerKind kind, int controlId)
    : m_host(host), m_kind(kind), m_controlId(controlId) {}

void PickerButton::setValue(int value) {
  m_value = value;
  m_host.invalidate();
}

void PickerButton::choose(int value) {
  setValue(value);
  m_host.notifyParent(app::makeWParam(static_cast<unsigned>(m_controlId), kPickerSelectionChange));
}

app::LResult PickerButton::handleMessage(unsigned msg, app::WParam wParam, app::LParam) {
  // The values travel in wParam as the system's combo boxes take an index,
  // so -1 arrives as all bits set.
  const int signedParam = static_cast<int>(static_cast<std::intptr_t>(wParam));
  switch (msg) {
  case app::CB_GETCURSEL: return m_value;
  case app::CB_SETCURSEL: setValue(signedParam); return m_value;
  case app::CB_GETTOPINDEX: return m_option;
  case app::CB_SETTOPINDEX: setOption(signedParam); return 0;
  default: return 0;
  }
}

Rect PickerButton::arrowRect(const Rect& r) {
  const Rect inner = inset(r, 2);
  // Wide enough for the 7-pixel triangle with a margin even on a flat button.
  const int width = std::clamp(std::max(inner.height(), 12), 0, std::max(0, inner.width()));
  return {inner.right - width, inner.top, inner.right, inner.bottom};
}

Rect PickerButton::valueRect(const Rect& r) {
  const Rect inner = inset(r, 2);
  return {inner.left + 2, inner.top + 2, arrowRect(r).left - 2, inner.bottom - 2};
}

void PickerButton::paint(Canvas& canvas, const Rect& r, const PickerLook& look) const {
  if (r.isEmpty())
    return;
  canvas.setClip(r);
  canvas.fillRect(r, Brush::solid(platform::kWhite));
  drawSunkenFrame(canvas, r);
  const Rect arrow = arrowRect(r);
  drawRaisedBox(canvas, arrow);
  drawArrowTriangle(canvas, centreOf(arrow), ArrowDirection::Down, platform::kBlack);
  const Rect value = valueRect(r);
  if (!value.isEmpty()) {
    canvas.setClip(value);
    paintPickerSample(canvas, m_kind, m_value, value, look);
  }
}

// ---- list ----

PickerList::PickerList(PickerButton& owner, Point size) : m_owner(owner), m_size(size) {}

Rect PickerList::cellRect(const PickerCell& cell) const {
  const PickerGrid g = pickerGrid(m_owner.kind());
  const Rect inner = inset(bounds(), 1);
  const auto x = [&](int column) { return inner.left + column * inner.width() / g.columns; };
  const auto y = [&](int row) { return inner.top + row * inner.height() / g.rows; };
  return {x(cell.column), y(cell.row), x(cell.column + cell.span), y(cell.row + 1)};
}

std::optional<int> PickerList::hitTest(Point p) const {
  for (const PickerCell& c : pickerCells(m_owner.kind(), m_owner.option()))
    if (cellRect(c).contains(p))
      return c.value;
  return std::nullopt;
}

bool PickerList::leftPress(Point p) {
  const std::optional<int> value = hitTest(p);
  if (!value)
    return false;
  m_owner.choose(*value);
  return true;
}

void PickerList::paint(Canvas& canvas, const PickerLook& look) const {
  const Rect all = bounds();
  if (all.isEmpty())
    return;
  canvas.setClip(all);
  canvas.fillRect(all, Brush::solid(platform::kWhite));
  canvas.setPen(Pen{PenStyle::Solid, 1, platform::kBlack});
  canvas.setBrush(Brush::none());
  canvas.drawRectangle(all);

  const PickerKind kind = m_owner.kind();
  for (const PickerCell& c : pickerCells(kind, m_owner.option())) {
    const Rect cell = cellRect(c);
    const Rect sample = inset(cell, 2);
    canvas.setClip(cell);
    if (kind == PickerKind::Colour && c.value == kColourAutomatic && c.span < 8)
      drawLabel(canvas, u"Auto", sample, look);
    else
      paintPickerSample(canvas, kind, c.value, sample, look);
    if (c.value == m_owner.value()) {
      canvas.setPen(Pen{PenStyle::Solid, 1, platform::kBlack});
      canvas.setBrush(Brush::none());
      canvas.drawRectangle(cell);
    }
  }
}

} // namespace view

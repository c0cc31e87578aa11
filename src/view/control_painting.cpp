#include "view/control_painting.h"

#include "model/set_cell.h"
#include "model/sheet.h"
#include "model/workbook.h"
#include "view/control_paint.h"
#include "view/paint_services.h"

#include <algorithm>

namespace view {

using drawing::controlOf;
using drawing::ControlPayload;
using drawing::kControlNumberLimit;
using drawing::ListSelection;

using platform::Brush;
using platform::Canvas;
using platform::Pen;
using platform::PenStyle;
using platform::Point;
using platform::Rect;

namespace {

constexpr platform::Colour kHighlight = 0x800000; // navy
constexpr platform::Colour kTrack = 0xE0E0E0;
constexpr int kBoxSize = 13;
constexpr int kComboButton = 16;

// Screen pixels at the zoom. Lines and frame edges are whole pixels, at
// least one, so frames stay crisp at any size.
struct Scale {
  int zoom;
  explicit Scale(int z) : zoom(std::clamp(z, 1, 10000)) {}
  int px(int n) const { return std::max(1, platform::mulDiv(n, zoom, 100)); }
  int edge() const { return px(1); }
  // The well's frame (two edges) that rows and buttons sit inside.
  int inset() const { return 2 * edge(); }
};

// A rectangle outline `edge` pixels thick, drawn inside `r`.
void outline(Canvas& canvas, const Rect& r, platform::Colour colour, int edge) {
  canvas.setPen(Pen{PenStyle::Solid, 1, colour});
  canvas.setBrush(Brush::none());
  for (int k = 0; k < edge && r.width() > 2 * k && r.height() > 2 * k; ++k)
    canvas.drawRectangle({r.left + k, r.top + k, r.right - k, r.bottom - k});
}

// A sunken white well, or a flat one with a black line.
void well(Canvas& canvas, const Rect& r, bool flat, const Scale& s) {
  canvas.fillRect(r, Brush::solid(platform::kWhite));
  if (flat)
    outline(canvas, r, platform::kBlack, s.edge());
  else
    drawSunkenFrame(canvas, r, s.edge());
}

void caption(Canvas& canvas, std::u16string_view text, const platform::FontSpec& font, const Rect& box, unsigned align,
             const Rect& clip) {
  if (!text.empty() && !box.isEmpty())
    canvas.drawText(text, font, platform::kBlack, box, align, clip);
}

void arrowButton(Canvas& canvas, const Rect& r, ArrowDirection d, const Scale& s) {
  if (r.isEmpty())
    return;
  drawRaisedBox(canvas, r, s.edge());
  drawArrowTriangle(canvas, {(r.left + r.right) / 2, (r.top + r.bottom) / 2}, d, platform::kBlack, s.edge());
}

void drawScrollBar(Canvas& canvas, const Rect& r, const ControlPayload& c, const Scale& s) {
  const bool across = runsAcross(r);
  const ScrollParts p = scrollParts(r, c, s.zoom);
  canvas.fillRect(p.track, Brush::solid(kTrack));
  arrowButton(canvas, p.less, across ? ArrowDirection::Left : ArrowDirection::Up, s);
  arrowButton(canvas, p.more, across ? ArrowDirection::Right : ArrowDirection::Down, s);
  if (!p.thumb.isEmpty())
    drawRaisedBox(canvas, p.thumb, s.edge());
}

// The two halves of a spinner: up and down, or left and right when wide.
std::pair<Rect, Rect> spinnerHalves(const Rect& r) {
  if (runsAcross(r)) {
    const int mid = (r.left + r.right) / 2;
    return {{r.left, r.top, mid, r.bottom}, {mid, r.top, r.right, r.bottom}};
  }
  const int mid = (r.top + r.bottom) / 2;
  return {{r.left, r.top, r.right, mid}, {r.left, mid, r.right, r.bottom}};
}

void drawCheckMark(Canvas& canvas, const Rect& box, platform::Colour colour, const Scale& s) {
  canvas.setPen(Pen{PenStyle::Solid, 1, colour});
  // Two strokes of a tick three units deep, a unit being a pixel at zoom 100.
  const auto at = [&](int x, int y) { return Point{box.left + s.px(x), box.top + s.px(y)}; };
  const Point a = at(3, 5), b = at(5, 7), c = at(10, 2);
  for (int i = 0; i < s.px(3); ++i) {
    canvas.drawLine({a.x, a.y + i}, {b.x, b.y + i});
    canvas.drawLine({b.x, b.y + i}, {c.x, c.y + i});
  }
}

int shownRows(const Rect& r, const Scale& s) {
  return std::max(1, (r.height() - 2 * s.inset()) / listRowHeight(s.zoom));
}

// A list box's entries scroll with a bar at its right when they do not fit.
bool listScrolls(const Rect& r, int count, const Scale& s) {
  return count > shownRows(r, s) && r.width() > 2 * s.px(kComboButton);
}

} // namespace

int listRowHeight(int zoom) { return Scale(zoom).px(kListRowHeight); }

bool runsAcross(const Rect& r) { return r.width() > r.height(); }

ScrollParts scrollParts(const Rect& r, const ControlPayload& c, int zoom) {
  ScrollParts p;
  const bool across = runsAcross(r);
  const int length = across ? r.width() : r.height();
  const int thickness = across ? r.height() : r.width();
  const int arrow = std::max(0, std::min(thickness, length / 2));
  if (across) {
    p.less = {r.left, r.top, r.left + arrow, r.bottom};
    p.more = {r.right - arrow, r.top, r.right, r.bottom};
    p.track = {p.less.right, r.top, p.more.left, r.bottom};
  } else {
    p.less = {r.left, r.top, r.right, r.top + arrow};
    p.more = {r.left, r.bottom - arrow, r.right, r.bottom};
    p.track = {r.left, p.less.bottom, r.right, p.more.top};
  }
  const int room = across ? p.track.width() : p.track.height();
  const int thumb = std::min(thickness, room);
  if (thumb < Scale(zoom).px(6))
    return p;
  const int span = c.maximum > c.minimum ? c.maximum - c.minimum : 0;
  const int at = span ? static_cast<int>(static_cast<long long>(room - thumb) * (c.value - c.minimum) / span) : 0;
  if (across)
    p.thumb = {p.track.left + at, r.top, p.track.left + at + thumb, r.bottom};
  else
    p.thumb = {r.left, p.track.top + at, r.right, p.track.top + at + thumb};
  return p;
}

int firstShownEntry(const Rect& r, const ControlPayload& c, int entryCount, int zoom) {
  const int rows = shownRows(r, Scale(zoom));
  const int wanted = c.selection > 0 ? c.selection - 1 : 0;
  const int first = wanted >= rows ? wanted - rows + 1 : 0;
  return std::clamp(first, 0, std::max(0, entryCount - 1));
}

void drawControl(Canvas& canvas, model::Workbook& book, int sheet, const model::DrawingObject& o, const Rect& r,
                 int zoom) {
  const ControlPayload* c = controlOf(o);
  if (!c || r.isEmpty())
    return;
  const Scale s(zoom);
  const int edge = s.edge(), inset = s.inset(), rowHeight = listRowHeight(s.zoom);
  platform::FontSpec font = model::fontSpecOf(model::fontOfFormat(book, 15));
  font.heightTwips = platform::mulDiv(font.heightTwips, s.zoom, 100);
  const unsigned left = platform::kTextLeft | platform::kTextVCentre;
  switch (o.kind) {
  case model::kObjectLabel:
    caption(canvas, o.text, font, {r.left + s.px(1), r.top, r.right, r.top + rowHeight}, left, r);
    break;
  case model::kObjectGroupBox: {
    // The etched frame runs through the middle of the caption line.
    const Rect frame{r.left, r.top + rowHeight / 2, r.right - edge, r.bottom - edge};
    if (c->flat) {
      outline(canvas, {frame.left, frame.top, frame.right + edge, frame.bottom + edge}, platform::kBlack, edge);
    } else {
      outline(canvas, {frame.left + edge, frame.top + edge, frame.right + edge, frame.bottom + edge}, platform::kWhite,
              edge);
      outline(canvas, frame, kShadowGrey, edge);
    }
    if (!o.text.empty()) {
      const int width =
          std::min(r.width() - s.px(16), s.px(static_cast<int>(std::min<size_t>(o.text.size(), 4096)) * 8 + 4));
      const Rect text{r.left + s.px(6), r.top, r.left + s.px(6) + std::max(0, width), r.top + rowHeight};
      canvas.fillRect(text, Brush::solid(platform::kWhite));
      caption(canvas, o.text, font, {text.left + s.px(2), text.top, text.right, text.bottom}, left, text);
    }
    break;
  }
  case model::kObjectButton:
    drawRaisedBox(canvas, r, edge);
    caption(canvas, o.text, font, r, platform::kTextCentre | platform::kTextVCentre, r);
    break;
  case model::kObjectCheckBox:
  case model::kObjectOptionButton: {
    if (o.hasFill)
      canvas.fillRect(r, Brush::solid(o.fillColour));
    const int size = s.px(kBoxSize);
    const int top = r.top + (r.height() - size) / 2;
    const Rect box{r.left + s.px(2), top, r.left + s.px(2) + size, top + size};
    if (o.kind == model::kObjectCheckBox) {
      canvas.fillRect(box, Brush::solid(c->value == drawing::kMixed ? 0xC0C0C0 : platform::kWhite));
      if (c->flat)
        outline(canvas, box, platform::kBlack, edge);
      else
        drawSunkenFrame(canvas, box, edge);
      if (c->value != drawing::kUnchecked)
        drawCheckMark(canvas, box, c->value == drawing::kMixed ? kShadowGrey : platform::kBlack, s);
    } else {
      canvas.setPen(Pen{PenStyle::Solid, edge, c->flat ? platform::kBlack : kShadowGrey});
      canvas.setBrush(Brush::solid(platform::kWhite));
      canvas.drawEllipse(box);
      if (c->value) {
        const int dot = s.px(4);
        canvas.setPen(Pen{PenStyle::Solid, 1, platform::kBlack});
        canvas.setBrush(Brush::solid(platform::kBlack));
        canvas.drawEllipse({box.left + dot, box.top + dot, box.right - dot, box.bottom - dot});
      }
    }
    caption(canvas, o.text, font, {box.right + s.px(4), r.top, r.right, r.bottom}, left, r);
    break;
  }
  case model::kObjectListBox: {
    well(canvas, r, c->flat, s);
    const std::vector<std::u16string> entries = drawing::listEntries(book, sheet, *c);
    const int count = static_cast<int>(entries.size());
    const int rows = shownRows(r, s);
    const bool scrolls = listScrolls(r, count, s);
    const Rect inside{r.left + inset, r.top + inset, r.right - inset - (scrolls ? s.px(kComboButton) : 0),
                      r.bottom - inset};
    const int first = firstShownEntry(r, *c, count, s.zoom);
    for (int i = first; i < count && i < first + rows; ++i) {
      const Rect row{inside.left, inside.top + (i - first) * rowHeight, inside.right,
                     inside.top + (i - first + 1) * rowHeight};
      const bool chosen = c->selectionType == ListSelection::Single ? c->selection == i + 1
                                                                    : i < static_cast<int>(c->selectedItems.size()) &&
                                                                          c->selectedItems[static_cast<size_t>(i)];
      if (chosen)
        canvas.fillRect(row, Brush::solid(kHighlight));
      canvas.drawText(entries[static_cast<size_t>(i)], font, chosen ? platform::kWhite : platform::kBlack,
                      {row.left + s.px(2), row.top, row.right, row.bottom}, left, inside);
    }
    if (scrolls) {
      ControlPayload bar;
      bar.minimum = 0;
      bar.maximum = static_cast<std::uint16_t>(std::min(count - rows, kControlNumberLimit));
      bar.value = static_cast<std::uint16_t>(std::min(first, static_cast<int>(bar.maximum)));
      drawScrollBar(canvas, {inside.right, inside.top, r.right - inset, inside.bottom}, bar, s);
    }
    break;
  }
  case model::kObjectComboBox: {
    well(canvas, r, c->flat, s);
    const Rect button{std::max(r.left + inset, r.right - inset - s.px(kComboButton)), r.top + inset, r.right - inset,
                      r.bottom - inset};
    arrowButton(canvas, button, ArrowDirection::Down, s);
    if (c->selection > 0) {
      const std::vector<std::u16string> entries = drawing::listEntries(book, sheet, *c);
      if (c->selection <= entries.size())
        caption(canvas, entries[c->selection - 1u], font, {r.left + s.px(4), r.top, button.left, r.bottom}, left,
                {r.left + inset, r.top + inset, button.left, r.bottom - inset});
    }
    break;
  }
  case model::kObjectScrollBar:
    drawScrollBar(canvas, r, *c, s);
    break;
  case model::kObjectSpinner: {
    const auto [less, more] = spinnerHalves(r);
    const bool across = runsAcross(r);
    // The first half raises the value: up, or right when across.
    arrowButton(canvas, across ? more : less, across ? ArrowDirection::Right : ArrowDirection::Up, s);
    arrowButton(canvas, across ? less : more, across ? ArrowDirection::Left : ArrowDirection::Down, s);
    break;
  }
  default:
    break;
  }
}

void installControlPainting() {
  static bool installed = false;
  if (installed)
    return;
  installed = true;
  PaintServices& s = paintServices();
  auto previous = s.drawObject;
  s.drawObject = [previous](Canvas& canvas, const model::Workbook& book, const model::Sheet& sheet, int object,
                            const Rect& rect, int zoom) {
    const model::DrawingObject& o = sheet.objects[static_cast<size_t>(object)];
    if (!controlOf(o)) {
      if (previous)
        previous(canvas, book, sheet, object, rect, zoom);
      return;
    }
    // Painting brings stale cells up to date, as the grid does for its own:
    // the linked cells and the input ranges are read the same way.
    model::Workbook& live = const_cast<model::Workbook&>(book);
    int index = -1;
    for (int i = 0; i < live.sheetCount(); ++i)
      if (&live.sheet(i) == &sheet)
        index = i;
    if (index < 0)
      return;
    drawing::refreshControl(live, index, object);
    drawControl(canvas, live, index, o, rect, zoom);
  };
}

namespace {

PressOutcome outcomeFor(model::Sheet& sheet, int object) {
  PressOutcome out;
  out.changed = true;
  const model::DrawingObject& o = sheet.objects[static_cast<size_t>(object)];
  const ControlPayload& c = *controlOf(o);
  if (o.kind == model::kObjectOptionButton) {
    const std::vector<int> group = drawing::optionGroup(sheet, object);
    out.linkedCell = drawing::groupLinkedCell(sheet, group);
    const auto at = std::find(group.begin(), group.end(), object);
    ControlPayload number;
    number.value = static_cast<std::uint16_t>(at - group.begin() + 1);
    out.cellText = drawing::linkedCellText(o.kind, number);
    return out;
  }
  out.linkedCell = c.linkedCell;
  out.cellText = drawing::linkedCellText(o.kind, c);
  return out;
}

int stepped(const ControlPayload& c, int by) { return std::clamp(c.value + by, int{c.minimum}, int{c.maximum}); }

} // namespace

PressOutcome pressControl(model::Workbook& book, int sheetIndex, int object, const Rect& r, Point p, int zoom) {
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount())
    return {};
  model::Sheet& sheet = book.sheet(sheetIndex);
  if (object < 0 || object >= static_cast<int>(sheet.objects.size()))
    return {};
  model::DrawingObject& o = sheet.objects[static_cast<size_t>(object)];
  ControlPayload* c = controlOf(o);
  if (!c)
    return {};
  // Operate on what the linked cells say now.
  drawing::refreshLinkedControls(book, sheetIndex);
  const std::uint16_t wasValue = c->value, wasSelection = c->selection;
  switch (o.kind) {
  case model::kObjectCheckBox:
    c->value = c->value == drawing::kChecked ? drawing::kUnchecked : drawing::kChecked;
    break;
  case model::kObjectOptionButton: {
    const std::vector<int> group = drawing::optionGroup(sheet, object);
    const auto at = std::find(group.begin(), group.end(), object);
    if (!drawing::selectOption(sheet, group, static_cast<int>(at - group.begin()) + 1) && c->value)
      return {};
    return outcomeFor(sheet, object);
  }
  case model::kObjectScrollBar: {
    const ScrollParts parts = scrollParts(r, *c, zoom);
    const bool across = runsAcross(r);
    int by = 0;
    if (parts.less.contains(p))
      by = -c->increment;
    else if (parts.more.contains(p))
      by = c->increment;
    else if (parts.track.contains(p) && !parts.thumb.contains(p))
      by = (across ? p.x < parts.thumb.left : p.y < parts.thumb.top) ? -c->pageChange : c->pageChange;
    c->value = static_cast<std::uint16_t>(stepped(*c, by));
    break;
  }
  case model::kObjectSpinner: {
    const auto [first, second] = spinnerHalves(r);
    const bool across = runsAcross(r);
    // Up (the first half) or right (the second half when across) raises.
    const bool raise = across ? second.contains(p) : first.contains(p);
    c->value = static_cast<std::uint16_t>(stepped(*c, raise ? c->increment : -c->increment));
    break;
  }
  case model::kObjectListBox: {
    const std::vector<std::u16string> entries = drawing::listEntries(book, sheetIndex, *c);
    const int count = static_cast<int>(entries.size());
    const Scale s(zoom);
    if (p.y < r.top + s.inset() || (listScrolls(r, count, s) && p.x >= r.right - s.inset() - s.px(kComboButton)))
      return {};
    const int entry = firstShownEntry(r, *c, count, zoom) + (p.y - r.top - s.inset()) / listRowHeight(zoom);
    if (entry < 0 || entry >= count)
      return {};
    if (c->selectionType == ListSelection::Single) {
      c->selection = static_cast<std::uint16_t>(entry + 1);
    } else {
      c->selectedItems.resize(static_cast<size_t>(count));
      c->selectedItems[static_cast<size_t>(entry)] ^= 1;
      c->selection = static_cast<std::uint16_t>(entry + 1);
    }
    c->itemCount = static_cast<std::uint16_t>(count);
    break;
  }
  case model::kObjectComboBox: {
    PressOutcome out;
    out.dropDown = true;
    return out;
  }
  default:
    return {};
  }
  if (c->value == wasValue && c->selection == wasSelection && o.kind != model::kObjectListBox)
    return {};
  return outcomeFor(sheet, object);
}

PressOutcome chooseEntry(model::Workbook& book, int sheetIndex, int object, int entry) {
  if (sheetIndex < 0 || sheetIndex >= book.sheetCount() || entry < 0 || entry >= kControlNumberLimit)
    return {};
  model::Sheet& sheet = book.sheet(sheetIndex);
  if (object < 0 || object >= static_cast<int>(sheet.objects.size()))
    return {};
  ControlPayload* c = controlOf(sheet.objects[static_cast<size_t>(object)]);
  if (!c)
    return {};
  c->selection = static_cast<std::uint16_t>(entry + 1);
  return outcomeFor(sheet, object);
}

} // namespace view

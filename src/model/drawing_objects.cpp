#include "model/drawing_objects.h"

#include "model/sheet.h"

#include <algorithm>

namespace model {
namespace {

int cornerX(const Sheet& sheet, const AnchorCorner& c, const PixelScale& scale) {
  return column_offset_px(sheet, std::min<int>(c.column, kColumnCount), std::min<int>(c.columnOffset, 1023),
                          scale);
}

int cornerY(const Sheet& sheet, const AnchorCorner& c, const PixelScale& scale) {
  return row_offset_px(sheet, std::min<int>(c.row, kRowCount), std::min<int>(c.rowOffset, 255), scale);
}

// The last line whose start lies at or before `at` pixels (a binary search:
// offsets never shrink), and the fraction of it up to `at`.
template <class OffsetOf, class SizeOf>
void lineAt(int at, int count, int fractionUnits, OffsetOf offsetOf, SizeOf sizeOf, std::uint16_t& line,
            std::uint16_t& fraction) {
  int lo = 0, hi = count - 1;
  while (lo < hi) {
    const int mid = lo + (hi - lo + 1) / 2;
    if (offsetOf(mid) <= at)
      lo = mid;
    else
      hi = mid - 1;
  }
  line = static_cast<std::uint16_t>(lo);
  const int size = sizeOf(lo);
  const int inside = std::clamp(at - offsetOf(lo), 0, std::max(0, size));
  // Rounded up, so that turning the fraction back into pixels (which rounds
  // down) lands on the same pixel.
  fraction = size > 0 ? static_cast<std::uint16_t>(
                            std::min(fractionUnits - 1, (inside * fractionUnits + size - 1) / size))
                      : 0;
}

AnchorCorner cornerAt(const Sheet& sheet, int x, int y, const PixelScale& scale) {
  AnchorCorner c;
  lineAt(
      std::max(0, x), kColumnCount, 1024, [&](int i) { return column_offset_px(sheet, i, 0, scale); },
      [&](int i) { return column_px(sheet, static_cast<std::uint8_t>(i), scale); }, c.column, c.columnOffset);
  lineAt(
      std::max(0, y), kRowCount, 256, [&](int i) { return row_offset_px(sheet, i, 0, scale); },
      [&](int i) { return row_px(sheet, static_cast<std::uint16_t>(i), scale); }, c.row, c.rowOffset);
  return c;
}

} // namespace

bool isHitTestable(const DrawingObject& object) {
  return object.kind != kObjectComment || object.visible;
}

platform::Rect anchorToPixels(const Sheet& sheet, const ObjectAnchor& anchor, const PixelScale& scale) {
  const int x1 = cornerX(sheet, anchor.first, scale), x2 = cornerX(sheet, anchor.last, scale);
  const int y1 = cornerY(sheet, anchor.first, scale), y2 = cornerY(sheet, anchor.last, scale);
  return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

ObjectAnchor pixelsToAnchor(const Sheet& sheet, const platform::Rect& rect, const PixelScale& scale) {
  return {cornerAt(sheet, std::min(rect.left, rect.right), std::min(rect.top, rect.bottom), scale),
          cornerAt(sheet, std::max(rect.left, rect.right), std::max(rect.top, rect.bottom), scale)};
}

void moveObjectBy(Sheet& sheet, int index, int dx, int dy, const PixelScale& scale) {
  if (index < 0 || index >= static_cast<int>(sheet.objects.size()))
    return;
  DrawingObject& o = sheet.objects[static_cast<size_t>(index)];
  const platform::Rect r = anchorToPixels(sheet, o.anchor, scale);
  // The object keeps its size: it stops at the sheet's top and left edges.
  dx = std::max(dx, -r.left);
  dy = std::max(dy, -r.top);
  o.anchor = pixelsToAnchor(sheet, {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}, scale);
}

std::vector<platform::Rect> objectPixelRects(const Sheet& sheet, const PixelScale& scale) {
  std::vector<platform::Rect> rects;
  rects.reserve(sheet.objects.size());
  for (const DrawingObject& o : sheet.objects)
    rects.push_back(anchorToPixels(sheet, o.anchor, scale));
  return rects;
}

void keepObjectPlacement(Sheet& sheet, const std::vector<platform::Rect>& before, const PixelScale& scale) {
  const size_t n = std::min(before.size(), sheet.objects.size());
  for (size_t i = 0; i < n; ++i) {
    DrawingObject& o = sheet.objects[i];
    const platform::Rect& was = before[i];
    if (o.placement == ObjectPlacement::Fixed) {
      o.anchor = pixelsToAnchor(sheet, was, scale);
    } else if (o.placement == ObjectPlacement::MoveOnly) {
      const platform::Rect now = anchorToPixels(sheet, o.anchor, scale);
      o.anchor = pixelsToAnchor(sheet, {now.left, now.top, now.left + was.width(), now.top + was.height()}, scale);
    }
  }
}

int commentAt(const Sheet& sheet, int row, int column) {
  for (size_t i = 0; i < sheet.objects.size(); ++i) {
    const DrawingObject& o = sheet.objects[i];
    if (o.kind == kObjectComment && o.row == row && o.column == column)
      return static_cast<int>(i);
  }
  return -1;
}

} // namespace model

#include "drawing/object_edit.h"

#include <algorithm>
#include <cstdlib>

namespace drawing {

model::DrawingObject newObject(int kind) {
  model::DrawingObject o;
  o.kind = static_cast<std::uint16_t>(kind);
  o.hasLine = true;
  o.lineColour = platform::kBlack;
  o.hasFill = kind != model::kObjectLine && kind != model::kObjectArc;
  o.fillColour = platform::kWhite;
  if (kind == model::kObjectComment) {
    o.fillColour = 0xE1FFFF; // pale yellow
    o.placement = model::ObjectPlacement::MoveOnly;
  }
  return o;
}

DragShape dragShape(int kind, platform::Point start, platform::Point now, bool constrain) {
  int dx = now.x - start.x, dy = now.y - start.y;
  if (constrain) {
    const int ax = std::abs(dx), ay = std::abs(dy);
    if (kind == model::kObjectLine) {
      // Snap to the nearest of the eight directions: within half of 45
      // degrees (tan 22.5 ~ 0.414) of an axis the line lies on it.
      if (ay * 1000 <= ax * 414)
        dy = 0;
      else if (ax * 1000 <= ay * 414)
        dx = 0;
      else {
        const int side = std::max(ax, ay);
        dx = dx < 0 ? -side : side;
        dy = dy < 0 ? -side : side;
      }
    } else {
      const int side = std::max(ax, ay);
      dx = dx < 0 ? -side : side;
      dy = dy < 0 ? -side : side;
    }
  }
  const platform::Point end{start.x + dx, start.y + dy};
  DragShape s;
  // The rectangle holds both ends; +1 so that the end pixel lies inside.
  s.rect = {std::min(start.x, end.x), std::min(start.y, end.y), std::max(start.x, end.x) + 1,
            std::max(start.y, end.y) + 1};
  s.flip = static_cast<std::uint8_t>((dx < 0 ? 1 : 0) | (dy < 0 ? 2 : 0));
  return s;
}

int addObject(model::Sheet& sheet, model::DrawingObject object, const platform::Rect& sheetPixels,
              const model::PixelScale& scale) {
  object.anchor = model::pixelsToAnchor(sheet, sheetPixels, scale);
  sheet.objects.push_back(std::move(object));
  return static_cast<int>(sheet.objects.size()) - 1;
}

void removeObject(model::Sheet& sheet, int index) {
  if (index < 0 || index >= static_cast<int>(sheet.objects.size()))
    return;
  sheet.objects.erase(sheet.objects.begin() + index);
  const auto follow = [index](int& i) {
    if (i == index)
      i = -1;
    else if (i > index)
      --i;
  };
  follow(sheet.selectedObject);
  follow(sheet.secondObject);
}

platform::Rect defaultCommentBox(const model::Sheet& sheet, int row, int column, const model::PixelScale& scale) {
  const int right = model::column_offset_px(sheet, std::min(column + 1, model::kColumnCount), 0, scale);
  const int top = model::row_offset_px(sheet, row, 0, scale);
  const int left = right + 12 * scale.logicalPixelsPerInch / 96;
  const int y = std::max(0, top - 7 * scale.logicalPixelsPerInch / 96);
  return {left, y, left + 144 * scale.logicalPixelsPerInch / 96, y + 80 * scale.logicalPixelsPerInch / 96};
}

int setComment(model::Sheet& sheet, int row, int column, std::u16string text, std::u16string author,
               const model::PixelScale& scale) {
  int index = model::commentAt(sheet, row, column);
  if (index < 0) {
    model::DrawingObject c = newObject(model::kObjectComment);
    c.row = static_cast<std::uint16_t>(row);
    c.column = static_cast<std::uint8_t>(column);
    c.author = std::move(author);
    index = addObject(sheet, std::move(c), defaultCommentBox(sheet, row, column, scale), scale);
  }
  sheet.objects[static_cast<size_t>(index)].text = std::move(text);
  return index;
}

int nextTabObject(const model::Sheet& sheet, int from, bool backwards) {
  const int n = static_cast<int>(sheet.objects.size());
  for (int step = 1; step <= n; ++step) {
    int i = from < 0 ? (backwards ? n - step : step - 1) : (from + (backwards ? -step : step)) % n;
    if (i < 0)
      i += n;
    const model::DrawingObject& o = sheet.objects[static_cast<size_t>(i)];
    if (o.kind != model::kObjectComment && !o.filterArrow)
      return i;
  }
  return -1;
}

} // namespace drawing

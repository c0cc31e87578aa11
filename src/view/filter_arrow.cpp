#include "view/filter_arrow.h"

#include "view/control_paint.h"

#include <algorithm>

namespace view {

namespace {
constexpr int kMostButtonSide = 16;
constexpr platform::Colour kActiveBlue = 0xFF0000; // 0x00BBGGRR
} // namespace

platform::Rect filterArrowButton(const platform::Rect& cell) {
  const int side = std::max(0, std::min({cell.height(), cell.width(), kMostButtonSide}));
  return {cell.right - side, cell.bottom - side, cell.right, cell.bottom};
}

bool filterArrowActive(const model::Sheet& sheet, const model::DrawingObject& arrow) {
  if (!(sheet.flags & model::kSheetAutoFilter))
    return false;
  const int i = arrow.anchor.first.column - sheet.autoFilter.firstColumn;
  return i >= 0 && i < static_cast<int>(sheet.autoFilter.criteria.size()) &&
         sheet.autoFilter.criteria[static_cast<size_t>(i)].isActive();
}

void drawFilterArrow(platform::Canvas& canvas, const platform::Rect& cell, bool active) {
  const platform::Rect b = filterArrowButton(cell);
  if (b.width() < 4)
    return;
  drawRaisedBox(canvas, b);
  drawArrowTriangle(canvas, {(b.left + b.right - 1) / 2, (b.top + b.bottom) / 2}, ArrowDirection::Down,
                    active ? kActiveBlue : platform::kBlack);
}

} // namespace view

#include "model/auto_filter.h"

#include <algorithm>

namespace model {

CellRange autoFilterRange(const Sheet& sheet) {
  const AutoFilterState& f = sheet.autoFilter;
  return {f.firstRow, f.firstColumn, f.lastRow, f.lastColumn};
}

void placeFilterArrows(Sheet& sheet) {
  // The selected objects keep their selection at their new positions.
  const auto newIndex = [&](int i) {
    if (i < 0 || i >= static_cast<int>(sheet.objects.size()) || sheet.objects[static_cast<size_t>(i)].filterArrow)
      return -1;
    return static_cast<int>(std::count_if(sheet.objects.begin(), sheet.objects.begin() + i,
                                          [](const DrawingObject& o) { return !o.filterArrow; }));
  };
  sheet.selectedObject = newIndex(sheet.selectedObject);
  sheet.secondObject = newIndex(sheet.secondObject);
  std::erase_if(sheet.objects, [](const DrawingObject& o) { return o.filterArrow; });
  if (!(sheet.flags & kSheetAutoFilter) || !sheet.hasGrid())
    return;
  const AutoFilterState& f = sheet.autoFilter;
  for (int column = f.firstColumn; column <= f.lastColumn; ++column) {
    DrawingObject o;
    o.kind = kObjectComboBox;
    o.placement = ObjectPlacement::MoveAndSize;
    o.filterArrow = true;
    o.hasFill = false;
    o.hasLine = false;
    // From the header cell's left edge to the next column's, which is how
    // files mark a drop-down as a filter arrow.
    o.anchor.first = {static_cast<std::uint16_t>(column), 0, f.firstRow, 0};
    o.anchor.last = {static_cast<std::uint16_t>(column + 1), 0,
                     static_cast<std::uint16_t>(std::min<int>(f.firstRow + 1, kMaxRow)), 0};
    o.row = f.firstRow;
    o.column = static_cast<std::uint8_t>(column);
    sheet.objects.push_back(std::move(o));
  }
}

void showFilteredRows(Sheet& sheet) {
  bool any = false;
  for (const RowRecord& r : sheet.rows.items())
    if (r.flags & kLineFilterHidden) {
      any = true;
      break;
    }
  if (!any)
    return;
  for (RowRecord& r : sheet.rows.edit())
    if (r.flags & kLineFilterHidden)
      r.flags &= ~(kLineHidden | kLineFilterHidden);
}

void removeAutoFilter(Sheet& sheet) {
  sheet.flags &= ~kSheetAutoFilter;
  sheet.autoFilter.criteria.clear();
  showFilteredRows(sheet);
  placeFilterArrows(sheet);
}

void adoptFileAutoFilter(Sheet& sheet) {
  if (!(sheet.flags & kSheetAutoFilter) || !sheet.hasGrid())
    return;
  const AutoFilterState& f = sheet.autoFilter;
  const bool active = std::any_of(f.criteria.begin(), f.criteria.end(),
                                  [](const FilterCriterion& c) { return c.isActive(); });
  if (active)
    for (RowRecord& r : sheet.rows.edit())
      if (r.row > f.firstRow && r.row <= f.lastRow && (r.flags & kLineHidden))
        r.flags |= kLineFilterHidden;
  placeFilterArrows(sheet);
}

} // namespace model

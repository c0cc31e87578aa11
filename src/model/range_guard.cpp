#include "model/range_guard.h"

#include "model/workbook_list.h"
#include "platform/ui_services.h"

#include <optional>
#include <vector>

namespace model {
namespace {

bool formatLocked(const Workbook& book, std::uint16_t index) {
  const std::uint16_t i = index < book.cellFormats.size() ? index : kDefaultCellFormat;
  return i >= book.cellFormats.size() || (book.cellFormats[i].flags & kFormatLocked) != 0;
}

bool inside(const CellRange& inner, const CellRange& outer) {
  return inner.firstRow >= outer.firstRow && inner.lastRow <= outer.lastRow &&
         inner.firstColumn >= outer.firstColumn && inner.lastColumn <= outer.lastColumn;
}

bool anyLocked(const Workbook& book, const Sheet& sheet, const CellRange& range) {
  bool locked = false;
  // Stored cells carry their own format; the rest of each column takes the
  // column's default.
  std::vector<int> stored(static_cast<size_t>(range.columnCount()), 0);
  sheet.cells.forEachIn(range, [&](const CellRecord& c) {
    ++stored[static_cast<size_t>(c.column - range.firstColumn)];
    locked = locked || formatLocked(book, c.formatIndex);
  });
  for (int c = range.firstColumn; !locked && c <= range.lastColumn; ++c)
    if (stored[static_cast<size_t>(c - range.firstColumn)] < range.rowCount())
      locked = formatLocked(book, column_record(sheet, static_cast<std::uint8_t>(c)).formatIndex);
  return locked;
}

} // namespace

bool isCellLocked(const Workbook& book, const Sheet& sheet, int row, int column) {
  if (!isValidCell(row, column))
    return false;
  const auto r = static_cast<std::uint16_t>(row);
  const auto c = static_cast<std::uint8_t>(column);
  if (const CellRecord* cell = cell_at(sheet, r, c))
    return formatLocked(book, cell->formatIndex);
  return formatLocked(book, column_record(sheet, c).formatIndex);
}

GuardRefusal checkRange(const Workbook& book, const Sheet& sheet, const CellRange& range, unsigned checks) {
  if ((checks & kGuardProtection) && (sheet.flags & kSheetProtected) && anyLocked(book, sheet, range))
    return GuardRefusal::Protected;
  if (checks & kGuardArrayEntry)
    for (const ArrayFormulaRecord& a : sheet.arrayFormulas)
      if (a.range.contains(sheet.activeRow, sheet.activeColumn) && !(a.range == range))
        return GuardRefusal::ArrayPart;
  if (checks & kGuardArrayPart)
    for (const ArrayFormulaRecord& a : sheet.arrayFormulas)
      if (a.range.intersects(range) && !inside(a.range, range))
        return GuardRefusal::ArrayPart;
  if (checks & (kGuardMergedArray | kGuardMergedPart | kGuardMergedAny))
    for (const CellRange& m : sheet.mergedRanges) {
      if (!m.intersects(range))
        continue;
      if (checks & kGuardMergedArray)
        return GuardRefusal::ArrayMerged;
      if ((checks & kGuardMergedAny) || !inside(m, range))
        return GuardRefusal::MergedCells;
    }
  if ((checks & kGuardAutoFilterColumns) && (sheet.flags & kSheetAutoFilter) &&
      range.firstColumn <= sheet.autoFilter.lastColumn && sheet.autoFilter.firstColumn <= range.lastColumn)
    return GuardRefusal::AutoFilter;
  return GuardRefusal::None;
}

void showRefusal(GuardRefusal refusal) {
  std::u16string_view text;
  std::optional<std::u16string_view> caption;
  platform::MessageIcon icon = platform::MessageIcon::Warning;
  switch (refusal) {
  case GuardRefusal::None:
    return;
  case GuardRefusal::Protected:
    text = kMessageCellProtected;
    break;
  case GuardRefusal::ArrayPart:
    text = kMessageArrayPart;
    break;
  case GuardRefusal::ArrayMerged:
    text = kMessageArrayMerged;
    caption = kProductName;
    icon = platform::MessageIcon::Error;
    break;
  case GuardRefusal::MergedCells:
    text = kMessageMergedCells;
    break;
  case GuardRefusal::AutoFilter:
    text = kMessageAutoFilterOn;
    caption = kProductName;
    break;
  }
  platform::ui().messageBox(text, caption, platform::MessageButtons::Ok, icon);
}

bool guard_range(const Workbook& book, const Sheet& sheet, const CellRange& range, unsigned checks) {
  const GuardRefusal refusal = checkRange(book, sheet, range, checks);
  showRefusal(refusal);
  return refusal == GuardRefusal::None;
}

} // namespace model

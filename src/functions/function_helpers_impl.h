#pragma once
// Template definitions of function_helpers.h.

#include "model/workbook.h"

#include <vector>

namespace functions {

template <class Fn> void forEachReferencedCell(const CellValue& ref, EvalContext& ctx, Fn fn) {
  std::vector<model::SheetRange> areas;
  if (ref.isReference())
    areas.push_back(ref.referenceValue());
  else if (ref.isMultiArea())
    areas = ref.areasValue();
  for (const model::SheetRange& r : areas) {
    const int sheet = r.sheet < 0 ? ctx.sheet : r.sheet;
    if (!ctx.book || sheet < 0 || sheet >= ctx.book->sheetCount() ||
        !ctx.book->sheet(sheet).hasGrid())
      continue;
    // Positions first: fetching may compute cells, which must not disturb the walk.
    std::vector<std::uint32_t> cells;
    ctx.book->sheet(sheet).cells.forEachIn(
        r.range(), [&](model::CellRecord& c) { cells.push_back(model::packCell(c.row, c.column)); });
    for (std::uint32_t packed : cells) {
      const int row = model::packedRow(packed), column = model::packedColumn(packed);
      const CellValue v = formula::fetchCell(ctx, sheet, row, column);
      if (!fn(sheet, row, column, v))
        return;
    }
  }
}

} // namespace functions

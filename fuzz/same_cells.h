// What the workbook fuzzers mean by "the same cells" after a save and a
// second read: the same entry texts (the formulas) and values.
#pragma once

#include "model/sheet.h"
#include "model/workbook.h"

#include <cmath>
#include <string_view>

namespace fuzzcheck {

inline bool sameValue(const model::CellValue& a, const model::CellValue& b) {
  if (a.isNumber() && b.isNumber()) {
    const double x = a.numberValue(), y = b.numberValue();
    return x == y || (std::isnan(x) && std::isnan(y));
  }
  return a == b;
}

inline std::u16string_view inputOf(const model::CellRecord* c) {
  return c && !c->input.isNull() ? c->input.view() : std::u16string_view();
}

// Every cell of `a` is in `b` with the same entry text and value; a cell
// missing there counts as empty (an unformatted blank need not be written).
// `worksheetsOnly`: formats that carry the cells of worksheets alone.
inline bool cellsKeptIn(const model::Workbook& a, const model::Workbook& b, bool worksheetsOnly) {
  bool same = true;
  for (int i = 0; i < a.sheetCount() && same; ++i) {
    const model::Sheet& x = a.sheet(i);
    if (!x.hasGrid() || (worksheetsOnly && x.kind != model::SheetKind::Worksheet))
      continue;
    x.cells.forEach([&](const model::CellRecord& c) {
      const model::CellRecord* other = model::cell_at(b.sheet(i), c.row, c.column);
      same = same && inputOf(&c) == inputOf(other) &&
             sameValue(c.value, other ? other->value : model::CellValue());
    });
  }
  return same;
}

} // namespace fuzzcheck

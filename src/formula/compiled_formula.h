#pragma once
// A kept form of the simplest formulas: arithmetic, comparison and "&" over
// numbers and single cells of the formula's own sheet, with brackets and
// signs ("=B5+0*A1", "=(A2-A1)/2"). Reading such a text again for every
// computation costs more than the arithmetic; the steps are kept per cell
// and run with the reader's own operators, so the values are the reader's.
// Any other text is left to the reader.

#include "formula/eval_context.h"

#include <memory>
#include <optional>
#include <string_view>

namespace model {
struct CellRecord;
struct Workbook;
} // namespace model

namespace formula {

/// Computes a cell's formula from its kept steps, making them on first use.
/// Nothing when the text is not of the simple kind (the reader computes
/// it then); the answer is remembered per cell until its text changes.
/// Outside array mode and macros only.
std::optional<CellValue> computeKept(model::Workbook& book, const model::CellRecord& cell,
                                     std::u16string_view text, EvalContext& ctx);

/// Forgets every kept form of the workbook.
void forgetKeptFormulas(model::Workbook& book);

} // namespace formula

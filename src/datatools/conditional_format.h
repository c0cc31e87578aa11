#pragma once
// Conditional formats: the condition that holds for a cell (asked by the
// painters for every cell they draw), how the dialog starts over a
// selection, and storing the edited conditions. Operands are kept as seen
// from A1, like validation formulas.

#include "model/workbook.h"

#include <array>

namespace datatools {

inline constexpr std::u16string_view kConditionMissingBound = u"缺少最小值或最大值";

using ConditionPages = std::array<model::FormatCondition, model::kMaxFormatConditions>;

/// `activeCondition`: the first condition of the first set covering the
/// cell that holds for its value; null for none and for error values. The
/// pointer is valid until the sheet's sets change. Operands moved to the
/// cell are kept per cell, and so is the answer, until a value of the
/// workbook changes.
const model::FormatCondition* activeCondition(model::Workbook& book, int sheet, int row, int column);

/// Whether one condition holds at the cell for the value (which must not be
/// an error); operands are as kept (seen from A1).
bool conditionHolds(model::Workbook& book, int sheet, const model::FormatCondition& condition, int row,
                    int column, const model::CellValue& value);

/// The pages the dialog starts with over the selection, operands as seen
/// from the active cell: the first overlapping set with every field cleared
/// in which a later overlapping set differs, or one empty cell-value
/// "between" condition per page when no set overlaps.
ConditionPages conditionsUnder(const model::Workbook& book, int sheet, const model::CellRange& selection,
                               int activeRow, int activeColumn);

/// Stores the pages over the selection: conditions without a kind or a
/// first operand dropped, the second operand kept only for between and not
/// between, the rest packed in page order; one undo entry; the selection
/// taken out of every set, then a new set added when a condition remains.
/// False when the undo entry could not be recorded (nothing changed then).
bool storeConditionalFormat(model::Workbook& book, int sheet, const model::CellRange& selection, int activeRow,
                            int activeColumn, const ConditionPages& pages);

} // namespace datatools

#pragma once
// Data validation: which rule covers a cell, whether an entry keeps to it,
// the alert an entry that breaks it raises, and storing a rule over the
// selection. Rule formulas are kept as seen from A1 and moved to the cell
// they are applied at; moving wraps modulo the sheet's size both ways, so a
// formula that reaches above or left of its cell survives the trip.

#include "model/workbook.h"

#include <optional>
#include <string>
#include <vector>

namespace datatools {

inline constexpr std::u16string_view kValidationSeveralTypes =
    u"The selection contains more than one type of validation.\nErase current settings and continue?";
inline constexpr std::u16string_view kValidationWarningText = u"The value you entered is not valid.\nContinue?";
inline constexpr std::u16string_view kValidationStopText = u"输入错误；要求输入的内容为整数或小数。";

/// The position of the rule covering the cell, or -1; the first rule wins
/// where (damaged) rules overlap.
int findRule(const model::Sheet& sheet, int row, int column);

/// A rule formula kept as seen from A1, as seen from the cell (or, with
/// negative offsets, the other way). Texts that are no formula come back
/// unchanged; nothing only when memory ran out.
std::optional<std::u16string> ruleFormulaAt(const model::Workbook& book, int sheet, std::u16string_view text,
                                            int row, int column);

/// Whether the value the cell holds now keeps to the rule. Empty cells and
/// rules allowing any value always do.
bool entryValid(model::Workbook& book, int sheet, const model::ValidationRule& rule, int row, int column);

/// What the user chose in the alert of an invalid entry.
enum class EntryVerdict {
  Keep,   // valid, not checked, or kept by Yes or OK
  Cancel, // undo the entry
  Retry,  // undo the entry and open the editor again with the typed text
};

/// `checkEntry`: the cells just filled, each checked against the rule that
/// covers it when that rule shows alerts. The first invalid cell raises the
/// rule's alert and its answer is the verdict.
EntryVerdict checkEntry(model::Workbook& book, int sheet, const model::CellRange& cells);

/// How the selection meets the sheet's rules when the dialog opens.
struct RulesUnderSelection {
  int count = 0;               // distinct rules overlapping it (0, 1 or more)
  model::ValidationRule first; // the rule to edit when count is 1 (formulas as kept)
};
RulesUnderSelection rulesUnder(const model::Sheet& sheet, const model::CellRange& selection);

/// Stores the rule edited in the dialog over the selection: one undo entry,
/// the selection taken out of every rule, the formulas (as seen from the
/// active cell) moved to be seen from A1, then the rule added unless it is
/// entirely default. False when the undo entry could not be recorded
/// (nothing changed then).
bool storeValidation(model::Workbook& book, int sheet, const model::CellRange& selection, int activeRow,
                     int activeColumn, model::ValidationRule rule);

/// The texts an in-cell drop-down offers for a list rule at the cell: a
/// typed list's items, or the shown texts of the referenced cells.
std::vector<std::u16string> listDropDownEntries(model::Workbook& book, int sheet,
                                                const model::ValidationRule& rule, int row, int column);

} // namespace datatools

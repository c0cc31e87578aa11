#pragma once
// Find, Replace and Go to over the cells of a worksheet: the next cell whose
// input, shown text or comment matches a search text becomes the active
// cell; Replace rewrites the matching part of cell inputs.

#include "model/workbook.h"

#include <optional>
#include <string>

namespace datatools {

enum class FindScope { Formulas = 0, Values = 1, Comments = 2 };

struct FindSettings {
  std::u16string findText;
  std::u16string replaceText;
  FindScope scope = FindScope::Formulas;
  bool matchCase = false;
  bool wholeCell = false;
};

/// The settings of the last search, shown again next time.
FindSettings& lastFindSettings();

inline constexpr std::u16string_view kMessageNotFound = u"没找到相关内容。";
inline constexpr std::u16string_view kFindCaption = u"查找";

/// The pattern matched against a whole text: the find text itself with
/// wholeCell, else the find text between stars.
std::u16string findPattern(const FindSettings& settings);

/// Makes the next matching cell (or comment's cell) after the active cell
/// the active cell, wrapping around; inside a multi-cell selection only its
/// cells count and the selection stays. Shows "not found" and returns false
/// when nothing matches.
bool findNext(model::Workbook& book, int sheetIndex, const FindSettings& settings);

/// An input with its matching runs replaced: the whole input with
/// wholeCell; else from the left, at each position the shortest run that
/// matches the find text as a pattern (the longest when it ends with "*")
/// becomes the replace text and the scan goes on after it.
std::u16string replaceInText(std::u16string_view input, const FindSettings& settings);

/// Rewrites the active cell when its input matches (one undo entry), then
/// finds the next match. False, with the message, when it does not match or
/// the guards refuse.
bool replaceOne(model::Workbook& book, int sheetIndex, const FindSettings& settings);

/// Rewrites every matching cell of the selection (the sheet for a single
/// cell). Every check runs before the first change: a locked cell of a
/// protected sheet, or a match inside an array formula that is not wholly in
/// the selection (which becomes the active cell), refuses it all. Then one
/// undo entry and one pass over the dependents. Returns the cells rewritten
/// (0 when refused or nothing matched).
int replaceAll(model::Workbook& book, int sheetIndex, const FindSettings& settings);

struct GoToTarget {
  int sheet = 0;
  model::CellRange range;
};

/// A typed reference ("B5", "Sheet2!A1:C3") or a defined name that stands
/// for one, on a worksheet or macro sheet; nothing otherwise.
std::optional<GoToTarget> goToTarget(const model::Workbook& book, std::u16string_view text);

/// Activates the target's sheet and selects its range, the active cell at
/// its top left.
void goTo(model::Workbook& book, const GoToTarget& target);

} // namespace datatools

#pragma once
// The paste engine: putting a snapshot of cells (the clipboard's, or one an
// undo entry kept) onto a range of a sheet. It never records undo and never
// runs the guards: the commands that call it do both first, so undoing a
// paste, a fill or a sheet copy cannot push entries of its own.

#include "model/undo.h"

#include <string>
#include <string_view>
#include <vector>

namespace edit {

/// What Paste Special pastes ("粘贴：" group, in its order).
enum PastePart : int {
  kPasteAll = 1,
  kPasteFormulas = 2,
  kPasteValues = 3,
  kPasteFormats = 4,
  kPasteComments = 5,
  kPasteAllButBorders = 6,
  kPasteValidation = 7,
};

/// How a pasted number or formula meets what the cell holds ("运算：").
enum PasteOperation : int {
  kOperationNone = 1,
  kOperationAdd = 2,
  kOperationSubtract = 3,
  kOperationMultiply = 4,
  kOperationDivide = 5,
};

struct PasteOptions {
  int part = kPasteAll;
  int operation = kOperationNone;
  bool skipBlanks = false;
};

/// Whether a part replaces cell contents (and so removes arrays and
/// hyperlinks of the destination first).
bool partReplacesContents(int part);

/// Pastes `clip` onto `destination` of the sheet. The destination is the
/// clip's size, or a multiple of a one-row, one-column or one-cell clip
/// along the axes where it repeats. `source` is the workbook the clip was
/// taken from (formats are translated when it is another one; null when it
/// has closed: formats are then kept by index). Everything that depends on
/// the destination is brought up to date once, transitively. False when
/// memory ran out part way.
[[nodiscard]] bool paste_snapshot(model::Workbook& book, int sheetIndex, const model::SavedRange& clip,
                                  const model::CellRange& destination, const model::Workbook* source,
                                  const PasteOptions& options);

/// Puts a kept range back exactly as it was: its cells, array formulas,
/// merged ranges, hyperlinks, validation rules, conditional formats,
/// comments and (for whole columns) column records, then brings its
/// dependents up to date once.
[[nodiscard]] bool put_back_range(model::Workbook& book, int sheetIndex, const model::SavedRange& saved);

/// Ranges covering `range` without `hole` (at most four).
std::vector<model::CellRange> subtractRange(const model::CellRange& range, const model::CellRange& hole);

/// Whether the sheet at the index exists and holds cells the editing
/// commands work on: a worksheet or a macro sheet.
bool isCellSheet(const model::Workbook& book, int sheetIndex);

/// Empties a range as a cut does: its stored cells (their packed addresses
/// go into `removed`), the array formulas and merged ranges inside it, its
/// hyperlinks and comments, and its part of the rules. Nothing is
/// recalculated here.
void emptyRangeContents(model::Sheet& sheet, const model::CellRange& range, std::vector<std::uint32_t>& removed);

/// Cuts a range out of every validation rule and conditional-format set of
/// the sheet; a rule left without ranges goes.
void cutOutOfValidations(model::Sheet& sheet, const model::CellRange& range);
void cutOutOfConditionalFormats(model::Sheet& sheet, const model::CellRange& range);

/// The text of an operation between the destination's input `d` and the
/// pasted text `c` (numbers written with 15 significant digits); `d`
/// itself when the operation does not apply.
std::u16string operateTexts(std::u16string_view d, std::u16string_view c, int operation);

} // namespace edit

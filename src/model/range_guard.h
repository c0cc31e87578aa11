#pragma once
// The one guard every command that changes cells runs over its range before
// its first change: sheet protection, array formulas, merged cells and the
// AutoFilter range. A command names the checks it needs; the first that
// refuses shows its message and the command does nothing.

#include "model/workbook.h"

#include <string_view>

namespace model {

inline constexpr std::u16string_view kMessageCellProtected = u"单元格被保护，\n请先解除保护再修改。";
inline constexpr std::u16string_view kMessageArrayPart =
    u"直接修改会破坏数组公式！\n编辑后请按 Ctrl+Shift+回车！";
inline constexpr std::u16string_view kMessageArrayMerged = u"Array formulas are not valid in merged cells";
inline constexpr std::u16string_view kMessageMergedCells = u"无法修改含有合并单元格的工作表！";
inline constexpr std::u16string_view kMessageAutoFilterOn = u"You cannot do this while AutoFilter is on";

/// The checks, in the order they run.
enum GuardCheck : unsigned {
  /// The sheet is protected and a cell of the range is locked.
  kGuardProtection = 1u << 0,
  /// The active cell lies in an array formula that is not exactly the range
  /// (starting or committing an entry).
  kGuardArrayEntry = 1u << 1,
  /// An array formula overlaps the range without lying inside it.
  kGuardArrayPart = 1u << 2,
  /// Array entry: any merged range meets the range.
  kGuardMergedArray = 1u << 3,
  /// A merged range meets the range without lying inside it.
  kGuardMergedPart = 1u << 4,
  /// Any merged range meets the range.
  kGuardMergedAny = 1u << 5,
  /// AutoFilter is on and the range's columns meet the filter's columns.
  kGuardAutoFilterColumns = 1u << 6,
};

enum class GuardRefusal {
  None,
  Protected,
  ArrayPart,
  ArrayMerged,
  MergedCells,
  AutoFilter,
};

/// Whether the cell is locked: a stored cell's own format decides, a cell
/// without a record takes its column's default format.
bool isCellLocked(const Workbook& book, const Sheet& sheet, int row, int column);

/// The first refusal of the checks over `range` of the sheet, without
/// telling the user. Costs the stored cells of the range plus the sheet's
/// array formulas and merged ranges, never the range's area.
GuardRefusal checkRange(const Workbook& book, const Sheet& sheet, const CellRange& range, unsigned checks);

/// The refusal's message box (text and caption as the program shows them).
void showRefusal(GuardRefusal refusal);

/// checkRange, then the message of a refusal. True when the command may go on.
[[nodiscard]] bool guard_range(const Workbook& book, const Sheet& sheet, const CellRange& range,
                               unsigned checks);

} // namespace model

#pragma once
// Adjusting the references inside formula text when cells are pasted,
// filled, moved, inserted or deleted, or when a formula kept relative to one
// cell is applied at another.

#include "formula/reference_syntax.h"
#include "model/cell_range.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace model {
struct Workbook;
}

namespace formula {

enum class RewriteMode : int {
  Move = 1,       // moving cells; inserting or deleting cells, rows or columns
  Offset = 2,     // pasting or filling at an offset; leaving the sheet gives #REF!
  Relative = 3,   // moving relative parts by an offset without a range check
  SecondPass = 4, // the second pass of insert and delete; as Move
  Wrap = 5,       // moving relative parts by an offset modulo the sheet's size
};

/// Modes 1 and 4 (moving a block). A structural edit is a move: inserting h
/// rows at row r moves rows r..65536 down by h; deleting rows r..r+h-1 moves
/// the rows below up by h over them (columns and cells alike). Only references
/// to the sheet the block lies on change, absolute or not, since the cells
/// themselves move. Write M for the block, D for M moved by the offsets, and
/// call cells of D outside M overwritten (the deleted cells of a delete) and
/// cells pushed past row 65536 or column IV lost.
///
///   reference (its area A)                      result
///   ------------------------------------------  ----------------------------------
///   A wholly inside M                           moves with M; clipped to the
///                                               sheet; #REF! when wholly lost
///   A wholly overwritten or lost                #REF!
///   move along one axis, A's extent across it   each edge inside M moves; an edge
///   within M's (the usual row/column edit)      on an overwritten or lost cell
///                                               goes to the nearest surviving cell
///                                               inside A, so areas grow on insert
///                                               and shrink on delete
///   the same, but the edges would cross         unchanged (the cells of A are
///   (part of A moved past its other end)        scattered; no area describes them)
///   anything else (A only partly in M, or the   unchanged
///   block moves along both axes)
///
/// An area keeps its ":" form even when it shrinks to one cell; rewritten
/// areas are written with their corners in order.
///
/// Mode 3 moves relative parts without the grid check of the caller's offset,
/// but never wraps: a part that would leave rows 1-65536 or columns A-IV turns
/// the reference into #REF!, as in mode 2, rather than pointing at the far
/// edge of the sheet or a clipped cell that was never meant.

/// Mode 5 moves relative parts modulo 65,536 rows and 256 columns, never
/// giving #REF!: formulas kept as seen from A1 (validation rules, conditional
/// formats) are moved there and back, and must come back as they were.
/// Area corners keep their order, so a wrapped area round-trips too.

/// Rewrites the references of a formula text (one starting with "=", "+" or
/// "-"; other texts come back unchanged). `sheet` is the sheet holding the
/// formula; `moved` is the block that moves by (rowOffset, columnOffset) in
/// modes 1 and 4. Returns the text itself, character for character, when no
/// reference changed; std::nullopt only when memory ran out.
std::optional<std::u16string> rewriteFormula(RewriteMode mode, const model::Workbook& book,
                                             int sheet, std::u16string_view text,
                                             const model::CellRange& moved, int rowOffset,
                                             int columnOffset);

/// As above, with the moved block of modes 1 and 4 on sheet `movedSheet`, which
/// need not be the formula's: a reference's sheet is its qualifier's, or
/// `sheet` when it has none. The form above moves a block on `sheet`. Modes 2
/// and 3 ignore `movedSheet`.
std::optional<std::u16string> rewriteFormula(RewriteMode mode, const model::Workbook& book,
                                             int sheet, std::u16string_view text, int movedSheet,
                                             const model::CellRange& moved, int rowOffset,
                                             int columnOffset);

/// What becomes of an area of the sheet when `moved` moves by the offsets,
/// by the rules of mode 1 above: it stays, moves (stretched or shrunk; the
/// area is updated, corners in order) or is wholly lost.
enum class AreaFate { Unchanged, Moved, Invalid };
AreaFate moveArea(model::CellRange &area, const model::CellRange &moved, int rowOffset,
                  int columnOffset);

/// Rewrites the sheet qualifiers of a formula text, outside string
/// constants: `rename` gets the names of each qualifier (both ends of a
/// range of sheets), may change them and returns whether it did; a range
/// whose ends become one sheet is written as that sheet. `changed` tells
/// whether any qualifier was rewritten.
std::u16string renameSheetQualifiers(std::u16string_view text, char16_t listSeparator,
                                     const std::function<bool(SheetQualifierNames&)>& rename,
                                     bool& changed);

/// True when a formula text holds a qualifier naming a range of sheets.
bool hasSheetRangeQualifier(std::u16string_view text, char16_t listSeparator);

} // namespace formula

#pragma once
// Inserting and deleting cells, rows and columns. One engine, shift_block,
// moves a block of a sheet's cells with everything attached to them and
// rewrites every reference into it across the workbook; the four commands
// check room and guards, record the undo entry and call it.

#include "model/undo.h"

#include <string_view>

namespace edit {

inline constexpr std::u16string_view kMessageNoRoomRows = u"没空间可插入行";
inline constexpr std::u16string_view kMessageNoRoomColumns = u"没空间可插入列";
inline constexpr std::u16string_view kMessageNoRoomCells = u"没空间可插入单元格";

/// Whole rows: the range spans every column (whole columns: every row).
bool spansWholeRows(const model::CellRange& range);
bool spansWholeColumns(const model::CellRange& range);

/// The commands. Whole rows (columns) are the ranges that span every column
/// (row). Each refuses with its message and changes nothing, or records one
/// undo entry and completes; true when it changed the sheet.
bool insert_cells_down(model::Workbook& book, int sheetIndex, const model::CellRange& range);
bool insert_cells_right(model::Workbook& book, int sheetIndex, const model::CellRange& range);
bool delete_cells_up(model::Workbook& book, int sheetIndex, const model::CellRange& range);
/// Deletes `range` moving up only the cells below it down to `lastMoved`;
/// the rows vacated above `lastMoved` are left empty and the cells further
/// down stay where they are (a list deleting one of its records).
bool delete_cells_up_within(model::Workbook& book, int sheetIndex, const model::CellRange& range, int lastMoved);
bool delete_cells_left(model::Workbook& book, int sheetIndex, const model::CellRange& range);

/// The engine: moves `block` of the sheet by the offsets (one of them 0)
/// with its cells, row or column records, arrays, merged ranges, hyperlinks,
/// comments, AutoFilter range, rule ranges, panes and object anchors, and
/// rewrites every formula, name, rule formula and object reference that
/// points into it. Cells of the destination outside the block are
/// overwritten (a delete has emptied them). What the edit changed beyond
/// the cells goes into `undo` when given. Then one recalculation. All or
/// nothing: false, with "Insufficient memory" shown and the workbook as it
/// was, when memory ran out.
bool shift_block(model::Workbook& book, int sheetIndex, const model::CellRange& block, int rowOffset,
                 int columnOffset, model::StructuralUndo* undo = nullptr);

/// Takes back a structural edit recorded in `entry` (the Undo command).
void undo_structure(model::Workbook& book, int sheetIndex, const model::UndoEntry& entry);

} // namespace edit

#pragma once
// Sorting the rows of a block by up to three key columns, or its columns by
// up to three key rows. Cells move inside the block only, with their
// formats, hyperlinks and comments; a formula that moves has its relative
// references shifted by the distance it moved, as a cut and paste would.

#include "model/workbook.h"

namespace datatools {

struct SortSettings {
  /// Key offsets within the block (columns when sorting rows, rows when
  /// sorting columns); -1 for none. Key 0 is always set.
  int keys[3] = {0, -1, -1};
  bool ascending[3] = {true, true, true};
  bool hasHeader = false;     // the first row (column) stays in place
  bool caseSensitive = false;
  bool byColumns = false;     // order the columns left to right by key rows
  int sheet = 0;
  model::CellRange range;
};

/// The settings of the last sort, the defaults of the next while the
/// program runs.
SortSettings& lastSortSettings();

/// Orders two key cells (null for a cell that does not exist): -1, 0 or +1.
/// Blank cells come last in both directions; otherwise numbers < text <
/// booleans < errors ascending (descending reverses the kinds and the order
/// within them). Text compares by UTF-16 code units, case-blind by mapping
/// only A-Z to a-z. A cell with input whose value is empty comes after every
/// value, before the blanks. Values are taken as they stand: compute stale
/// cells first.
int compareKeyCells(const model::CellRecord* a, const model::CellRecord* b, bool ascending,
                    bool caseSensitive);

/// Sorts the block. Refused with the guard's message and no change when the
/// block meets a merged range or an array formula, or holds a locked cell of
/// a protected sheet; otherwise one undo entry, the move, one pass over the
/// dependents. Lines equal on every key keep their order. False when refused
/// or when memory ran out (the undo entry then puts the block back).
bool sortRange(model::Workbook& book, const SortSettings& settings);

/// The contiguous block of non-empty cells around a cell (a cell touching
/// the block by a side or a corner belongs to it); the cell alone when it
/// has no non-empty neighbours.
model::CellRange currentRegion(const model::Sheet& sheet, int row, int column);

/// The header box's first state: the first two lines of the range (rows, or
/// columns with byColumns) are each all numbers, all text or neither, and
/// the box is checked when the two differ.
bool guessHeader(model::Workbook& book, int sheetIndex, const model::CellRange& range, bool byColumns);

} // namespace datatools

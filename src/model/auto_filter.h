#pragma once
// The parts of a sheet's AutoFilter that every layer keeps straight: its
// range, its arrows in the object list, and the rows it hides. Choosing and
// applying criteria is the data tools'; structural edits, undo and the file
// readers call these so the arrows and hidden rows always match the state.

#include "model/sheet.h"

namespace model {

/// The filter's range (header row first), valid while kSheetAutoFilter is set.
CellRange autoFilterRange(const Sheet& sheet);

/// Makes the arrows in the object list match the filter: one drop-down per
/// column of the range, spanning its header cell; none when the filter is
/// off. Other objects keep their order.
void placeFilterArrows(Sheet& sheet);

/// Shows every row the filter hid; rows hidden by hand stay hidden.
void showFilteredRows(Sheet& sheet);

/// Turns the filter off: the arrows go, the rows it hid show again and its
/// criteria are freed.
void removeAutoFilter(Sheet& sheet);

/// After a file was read: files keep no mark of which rows a filter hid, so
/// the hidden data rows of a filter that has a criterion count as its own
/// (turning it off shows them, as other programs do); then the arrows are
/// placed.
void adoptFileAutoFilter(Sheet& sheet);

} // namespace model

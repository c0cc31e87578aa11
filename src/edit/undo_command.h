#pragma once
// Taking back the newest entry of the undo list. Undoing never records:
// it puts state back through the paste engine's put-back and the sheet
// list's own operations, none of which push entries.

#include "model/workbook_list.h"

namespace edit {

/// What an undo did, for the window to show it.
struct UndoOutcome {
  bool undone = false;    // an entry was taken off the list
  bool sheetKept = false; // the entry's sheet still exists (its view state came back)
  int action = -1;
};

/// Undoes the newest entry: activates its workbook and sheet, restores
/// what the action changed, then the sheet's view state. An entry whose
/// workbook or sheet has gone is dropped without touching anything.
UndoOutcome undo(model::WorkbookList& books);

} // namespace edit

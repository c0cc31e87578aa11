#include "edit/undo_command.h"

#include "edit/names.h"
#include "edit/paste.h"
#include "edit/structure.h"
#include "formula/recalc.h"
#include "model/auto_filter.h"
#include "model/services.h"
#include "model/sheet_list.h"
#include "model/undo.h"
#include "platform/memory.h"

#include <algorithm>

namespace edit {

using model::UndoEntry;

namespace {

int workbookIndexOf(const model::WorkbookList& books, std::uint64_t id) {
  for (int i = 0; i < books.count(); ++i)
    if (books.at(i).id == id)
      return i;
  return -1;
}

// Puts the saved records of the entry's lines back: records inside the
// saved range that were not saved did not exist before, so they go.
template <class Record, class Key>
void restoreLines(std::vector<Record>& records, const std::vector<Record>& saved, int first, int last, Key key) {
  std::erase_if(records, [&](const Record& r) { return key(r) >= first && key(r) <= last; });
  for (const Record& r : saved) {
    const auto at = std::lower_bound(records.begin(), records.end(), key(r),
                                     [&](const Record& x, int k) { return key(x) < k; });
    records.insert(at, r);
  }
}

void restoreRows(model::Sheet& sheet, const UndoEntry& e) {
  const model::CellRange r = e.lineRange.value_or(model::CellRange{0, 0, model::kMaxRow, model::kMaxColumn});
  restoreLines(sheet.rows.edit(), e.rows, r.firstRow, r.lastRow, [](const model::RowRecord& x) { return int{x.row}; });
}

void restoreColumns(model::Sheet& sheet, const UndoEntry& e) {
  const model::CellRange r = e.lineRange.value_or(model::CellRange{0, 0, model::kMaxRow, model::kMaxColumn});
  restoreLines(sheet.columns.edit(), e.columns, r.firstColumn, r.lastColumn,
               [](const model::ColumnRecord& x) { return int{x.column}; });
}

bool putsBackCells(int action) {
  switch (action) {
  case model::kUndoInput:
  case model::kUndoClear:
  case model::kUndoCut:
  case model::kUndoPaste:
  case model::kUndoCellFormat:
  case model::kUndoSort:
  case model::kUndoFillDown:
  case model::kUndoFillRight:
  case model::kUndoFillUp:
  case model::kUndoFillLeft:
  case model::kUndoFillSeries:
  case model::kUndoReplace:
  case model::kUndoInsertComment:
  case model::kUndoEditComment:
  case model::kUndoValidation:
  case model::kUndoConditionalFormat:
  case model::kUndoGoalSeek:
    return true;
  default:
    return false;
  }
}

} // namespace

UndoOutcome undo(model::WorkbookList& books) {
  UndoOutcome out;
  std::unique_ptr<UndoEntry> e = model::undoList().popNewest();
  if (!e)
    return out;
  out.undone = true;
  out.action = e->action;
  const int bookIndex = workbookIndexOf(books, e->workbookId);
  if (bookIndex < 0)
    return out; // its workbook closed: nothing to put back
  books.activate_workbook(bookIndex);
  model::Workbook& book = books.at(bookIndex);
  const int action = e->action;

  // A deleted sheet comes back whole; the others must still exist.
  if (action == model::kUndoDeleteWorksheet || action == model::kUndoDeleteChart ||
      action == model::kUndoDeleteMacroSheet) {
    if (!e->detachedSheet || model::sheetIndexOfId(book, e->sheetId) >= 0)
      return out;
    if (!model::restore_sheet(book, e->sheetIndex, std::move(e->detachedSheet)))
      return out;
  }
  int sheetIndex = model::sheetIndexOfId(book, e->sheetId);
  if (sheetIndex < 0)
    return out; // gone by a way the list does not know of: nothing is touched
  model::Sheet& sheet = book.sheet(sheetIndex);
  const bool removesSheet = action == model::kUndoInsertWorksheet || action == model::kUndoInsertChart ||
                            action == model::kUndoInsertMacroSheet;
  if (!removesSheet && action != model::kUndoUnhideSheet)
    model::activate_sheet(book, sheetIndex);

  const bool deletedSheet = action == model::kUndoDeleteWorksheet || action == model::kUndoDeleteChart ||
                            action == model::kUndoDeleteMacroSheet;
  if (e->structure && (sheet.hasGrid() || deletedSheet)) {
    undo_structure(book, sheetIndex, *e);
  } else if (putsBackCells(action) && e->snapshot && sheet.hasGrid()) {
    (void)put_back_range(book, sheetIndex, *e->snapshot);
    // Clearing or formatting whole columns kept their column records.
    if ((action == model::kUndoClear || action == model::kUndoCellFormat) && e->lineRange)
      restoreColumns(sheet, *e);
  } else if (action >= model::kUndoInsertName && action <= model::kUndoDeleteName) {
    undoNameEntry(book, *e);
  } else if (removesSheet) {
    (void)model::remove_sheet(book, sheetIndex);
    out.sheetKept = false;
    return out;
  } else if (action >= model::kUndoRowHeight && action <= model::kUndoUnhideRows) {
    restoreRows(sheet, *e);
  } else if (action >= model::kUndoColumnWidth && action <= model::kUndoStandardWidth) {
    if (e->lineRange)
      restoreColumns(sheet, *e);
  } else if (action == model::kUndoRenameSheet) {
    if (sheet.name != e->view.name) {
      const std::u16string now = sheet.name;
      sheet.name = e->view.name;
      // Formulas were rewritten to the new name: they go back with it.
      if (model::modelServices().renameSheetInFormulas)
        model::modelServices().renameSheetInFormulas(book, now, sheet.name, nullptr);
    }
  } else if (action == model::kUndoHideSheet) {
    sheet.hidden = 0;
  } else if (action == model::kUndoUnhideSheet) {
    const int next = model::next_visible_sheet(book, sheetIndex, +1) >= 0
                         ? model::next_visible_sheet(book, sheetIndex, +1)
                         : model::next_visible_sheet(book, sheetIndex, -1);
    if (next >= 0) {
      sheet.hidden = 1;
      if (book.activeSheet == sheetIndex)
        model::activate_sheet(book, next);
    }
  }

  // Objects come back as they were (moved, sized, formatted, inserted or
  // deleted, or kept in place while their lines changed size).
  if (e->objects && (sheet.hasGrid() || sheet.kind == model::SheetKind::Chart)) {
    sheet.objects = std::move(*e->objects);
    sheet.selectedObject = sheet.secondObject = -1;
  }

  // The filter comes back with the rows it hid.
  if (e->autoFilter && sheet.hasGrid()) {
    restoreRows(sheet, *e);
    sheet.autoFilter = e->autoFilter->state;
    sheet.flags = (sheet.flags & ~model::kSheetAutoFilter) | e->autoFilter->flag;
    model::placeFilterArrows(sheet);
  }

  if (action != model::kUndoUnhideSheet) {
    model::restoreViewState(sheet, e->view);
    out.sheetKept = true;
  }
  if (sheet.hasGrid())
    formula::refreshVolatile(book, sheetIndex, false);
  model::mark_modified(book);
  return out;
}

} // namespace edit

#pragma once
// The data form: a list on the sheet shown one record (row) at a time under
// the header row's field names; browsing, editing, appending below the
// list, deleting and browsing only the records that match typed criteria.
// Browsing writes nothing: only a record whose fields were edited is
// entered, and only then is the workbook marked changed and recalculated.

#include "model/workbook.h"

#include <string>
#include <vector>

namespace datatools {

inline constexpr int kFormFieldsShown = 9;

struct FormField {
  std::u16string header;
  std::u16string text;     // shown and edited: the record's text, or the criterion in criteria mode
  std::u16string original; // the record's text as shown before editing
  bool readOnly = false;
  std::u16string criterion;
};

struct DataForm {
  int sheet = 0;
  model::CellRange block; // its first row is the header row
  int current = 0;        // the row shown; block.lastRow + 1 is the new-record position
  bool criteriaMode = false;
  int fieldOffset = 0; // the first of the fields shown
  std::vector<FormField> fields;
};

/// Opens the form over the selection, or the current region around the
/// active cell when the selection is one cell. False when it is refused
/// (array formulas, merged cells: the message is shown) or the region is
/// empty. The form starts on the first record.
bool openDataForm(model::Workbook& book, int sheet, const model::CellRange& selection, int activeRow,
                  int activeColumn, DataForm& form);

/// Fills the fields for form.current (the record's texts, or at the
/// new-record position empty fields and the last record's formulas moved
/// down a row).
void showRecord(model::Workbook& book, DataForm& form);

/// Whether the new-record position may be reached ("新建" enabled): not in
/// criteria mode, the sheet unprotected, the list not at the sheet's last
/// row, and the row below the list (below the new record when there)
/// empty in the form's columns.
bool newRecordAllowed(const model::Workbook& book, const DataForm& form);

/// Whether a field differs from what the record showed.
bool recordEdited(const DataForm& form);

/// `commitRecord`: enters the edited fields as typed. At the new-record
/// position a record with any text is added below the list, which grows.
/// True when a cell was written (the workbook is then marked changed and
/// recalculated); nothing is touched otherwise.
bool commitRecord(model::Workbook& book, DataForm& form);

/// `recordMatches`: every non-empty criterion holds for the row.
bool recordMatches(model::Workbook& book, const DataForm& form, int row);

/// Commits, then moves to the nearest matching record above or below; going
/// down may end at the new-record position where it may be reached. False
/// when there is none and the form stays.
bool stepRecord(model::Workbook& book, DataForm& form, bool down);

/// The positions the form's scroll bar spans: the records, and the
/// new-record position where it may be reached (or is shown).
int recordPositions(const model::Workbook& book, const DataForm& form);

/// Commits, then shows the record at a scroll position (0 the first
/// record), clamped to the positions there are. Leaves criteria mode.
void goToPosition(model::Workbook& book, DataForm& form, int position);

/// Deletes the current record's cells from the list: the records below it
/// move up and the list ends a row sooner; cells under the list do not
/// move. False on the new-record position, on a
/// protected sheet, or when memory ran out.
bool deleteRecord(model::Workbook& book, DataForm& form);

/// "%d of %d", "新建记录" or "条件".
std::u16string counterText(const DataForm& form);

} // namespace datatools

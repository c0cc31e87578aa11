#include "datatools/data_form.h"

#include "datatools/sort.h"
#include "edit/structure.h"
#include "formula/recalc.h"
#include "formula/rewrite.h"
#include "formula/text_value.h"
#include "functions/criteria.h"
#include "model/display_text.h"
#include "model/range_guard.h"
#include "model/set_cell.h"
#include "model/undo.h"
#include "platform/memory.h"

#include <algorithm>

namespace datatools {
namespace {

using model::CellRange;

model::CellRecord* cellOf(model::Workbook& book, int sheet, int row, int column) {
  return model::cell_at(book.sheet(sheet), static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
}

std::u16string shownText(model::Workbook& book, int sheet, int row, int column) {
  model::CellRecord* c = cellOf(book, sheet, row, column);
  if (!c || c->input.isNull())
    return {};
  if (c->isFormula && c->calcState == model::CalcState::NotValid)
    formula::computeCell(book, sheet, *c);
  return std::u16string(model::cell_plain_text(book, sheet, *c));
}

bool holdsFormula(model::Workbook& book, int sheet, int row, int column) {
  const model::CellRecord* c = cellOf(book, sheet, row, column);
  return c && c->isFormula;
}

bool rowEmpty(const model::Sheet& s, int row, const CellRange& block) {
  if (row > model::kMaxRow)
    return false;
  bool empty = true;
  s.cells.forEachIn(CellRange{static_cast<std::uint16_t>(row), block.firstColumn, static_cast<std::uint16_t>(row),
                              block.lastColumn},
                    [&](const model::CellRecord& c) { empty = empty && (c.input.isNull() || c.input.size() == 0); });
  return empty;
}

bool isProtected(const model::Workbook& book, int sheet) {
  return (book.sheet(sheet).flags & model::kSheetProtected) != 0;
}

int newRecordRow(const DataForm& f) { return f.block.lastRow + 1; }

// Whether a typed new record may go where it goes: the row right below the
// list, empty in the form's columns, on an unprotected sheet. (Offering the
// position looks a row further once there, for the record after this one.)
bool newRecordRowFree(const model::Workbook& book, const DataForm& f) {
  return !isProtected(book, f.sheet) && f.block.lastRow < model::kMaxRow &&
         rowEmpty(book.sheet(f.sheet), newRecordRow(f), f.block);
}

} // namespace

bool openDataForm(model::Workbook& book, int sheet, const CellRange& selection, int activeRow, int activeColumn,
                  DataForm& form) {
  const model::Sheet& s = book.sheet(sheet);
  const CellRange block = selection.isSingleCell() ? currentRegion(s, activeRow, activeColumn) : selection;
  for (const model::ArrayFormulaRecord& a : s.arrayFormulas)
    if (a.range.intersects(block)) {
      model::showRefusal(model::GuardRefusal::ArrayPart);
      return false;
    }
  if (!model::guard_range(book, s, block, model::kGuardMergedAny))
    return false;
  bool any = false;
  s.cells.forEachIn(block, [&](const model::CellRecord& c) { any = any || !c.input.isNull(); });
  if (!any)
    return false;
  form = DataForm{};
  form.sheet = sheet;
  form.block = block;
  form.current = block.firstRow + 1;
  for (int c = block.firstColumn; c <= block.lastColumn; ++c) {
    FormField f;
    f.header = shownText(book, sheet, block.firstRow, c);
    form.fields.push_back(std::move(f));
  }
  showRecord(book, form);
  return true;
}

void showRecord(model::Workbook& book, DataForm& form) {
  const bool isNew = form.current > form.block.lastRow;
  const bool locked = isProtected(book, form.sheet);
  for (size_t i = 0; i < form.fields.size(); ++i) {
    FormField& f = form.fields[i];
    const int column = form.block.firstColumn + static_cast<int>(i);
    if (form.criteriaMode) {
      f.text = f.criterion;
      f.original = f.criterion;
      f.readOnly = false;
      continue;
    }
    if (!isNew) {
      f.text = shownText(book, form.sheet, form.current, column);
      f.readOnly = holdsFormula(book, form.sheet, form.current, column) ||
                   (locked && model::isCellLocked(book, book.sheet(form.sheet), form.current, column));
    } else if (form.block.lastRow > form.block.firstRow &&
               holdsFormula(book, form.sheet, form.block.lastRow, column)) {
      // The last record's formula, a row further down.
      const model::CellRecord* c = cellOf(book, form.sheet, form.block.lastRow, column);
      f.text = formula::rewriteFormula(formula::RewriteMode::Offset, book, form.sheet, c->input.view(), CellRange{}, 1, 0)
                   .value_or(std::u16string());
      f.readOnly = true;
    } else {
      f.text.clear();
      f.readOnly = false;
    }
    f.original = f.text;
  }
}

bool newRecordAllowed(const model::Workbook& book, const DataForm& form) {
  if (form.criteriaMode || isProtected(book, form.sheet) || form.block.lastRow >= model::kMaxRow)
    return false;
  const int below = form.current > form.block.lastRow ? newRecordRow(form) + 1 : newRecordRow(form);
  return rowEmpty(book.sheet(form.sheet), below, form.block);
}

bool recordEdited(const DataForm& form) {
  for (const FormField& f : form.fields)
    if (!f.readOnly && f.text != f.original)
      return true;
  return false;
}

bool commitRecord(model::Workbook& book, DataForm& form) {
  if (form.criteriaMode) {
    for (FormField& f : form.fields)
      f.criterion = f.text;
    return false;
  }
  const bool isNew = form.current > form.block.lastRow;
  if (!recordEdited(form))
    return false;
  if (isNew && !newRecordRowFree(book, form))
    return false;
  bool anyText = false;
  for (const FormField& f : form.fields)
    anyText = anyText || (!f.readOnly && !f.text.empty());
  if (isNew && !anyText)
    return false;
  const model::Sheet& s = book.sheet(form.sheet);
  const auto row = static_cast<std::uint16_t>(form.current);
  const CellRange written{row, form.block.firstColumn, row, form.block.lastColumn};
  if (!model::push_undo_range(book, form.sheet, model::kUndoInput, written))
    return false;
  bool wrote = false;
  for (size_t i = 0; i < form.fields.size(); ++i) {
    const FormField& f = form.fields[i];
    const auto column = static_cast<std::uint8_t>(form.block.firstColumn + static_cast<int>(i));
    // A new record gets its formulas too; an existing one only its edits.
    if (isNew ? f.text.empty() : (f.readOnly || f.text == f.original))
      continue;
    const model::CellRecord* c = model::cell_at(s, row, column);
    const std::uint16_t format = c ? c->formatIndex : model::column_record(s, column).formatIndex;
    if (!model::set_cell(book, form.sheet, row, column, f.text, format, false, true))
      break;
    wrote = true;
  }
  if (!wrote)
    return false;
  if (isNew)
    form.block.lastRow = row;
  // Each cell was entered with its dependents brought up to date.
  model::mark_modified(book);
  showRecord(book, form);
  return true;
}

bool recordMatches(model::Workbook& book, const DataForm& form, int row) {
  formula::TextOptions o;
  o.date1904 = book.date1904 != 0;
  for (size_t i = 0; i < form.fields.size(); ++i) {
    const std::u16string& text = form.fields[i].criterion;
    if (text.empty())
      continue;
    const functions::Criterion c = functions::parseCriterion(formula::classifyText(text, o).value, o);
    model::CellRecord* cell = cellOf(book, form.sheet, row, form.block.firstColumn + static_cast<int>(i));
    model::CellValue v;
    if (cell) {
      if (cell->isFormula && cell->calcState == model::CalcState::NotValid)
        formula::computeCell(book, form.sheet, *cell);
      v = cell->value;
    }
    if (!c.matches(v))
      return false;
  }
  return true;
}

bool stepRecord(model::Workbook& book, DataForm& form, bool down) {
  (void)commitRecord(book, form);
  const bool wasCriteria = form.criteriaMode;
  if (wasCriteria) {
    form.criteriaMode = false;
    form.current = form.block.firstRow; // the search starts above the first record
  }
  const int first = form.block.firstRow + 1;
  int target = -1;
  if (down) {
    for (int r = form.current + 1; r <= form.block.lastRow && target < 0; ++r)
      if (recordMatches(book, form, r))
        target = r;
    // The new-record position exists only where a new record may be added.
    if (target < 0 && form.current <= form.block.lastRow && newRecordAllowed(book, form))
      target = newRecordRow(form);
  } else {
    for (int r = std::min(form.current, form.block.lastRow + 1) - 1; r >= first && target < 0; --r)
      if (recordMatches(book, form, r))
        target = r;
  }
  if (target < 0) {
    if (wasCriteria)
      form.current = first;
    showRecord(book, form);
    return false;
  }
  form.current = target;
  showRecord(book, form);
  return true;
}

int recordPositions(const model::Workbook& book, const DataForm& form) {
  const int records = form.block.lastRow - form.block.firstRow;
  const bool atNew = !form.criteriaMode && form.current > form.block.lastRow;
  return records + (atNew || newRecordAllowed(book, form) ? 1 : 0);
}

void goToPosition(model::Workbook& book, DataForm& form, int position) {
  (void)commitRecord(book, form);
  form.criteriaMode = false;
  const int last = std::max(0, recordPositions(book, form) - 1);
  form.current = form.block.firstRow + 1 + std::clamp(position, 0, last);
  showRecord(book, form);
}

bool deleteRecord(model::Workbook& book, DataForm& form) {
  if (form.criteriaMode || form.current > form.block.lastRow || isProtected(book, form.sheet))
    return false;
  const CellRange record{static_cast<std::uint16_t>(form.current), form.block.firstColumn,
                         static_cast<std::uint16_t>(form.current), form.block.lastColumn};
  // Only the records below move up; whatever lies under the list stays.
  if (!edit::delete_cells_up_within(book, form.sheet, record, form.block.lastRow))
    return false;
  form.block.lastRow = static_cast<std::uint16_t>(form.block.lastRow - 1);
  if (form.current > form.block.lastRow && form.block.lastRow > form.block.firstRow)
    form.current = form.block.lastRow;
  showRecord(book, form);
  return true;
}

std::u16string counterText(const DataForm& form) {
  if (form.criteriaMode)
    return u"条件";
  if (form.current > form.block.lastRow)
    return u"新建记录";
  const std::string t =
      std::to_string(form.current - form.block.firstRow) + " of " + std::to_string(form.block.lastRow - form.block.firstRow);
  return std::u16string(t.begin(), t.end());
}

} // namespace datatools

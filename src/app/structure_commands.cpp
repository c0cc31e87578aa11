// The Edit menu's Fill, Clear and Delete and the Insert menu's cells, rows
// and columns on the grid.

#include "app/cell_entry.h"
#include "app/command_table.h"
#include "app/drawing_commands.h"
#include "app/navigation.h"
#include "app/status_bar.h"
#include "dialogs/edit_dialogs.h"
#include "edit/clear.h"
#include "edit/fill.h"
#include "edit/structure.h"
#include "platform/ui_services.h"

namespace app {
namespace {

using model::CellRange;

// The commands work on a worksheet without a selected object, or a macro sheet.
model::Sheet* cellsSheet(App& app) {
  model::Sheet* s = app.gridSheet();
  if (!app.book() || !s || (s->kind == model::SheetKind::Worksheet && s->selectedObject >= 0))
    return nullptr;
  return s;
}

void afterChange(App& app) {
  app.redrawAll();
  refresh_formula_bar(app);
  update_status_summary(app);
  platform::ui().requestRepaint(platform::kRepaintMenus | platform::kRepaintToolBar | platform::kRepaintTitle);
}

CellRange asWholeRows(const CellRange& r) { return {r.firstRow, 0, r.lastRow, model::kMaxColumn}; }
CellRange asWholeColumns(const CellRange& r) { return {0, r.firstColumn, model::kMaxRow, r.lastColumn}; }

// The selection grows to the whole lines a command works on.
void selectLines(App& app, const model::Sheet& s, const CellRange& r) {
  set_selection(app, r, CellPos{s.activeRow, s.activeColumn}, false);
}

void onFill(App& app, int id) {
  model::Sheet* s = cellsSheet(app);
  if (!s)
    return;
  static constexpr edit::FillDirection kDirections[] = {edit::FillDirection::Down, edit::FillDirection::Right,
                                                        edit::FillDirection::Up, edit::FillDirection::Left};
  model::Workbook& book = *app.book();
  (void)edit::fill(book, book.activeSheet, selection(*s), kDirections[id - 135]);
  afterChange(app);
}

void onSeries(App& app, int) {
  model::Sheet* s = cellsSheet(app);
  if (!s)
    return;
  const CellRange sel = selection(*s);
  const std::optional<dialogs::SeriesChoice> c = dialogs::askSeries(
      edit::defaultSeriesRows(sel), [&](bool rows) { return edit::defaultSeriesStep(*s, sel, rows); });
  if (!c)
    return;
  edit::SeriesOptions o;
  o.rows = c->rows;
  o.type = static_cast<edit::SeriesType>(c->type);
  o.unit = static_cast<edit::DateUnit>(c->unit);
  o.step = c->step;
  o.stop = c->stop;
  model::Workbook& book = *app.book();
  (void)edit::fill_series(book, book.activeSheet, sel, o);
  afterChange(app);
}

void onClear(App& app, int id) {
  model::Sheet* s = cellsSheet(app);
  if (!s)
    return;
  static constexpr edit::ClearPart kParts[] = {edit::ClearPart::All, edit::ClearPart::Formats,
                                               edit::ClearPart::Contents, edit::ClearPart::Comments};
  model::Workbook& book = *app.book();
  (void)edit::clear_range(book, book.activeSheet, selection(*s), kParts[id - 140]);
  afterChange(app);
}

// Whole rows or columns of the selection, or of the Insert or Delete
// dialog's choice; else cells shifted as the dialog says.
void editLines(App& app, model::Sheet& s, const CellRange& r, bool rows, bool insert) {
  model::Workbook& book = *app.book();
  const CellRange lines = rows ? asWholeRows(r) : asWholeColumns(r);
  selectLines(app, s, lines);
  if (insert)
    (void)(rows ? edit::insert_cells_down(book, book.activeSheet, lines)
                : edit::insert_cells_right(book, book.activeSheet, lines));
  else
    (void)(rows ? edit::delete_cells_up(book, book.activeSheet, lines)
                : edit::delete_cells_left(book, book.activeSheet, lines));
}

void insertOrDelete(App& app, bool insert) {
  model::Sheet* s = cellsSheet(app);
  if (!s)
    return;
  model::Workbook& book = *app.book();
  const CellRange sel = selection(*s);
  if (edit::spansWholeRows(sel) || edit::spansWholeColumns(sel)) {
    editLines(app, *s, sel, edit::spansWholeRows(sel), insert);
  } else if (const std::optional<int> c = insert ? dialogs::askInsertCells() : dialogs::askDeleteCells()) {
    const int sheet = book.activeSheet;
    switch (*c) {
    case dialogs::kShiftSideways:
      (void)(insert ? edit::insert_cells_right(book, sheet, sel) : edit::delete_cells_left(book, sheet, sel));
      break;
    case dialogs::kShiftVertically:
      (void)(insert ? edit::insert_cells_down(book, sheet, sel) : edit::delete_cells_up(book, sheet, sel));
      break;
    default:
      editLines(app, *s, sel, *c == dialogs::kShiftWholeRows, insert);
      break;
    }
  }
  afterChange(app);
}

void onInsertCells(App& app, int) { insertOrDelete(app, true); }
void onDelete(App& app, int) {
  // With an object selected, Delete deletes the object.
  if (!delete_selected_object(app))
    insertOrDelete(app, false);
}

void onInsertLines(App& app, int id) {
  model::Sheet* s = cellsSheet(app);
  if (!s)
    return;
  editLines(app, *s, selection(*s), id == 161, true);
  afterChange(app);
}

// clang-format off
const CommandEntry kRows[] = {
    {135, 138, onFill},
    {139, 139, onSeries},
    {140, 143, onClear},
    {144, 144, onDelete},
    {160, 160, onInsertCells},
    {161, 162, onInsertLines},
};
// clang-format on

} // namespace

const std::span<const CommandEntry> kStructureCommands(kRows);

} // namespace app

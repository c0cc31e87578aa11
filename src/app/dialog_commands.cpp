// The commands that ask something in a dialog first: sheet operations,
// sizes, zoom, protection, tab colour and insert function.

#include "app/command_table.h"
#include "app/drawing_commands.h"

#include "app/cell_entry.h"
#include "app/control_commands.h"
#include "app/navigation.h"
#include "edit/cell_format.h"
#include "dialogs/format_dialog.h"
#include "dialogs/insert_function_dialog.h"
#include "dialogs/names_dialog.h"
#include "dialogs/number_dialogs.h"
#include "dialogs/password_dialog.h"
#include "dialogs/sheet_dialogs.h"
#include "model/services.h"
#include "model/sheet_list.h"
#include "model/undo.h"
#include "platform/locale_strings.h"
#include "platform/ui_services.h"

#include <algorithm>
#include <optional>

namespace app {
namespace {

constexpr std::u16string_view kMessageWrongPassword = u"保护密码错误！\n工作表仍被保护！";

enum DialogCommand : int {
  kCmdMoveOrCopySheet = 146,
  kCmdInsertFunction = 167,
  kCmdDefineNames = 168,
  kCmdFormatCells = 190,
  kCmdRowHeight = 191,
  kCmdColumnWidth = 195,
  kCmdStandardWidth = 199,
  kCmdRenameSheet = 200,
  kCmdUnhideSheet = 202,
  kCmdZoomDialog = 209,
  kCmdProtectSheet = 210,
  kCmdTabColour = 212,
};


/// The active sheet of the active workbook, or null when none is open.
model::Sheet* activeSheet(App& app) {
  model::Workbook* book = app.book();
  return book && book->sheetCount() > 0 ? &book->active() : nullptr;
}

struct Lines {
  int first, last;
};

Lines selectedRows(const model::Sheet& s) {
  const int a = model::packedRow(s.selectionFirst), b = model::packedRow(s.selectionLast);
  return {std::min(a, b), std::max(a, b)};
}

Lines selectedColumns(const model::Sheet& s) {
  const int a = model::packedColumn(s.selectionFirst), b = model::packedColumn(s.selectionLast);
  return {std::min(a, b), std::max(a, b)};
}

/// The size every line of the run shares, or nothing when they differ.
template <class SizeOf> std::optional<int> commonSize(Lines lines, SizeOf sizeOf) {
  const int size = sizeOf(lines.first);
  for (int i = lines.first + 1; i <= lines.last; ++i)
    if (sizeOf(i) != size)
      return std::nullopt;
  return size;
}

void changed(App& app) {
  model::mark_modified(*app.book());
  app.redrawAll();
}

void moveOrCopySheet(App& app, int) {
  model::Workbook* book = app.book();
  if (!book || book->sheetCount() == 0)
    return;
  const std::optional<dialogs::MoveOrCopy> choice = dialogs::askMoveOrCopy(*book);
  if (!choice)
    return;
  // Both operations mark the workbook modified themselves; a copy keeps no
  // undo entry, and a move to where the sheet already is changes nothing.
  const bool done = choice->copy ? model::copy_active_sheet(*book, choice->before)
                                 : model::move_active_sheet(*book, choice->before);
  if (done)
    app.redrawAll();
}

void insertFunction(App& app, int) {
  model::Sheet* sheet = app.gridSheet();
  if (!sheet)
    return;
  const formula::FunctionEntry* entry =
      dialogs::askFunction(sheet->kind == model::SheetKind::Macro);
  if (!entry)
    return;
  FormulaBarState& bar = app.formulaBar;
  const std::u16string_view separator = platform::localeStrings().listSeparator;
  if (app.editMode == EditMode::None) {
    // Editing had not begun: begin it (a protected cell refuses), and the
    // call with its "=" becomes the whole edit line.
    begin_edit(app, true);
    if (app.editMode == EditMode::None)
      return;
    const dialogs::FunctionCall call = dialogs::functionCallText(*entry, true, separator);
    bar.text = call.text;
    bar.anchor = call.selectionStart;
    bar.caret = call.selectionEnd;
  } else {
    const int start = std::clamp(bar.selectionStart(), 0, static_cast<int>(bar.text.size()));
    const int end = std::clamp(bar.selectionEnd(), start, static_cast<int>(bar.text.size()));
    const dialogs::FunctionCall call = dialogs::functionCallText(*entry, start == 0, separator);
    bar.text.replace(static_cast<size_t>(start), static_cast<size_t>(end - start), call.text);
    bar.anchor = start + call.selectionStart;
    bar.caret = start + call.selectionEnd;
  }
  app.editMode = EditMode::Edit;
  app.window.setFocus(platform::FocusTarget::FormulaBar);
  platform::ui().requestRepaint(platform::kRepaintFormulaBar);
}

void defineNamesCommand(App& app, int) {
  model::Workbook* book = app.book();
  if (!book || book->sheetCount() == 0)
    return;
  if (dialogs::defineNames(*book))
    app.redrawAll();
}

/// Command 190 on cells: the format dialog over the selection.
void formatCellsCommand(App& app, int) {
  model::Sheet* sheet = app.gridSheet();
  model::Workbook* book = app.book();
  if (format_selected_control(app) || edit_chart(app) || !sheet)
    return;
  // With an object selected the command formats the object.
  if (sheet->selectedObject >= 0) {
    (void)format_selected_object(app);
    return;
  }
  const Lines rows = selectedRows(*sheet), columns = selectedColumns(*sheet);
  const model::CellRange range{static_cast<std::uint16_t>(rows.first), static_cast<std::uint8_t>(columns.first),
                               static_cast<std::uint16_t>(rows.last), static_cast<std::uint8_t>(columns.last)};
  edit::FormatDialogState state = edit::gatherFormats(*book, *sheet, range);
  if (!dialogs::showFormatDialog(*book, state) || !state.anyChanged())
    return;
  if (edit::apply_cell_format(*book, book->activeSheet, range, state)) {
    app.relayout();
    app.redrawAll();
  }
}

void rowHeight(App& app, int) {
  model::Sheet* sheet = app.gridSheet();
  if (!sheet)
    return;
  const Lines rows = selectedRows(*sheet);
  const std::optional<int> twips = commonSize(
      rows, [&](int r) { return model::row_height(*sheet, static_cast<std::uint16_t>(r)); });
  const std::optional<double> points =
      dialogs::askRowHeight(twips ? std::optional<double>(*twips / 20.0) : std::nullopt);
  if (!points)
    return;
  if (!record_line_sizes(app, model::kUndoRowHeight, wholeRows(rows.first, rows.last)))
    return;
  model::setRowHeightPoints(*sheet, static_cast<std::uint16_t>(rows.first),
                            static_cast<std::uint16_t>(rows.last), *points);
  changed(app);
}

void columnWidth(App& app, int) {
  model::Sheet* sheet = app.gridSheet();
  if (!sheet)
    return;
  const Lines columns = selectedColumns(*sheet);
  const std::optional<int> width = commonSize(
      columns, [&](int c) { return model::column_width(*sheet, static_cast<std::uint8_t>(c)); });
  const std::optional<double> characters =
      dialogs::askColumnWidth(width ? std::optional<double>(*width / 256.0) : std::nullopt);
  if (!characters)
    return;
  if (!record_line_sizes(app, model::kUndoColumnWidth, wholeColumns(columns.first, columns.last)))
    return;
  model::setColumnWidthChars(*sheet, static_cast<std::uint8_t>(columns.first),
                             static_cast<std::uint8_t>(columns.last), *characters);
  changed(app);
}

void standardWidth(App& app, int) {
  model::Sheet* sheet = app.gridSheet();
  if (!sheet)
    return;
  const std::optional<double> characters =
      dialogs::askStandardWidth(sheet->defaultColumnWidth / 256.0);
  if (!characters)
    return;
  if (!record_undo(app, model::kUndoStandardWidth) || !record_object_placement(app))
    return;
  sheet->defaultColumnWidth = static_cast<std::uint16_t>(*characters * 256 + 0.5);
  sheet->flags &= ~model::kSheetGlobalColumnWidth;
  changed(app);
}

void renameSheet(App& app, int) {
  model::Workbook* book = app.book();
  if (!book || book->sheetCount() == 0)
    return;
  const std::optional<std::u16string> name = dialogs::askSheetName(*book, book->activeSheet);
  if (name && model::rename_active_sheet(*book, *name))
    app.redrawAll();
}

void unhideSheet(App& app, int) {
  model::Workbook* book = app.book();
  if (!book)
    return;
  const std::optional<int> index = dialogs::askUnhideSheet(*book);
  if (index && model::unhide_sheet(*book, *index))
    app.redrawAll();
}

void zoomDialog(App& app, int) {
  model::Sheet* sheet = activeSheet(app);
  if (!sheet)
    return;
  const std::optional<int> zoom = dialogs::askZoom(sheet->zoom);
  if (!zoom || *zoom == sheet->zoom)
    return;
  if (!record_undo(app, model::kUndoZoom))
    return;
  sheet->zoom = static_cast<std::uint16_t>(*zoom);
  changed(app);
}

void protectSheet(App& app, int) {
  model::Sheet* sheet = activeSheet(app);
  if (!sheet)
    return;
  if (!(sheet->flags & model::kSheetProtected)) {
    const std::optional<std::u16string> password = dialogs::askProtectPassword();
    if (!password)
      return;
    if (!record_undo(app, model::kUndoProtect))
      return;
    sheet->protectionVerifier = model::passwordVerifier(*password);
    sheet->flags |= model::kSheetProtected;
    changed(app);
    return;
  }
  if (sheet->protectionVerifier != 0) {
    const std::optional<std::u16string> password = dialogs::askUnprotectPassword();
    if (!password)
      return;
    if (model::passwordVerifier(*password) != sheet->protectionVerifier) {
      platform::ui().messageBox(kMessageWrongPassword, model::kProductName,
                                platform::MessageButtons::Ok, platform::MessageIcon::None);
      return;
    }
  }
  if (!record_undo(app, model::kUndoProtect))
    return;
  sheet->protectionVerifier = 0;
  sheet->flags &= ~model::kSheetProtected;
  changed(app);
}

void tabColour(App& app, int) {
  model::Sheet* sheet = activeSheet(app);
  if (!sheet)
    return;
  const std::optional<std::uint8_t> colour = dialogs::askTabColour(*app.book(), sheet->tabColour);
  if (!colour || *colour == sheet->tabColour)
    return;
  model::set_tab_colour(*app.book(), app.book()->activeSheet, *colour);
  app.redrawAll();
}

// clang-format off
const CommandEntry kRows[] = {
    {kCmdMoveOrCopySheet, kCmdMoveOrCopySheet, moveOrCopySheet},
    {kCmdInsertFunction,  kCmdInsertFunction,  insertFunction, EntryRule::Inside},
    {kCmdDefineNames,     kCmdDefineNames,     defineNamesCommand},
    {kCmdFormatCells,     kCmdFormatCells,     formatCellsCommand},
    {kCmdRowHeight,       kCmdRowHeight,       rowHeight},
    {kCmdColumnWidth,     kCmdColumnWidth,     columnWidth},
    {kCmdStandardWidth,   kCmdStandardWidth,   standardWidth},
    {kCmdRenameSheet,     kCmdRenameSheet,     renameSheet},
    {kCmdUnhideSheet,     kCmdUnhideSheet,     unhideSheet},
    {kCmdZoomDialog,      kCmdZoomDialog,      zoomDialog},
    {kCmdProtectSheet,    kCmdProtectSheet,    protectSheet},
    {kCmdTabColour,       kCmdTabColour,       tabColour},
};
// clang-format on

} // namespace

const std::span<const CommandEntry> kDialogCommands(kRows);

} // namespace app

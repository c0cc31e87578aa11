#include "app/edit_commands.h"

#include "app/cell_entry.h"
#include "app/drawing_commands.h"
#include "app/frame.h"
#include "app/navigation.h"
#include "app/status_bar.h"
#include "dialogs/paste_special_dialog.h"
#include "edit/clipboard.h"
#include "edit/undo_command.h"
#include "platform/ui_services.h"

namespace app {
namespace {

// Cut and Copy work on a worksheet without a selected object, or a macro sheet.
model::Sheet* cellsSheet(App& app) {
  model::Sheet* s = app.gridSheet();
  if (!s || (s->kind == model::SheetKind::Worksheet && s->selectedObject >= 0))
    return nullptr;
  return s;
}

void afterChange(App& app) {
  app.redrawAll();
  refresh_formula_bar(app);
  platform::ui().requestRepaint(platform::kRepaintMenus | platform::kRepaintToolBar | platform::kRepaintTitle);
}

void startOutline(App& app) {
  app.copyPhase = 0;
  app.window.setTimer(kTimerCopyOutline, kCopyOutlineMs);
}

void onUndo(App& app, int) {
  const edit::UndoOutcome out = edit::undo(app.books);
  if (!out.undone)
    return;
  app.redrawAll();
  if (app.editMode == EditMode::None)
    refresh_formula_bar(app);
  update_status_summary(app);
  platform::ui().requestRepaint(platform::kRepaintMenus | platform::kRepaintToolBar | platform::kRepaintTitle |
                                platform::kRepaintTabs | platform::kRepaintFormulaBar);
}

void onCut(App& app, int) {
  if (copy_selected_object(app, true))
    return;
  model::Sheet* s = cellsSheet(app);
  if (!s)
    return;
  model::Workbook& book = *app.book();
  if (edit::cut_range(book, book.activeSheet, selection(*s), app.window))
    startOutline(app);
  afterChange(app);
}

void onCopy(App& app, int) {
  // A chart sheet copies its picture.
  if (model::Workbook* book = app.book(); book && book->activeSheet >= 0 &&
                                          book->active().kind == model::SheetKind::Chart) {
    (void)copy_chart_picture(app, chart_sheet_picture(app, *book), {});
    return;
  }
  if (copy_selected_object(app, false))
    return;
  model::Sheet* s = cellsSheet(app);
  if (!s)
    return;
  model::Workbook& book = *app.book();
  if (edit::copy_range(book, book.activeSheet, selection(*s), app.window))
    startOutline(app);
  afterChange(app);
}

void pasteWith(App& app, const edit::PasteOptions& options) {
  model::Workbook* book = app.book();
  if (!book || !cellsSheet(app))
    return;
  if (edit::paste(app.books, app.window, options, true) && edit::internalClipboard().cut)
    edit::internalClipboard().outlined = false; // the cut cells have arrived
  app.window.setFocus(platform::FocusTarget::Grid);
  afterChange(app);
}

void onPaste(App& app, int) {
  if (!paste_object(app))
    pasteWith(app, {});
}

void onPasteSpecial(App& app, int) {
  if (!app.book() || !cellsSheet(app) || !edit::clipboard_has_snapshot(app.books, app.window))
    return;
  const std::optional<dialogs::PasteSpecialChoice> choice = dialogs::askPasteSpecial();
  if (!choice)
    return;
  pasteWith(app, {choice->part, choice->operation, choice->skipBlanks});
}

// clang-format off
const CommandEntry kRows[] = {
    {130, 130, onUndo},
    {131, 131, onCut},
    {132, 132, onCopy},
    {133, 133, onPaste},
    {134, 134, onPasteSpecial},
};
// clang-format on

} // namespace

const std::span<const CommandEntry> kEditCommands(kRows);

void tick_copy_outline(App& app) {
  model::Workbook* book = app.book();
  if (!book || !edit::internalClipboard().valid || !edit::internalClipboard().outlined ||
      !app.window.clipboardHasMarker()) {
    app.window.killTimer(kTimerCopyOutline);
    if (edit::internalClipboard().outlined) {
      edit::internalClipboard().outlined = false;
      app.redrawAll();
    }
    return;
  }
  app.copyPhase = (app.copyPhase + 1) % 8;
  if (const std::optional<model::CellRange> r = edit::copiedOutline(*book, book->activeSheet, app.window))
    if (app.layout.sheet == book->activeSheet) {
      const platform::Rect o = view::copyOutlineRect(book->active(), app.layout, *r);
      if (!o.isEmpty()) {
        app.window.invalidate({o.left - 2, o.top - 2, o.right + 2, o.bottom + 2});
        platform::ui().requestRepaint(platform::kRepaintGrid);
      }
    }
}

void drop_copy_outline(App& app) {
  if (!edit::internalClipboard().outlined)
    return;
  edit::internalClipboard().outlined = false;
  app.window.killTimer(kTimerCopyOutline);
  app.redrawAll();
}

} // namespace app

#include "app/control_commands.h"

#include "app/cell_entry.h"
#include "app/drawing_commands.h"
#include "dialogs/control_page.h"
#include "drawing/controls.h"
#include "model/services.h"
#include "model/sheet.h"
#include "model/workbook.h"
#include "view/control_painting.h"
#include "view/grid_layout.h"

namespace app {

namespace {

// A label, group box or button does something only through its macro.
bool actsOnlyByMacro(std::uint16_t kind) {
  return kind == model::kObjectLabel || kind == model::kObjectGroupBox || kind == model::kObjectButton;
}

void runObjectMacro(model::Workbook& book, int sheet, int object, std::u16string macro) {
  if (macro.empty() || !model::modelServices().runMacro)
    return;
  if (macro.front() == u'=')
    macro.erase(0, 1);
  model::MacroCaller caller;
  caller.kind = model::MacroCaller::Kind::Object;
  caller.sheet = sheet;
  caller.object = object;
  model::modelServices().runMacro(book, macro, caller);
}

} // namespace

bool press_control(App& app, int object, platform::Point p) {
  model::Workbook* book = app.book();
  model::Sheet* s = app.gridSheet();
  if (!book || !s || object < 0 || object >= static_cast<int>(s->objects.size()))
    return false;
  if (app.window.modifiers() & platform::kModControl)
    return false;
  const model::DrawingObject& o = s->objects[static_cast<size_t>(object)];
  if (!drawing::controlOf(o))
    return false;
  const std::uint16_t kind = o.kind;
  const std::u16string macro = o.macro;
  const int sheetIndex = book->activeSheet;
  if (actsOnlyByMacro(kind)) {
    if (macro.empty() || !model::modelServices().runMacro)
      return false;
    runObjectMacro(*book, sheetIndex, object, macro);
    app.redrawAll();
    return true;
  }
  const platform::Rect r = view::objectRect(*s, app.layout, object);
  view::PressOutcome out = view::pressControl(*book, sheetIndex, object, r, p, app.layout.zoom);
  if (out.dropDown) {
    const drawing::ControlPayload& c = *drawing::controlOf(o);
    const std::vector<std::u16string> entries = drawing::listEntries(*book, sheetIndex, c);
    if (entries.empty())
      return true;
    const int chosen = app.window.trackDropDownList(entries, r, c.selection > 0 ? c.selection - 1 : -1);
    if (chosen < 0)
      return true;
    out = view::chooseEntry(*book, sheetIndex, object, chosen);
  }
  if (!out.changed)
    return true;
  // The state lives in the linked cell when there is one: the control
  // follows the cell, and undoing the entry takes the control back too.
  bool written = false;
  if (const std::optional<drawing::ControlReference> ref =
          drawing::resolveReference(*book, sheetIndex, out.linkedCell)) {
    written = enter_cell_text(app, ref->sheet, ref->range.firstRow, static_cast<std::uint8_t>(ref->range.firstColumn),
                              out.cellText);
    // A refused entry leaves the cell, and so the control, as they were.
    drawing::refreshLinkedControls(*book, sheetIndex);
  } else {
    model::mark_modified(*book);
  }
  app.redrawAll();
  if (written || out.linkedCell.empty())
    runObjectMacro(*book, sheetIndex, object, macro);
  return true;
}

bool format_selected_control(App& app) {
  model::Workbook* book = app.book();
  model::Sheet* s = app.gridSheet();
  if (!book || !s || s->selectedObject < 0 || s->selectedObject >= static_cast<int>(s->objects.size()))
    return false;
  model::DrawingObject& o = s->objects[static_cast<size_t>(s->selectedObject)];
  const drawing::ControlPayload* c = drawing::controlOf(o);
  if (!c || !dialogs::hasControlPage(o.kind))
    return false;
  const int object = s->selectedObject;
  const std::optional<drawing::ControlPayload> changed = dialogs::formatControl(*book, book->activeSheet, o.kind, *c);
  if (!changed)
    return true;
  // The dialog may have run message boxes; look the object up again.
  if (object >= static_cast<int>(s->objects.size()))
    return true;
  // One undo entry takes the control's settings back with the object list.
  if (!record_object_undo(app, model::kUndoFormatObject))
    return true;
  model::DrawingObject& now = s->objects[static_cast<size_t>(object)];
  if (drawing::ControlPayload* target = drawing::controlOf(now))
    *target = *changed;
  // A control that was given a cell shows the cell's value from now on.
  drawing::refreshLinkedControls(*book, book->activeSheet);
  model::mark_modified(*book);
  app.redrawAll();
  return true;
}

void install_controls(App& app) {
  auto previous = app.hooks.pressObject;
  app.hooks.pressObject = [previous](App& a, int object, platform::Point p) {
    return press_control(a, object, p) || (previous && previous(a, object, p));
  };
  // A control drawn with the mouse starts with its kind's state and caption.
  auto prepare = app.hooks.prepareNewObject;
  app.hooks.prepareNewObject = [prepare](App& a, model::DrawingObject& o) {
    const model::Sheet* s = a.gridSheet();
    if (s && drawing::isControlKind(o.kind))
      o = drawing::makeControl(*s, o.kind, o.anchor);
    else if (prepare)
      prepare(a, o);
  };
  view::installControlPainting();
}

} // namespace app

#include "app/app.h"

#include "app/command_table.h"
#include "app/control_commands.h"
#include "app/drawing_commands.h"
#include "datatools/validation.h"
#include "edit/clipboard.h"
#include "model/set_cell.h"
#include "platform/ui_services.h"

#include <algorithm>

namespace app {

App::App(model::WorkbookList& b, platform::WindowServices& w) : books(b), window(w) {
  install_data_tools(*this);
  install_drawing(*this);
  install_controls(*this);
}

model::Sheet* App::gridSheet() {
  model::Workbook* wb = book();
  if (!wb || wb->sheetCount() == 0)
    return nullptr;
  model::Sheet& s = wb->active();
  return (s.kind == model::SheetKind::Worksheet || s.kind == model::SheetKind::Macro) ? &s : nullptr;
}

void App::relayout() {
  model::Workbook* wb = book();
  if (!wb) {
    layout = view::GridLayout{};
    layout.client = layoutInput.client;
    return;
  }
  layout = view::relayout(*wb, layoutInput);
  if (layout.sheet >= 0)
    view::storeViewState(wb->sheet(layout.sheet), layout);
}

namespace {

// The validation rule of the active cell, if any.
const model::ValidationRule* activeRule(const model::Sheet& s) {
  if (s.validations.empty())
    return nullptr;
  const int at = datatools::findRule(s, s.activeRow, s.activeColumn);
  return at < 0 ? nullptr : &s.validations[static_cast<size_t>(at)];
}

// The input message of the active cell's validation rule, when it has one to show.
std::optional<view::PaintOverlays::InputMessage> inputMessageAt(const model::Sheet& s) {
  const model::ValidationRule* r = activeRule(s);
  if (!r || !r->showInput || (r->inputTitle.empty() && r->inputMessage.empty()))
    return std::nullopt;
  return view::PaintOverlays::InputMessage{s.activeRow, s.activeColumn, r->inputTitle, r->inputMessage};
}

// The active cell's list button, when its rule is a list offering one.
std::optional<view::PaintOverlays::ListArrow> listArrowAt(const model::Sheet& s) {
  const model::ValidationRule* r = activeRule(s);
  if (!r || r->allow != model::kAllowList || r->suppressDropDown)
    return std::nullopt;
  return view::PaintOverlays::ListArrow{s.activeRow, s.activeColumn};
}

} // namespace

view::PaintOverlays App::overlays() const {
  view::PaintOverlays o;
  if (point.active)
    o.pointRange = model::CellRange{std::min(point.anchorRow, point.row), std::min(point.anchorColumn, point.column),
                                    std::max(point.anchorRow, point.row), std::max(point.anchorColumn, point.column)};
  if (const model::Workbook* wb = books.active(); wb && layout.sheet >= 0 && layout.sheet < wb->sheetCount()) {
    o.copyOutline = edit::copiedOutline(*wb, layout.sheet, window);
    o.copyPhase = copyPhase;
    o.inputMessage = inputMessageAt(wb->sheet(layout.sheet));
    if (editMode == EditMode::None)
      o.listArrow = listArrowAt(wb->sheet(layout.sheet));
  }
  if (capture == CaptureMode::ResizeColumn)
    o.columnSizingLine = std::max(sizing.start, sizing.at);
  else if (capture == CaptureMode::ResizeRow)
    o.rowSizingLine = std::max(sizing.start, sizing.at);
  if (capture == CaptureMode::NewObject)
    o.newObject = new_object_outline(*this);
  if (commentPopup && books.active() && layout.sheet >= 0 && layout.sheet < books.active()->sheetCount()) {
    const int index = model::commentAt(books.active()->sheet(layout.sheet), commentPopup->row, commentPopup->column);
    if (index >= 0)
      o.commentPopup = index;
  }
  if ((capture == CaptureMode::MoveObject || capture == CaptureMode::SizeObject) && objectDrag.object >= 0 &&
      books.active()) {
    const model::Workbook& wb = *books.active();
    if (layout.sheet >= 0 && layout.sheet < wb.sheetCount())
      o.objectOutline = dragged_rect(view::objectRect(wb.sheet(layout.sheet), layout, objectDrag.object), objectDrag);
  }
  return o;
}

platform::Rect dragged_rect(const platform::Rect& r, const ObjectDrag& d) {
  const int dx = d.now.x - d.start.x, dy = d.now.y - d.start.y;
  if (d.handle <= 0 || d.handle > 8)
    return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
  // Handles 1-8 clockwise from the top left: which edges each one carries.
  static constexpr bool kLeft[] = {true, false, false, false, false, false, true, true};
  static constexpr bool kTop[] = {true, true, true, false, false, false, false, false};
  static constexpr bool kRight[] = {false, false, true, true, true, false, false, false};
  static constexpr bool kBottom[] = {false, false, false, false, true, true, true, false};
  const size_t h = static_cast<size_t>(d.handle - 1);
  const int left = r.left + (kLeft[h] ? dx : 0), right = r.right + (kRight[h] ? dx : 0);
  const int top = r.top + (kTop[h] ? dy : 0), bottom = r.bottom + (kBottom[h] ? dy : 0);
  return {std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
}

void App::set_status_text(int part, std::u16string_view text) {
  if (part < 0 || part >= static_cast<int>(statusText.size()) || statusText[static_cast<size_t>(part)] == text)
    return;
  statusText[static_cast<size_t>(part)] = std::u16string(text);
  platform::ui().requestRepaint(platform::kRepaintStatusBar);
}

void App::setEndMode(bool on) {
  endMode = on;
  set_status_text(kStatusEndPart, on ? u"END" : u"");
}

void App::leaveEndMode() {
  if (endMode)
    setEndMode(false);
}

void App::redrawAll() {
  // A size change of rows or columns puts back the objects that keep their pixels.
  if (placementBefore) {
    if (model::Sheet* s = gridSheet())
      model::keepObjectPlacement(*s, *placementBefore, model::unzoomedScale());
    placementBefore.reset();
  }
  relayout();
  window.invalidate(layout.client);
  platform::ui().requestRepaint(platform::kRepaintGrid | platform::kRepaintTabs);
}

bool record_undo(App& app, model::UndoAction action) {
  model::Workbook* wb = app.book();
  return wb && model::push_undo(*wb, wb->activeSheet, action);
}

bool record_line_sizes(App& app, model::UndoAction action, const model::CellRange& range) {
  model::Workbook* wb = app.book();
  if (!wb || !model::push_undo(*wb, wb->activeSheet, action))
    return false;
  const bool rows = action >= model::kUndoRowHeight && action <= model::kUndoUnhideRows;
  if (!(rows ? model::save_row_records(*wb, wb->activeSheet, range)
             : model::save_column_records(*wb, wb->activeSheet, range)))
    return false;
  return record_object_placement(app);
}

bool record_object_placement(App& app) {
  model::Workbook* wb = app.book();
  const model::Sheet* s = app.gridSheet();
  if (!wb || !s)
    return true;
  const bool keeps = std::any_of(s->objects.begin(), s->objects.end(), [](const model::DrawingObject& o) {
    return o.placement != model::ObjectPlacement::MoveAndSize;
  });
  if (!keeps)
    return true;
  if (!model::save_objects(*wb, wb->activeSheet))
    return false;
  app.placementBefore = model::objectPixelRects(*s, model::unzoomedScale());
  return true;
}

} // namespace app

#include "app/drawing_commands.h"

#include "app/frame.h"

#include "app/command_table.h"
#include "app/navigation.h"
#include "charts/chart_model.h"
#include "dialogs/object_dialog.h"
#include "dialogs/prompt_dialog.h"
#include "drawing/object_edit.h"
#include "formula/reference_syntax.h"
#include "model/range_guard.h"
#include "model/set_cell.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <algorithm>
#include <cstdlib>

namespace app {
namespace {

using model::Sheet;

constexpr int kTimerComment = 2;
constexpr int kCommentDelayMs = 500;

// The object Copy or Cut last took, with its box in unzoomed sheet pixels
// and the text it left on the system clipboard. Paste makes a new object of
// it while that text, without the marker of our copied cells, is still
// there: anything copied since, here or elsewhere, replaces it.
struct ObjectClip {
  bool valid = false;
  std::uint64_t sourceWorkbook = 0; // Workbook::id
  model::Font font;                 // the object's font, for a paste into another workbook
  model::DrawingObject object;
  platform::Rect rect;
  std::u16string text;
  int pastes = 0; // each paste lands one step further right and down than the last
};
constexpr int kPasteStep = 10;

ObjectClip& objectClip() {
  static ObjectClip clip;
  return clip;
}

// Sheet pixels of a window point: the inverse of objectRect's placement, as
// the pane under the point scrolls.
platform::Point sheetPoint(App& app, const Sheet& s, platform::Point p) {
  const view::HitTest h = view::hitTest(*app.book(), app.layout, p);
  const int row = std::max(0, h.row), column = std::max(0, h.column);
  int left = 0, right = 0, top = 0, bottom = 0;
  if (!view::columnSpan(s, app.layout, column, left, right) || !view::rowSpan(s, app.layout, row, top, bottom))
    return {0, 0};
  return {model::column_offset_px(s, column, 0, app.layout.scale) + (p.x - left),
          model::row_offset_px(s, row, 0, app.layout.scale) + (p.y - top)};
}

void invalidateObject(App& app, const Sheet& s, int index) {
  const platform::Rect r = view::objectRect(s, app.layout, index);
  if (r.isEmpty())
    return;
  const int m = view::kHandleHalf + 1;
  app.window.invalidate({r.left - m, r.top - m, r.right + m, r.bottom + m});
}

void afterObjectChange(App& app) {
  hide_comment(app);
  model::mark_modified(*app.book());
  app.redrawAll();
  platform::ui().requestRepaint(platform::kRepaintMenus | platform::kRepaintToolBar | platform::kRepaintTitle);
}

// ---- commands ----

void onInsertShape(App& app, int id) {
  static constexpr int kKinds[] = {model::kObjectLine, model::kObjectRectangle, model::kObjectOval,
                                   model::kObjectTextBox};
  begin_insert_object(app, kKinds[id - 181]);
}

// The form controls, in the order of the Insert > Controls menu.
void onInsertControl(App& app, int id) {
  static constexpr int kKinds[] = {model::kObjectLabel,     model::kObjectGroupBox,     model::kObjectButton,
                                   model::kObjectCheckBox,  model::kObjectOptionButton, model::kObjectListBox,
                                   model::kObjectComboBox,  model::kObjectScrollBar,    model::kObjectSpinner};
  begin_insert_object(app, kKinds[id - 172]);
}

// Insert > Comment: asks for the text of the active cell's comment, new or
// edited; an empty text on a new comment makes none.
void onComment(App& app, int) {
  Sheet* s = app.gridSheet();
  model::Workbook* book = app.book();
  if (!s || !book || s->selectedObject >= 0)
    return;
  const int row = s->activeRow, column = s->activeColumn;
  if (!model::guard_range(*book, *s, {static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column),
                                      static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column)},
                          model::kGuardProtection))
    return;
  const int existing = model::commentAt(*s, row, column);
  dialogs::Prompt prompt;
  prompt.title = existing >= 0 ? u"编辑批注" : u"插入批注";
  prompt.label = u"批注：";
  prompt.multiLine = true;
  if (existing >= 0)
    prompt.initialText = s->objects[static_cast<size_t>(existing)].text;
  prompt.limit = 32767;
  const std::optional<std::u16string> text = dialogs::askText(prompt);
  if (!text || (existing < 0 && text->empty()))
    return;
  if (existing >= 0 && *text == s->objects[static_cast<size_t>(existing)].text)
    return;
  const model::CellRange cell{static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column),
                              static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column)};
  if (!model::push_undo_range(*book, book->activeSheet,
                              existing >= 0 ? model::kUndoEditComment : model::kUndoInsertComment, cell))
    return;
  hide_comment(app);
  (void)drawing::setComment(*s, row, column, *text, comment_author(), model::unzoomedScale());
  afterObjectChange(app);
}

// A macro reference of the format dialog: a defined name or a cell reference,
// with or without its "=".
bool macroReferenceValid(const model::Workbook& book, std::u16string_view text) {
  if (!text.empty() && text.front() == u'=')
    text.remove_prefix(1);
  if (text.empty())
    return false;
  if (model::find_name_text(book, text) >= 0)
    return true;
  formula::ParsedReference ref;
  return formula::readA1Reference(text, 0, &book, u',', ref) && ref.end == text.size();
}

const CommandEntry kRows[] = {
    {169, 169, onComment},
    {172, 180, onInsertControl},
    {181, 184, onInsertShape},
};

} // namespace

const std::span<const CommandEntry> kDrawingCommands = kRows;

std::u16string comment_author() {
  for (const char* name : {"USERNAME", "USER", "LOGNAME"})
    if (const char* v = std::getenv(name); v && *v)
      return platform::fromUtf8(v);
  return {};
}

void begin_insert_object(App& app, int kind) {
  Sheet* s = app.gridSheet();
  if (!s || s->kind != model::SheetKind::Worksheet)
    return;
  select_object(app, -1);
  hide_comment(app);
  app.insertKind = kind;
  app.window.setCursor(platform::CursorShape::Cross);
}

void select_object(App& app, int index) {
  Sheet* s = app.gridSheet();
  if (!s || s->selectedObject == index)
    return;
  app.typingObject = -1;
  if (s->selectedObject >= 0)
    invalidateObject(app, *s, s->selectedObject);
  s->selectedObject = index;
  if (index >= 0)
    invalidateObject(app, *s, index);
  platform::ui().requestRepaint(platform::kRepaintMenus | platform::kRepaintToolBar);
}

bool record_object_undo(App& app, model::UndoAction action) {
  model::Workbook* book = app.book();
  Sheet* s = app.gridSheet();
  if (!book || !s)
    return false;
  // Objects of a protected sheet are locked with its cells.
  if (s->flags & model::kSheetProtected) {
    model::showRefusal(model::GuardRefusal::Protected);
    return false;
  }
  return model::push_undo(*book, book->activeSheet, action) && model::save_objects(*book, book->activeSheet);
}

bool delete_selected_object(App& app) {
  Sheet* s = app.gridSheet();
  if (!s || s->selectedObject < 0 || s->selectedObject >= static_cast<int>(s->objects.size()))
    return false;
  // The filter's own arrows go with the filter, not one by one.
  if (s->objects[static_cast<size_t>(s->selectedObject)].filterArrow)
    return true;
  if (!record_object_undo(app, model::kUndoDeleteObject))
    return true;
  drawing::removeObject(*s, s->selectedObject);
  s->selectedObject = -1;
  afterObjectChange(app);
  return true;
}

bool press_for_new_object(App& app, const view::HitTest& hit, platform::Point p) {
  if (app.insertKind == 0)
    return false;
  if (hit.region != view::HitRegion::Cell && hit.region != view::HitRegion::Object) {
    app.insertKind = 0;
    app.window.setCursor(platform::CursorShape::Arrow);
    return false;
  }
  app.objectDrag = {-1, 0, p, p};
  app.capture = CaptureMode::NewObject;
  app.window.setCapture(true);
  return true;
}

view::PaintOverlays::NewObject new_object_outline(const App& app) {
  const drawing::DragShape d = drawing::dragShape(app.insertKind, app.objectDrag.start, app.objectDrag.now,
                                                  (app.window.modifiers() & platform::kModShift) != 0);
  return {app.insertKind, d.rect, d.flip};
}

void finish_object_drag(App& app, CaptureMode was, platform::Point p, bool shift) {
  Sheet* s = app.gridSheet();
  ObjectDrag d = app.objectDrag;
  app.objectDrag = {};
  d.now = p;
  if (!s)
    return;
  if (was == CaptureMode::NewObject) {
    const int kind = app.insertKind;
    app.insertKind = 0;
    app.window.setCursor(platform::CursorShape::Arrow);
    app.window.invalidate(app.layout.cells); // the rubber outline goes
    // A click without a drag makes nothing.
    if (kind == 0 || (std::abs(p.x - d.start.x) < 2 && std::abs(p.y - d.start.y) < 2))
      return;
    const drawing::DragShape shape = drawing::dragShape(kind, d.start, d.now, shift);
    model::DrawingObject o = drawing::newObject(kind);
    o.flip = shape.flip;
    const platform::Point a = sheetPoint(app, *s, {shape.rect.left, shape.rect.top});
    const platform::Rect r{a.x, a.y, a.x + shape.rect.width(), a.y + shape.rect.height()};
    // What the kind adds may depend on the object's shape (a scroll bar
    // wider than tall runs across).
    o.anchor = model::pixelsToAnchor(*s, r, app.layout.scale);
    if (app.hooks.prepareNewObject)
      app.hooks.prepareNewObject(app, o);
    if (!record_object_undo(app, model::kUndoInsertObject))
      return;
    s->selectedObject = drawing::addObject(*s, std::move(o), r, app.layout.scale);
    afterObjectChange(app);
    return;
  }
  const int dx = p.x - d.start.x, dy = p.y - d.start.y;
  if ((dx == 0 && dy == 0) || d.object < 0 || d.object >= static_cast<int>(s->objects.size())) {
    app.window.invalidate(app.layout.cells); // the outline goes
    return;
  }
  if (!record_object_undo(app, was == CaptureMode::MoveObject ? model::kUndoMoveObject : model::kUndoSizeObject)) {
    app.redrawAll();
    return;
  }
  if (was == CaptureMode::MoveObject) {
    model::moveObjectBy(*s, d.object, dx, dy, app.layout.scale);
  } else {
    // The same edges move in sheet pixels as moved on the screen.
    model::DrawingObject& o = s->objects[static_cast<size_t>(d.object)];
    const platform::Rect before = model::anchorToPixels(*s, o.anchor, app.layout.scale);
    const platform::Rect sized = dragged_rect(before, d);
    // A line sized past its other end turns round.
    if (o.kind == model::kObjectLine) {
      const bool flipX = (sized.left != before.left && sized.right == before.left) ||
                         (sized.right != before.right && sized.left == before.right);
      const bool flipY = (sized.top != before.top && sized.bottom == before.top) ||
                         (sized.bottom != before.bottom && sized.top == before.bottom);
      o.flip = static_cast<std::uint8_t>(o.flip ^ (flipX ? 1 : 0) ^ (flipY ? 2 : 0));
    }
    o.anchor = model::pixelsToAnchor(*s, sized, app.layout.scale);
  }
  afterObjectChange(app);
}

bool can_format_selected_object(const model::Sheet* s) {
  if (!s || s->selectedObject < 0 || s->selectedObject >= static_cast<int>(s->objects.size()))
    return false;
  const model::DrawingObject& o = s->objects[static_cast<size_t>(s->selectedObject)];
  return dialogs::objectFormatAvailable(o) || charts::chartOf(o) != nullptr;
}

bool format_selected_object(App& app) {
  Sheet* s = app.gridSheet();
  model::Workbook* book = app.book();
  if (!book || !can_format_selected_object(s))
    return false;
  if (edit_chart(app))
    return true;
  const int index = s->selectedObject;
  model::DrawingObject edited = s->objects[static_cast<size_t>(index)];
  if (!dialogs::showObjectFormatDialog(*book, edited, [book](std::u16string_view t) {
        return macroReferenceValid(*book, t);
      }))
    return true;
  if (!record_object_undo(app, model::kUndoFormatObject))
    return true;
  // Placement changes only how the object follows later size changes.
  s->objects[static_cast<size_t>(index)] = std::move(edited);
  afterObjectChange(app);
  return true;
}

bool can_copy_selected_object(const model::Sheet* s) {
  if (!s || s->kind != model::SheetKind::Worksheet || s->selectedObject < 0 ||
      s->selectedObject >= static_cast<int>(s->objects.size()))
    return false;
  // Comments go with their cells, the filter's arrows with the filter.
  const model::DrawingObject& o = s->objects[static_cast<size_t>(s->selectedObject)];
  return o.kind != model::kObjectComment && !o.filterArrow;
}

bool copy_selected_object(App& app, bool cut) {
  Sheet* s = app.gridSheet();
  if (!s || s->kind != model::SheetKind::Worksheet || s->selectedObject < 0)
    return false;
  if (!can_copy_selected_object(s) || (cut && !record_object_undo(app, model::kUndoCut)))
    return true;
  const int index = s->selectedObject;
  const model::DrawingObject& o = s->objects[static_cast<size_t>(index)];
  ObjectClip& clip = objectClip();
  clip.valid = false;
  clip.object = o;
  clip.sourceWorkbook = app.book()->id;
  clip.font = o.fontIndex < app.book()->fonts.size() ? app.book()->fonts[o.fontIndex] : model::Font{};
  clip.rect = model::anchorToPixels(*s, o.anchor, model::unzoomedScale());
  clip.text = o.text;
  // A cut object comes back where it was; copies step aside from the original.
  clip.pastes = cut ? -1 : 0;
  clip.valid = true;
  // A chart goes to other programs as its picture.
  if (o.kind != model::kObjectChart ||
      !copy_chart_picture(app, chart_object_picture(*app.book(), *s, index), clip.text))
    app.window.setClipboardText(clip.text);
  app.typingObject = -1;
  if (cut) {
    drawing::removeObject(*s, index);
    s->selectedObject = -1;
    afterObjectChange(app);
  } else {
    platform::ui().requestRepaint(platform::kRepaintMenus | platform::kRepaintToolBar);
  }
  return true;
}

bool can_paste_object(const model::Sheet* s, const platform::WindowServices& window) {
  const ObjectClip& clip = objectClip();
  return clip.valid && s && s->kind == model::SheetKind::Worksheet && !window.clipboardHasMarker() &&
         window.clipboardText() == clip.text;
}

bool paste_object(App& app) {
  if (!can_paste_object(app.gridSheet(), app.window))
    return false;
  if (!record_object_undo(app, model::kUndoPaste))
    return true;
  Sheet* s = app.gridSheet();
  ObjectClip& clip = objectClip();
  const int step = kPasteStep * std::max(0, ++clip.pastes);
  const platform::Rect r{clip.rect.left + step, clip.rect.top + step, clip.rect.right + step,
                         clip.rect.bottom + step};
  model::DrawingObject o = clip.object;
  // Font numbers belong to their workbook: another one gets the same font.
  if (model::Workbook* book = app.book(); book->id != clip.sourceWorkbook) {
    const int font = model::findOrAddFont(*book, clip.font);
    o.fontIndex = static_cast<std::uint16_t>(std::max(0, font));
  }
  hide_comment(app);
  select_object(app, -1);
  s->selectedObject = drawing::addObject(*s, std::move(o), r, model::unzoomedScale());
  afterObjectChange(app);
  return true;
}

bool type_into_object(App& app, char16_t ch) {
  Sheet* s = app.gridSheet();
  if (!s || s->selectedObject < 0 || s->selectedObject >= static_cast<int>(s->objects.size()) ||
      s->objects[static_cast<size_t>(s->selectedObject)].kind != model::kObjectTextBox)
    return false;
  const int index = s->selectedObject;
  if (ch == u'\t' || ch == 0x1B)
    return false;
  // One undo entry takes back all the typing into the box since it was selected.
  if (app.typingObject != index) {
    if (!record_object_undo(app, model::kUndoInput))
      return true;
    app.typingObject = index;
  }
  std::u16string& text = s->objects[static_cast<size_t>(index)].text;
  if (ch == u'\b') {
    if (!text.empty()) {
      // A surrogate pair goes whole.
      const bool pair = text.size() >= 2 && text.back() >= 0xDC00 && text.back() <= 0xDFFF &&
                        text[text.size() - 2] >= 0xD800 && text[text.size() - 2] <= 0xDBFF;
      text.resize(text.size() - (pair ? 2 : 1));
    }
  } else if (ch == u'\r' || ch == u'\n') {
    text += u'\n';
  } else if (ch >= 0x20 && text.size() < 32767) {
    text += ch;
  }
  model::mark_modified(*app.book());
  invalidateObject(app, *s, index);
  return true;
}

bool object_keydown(App& app, unsigned key, bool shift) {
  Sheet* s = app.gridSheet();
  if (!s)
    return false;
  if (key == VK_ESCAPE && app.insertKind != 0) {
    app.insertKind = 0;
    app.window.setCursor(platform::CursorShape::Arrow);
    if (app.capture == CaptureMode::NewObject) {
      app.capture = CaptureMode::None;
      app.window.setCapture(false);
      app.window.invalidate(app.layout.cells);
    }
    return true;
  }
  const int selected = s->selectedObject;
  if (selected < 0 || selected >= static_cast<int>(s->objects.size()))
    return false;
  switch (key) {
  case VK_ESCAPE:
    select_object(app, -1);
    return true;
  case VK_DELETE:
    return delete_selected_object(app);
  case VK_TAB: {
    const int next = drawing::nextTabObject(*s, selected, shift);
    if (next >= 0)
      select_object(app, next);
    app.swallowCharacters = u"\t";
    return true;
  }
  case VK_LEFT:
  case VK_RIGHT:
  case VK_UP:
  case VK_DOWN: {
    if (s->objects[static_cast<size_t>(selected)].filterArrow)
      return true;
    if (!record_object_undo(app, model::kUndoMoveObject))
      return true;
    const int dx = key == VK_LEFT ? -1 : key == VK_RIGHT ? 1 : 0;
    const int dy = key == VK_UP ? -1 : key == VK_DOWN ? 1 : 0;
    model::moveObjectBy(*s, selected, dx, dy, app.layout.scale);
    afterObjectChange(app);
    return true;
  }
  default:
    return false;
  }
}

void hide_comment(App& app) {
  app.hoverCell.reset();
  app.window.killTimer(kTimerComment);
  if (app.commentPopup) {
    app.commentPopup.reset();
    app.window.invalidate(app.layout.cells);
  }
}

void hover_for_comment(App& app, const view::HitTest& hit) {
  const Sheet* s = app.gridSheet();
  if (!s || hit.region != view::HitRegion::Cell || hit.row < 0 || hit.column < 0 ||
      model::commentAt(*s, hit.row, hit.column) < 0) {
    if (app.hoverCell || app.commentPopup)
      hide_comment(app);
    return;
  }
  const CellPos cell{static_cast<std::uint16_t>(hit.row), static_cast<std::uint8_t>(hit.column)};
  if (app.hoverCell == cell)
    return;
  hide_comment(app);
  app.hoverCell = cell;
  app.window.setTimer(kTimerComment, kCommentDelayMs);
}

void install_drawing(App& app) {
  // The pop-up shows the comment of the cell the mouse rests on; a click
  // that started the timer rests on the active cell.
  app.hooks.showComment = [](App& a, CellPos active) {
    const Sheet* s = a.gridSheet();
    if (!s)
      return;
    const CellPos cell = a.hoverCell.value_or(active);
    const int index = model::commentAt(*s, cell.row, cell.column);
    if (index < 0 || s->objects[static_cast<size_t>(index)].visible)
      return;
    a.commentPopup = cell;
    a.hoverCell = cell;
    a.window.invalidate(a.layout.cells);
  };
}

} // namespace app

// Drawing objects and comments on the grid, driven as the window drives
// them: menu commands, mouse messages with their button and Shift bits,
// keys and timers.

#include "app/app_test_util.h"
#include "app/command_table.h"
#include "app/drawing_commands.h"
#include "app/menu_state.h"
#include "dialogs/format_dialog.h"
#include "dialogs/object_dialog.h"
#include "dialogs/prompt_dialog.h"
#include "drawing/controls.h"
#include "drawing/object_edit.h"
#include "model/undo.h"
#include "platform/dialog.h"

namespace app {
namespace {

using platform::DialogAction;
using platform::Point;
using platform::Rect;

constexpr int kComment = 169, kLine = 181, kRectangle = 182, kOval = 183, kTextBox = 184, kDelete = 144;

class DrawingCommands : public AppTest {
protected:
  DrawingCommands() : hostScope(host) { model::undoList().clear(); }
  ~DrawingCommands() override { model::undoList().clear(); }

  bool run(int id) { return dispatch_command(app, id, CommandSource::Menu); }
  void down(Point p, unsigned mk = 0) { main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON | mk, makePointParam(p.x, p.y)); }
  void move(Point p, unsigned mk = 0) { main_window_proc(app, WM_MOUSEMOVE, mk, makePointParam(p.x, p.y)); }
  void up(Point p, unsigned mk = 0) { main_window_proc(app, WM_LBUTTONUP, mk, makePointParam(p.x, p.y)); }
  void drag(Point from, Point to, unsigned mk = 0) {
    window.heldModifiers = (mk & MK_SHIFT) ? unsigned{platform::kModShift} : 0u;
    down(from, mk);
    move({(from.x + to.x) / 2, (from.y + to.y) / 2}, MK_LBUTTON | mk);
    move(to, MK_LBUTTON | mk);
    up(to, mk);
    window.heldModifiers = 0;
  }
  Rect rectOf(int index) { return view::objectRect(sheet(), app.layout, index); }
  std::u16string undoLabel() { return model::undoList().newestLabel().value_or(u""); }
  void undo() { ASSERT_TRUE(run(kCmdUndo)); }

  platform::ScriptedDialogHost host;
  platform::ScopedDialogHost hostScope;
};

TEST_F(DrawingCommands, EachInsertCommandDrawsItsKindWhereTheMouseDragged) {
  const std::pair<int, int> commands[] = {{kLine, model::kObjectLine},
                                          {kRectangle, model::kObjectRectangle},
                                          {kOval, model::kObjectOval},
                                          {kTextBox, model::kObjectTextBox}};
  int n = 0;
  for (const auto& [id, kind] : commands) {
    ASSERT_TRUE(run(id));
    EXPECT_EQ(window.cursor, platform::CursorShape::Cross);
    // The rubber outline follows the mouse while the button is held.
    down({100, 100});
    move({180, 150}, MK_LBUTTON);
    ASSERT_TRUE(app.overlays().newObject.has_value());
    EXPECT_EQ(app.overlays().newObject->kind, kind);
    EXPECT_EQ(app.overlays().newObject->rect, (Rect{100, 100, 181, 151}));
    up({180, 150});
    ASSERT_EQ(sheet().objects.size(), static_cast<size_t>(++n));
    EXPECT_EQ(sheet().objects.back().kind, kind);
    EXPECT_EQ(sheet().selectedObject, n - 1);
    EXPECT_EQ(rectOf(n - 1), (Rect{100, 100, 181, 151}));
    EXPECT_FALSE(app.overlays().newObject.has_value());
    EXPECT_EQ(window.cursor, platform::CursorShape::Arrow);
    EXPECT_EQ(undoLabel(), u"插入对象");
    EXPECT_TRUE(book().modified);
  }
  // One undo takes back one object.
  undo();
  EXPECT_EQ(sheet().objects.size(), 3u);
  EXPECT_EQ(sheet().selectedObject, -1);
}

TEST_F(DrawingCommands, ControlCommandsDrawControlsWithTheirKindsState) {
  struct Case {
    int id;
    std::uint16_t kind;
    std::u16string_view caption;
  };
  const Case cases[] = {
      {172, model::kObjectLabel, u"标签 1"},       {173, model::kObjectGroupBox, u"群组框 1"},
      {174, model::kObjectButton, u"命令按钮 1"},  {175, model::kObjectCheckBox, u"复选框 1"},
      {176, model::kObjectOptionButton, u"选项按钮 1"}, {177, model::kObjectListBox, u""},
      {178, model::kObjectComboBox, u""},          {179, model::kObjectScrollBar, u""},
      {180, model::kObjectSpinner, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    ASSERT_TRUE(update_menu(app).items.at(c.id).enabled);
    ASSERT_TRUE(run(c.id));
    drag({100, 300}, {180, 340});
    ASSERT_FALSE(sheet().objects.empty());
    const model::DrawingObject& o = sheet().objects.back();
    EXPECT_EQ(o.kind, c.kind);
    EXPECT_EQ(o.text, c.caption);
    EXPECT_NE(drawing::controlOf(o), nullptr);
    EXPECT_EQ(rectOf(static_cast<int>(sheet().objects.size()) - 1), (Rect{100, 300, 181, 341}));
  }
  // A scroll bar drawn wider than tall runs across; one taller than wide runs down.
  ASSERT_TRUE(run(179));
  drag({300, 100}, {310, 200});
  EXPECT_FALSE(drawing::controlOf(sheet().objects.back())->horizontal);
  EXPECT_TRUE(drawing::controlOf(sheet().objects[7])->horizontal);
}

TEST_F(DrawingCommands, ShiftDrawsASquareAndTheLineStartsWhereTheDragDid) {
  ASSERT_TRUE(run(kRectangle));
  drag({100, 100}, {160, 120}, MK_SHIFT);
  ASSERT_EQ(sheet().objects.size(), 1u);
  EXPECT_EQ(rectOf(0), (Rect{100, 100, 161, 161}));
  ASSERT_TRUE(run(kLine));
  drag({300, 200}, {250, 240});
  ASSERT_EQ(sheet().objects.size(), 2u);
  EXPECT_EQ(sheet().objects[1].flip, 1); // top right to bottom left
}

TEST_F(DrawingCommands, EscapeOrAClickWithoutADragMakesNothing) {
  ASSERT_TRUE(run(kOval));
  key(VK_ESCAPE);
  EXPECT_EQ(window.cursor, platform::CursorShape::Arrow);
  drag({100, 100}, {200, 150}); // now selects cells
  EXPECT_TRUE(sheet().objects.empty());
  EXPECT_NE(sel(), range(0, 0, 0, 0));
  ASSERT_TRUE(run(kOval));
  click({100, 100});
  EXPECT_TRUE(sheet().objects.empty());
  EXPECT_TRUE(model::undoList().empty());
  // Escape in the middle of the drag drops it.
  ASSERT_TRUE(run(kOval));
  down({100, 100});
  move({150, 150}, MK_LBUTTON);
  key(VK_ESCAPE);
  up({150, 150});
  EXPECT_TRUE(sheet().objects.empty());
}

TEST_F(DrawingCommands, MovingAndSizingWithTheMouseAreEachOneUndo) {
  ASSERT_TRUE(run(kRectangle));
  drag({100, 100}, {180, 150});
  const Rect made = rectOf(0);
  drag({140, 120}, {170, 140}); // the body: moves
  EXPECT_EQ(rectOf(0), (Rect{made.left + 30, made.top + 20, made.right + 30, made.bottom + 20}));
  EXPECT_EQ(undoLabel(), u"移动对象");
  const Rect moved = rectOf(0);
  // The bottom right handle sizes.
  drag({moved.right - 1, moved.bottom - 1}, {moved.right + 19, moved.bottom + 9});
  EXPECT_EQ(rectOf(0), (Rect{moved.left, moved.top, moved.right + 20, moved.bottom + 10}));
  EXPECT_EQ(undoLabel(), u"对象大小");
  undo();
  EXPECT_EQ(rectOf(0), moved);
  undo();
  EXPECT_EQ(rectOf(0), made);
}

TEST_F(DrawingCommands, KeysNudgeDeleteAndStepThroughObjects) {
  ASSERT_TRUE(run(kRectangle));
  drag({100, 100}, {180, 150});
  ASSERT_TRUE(run(kOval));
  drag({300, 100}, {380, 150});
  ASSERT_EQ(sheet().selectedObject, 1);
  const Rect was = rectOf(1);
  key(VK_RIGHT);
  key(VK_DOWN);
  EXPECT_EQ(rectOf(1), (Rect{was.left + 1, was.top + 1, was.right + 1, was.bottom + 1}));
  EXPECT_EQ(active(), (CellPos{0, 0})); // the active cell stays
  key(VK_TAB);
  EXPECT_EQ(sheet().selectedObject, 0);
  key(VK_TAB, platform::kModShift);
  EXPECT_EQ(sheet().selectedObject, 1);
  key(VK_DELETE);
  ASSERT_EQ(sheet().objects.size(), 1u);
  EXPECT_EQ(sheet().selectedObject, -1);
  EXPECT_EQ(undoLabel(), u"删除对象");
  // The Delete command deletes the selected object too, not cells.
  set(0, 0, u"keep");
  click(Point{140, 120});
  ASSERT_EQ(sheet().selectedObject, 0);
  ASSERT_TRUE(run(kDelete));
  EXPECT_TRUE(sheet().objects.empty());
  EXPECT_EQ(input(0, 0), u"keep");
  undo();
  EXPECT_EQ(sheet().objects.size(), 1u);
  // Escape lets go of the object.
  click(Point{140, 120});
  key(VK_ESCAPE);
  EXPECT_EQ(sheet().selectedObject, -1);
}

TEST_F(DrawingCommands, TypingGoesIntoTheSelectedTextBoxAsOneUndo) {
  ASSERT_TRUE(run(kTextBox));
  drag({100, 100}, {220, 160});
  type(u"Hi");
  key(VK_RETURN);
  type(u"yo");
  key(VK_BACK);
  EXPECT_EQ(sheet().objects[0].text, u"Hi\ny");
  EXPECT_EQ(app.editMode, EditMode::None);
  EXPECT_EQ(input(0, 0), u"");
  EXPECT_EQ(undoLabel(), u"输入内容");
  EXPECT_EQ(model::undoList().size(), 2u); // the box, then its typing
  undo();
  EXPECT_EQ(sheet().objects[0].text, u"");
  // A rectangle takes no typing: the cell does.
  ASSERT_TRUE(run(kRectangle));
  drag({300, 100}, {380, 150});
  type(u"5");
  EXPECT_NE(app.editMode, EditMode::None);
}

TEST_F(DrawingCommands, ProtectedSheetRefusesObjectChanges) {
  ASSERT_TRUE(run(kRectangle));
  drag({100, 100}, {180, 150});
  sheet().flags |= model::kSheetProtected;
  const Rect was = rectOf(0);
  drag({140, 120}, {170, 140});
  EXPECT_EQ(rectOf(0), was);
  EXPECT_FALSE(ui.shown().empty());
  ASSERT_TRUE(run(kRectangle));
  drag({300, 100}, {380, 150});
  EXPECT_EQ(sheet().objects.size(), 1u);
}

TEST_F(DrawingCommands, CommentCommandInsertsEditsAndUndoes) {
  select(2, 1, 2, 1, 2, 1);
  host.queue({DialogAction::setText(dialogs::kPromptEdit, u"look here"), DialogAction::ok()});
  ASSERT_TRUE(run(kComment));
  const int c = model::commentAt(sheet(), 2, 1);
  ASSERT_GE(c, 0);
  EXPECT_EQ(sheet().objects[static_cast<size_t>(c)].text, u"look here");
  EXPECT_EQ(sheet().objects[static_cast<size_t>(c)].author, comment_author());
  EXPECT_EQ(undoLabel(), u"插入批注");
  EXPECT_TRUE(book().modified);
  // Editing starts from the old text.
  host.queue({DialogAction::setText(dialogs::kPromptEdit, u"changed\nover two lines"), DialogAction::ok()});
  ASSERT_TRUE(run(kComment));
  EXPECT_EQ(sheet().objects.size(), 1u);
  EXPECT_EQ(sheet().objects[0].text, u"changed\nover two lines");
  EXPECT_EQ(undoLabel(), u"edit comment");
  undo();
  ASSERT_EQ(model::commentAt(sheet(), 2, 1), 0);
  EXPECT_EQ(sheet().objects[0].text, u"look here");
  undo();
  EXPECT_LT(model::commentAt(sheet(), 2, 1), 0);
  // Cancel, or an empty new comment, makes nothing.
  host.queue({DialogAction::cancel()});
  ASSERT_TRUE(run(kComment));
  host.queue({DialogAction::setText(dialogs::kPromptEdit, u""), DialogAction::ok()});
  ASSERT_TRUE(run(kComment));
  EXPECT_TRUE(sheet().objects.empty());
}

TEST_F(DrawingCommands, FormatCommandSetsATextBoxsFontAndAlignmentAsOneUndo) {
  ASSERT_TRUE(run(kTextBox));
  drag({100, 100}, {220, 160});
  type(u"Hi");
  const std::uint16_t plainFont = sheet().objects[0].fontIndex;
  EXPECT_TRUE(update_menu(app).items.at(190).enabled);
  // Pages: 字体, 文本, 颜色与线条, 属性, 宏.
  host.queue({DialogAction::check(dialogs::kFontBold, true, 0), DialogAction::select(dialogs::kObjectTextAlign, 1, 1),
              DialogAction::select(dialogs::kObjectTextVerticalAlign, 2, 1), DialogAction::ok()});
  ASSERT_TRUE(run(190));
  ASSERT_EQ(host.runs().size(), 1u);
  EXPECT_EQ(host.runs()[0].title, dialogs::kObjectDialogTitle);
  EXPECT_EQ(host.runs()[0].badActions, 0);
  const model::DrawingObject& box = sheet().objects[0];
  EXPECT_EQ(box.textAlign, model::kTextAlignCentre);
  EXPECT_EQ(box.textVerticalAlign, model::kTextAlignBottom);
  ASSERT_LT(box.fontIndex, book().fonts.size());
  EXPECT_EQ(book().fonts[box.fontIndex].weight, 700);
  EXPECT_EQ(box.text, u"Hi");
  EXPECT_EQ(undoLabel(), u"设置对象格式");
  undo();
  EXPECT_EQ(sheet().objects[0].textAlign, model::kTextAlignLeft);
  EXPECT_EQ(sheet().objects[0].textVerticalAlign, model::kTextAlignTop);
  EXPECT_EQ(sheet().objects[0].fontIndex, plainFont);
  EXPECT_EQ(sheet().objects[0].text, u"Hi");
}

TEST_F(DrawingCommands, CopyCutAndPasteOfAnObjectAreEachOneUndo) {
  ASSERT_TRUE(run(kTextBox));
  drag({100, 100}, {180, 150});
  type(u"box");
  sheet().objects[0].fillColour = 0x123456;
  const Rect original = rectOf(0);
  const auto shifted = [&](int by) {
    return Rect{original.left + by, original.top + by, original.right + by, original.bottom + by};
  };
  EXPECT_TRUE(update_menu(app).items.at(kCmdCopy).enabled);
  ASSERT_TRUE(run(kCmdCopy));
  EXPECT_EQ(window.clipboard, u"box");
  EXPECT_FALSE(window.marker);
  EXPECT_TRUE(update_menu(app).items.at(kCmdPaste).enabled);
  const size_t entries = model::undoList().size();
  // Each paste lands a step further from the original and is selected.
  ASSERT_TRUE(run(kCmdPaste));
  ASSERT_TRUE(run(kCmdPaste));
  ASSERT_EQ(sheet().objects.size(), 3u);
  EXPECT_EQ(rectOf(1), shifted(10));
  EXPECT_EQ(rectOf(2), shifted(20));
  EXPECT_EQ(sheet().selectedObject, 2);
  EXPECT_EQ(sheet().objects[2].text, u"box");
  EXPECT_EQ(sheet().objects[2].fillColour, 0x123456u);
  EXPECT_EQ(model::undoList().size(), entries + 2);
  EXPECT_EQ(undoLabel(), u"粘贴");
  undo();
  EXPECT_EQ(sheet().objects.size(), 2u);

  // Cut takes the object away in one entry; its paste puts it back in place.
  select_object(app, 0);
  ASSERT_TRUE(run(kCmdCut));
  ASSERT_EQ(sheet().objects.size(), 1u);
  EXPECT_EQ(sheet().selectedObject, -1);
  EXPECT_EQ(undoLabel(), u"剪切");
  ASSERT_TRUE(run(kCmdPaste));
  ASSERT_EQ(sheet().objects.size(), 2u);
  EXPECT_EQ(rectOf(1), original);
  undo();
  undo();
  EXPECT_EQ(sheet().objects.size(), 2u);
  EXPECT_EQ(rectOf(0), original);

  // Cells copied since take Paste back; so does text from elsewhere.
  select_object(app, -1);
  select(5, 5, 5, 5, 5, 5);
  set(5, 5, u"7");
  ASSERT_TRUE(run(kCmdCopy));
  select(6, 5, 6, 5, 6, 5);
  ASSERT_TRUE(run(kCmdPaste));
  EXPECT_EQ(input(6, 5), u"7");
  EXPECT_EQ(sheet().objects.size(), 2u);
  select_object(app, 0);
  ASSERT_TRUE(run(kCmdCopy));
  window.setClipboardText(u"other program");
  EXPECT_FALSE(can_paste_object(&sheet(), window));
}

TEST_F(DrawingCommands, AnObjectPastedIntoAnotherWorkbookKeepsItsFont) {
  ASSERT_TRUE(run(kTextBox));
  drag({100, 100}, {180, 150});
  model::Font bold = book().fonts[0];
  bold.weight = 700;
  bold.heightTwips = 360;
  const int font = model::findOrAddFont(book(), bold);
  ASSERT_GT(font, 0);
  sheet().objects[0].fontIndex = static_cast<std::uint16_t>(font);
  ASSERT_TRUE(run(kCmdCopy));
  ASSERT_TRUE(books.new_workbook(nullptr));
  app.relayout();
  ASSERT_EQ(sheet().objects.size(), 0u);
  ASSERT_TRUE(run(kCmdPaste));
  ASSERT_EQ(sheet().objects.size(), 1u);
  const std::uint16_t pasted = sheet().objects[0].fontIndex;
  ASSERT_LT(pasted, book().fonts.size());
  EXPECT_EQ(book().fonts[pasted], bold);
}

TEST_F(DrawingCommands, CommentsAndFilterArrowsAreNotCopiedAsObjects) {
  sheet().objects.push_back(drawing::newObject(model::kObjectComment));
  sheet().objects[0].visible = true;
  sheet().objects.push_back(drawing::newObject(model::kObjectComboBox));
  sheet().objects[1].filterArrow = true;
  window.setClipboardText(u"kept");
  for (int i : {0, 1}) {
    sheet().selectedObject = i;
    EXPECT_FALSE(update_menu(app).items.at(kCmdCopy).enabled) << i;
    ASSERT_TRUE(run(kCmdCut));
    ASSERT_TRUE(run(kCmdCopy));
    EXPECT_EQ(sheet().objects.size(), 2u);
    EXPECT_EQ(window.clipboard, u"kept");
  }
}

TEST_F(DrawingCommands, CommentShowsWhenTheMouseRestsOnItsCell) {
  host.queue({DialogAction::setText(dialogs::kPromptEdit, u"note"), DialogAction::ok()});
  select(3, 2, 3, 2, 3, 2);
  ASSERT_TRUE(run(kComment));
  move(cellCentre(0, 0));
  EXPECT_FALSE(window.timers.count(2));
  move(cellCentre(3, 2));
  EXPECT_TRUE(window.timers.count(2));
  EXPECT_FALSE(app.overlays().commentPopup.has_value());
  main_window_proc(app, WM_TIMER, 2, 0);
  ASSERT_TRUE(app.overlays().commentPopup.has_value());
  EXPECT_EQ(*app.overlays().commentPopup, model::commentAt(sheet(), 3, 2));
  // Moving inside the cell keeps it; leaving the cell hides it.
  move({cellCentre(3, 2).x + 3, cellCentre(3, 2).y});
  EXPECT_TRUE(app.overlays().commentPopup.has_value());
  move(cellCentre(5, 5));
  EXPECT_FALSE(app.overlays().commentPopup.has_value());
  EXPECT_FALSE(window.timers.count(2));
}

TEST_F(DrawingCommands, FixedObjectKeepsItsPixelsWhenAColumnWidensAndUndoPutsItBack) {
  ASSERT_TRUE(run(kRectangle));
  drag({100, 100}, {180, 150});
  ASSERT_TRUE(run(kRectangle));
  drag({100, 200}, {180, 250});
  sheet().objects[1].placement = model::ObjectPlacement::Fixed;
  const Rect sizing = rectOf(0), fixed = rectOf(1);
  // Column B lies under both: widening it by the header border's drag.
  int left = 0, right = 0;
  ASSERT_TRUE(view::columnSpan(sheet(), app.layout, 1, left, right));
  drag({right - 1, 8}, {right + 40, 8});
  EXPECT_GT(rectOf(0).width(), sizing.width() + 20); // the part of B it covers grew
  EXPECT_EQ(rectOf(1), fixed);
  undo();
  EXPECT_EQ(rectOf(0), sizing);
  EXPECT_EQ(rectOf(1), fixed);
}

TEST_F(DrawingCommands, MenuFollowsTheSelectionAndTheActiveCell) {
  const MenuState none = update_menu(app);
  EXPECT_TRUE(none.items.at(kRectangle).enabled);
  EXPECT_EQ(none.items.at(kComment).text, u"批注(&M)");
  ASSERT_TRUE(run(kRectangle));
  drag({100, 100}, {180, 150});
  const MenuState selected = update_menu(app);
  EXPECT_TRUE(selected.items.at(kDelete).enabled);
  EXPECT_FALSE(selected.items.at(kComment).enabled);
}

} // namespace
} // namespace app

// The seams the desktop's commands stand on: every changing command records
// through the one undo list before its first change (and does not run when
// it cannot), and the grid hit-tests and moves drawing objects.

#include "app/app_test_util.h"

#include "app/command_table.h"
#include "model/failing_allocator_test_util.h"
#include "model/undo.h"

namespace app {
namespace {

class CommandSeamsTest : public AppTest {
protected:
  CommandSeamsTest() { model::undoList().clear(); }
  ~CommandSeamsTest() override { model::undoList().clear(); }
  const model::UndoEntry& newest() { return *model::undoList().newest(); }
  void command(int id) { main_window_proc(app, WM_COMMAND, makeWParam(static_cast<unsigned>(id), 0), 0); }
};

TEST_F(CommandSeamsTest, TypingRecordsTheCellItWritesBeforeWritingIt) {
  set(2, 2, u"before");
  // A whole-sheet selection: the entry holds the one cell the commit writes.
  select(0, 0, model::kMaxRow, model::kMaxColumn, 2, 2);
  type(u"after");
  key(VK_RETURN);
  ASSERT_EQ(model::undoList().size(), 1u);
  EXPECT_EQ(newest().action, model::kUndoInput);
  EXPECT_EQ(newest().sheetId, sheet().id);
  ASSERT_TRUE(newest().snapshot.has_value());
  EXPECT_EQ(newest().snapshot->range, range(2, 2, 2, 2));
  ASSERT_EQ(newest().snapshot->cells.size(), 1u);
  EXPECT_EQ(newest().snapshot->cells[0].input, u"before");
  EXPECT_EQ(model::undoList().newestLabel(), std::u16string(u"输入内容"));
}

TEST_F(CommandSeamsTest, ClearContentsRecordsTheClearedCells) {
  set(0, 0, u"a");
  set(3, 1, u"b");
  select(0, 0, model::kMaxRow, 1, 0, 0); // columns A:B
  key(VK_DELETE);
  EXPECT_EQ(input(0, 0), u"");
  ASSERT_EQ(model::undoList().size(), 1u);
  EXPECT_EQ(newest().action, model::kUndoClear);
  EXPECT_EQ(newest().snapshot->range, range(0, 0, 3, 1)); // down to the last used row
  EXPECT_EQ(newest().snapshot->cells.size(), 2u);
}

TEST_F(CommandSeamsTest, SizesTogglesAndSheetCommandsRecordTheirActions) {
  const struct {
    int id;
    model::UndoAction action;
  } rows[] = {
      {203, model::kUndoGridlines}, {204, model::kUndoHeaders},      {211, model::kUndoShowFormulas},
      {207, model::kUndoZoom},      {220, model::kUndoFreezePanes},  {193, model::kUndoHideRows},
      {194, model::kUndoUnhideRows}, {197, model::kUndoHideColumns}, {198, model::kUndoUnhideColumns},
      {192, model::kUndoRowHeight}, {196, model::kUndoColumnWidth},  {163, model::kUndoInsertWorksheet},
  };
  for (const auto& row : rows) {
    select(1, 1, 2, 2, 1, 1);
    model::undoList().clear();
    command(row.id);
    ASSERT_EQ(model::undoList().size(), 1u) << row.id;
    EXPECT_EQ(newest().action, row.action) << row.id;
  }
}

TEST_F(CommandSeamsTest, DraggedAndFittedSizesRecordTheRecordsTheyChange) {
  model::setColumnWidthChars(sheet(), 0, 0, 12); // A: 84 pixels, its border at x 108
  app.relayout();
  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(108, 8));
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(24 + 140, 8));
  ASSERT_EQ(model::undoList().size(), 1u);
  EXPECT_EQ(newest().action, model::kUndoColumnWidth);
  ASSERT_EQ(newest().columns.size(), 1u);
  EXPECT_EQ(newest().columns[0].size, 12 * 256); // the width before the drag
  EXPECT_EQ(model::column_width(sheet(), 0), 20 * 256);

  set(0, 0, u"a rather long text for one column");
  model::undoList().clear();
  main_window_proc(app, WM_LBUTTONDBLCLK, MK_LBUTTON, makePointParam(24 + 140, 8));
  ASSERT_EQ(model::undoList().size(), 1u);
  EXPECT_EQ(newest().action, model::kUndoColumnWidth);
  EXPECT_EQ(newest().columns[0].size, 20 * 256);

  model::undoList().clear();
  main_window_proc(app, WM_LBUTTONDBLCLK, MK_LBUTTON, makePointParam(10, 34)); // row 1's border
  ASSERT_EQ(model::undoList().size(), 1u);
  EXPECT_EQ(newest().action, model::kUndoRowHeight);

  // A press and release on a border that did not move changes nothing.
  model::undoList().clear();
  const std::uint16_t width = model::column_width(sheet(), 0);
  app.relayout();
  const int border = 24 + model::column_px(sheet(), 0, app.layout.scale);
  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(border, 8));
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(border, 8));
  EXPECT_TRUE(model::undoList().empty());
  EXPECT_EQ(model::column_width(sheet(), 0), width);
}

TEST_F(CommandSeamsTest, WhenRecordingFailsTheCommandDoesNotRun) {
  set(0, 0, u"old");
  refresh_formula_bar(app);
  // Typing: the commit is refused and the entry stays open.
  type(u"new");
  ui.clearShown();
  testalloc::failNextAllocationOf(sizeof(model::UndoEntry));
  key(VK_RETURN);
  EXPECT_FALSE(testalloc::armed());
  EXPECT_EQ(input(0, 0), u"old");
  EXPECT_NE(app.editMode, EditMode::None);
  EXPECT_EQ(active(), (CellPos{0, 0}));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"Insufficient memory");
  key(VK_ESCAPE);

  // A view toggle, a size, clear contents.
  const std::uint32_t flags = sheet().flags;
  testalloc::failNextAllocationOf(sizeof(model::UndoEntry));
  command(203);
  EXPECT_EQ(sheet().flags, flags);
  testalloc::failNextAllocationOf(sizeof(model::UndoEntry));
  command(193);
  EXPECT_EQ(model::row_height(sheet(), 0), model::kDefaultRowHeight);
  testalloc::failNextAllocationOf(sizeof(model::UndoEntry));
  key(VK_DELETE);
  EXPECT_EQ(input(0, 0), u"old");
  EXPECT_TRUE(model::undoList().empty());
  EXPECT_EQ(book().modified, 0);
}

// An array entry records before it touches the array records: when the
// recording fails, the array it would replace is still there, whole.
TEST_F(CommandSeamsTest, ARefusedRecordingLeavesTheArraysAsTheyWere) {
  select(1, 1, 2, 2, 1, 1); // B2:C3
  type(u"=1");
  key(VK_RETURN, platform::kModControl | platform::kModShift);
  ASSERT_EQ(sheet().arrayFormulas.size(), 1u);
  model::undoList().clear();

  select(0, 0, 3, 3, 0, 0); // A1:D4 holds the array whole
  type(u"=2");
  testalloc::failNextAllocationOf(sizeof(model::UndoEntry));
  key(VK_RETURN, platform::kModControl | platform::kModShift);
  EXPECT_FALSE(testalloc::armed());
  ASSERT_EQ(sheet().arrayFormulas.size(), 1u);
  EXPECT_EQ(sheet().arrayFormulas[0].range, range(1, 1, 2, 2));
  EXPECT_EQ(input(1, 1), u"=1");
  EXPECT_EQ(input(2, 2), u"=1");
  EXPECT_EQ(input(0, 0), u"");
  EXPECT_TRUE(model::undoList().empty());
  EXPECT_NE(app.editMode, EditMode::None);

  // With memory the same entry replaces it.
  key(VK_RETURN, platform::kModControl | platform::kModShift);
  ASSERT_EQ(sheet().arrayFormulas.size(), 1u);
  EXPECT_EQ(sheet().arrayFormulas[0].range, range(0, 0, 3, 3));
  EXPECT_EQ(input(3, 3), u"=2");
  EXPECT_EQ(newest().action, model::kUndoInput);
}

// Two objects: a box over B2:C4 (x 80-192, y 34-85) and a comment on E5.
class ObjectsTest : public AppTest {
protected:
  ObjectsTest() {
    model::DrawingObject box;
    box.anchor = {{1, 0, 1, 0}, {3, 0, 4, 0}};
    model::DrawingObject note;
    note.kind = model::kObjectComment;
    note.row = 4;
    note.column = 4;
    sheet().objects = {box, note};
    app.relayout();
  }
};

TEST_F(ObjectsTest, APressOnAnObjectSelectsItAndADragMovesIt) {
  const view::HitTest h = view::hitTest(book(), app.layout, {100, 50});
  EXPECT_EQ(h.region, view::HitRegion::Object);
  EXPECT_EQ(h.object, 0);
  EXPECT_EQ(h.row, 1); // the cell under it is still known
  EXPECT_EQ(view::hitTest(book(), app.layout, cellCentre(4, 4)).region, view::HitRegion::Cell)
      << "a comment shows as a mark, not as an object";

  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(100, 50));
  EXPECT_EQ(sheet().selectedObject, 0);
  EXPECT_EQ(app.capture, CaptureMode::MoveObject);
  main_window_proc(app, WM_MOUSEMOVE, MK_LBUTTON, makePointParam(100 + 56, 50 + 17));
  ASSERT_TRUE(app.overlays().objectOutline.has_value());
  EXPECT_EQ(*app.overlays().objectOutline, (platform::Rect{136, 51, 248, 102}));
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(100 + 56, 50 + 17));
  EXPECT_EQ(app.capture, CaptureMode::None);
  const model::ObjectAnchor moved = sheet().objects[0].anchor;
  EXPECT_EQ(moved.first.column, 2);
  EXPECT_EQ(moved.first.row, 2);
  EXPECT_EQ(moved.last.column, 4);
  EXPECT_EQ(moved.last.row, 5);
  EXPECT_NE(book().modified, 0);
  EXPECT_EQ(sel(), range(0, 0, 0, 0)) << "the cells' selection stays";

  // The selected object's handles are hit first; a click on a cell drops the object's selection.
  EXPECT_EQ(view::hitTest(book(), app.layout, {136, 51}).handle, 1);
  click(cellCentre(8, 8));
  EXPECT_EQ(sheet().selectedObject, -1);
  EXPECT_EQ(active(), (CellPos{8, 8}));
}

TEST_F(ObjectsTest, AHandleOfTheSelectedObjectSizesIt) {
  sheet().selectedObject = 0;
  // The bottom right handle (5) sits on the last pixel: (191, 84).
  const view::HitTest h = view::hitTest(book(), app.layout, {191, 84});
  ASSERT_EQ(h.region, view::HitRegion::Object);
  EXPECT_EQ(h.handle, 5);
  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(191, 84));
  EXPECT_EQ(app.capture, CaptureMode::SizeObject);
  main_window_proc(app, WM_MOUSEMOVE, MK_LBUTTON, makePointParam(191 + 56, 84 + 34));
  EXPECT_EQ(*app.overlays().objectOutline, (platform::Rect{80, 34, 248, 119}));
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(191 + 56, 84 + 34));
  const model::ObjectAnchor sized = sheet().objects[0].anchor;
  EXPECT_EQ(sized.first.column, 1); // the top left corner stays
  EXPECT_EQ(sized.first.row, 1);
  EXPECT_EQ(sized.last.column, 4);  // one column wider and two rows taller
  EXPECT_EQ(sized.last.row, 6);
  // Dragging the left handle past the right edge turns the rectangle over.
  const struct {
    int handle;
    int dx, dy;
    platform::Rect want;
  } rows[] = {
      {0, 5, -3, {15, 17, 65, 37}},
      {1, 10, 10, {20, 30, 60, 40}},
      {2, 10, 10, {10, 30, 60, 40}},
      {4, -60, 0, {0, 20, 10, 40}},
      {8, 70, 0, {60, 20, 80, 40}},
  };
  for (const auto& row : rows)
    EXPECT_EQ(dragged_rect({10, 20, 60, 40}, {0, row.handle, {100, 100}, {100 + row.dx, 100 + row.dy}}), row.want)
        << row.handle;
}

TEST_F(ObjectsTest, AKindThatActsTakesThePressInstead) {
  int pressed = -1;
  app.hooks.pressObject = [&](App&, int object, platform::Point) {
    pressed = object;
    return true;
  };
  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(100, 50));
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(100, 50));
  EXPECT_EQ(pressed, 0);
  EXPECT_EQ(sheet().selectedObject, -1);
  EXPECT_EQ(app.capture, CaptureMode::None);
}

TEST_F(ObjectsTest, ACommentStartsThePopUpTimer) {
  click(cellCentre(4, 4));
  EXPECT_TRUE(window.timers.count(2));
  click(cellCentre(6, 6));
  CellPos shown{};
  app.hooks.showComment = [&](App&, CellPos p) { shown = p; };
  click(cellCentre(4, 4));
  main_window_proc(app, WM_TIMER, 2, 0);
  EXPECT_EQ(shown, (CellPos{4, 4}));
  EXPECT_FALSE(window.timers.count(2));
}

} // namespace
} // namespace app

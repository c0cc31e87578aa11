// The Fill, Clear, Insert and Delete commands as the menus and the
// accelerators send them, with their dialogs answered by a script.

#include "app/app_test_util.h"
#include "app/command_table.h"
#include "app/menu_state.h"
#include "dialogs/edit_dialogs.h"
#include "edit/structure.h"
#include "model/undo.h"
#include "platform/dialog.h"

namespace app {
namespace {

using platform::DialogAction;

class StructureCommandsTest : public AppTest {
protected:
  StructureCommandsTest() : hostScope(host) { model::undoList().clear(); }
  ~StructureCommandsTest() override { model::undoList().clear(); }
  void command(int id) { main_window_proc(app, WM_COMMAND, makeWParam(static_cast<unsigned>(id), 1), 0); }
  std::u16string undoText() { return update_menu(app).items.at(kCmdUndo).text; }

  platform::ScriptedDialogHost host;
  platform::ScopedDialogHost hostScope;
};

TEST_F(StructureCommandsTest, FillDownThenUndoByTheMenu) {
  set(0, 1, u"3");
  set(1, 1, u"4");
  set(0, 0, u"=B1*2");
  select(0, 0, 3, 0, 0, 0);
  command(135);
  EXPECT_EQ(input(1, 0), u"=B2*2");
  EXPECT_EQ(input(3, 0), u"=B4*2");
  EXPECT_EQ(undoText(), u"撤消 " + std::u16string(model::undo_label(model::kUndoFillDown)) + u"\tCtrl+Z");
  command(kCmdUndo);
  EXPECT_EQ(input(1, 0), u"");
  EXPECT_EQ(input(3, 0), u"");
}

TEST_F(StructureCommandsTest, EveryCommandOfThePartIsBuiltAndEnabledOnCells) {
  const MenuState state = update_menu(app);
  for (const int id : {135, 136, 137, 138, 139, 140, 141, 142, 143, 144, 160, 161, 162}) {
    EXPECT_NE(findCommand(id), nullptr) << id;
    EXPECT_TRUE(state.items.at(id).enabled) << id;
  }
}

TEST_F(StructureCommandsTest, InsertRowsOfTheSelectionAndTheRunTimeTexts) {
  set(2, 0, u"moves");
  set(0, 1, u"=SUM(A1:A10)");
  select(1, 0, 2, 0, 1, 0);
  EXPECT_EQ(update_menu(app).items.at(160).text, u"单元格…(&E)");
  command(161);
  EXPECT_EQ(input(4, 0), u"moves");
  EXPECT_EQ(input(0, 1), u"=SUM(A1:A12)");
  const model::CellRange sel = selection(sheet());
  EXPECT_TRUE(edit::spansWholeRows(sel)) << "the selection grows to the whole rows";
  EXPECT_EQ(update_menu(app).items.at(160).text, u"单元格(&E)");
  EXPECT_EQ(update_menu(app).items.at(144).text, u"删除(&D)");
  // Whole rows selected: Delete needs no dialog.
  command(144);
  EXPECT_EQ(input(2, 0), u"moves");
  EXPECT_TRUE(host.runs().empty());
  command(kCmdUndo);
  EXPECT_EQ(input(4, 0), u"moves");
  command(kCmdUndo);
  EXPECT_EQ(input(2, 0), u"moves");
  EXPECT_EQ(input(0, 1), u"=SUM(A1:A10)");
}

TEST_F(StructureCommandsTest, TheInsertAndDeleteDialogsChooseTheShift) {
  set(1, 1, u"b2");
  set(1, 2, u"c2");
  select(1, 1, 1, 1, 1, 1);
  host.queue({DialogAction::check(dialogs::kShiftFirst + dialogs::kShiftSideways), DialogAction::ok()});
  command(160);
  EXPECT_EQ(host.runs().back().title, u"插入");
  EXPECT_EQ(input(1, 2), u"b2");
  EXPECT_EQ(input(1, 3), u"c2");
  host.queue({DialogAction::ok()}); // shift cells up
  select(0, 2, 0, 2, 0, 2);
  command(144);
  EXPECT_EQ(host.runs().back().title, u"删除");
  EXPECT_EQ(input(0, 2), u"b2");
  host.queue({DialogAction::cancel()});
  command(144);
  EXPECT_EQ(input(0, 2), u"b2") << "cancelled: nothing changes";
  host.queue({DialogAction::check(dialogs::kShiftFirst + dialogs::kShiftWholeColumns), DialogAction::ok()});
  command(144);
  EXPECT_EQ(input(0, 2), u"") << "column C went, D moved into it";
  EXPECT_EQ(input(1, 2), u"c2");
}

TEST_F(StructureCommandsTest, SeriesDialogFillsTheSelection) {
  set(0, 0, u"1");
  set(0, 1, u"4");
  select(0, 0, 0, 4, 0, 0);
  host.queue({DialogAction::ok()});
  command(139);
  ASSERT_EQ(host.runs().size(), 1u);
  EXPECT_EQ(host.runs()[0].afterInit[0].text(dialogs::kSeriesStep), u"3");
  EXPECT_TRUE(host.runs()[0].afterInit[0].checked(dialogs::kSeriesRows));
  EXPECT_EQ(input(0, 2), u"7");
  EXPECT_EQ(input(0, 4), u"13");
  command(kCmdUndo);
  EXPECT_EQ(input(0, 4), u"");
  EXPECT_EQ(input(0, 1), u"4");
}

TEST_F(StructureCommandsTest, ClearCommandsAndTheDeleteKey) {
  set(0, 0, u"x");
  set(1, 0, u"y");
  select(0, 0, 0, 0, 0, 0);
  key(VK_DELETE);
  EXPECT_EQ(input(0, 0), u"");
  EXPECT_EQ(undoText(), u"撤消 清除\tCtrl+Z");
  select(1, 0, 1, 0, 1, 0);
  command(140);
  EXPECT_EQ(input(1, 0), u"");
  command(kCmdUndo);
  EXPECT_EQ(input(1, 0), u"y");
}

} // namespace
} // namespace app

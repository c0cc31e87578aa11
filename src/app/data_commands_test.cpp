// Sort, Go to and Goal seek as the menus send them, with their dialogs
// answered by a script.

#include "app/app_test_util.h"
#include "app/command_table.h"
#include "app/menu_state.h"
#include "dialogs/data_dialogs.h"
#include "dialogs/find_dialog.h"
#include "model/undo.h"
#include "platform/dialog.h"

namespace app {
namespace {

using platform::DialogAction;

class DataCommandsTest : public AppTest {
protected:
  DataCommandsTest() : hostScope(host) { model::undoList().clear(); }
  ~DataCommandsTest() override { model::undoList().clear(); }
  void command(int id) { main_window_proc(app, WM_COMMAND, makeWParam(static_cast<unsigned>(id), 1), 0); }

  platform::ScriptedDialogHost host;
  platform::ScopedDialogHost hostScope;
};

TEST_F(DataCommandsTest, TheCommandsAreBuiltAndEnabledOnCells) {
  const MenuState state = update_menu(app);
  for (const int id : {147, 148, 149, 221, 225}) {
    EXPECT_NE(findCommand(id), nullptr) << id;
    EXPECT_TRUE(state.items.at(id).enabled) << id;
  }
}

// From one cell the current region is sorted; its header is guessed and
// stays, and the key is the active cell's column.
TEST_F(DataCommandsTest, SortAListWithAHeaderFromOneCell) {
  set(1, 1, u"Name");
  set(1, 2, u"Score");
  const std::u16string names[] = {u"cy", u"al", u"bo"};
  const std::u16string scores[] = {u"3", u"1", u"2"};
  for (int i = 0; i < 3; ++i) {
    set(2 + i, 1, names[i]);
    set(2 + i, 2, scores[i]);
  }
  select(3, 2, 3, 2, 3, 2);
  host.queue({DialogAction::ok()});
  command(221);
  const auto& run = host.runs().back();
  EXPECT_EQ(run.title, u"排序");
  EXPECT_TRUE(run.afterInit[0].checked(dialogs::kSortHeader));
  EXPECT_EQ(run.afterInit[0].itemText(dialogs::kSortKeyFirst, 1), u"Score");
  EXPECT_EQ(run.afterInit[0].selection(dialogs::kSortKeyFirst), 1);
  EXPECT_EQ(input(1, 1), u"Name");
  EXPECT_EQ(input(2, 1), u"al");
  EXPECT_EQ(input(3, 1), u"bo");
  EXPECT_EQ(input(4, 1), u"cy");
  EXPECT_EQ(selection(sheet()), (model::CellRange{1, 1, 4, 2}));
  command(kCmdUndo);
  EXPECT_EQ(input(2, 1), u"cy");
}

TEST_F(DataCommandsTest, FindThenReplaceAllThroughTheDialog) {
  set(0, 0, u"apple");
  set(4, 2, u"pineapple");
  set(6, 1, u"pear");
  host.queue({DialogAction::setText(dialogs::kFindText, u"apple"), DialogAction::press(dialogs::kFindNextButton),
              DialogAction::press(dialogs::kFindNextButton)});
  command(147);
  EXPECT_EQ(sheet().activeRow, 0) << "found C5, then wrapped to A1";
  EXPECT_EQ(sheet().activeColumn, 0);
  host.queue({DialogAction::setText(dialogs::kFindReplaceText, u"plum"),
              DialogAction::press(dialogs::kFindReplaceAllButton), DialogAction::cancel()});
  command(148);
  EXPECT_EQ(host.runs().back().afterInit[0].text(dialogs::kFindText), u"apple") << "the last search is kept";
  EXPECT_EQ(input(0, 0), u"plum");
  EXPECT_EQ(input(4, 2), u"pineplum");
  EXPECT_EQ(input(6, 1), u"pear");
  command(kCmdUndo);
  EXPECT_EQ(input(4, 2), u"pineapple");
}

TEST_F(DataCommandsTest, GoToSelectsTheTypedReference) {
  host.queue({DialogAction::setText(dialogs::kGoToReference, u"C3:D9"), DialogAction::ok()});
  command(149);
  EXPECT_EQ(host.runs().back().afterInit[0].text(dialogs::kGoToReference), u"A1");
  EXPECT_EQ(selection(sheet()), (model::CellRange{2, 2, 8, 3}));
  EXPECT_EQ(sheet().activeRow, 2);
}

TEST_F(DataCommandsTest, GoalSeekKeepsOrCancels) {
  set(1, 1, u"=A1*A1");
  select(1, 1, 1, 1, 1, 1);
  host.queue({DialogAction::setText(dialogs::kGoalValue, u"2"), DialogAction::setText(dialogs::kGoalChanging, u"A1"),
              DialogAction::ok()});
  host.queue({DialogAction::ok()});
  command(225);
  EXPECT_EQ(host.runs().at(0).afterInit[0].text(dialogs::kGoalTarget), u"B2");
  EXPECT_EQ(input(0, 0), u"1.4142135623731");
  EXPECT_EQ(host.runs().at(1).title, u"单变量求解状态");

  set(0, 0, u"7");
  model::undoList().clear();
  host.queue({DialogAction::setText(dialogs::kGoalValue, u"9"), DialogAction::setText(dialogs::kGoalChanging, u"A1"),
              DialogAction::ok()});
  host.queue({DialogAction::cancel()});
  command(225);
  EXPECT_EQ(input(0, 0), u"7") << "cancel undoes the goal seek";
}

} // namespace
} // namespace app

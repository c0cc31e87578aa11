// Sort, AutoFilter, Go to and Goal seek as the menus send them, with their
// dialogs answered by a script.

#include "app/app_test_util.h"
#include "app/command_table.h"
#include "app/menu_state.h"
#include "dialogs/data_dialogs.h"
#include "dialogs/filter_dialogs.h"
#include "dialogs/find_dialog.h"
#include "dialogs/rule_dialogs.h"
#include "view/grid_layout.h"
#include "view/paint_services.h"
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
  for (const int id : {147, 148, 149, 219, 221, 222, 224, 225}) {
    EXPECT_NE(findCommand(id), nullptr) << id;
    EXPECT_TRUE(state.items.at(id).enabled) << id;
  }
}

// The menu turns the filter on over the block around the active cell; a
// click on an arrow's button opens its list and the entry chosen filters; a
// click elsewhere in the header cell selects the cell.
TEST_F(DataCommandsTest, AutoFilterFromTheMenuAndAnArrow) {
  set(0, 0, u"Fruit");
  set(1, 0, u"pear");
  set(2, 0, u"apple");
  set(3, 0, u"pear");
  select(1, 0, 1, 0, 1, 0);
  command(222);
  ASSERT_TRUE(sheet().flags & model::kSheetAutoFilter);
  EXPECT_TRUE(update_menu(app).items.at(222).checked);
  ASSERT_EQ(sheet().objects.size(), 1u);
  // A1 spans x 24-80, y 17-34: its button is the square at the right.
  click({75, 30});
  ASSERT_EQ(window.dropDownsShown.size(), 1u);
  EXPECT_EQ(window.dropDownsShown[0],
            (std::vector<std::u16string>{u"(全部)", u"(前 10 个…)", u"(自定义…)", u"apple", u"pear"}));
  window.dropDownChoices.push_back(3); // apple
  click({75, 30});
  EXPECT_TRUE(model::row_record(sheet(), 1).flags & model::kLineHidden);
  EXPECT_FALSE(model::row_record(sheet(), 2).flags & model::kLineHidden);
  EXPECT_TRUE(model::row_record(sheet(), 3).flags & model::kLineHidden);
  // Custom through its dialog: not equal to apple.
  window.dropDownChoices.push_back(2);
  host.queue({DialogAction::select(dialogs::kCustomOperatorFirst, datatools::kCustomNotEqual),
              DialogAction::setText(dialogs::kCustomValueFirst, u"apple"), DialogAction::ok()});
  click({75, 30});
  EXPECT_EQ(host.runs().back().title, u"自定义自动筛选");
  EXPECT_FALSE(model::row_record(sheet(), 1).flags & model::kLineHidden);
  EXPECT_TRUE(model::row_record(sheet(), 2).flags & model::kLineHidden);
  // Off the button the header cell is selected as any cell.
  click({40, 25});
  EXPECT_EQ(window.dropDownsShown.size(), 3u);
  EXPECT_EQ(selection(sheet()), (model::CellRange{0, 0, 0, 0}));
  command(222);
  EXPECT_FALSE(sheet().flags & model::kSheetAutoFilter);
  EXPECT_TRUE(sheet().objects.empty());
  EXPECT_FALSE(model::row_record(sheet(), 2).flags & model::kLineHidden);
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

// The data form's scroll bar spans the records and the new record; a drag
// shows the record it reaches, committing the edited one first.
TEST_F(DataCommandsTest, TheDataFormScrollsThroughItsRecords) {
  constexpr int kCounter = 20, kPrevious = 33, kScroll = 39, kFirstField = 120;
  set(0, 0, u"Name");
  const std::u16string names[] = {u"Bolt", u"Nut", u"Pin"};
  for (int i = 0; i < 3; ++i)
    set(1 + i, 0, names[i]);
  select(1, 0, 1, 0, 1, 0);
  host.queue({DialogAction::setText(kFirstField, u"Screw"), DialogAction::scroll(kScroll, 2)});
  command(223);
  const platform::ControlState& opened = host.runs().back().afterInit[0];
  EXPECT_EQ(opened.text(kCounter), u"1 of 3");
  EXPECT_EQ(opened.find(kScroll)->scrollHigh, 3) << "three records and the new one";
  EXPECT_EQ(host.runs().back().final[0].text(kCounter), u"3 of 3");
  EXPECT_EQ(input(1, 0), u"Screw");

  host.queue({DialogAction::scroll(kScroll, 3), DialogAction::press(kPrevious), DialogAction::press(kPrevious)});
  command(223);
  const platform::ControlState& last = host.runs().back().final[0];
  EXPECT_EQ(last.text(kCounter), u"2 of 3");
  EXPECT_EQ(last.scrollPosition(kScroll), 1);
}

// ---- Validation and conditional formats ----

class RuleCommandsTest : public DataCommandsTest {
protected:
  // Whole numbers from 1 to 10 over B2:B5, set through the dialog with B2 active.
  void wholeNumbersOneToTen(int style) {
    select(1, 1, 4, 1, 1, 1);
    host.queue({DialogAction::select(dialogs::kValAllow, 1), DialogAction::setText(dialogs::kValFormula1, u"1"),
                DialogAction::setText(dialogs::kValFormula2, u"10"),
                DialogAction::setText(dialogs::kValInputTitle, u"数量", 1),
                DialogAction::setText(dialogs::kValInputMessage, u"1 到 10", 1),
                DialogAction::select(dialogs::kValStyle, style, 2), DialogAction::ok()});
    command(224);
    ASSERT_EQ(sheet().validations.size(), 1u);
    select(1, 1, 1, 1, 1, 1);
  }
  void enter(std::u16string_view text) {
    type(text);
    key(VK_RETURN);
  }
};

TEST_F(RuleCommandsTest, GoodEntriesAreTakenAndBadOnesRefused) {
  wholeNumbersOneToTen(0);
  enter(u"5");
  EXPECT_EQ(input(1, 1), u"5");
  EXPECT_TRUE(ui.shown().empty());
  EXPECT_EQ(active(), (CellPos{2, 1}));
  // Stop, Cancel: the entry goes, the cell holds what it held.
  select(1, 1, 1, 1, 1, 1);
  ui.queueAnswer(platform::MessageAnswer::Cancel);
  enter(u"11");
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"输入错误；要求输入的内容为整数或小数。");
  EXPECT_EQ(input(1, 1), u"5");
  EXPECT_EQ(app.editMode, EditMode::None);
  // Stop, Retry: the editor opens again with the typed text selected.
  ui.queueAnswer(platform::MessageAnswer::Retry);
  enter(u"5.5");
  EXPECT_EQ(input(1, 1), u"5");
  EXPECT_EQ(app.editMode, EditMode::Edit);
  EXPECT_EQ(app.formulaBar.text, u"5.5");
  EXPECT_EQ(app.formulaBar.selectionStart(), 0);
  EXPECT_EQ(app.formulaBar.selectionEnd(), 3);
  // Correcting it is taken.
  key(VK_BACK);
  enter(u"7");
  EXPECT_EQ(input(1, 1), u"7");
}

TEST_F(RuleCommandsTest, AWarningKeepsOnYesAndReopensOnNo) {
  wholeNumbersOneToTen(1);
  ui.queueAnswer(platform::MessageAnswer::No);
  enter(u"abc");
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"The value you entered is not valid.\nContinue?");
  EXPECT_EQ(app.formulaBar.text, u"abc");
  EXPECT_EQ(app.editMode, EditMode::Edit);
  ui.queueAnswer(platform::MessageAnswer::Yes);
  key(VK_RETURN);
  EXPECT_EQ(input(1, 1), u"abc");
}

TEST_F(RuleCommandsTest, TheRuleIsUndoneAndShowsItsInputMessage) {
  wholeNumbersOneToTen(0);
  const view::PaintOverlays o = app.overlays();
  ASSERT_TRUE(o.inputMessage.has_value());
  EXPECT_EQ(o.inputMessage->title, u"数量");
  EXPECT_EQ(o.inputMessage->text, u"1 到 10");
  select(6, 1, 6, 1, 6, 1);
  EXPECT_FALSE(app.overlays().inputMessage.has_value());
  command(kCmdUndo);
  EXPECT_TRUE(sheet().validations.empty());
}

TEST_F(RuleCommandsTest, SeveralRulesAskBeforeStartingAfresh) {
  wholeNumbersOneToTen(0);
  select(5, 1, 5, 1, 5, 1);
  host.queue({DialogAction::select(dialogs::kValAllow, 6), DialogAction::select(dialogs::kValOperator, 7),
              DialogAction::setText(dialogs::kValFormula1, u"3"), DialogAction::ok()});
  command(224);
  ASSERT_EQ(sheet().validations.size(), 2u);
  select(1, 1, 5, 1, 1, 1);
  ui.queueAnswer(platform::MessageAnswer::Cancel);
  const size_t runs = host.runs().size();
  command(224);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text,
            u"The selection contains more than one type of validation.\nErase current settings and continue?");
  EXPECT_EQ(host.runs().size(), runs); // Cancel ends the command
}

TEST_F(RuleCommandsTest, TheListDropDownEntersTheChosenItem) {
  select(0, 0, 0, 0, 0, 0);
  host.queue({DialogAction::select(dialogs::kValAllow, 3), DialogAction::setText(dialogs::kValFormula1, u"甲,乙,丙"),
              DialogAction::ok()});
  command(224);
  ASSERT_EQ(sheet().validations.size(), 1u);
  EXPECT_TRUE(sheet().validations[0].plainList);
  // Alt+Down opens the list; the choice is entered as if typed.
  window.dropDownChoices.push_back(1);
  key(VK_DOWN, platform::kModAlt);
  ASSERT_EQ(window.dropDownsShown.size(), 1u);
  EXPECT_EQ(window.dropDownsShown[0].size(), 3u);
  EXPECT_EQ(input(0, 0), u"乙");
  EXPECT_EQ(active(), (CellPos{0, 0}));
  // The button right of the active cell opens it too; the entry can be undone.
  const view::PaintOverlays shown = app.overlays();
  ASSERT_TRUE(shown.listArrow.has_value());
  const platform::Rect arrow = view::listArrowRect(sheet(), app.layout, 0, 0);
  ASSERT_FALSE(arrow.isEmpty());
  EXPECT_EQ(arrow.left, view::cellRect(sheet(), app.layout, 0, 0).right + 1);
  window.dropDownChoices.push_back(2);
  click({(arrow.left + arrow.right) / 2, (arrow.top + arrow.bottom) / 2});
  ASSERT_EQ(window.dropDownsShown.size(), 2u);
  EXPECT_EQ(input(0, 0), u"丙");
  EXPECT_EQ(active(), (CellPos{0, 0}));
  command(kCmdUndo);
  EXPECT_EQ(input(0, 0), u"乙");
  // Dismissing the list enters nothing; a cell without the rule has no button.
  click({(arrow.left + arrow.right) / 2, (arrow.top + arrow.bottom) / 2});
  EXPECT_EQ(input(0, 0), u"乙");
  select(3, 3, 3, 3, 3, 3);
  EXPECT_FALSE(app.overlays().listArrow.has_value());
}

TEST_F(RuleCommandsTest, ConditionalFormatsAreStoredFromTheDialog) {
  select(0, 0, 3, 0, 0, 0);
  host.queue({DialogAction::select(dialogs::kCfOperator, 4), DialogAction::setText(dialogs::kCfOperand1, u"10"),
              DialogAction::ok()});
  command(219);
  EXPECT_EQ(host.runs().back().title, u"条件格式");
  ASSERT_EQ(sheet().conditionalFormats.size(), 1u);
  EXPECT_EQ(sheet().conditionalFormats[0].conditions.size(), 1u);
  EXPECT_EQ(sheet().conditionalFormats[0].conditions[0].op, 5);
  set(0, 0, u"11");
  set(1, 0, u"9");
  const auto& holds = view::paintServices().activeCondition;
  ASSERT_TRUE(holds);
  EXPECT_NE(holds(book(), book().activeSheet, 0, 0), nullptr);
  EXPECT_EQ(holds(book(), book().activeSheet, 1, 0), nullptr);
  command(kCmdUndo);
  EXPECT_TRUE(sheet().conditionalFormats.empty());
}

} // namespace
} // namespace app

#include "app/app_test_util.h"

#include "app/command_table.h"
#include "model/display_text.h"
#include "platform/clock.h"
#include "platform/unicode.h"

namespace app {
namespace {

using CellEntryTest = AppTest;

std::uint16_t numberFormatOf(model::Workbook& book, const model::Sheet& s, int row, int column) {
  const model::CellRecord* c = model::cell_at(s, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
  return c ? book.cellFormats[c->formatIndex].numberFormatIndex : 0;
}

TEST_F(CellEntryTest, TypingStartsAnEntryAndEnterCommitsAndMovesDown) {
  type(u"42");
  EXPECT_EQ(app.editMode, EditMode::Entry);
  EXPECT_EQ(app.formulaBar.text, u"42");
  EXPECT_EQ(window.focus, platform::FocusTarget::FormulaBar);
  key(VK_RETURN);
  EXPECT_EQ(app.editMode, EditMode::None);
  EXPECT_EQ(input(0, 0), u"42");
  EXPECT_EQ(active(), (CellPos{1, 0}));
  EXPECT_NE(book().modified, 0);
  EXPECT_EQ(window.focus, platform::FocusTarget::Grid);
}

TEST_F(CellEntryTest, KeysThatCommitAndWhereTheyLeaveTheActiveCell) {
  const struct {
    unsigned key;
    unsigned mods;
    CellPos want;
  } rows[] = {
      {VK_RETURN, 0, {3, 2}},
      {VK_RETURN, platform::kModShift, {1, 2}},
      {VK_TAB, 0, {2, 3}},
      {VK_TAB, platform::kModShift, {2, 1}},
      {VK_LEFT, 0, {2, 1}},  // entry mode: arrows commit and move
      {VK_UP, 0, {1, 2}},
  };
  for (const auto& r : rows) {
    select(2, 2, 2, 2, 2, 2);
    type(u"x");
    key(r.key, r.mods);
    EXPECT_EQ(input(2, 2), u"x") << r.key;
    EXPECT_EQ(active(), r.want) << r.key << " " << r.mods;
    set(2, 2, u"");
  }
}

TEST_F(CellEntryTest, EditModeArrowsMoveTheCaretAndF2Switches) {
  type(u"abc");
  key(VK_F2);
  EXPECT_EQ(app.editMode, EditMode::Edit);
  key(VK_LEFT);
  key(VK_LEFT);
  type(u"Z");
  EXPECT_EQ(app.formulaBar.text, u"aZbc");
  key(VK_HOME);
  key(VK_DELETE);
  EXPECT_EQ(app.formulaBar.text, u"Zbc");
  key(VK_END);
  type(u"\b");
  EXPECT_EQ(app.formulaBar.text, u"Zb");
  key(VK_F2);
  EXPECT_EQ(app.editMode, EditMode::Entry);
  key(VK_RIGHT); // entry mode again: commits
  EXPECT_EQ(input(0, 0), u"Zb");
  EXPECT_EQ(active(), (CellPos{0, 1}));
}

TEST_F(CellEntryTest, EscapeCancelsAndTheCellKeepsItsInput) {
  set(0, 0, u"old");
  refresh_formula_bar(app);
  type(u"new");
  key(VK_ESCAPE);
  EXPECT_EQ(app.editMode, EditMode::None);
  EXPECT_EQ(input(0, 0), u"old");
  EXPECT_EQ(app.formulaBar.text, u"old");
}

TEST_F(CellEntryTest, DigitInAPercentCellGetsThePercentSign) {
  model::CellFormat f = book().cellFormats[15];
  f.numberFormatIndex = 9;
  const int percent = model::findOrAddCellFormat(book(), f);
  ASSERT_TRUE(model::set_cell(book(), 0, 0, 0, u"", static_cast<std::uint16_t>(percent), false, false));
  type(u"7");
  EXPECT_EQ(app.formulaBar.text, u"7%");
  key(VK_RETURN);
  EXPECT_EQ(input(0, 0), u"7%");
  EXPECT_DOUBLE_EQ(model::cell_at(sheet(), 0, 0)->value.numberValue(), 0.07);
  // A letter gets no sign.
  select(0, 0, 0, 0, 0, 0);
  type(u"a");
  EXPECT_EQ(app.formulaBar.text, u"a");
}

TEST_F(CellEntryTest, AutomaticFormatFollowsTheWayANumberWasTyped) {
  const struct {
    std::u16string_view text;
    std::uint16_t numberFormat;
  } rows[] = {
      {u"12", 0}, {u"12%", 9}, {u"1.5%", 10}, {u"$5", 5}, {u"$5.25", 7},
      {u"3/4/2020", 14}, {u"13:45", 20}, {u"1 1/2", 12}, {u"plain", 0},
  };
  int row = 0;
  for (const auto& r : rows) {
    select(row, 0, row, 0, row, 0);
    type(r.text);
    key(VK_RETURN);
    EXPECT_EQ(numberFormatOf(book(), sheet(), row, 0), r.numberFormat) << std::string(r.text.begin(), r.text.end());
    ++row;
  }
  // A date format stays when a percentage is typed over it.
  select(5, 0, 5, 0, 5, 0);
  type(u"50%");
  key(VK_RETURN);
  EXPECT_EQ(numberFormatOf(book(), sheet(), 5, 0), 14);
}

TEST_F(CellEntryTest, UnfinishedFormulaIsRefusedAndKeptInTheBar) {
  type(u"=1+");
  key(VK_RETURN);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"输入的公式中有错误！");
  ASSERT_TRUE(ui.shown()[0].caption.has_value());
  EXPECT_EQ(*ui.shown()[0].caption, u"Cellwick");
  EXPECT_EQ(app.editMode, EditMode::Edit);
  EXPECT_EQ(app.formulaBar.text, u"=1+");
  EXPECT_EQ(input(0, 0), u"");
  EXPECT_EQ(active(), (CellPos{0, 0}));
  type(u"2");
  key(VK_RETURN);
  EXPECT_EQ(input(0, 0), u"=1+2");
  EXPECT_DOUBLE_EQ(model::cell_at(sheet(), 0, 0)->value.numberValue(), 3);
}

TEST_F(CellEntryTest, ArrayEntryFillsTheSelectionAndGuardsItsParts) {
  set(0, 0, u"1");
  set(1, 0, u"2");
  set(2, 0, u"3");
  select(0, 1, 2, 1, 0, 1); // B1:B3
  type(u"=A1:A3*10");
  key(VK_RETURN, platform::kModControl | platform::kModShift);
  for (int r = 0; r < 3; ++r)
    EXPECT_EQ(input(r, 1), u"=A1:A3*10") << r;
  ASSERT_EQ(sheet().arrayFormulas.size(), 1u);
  EXPECT_EQ(sheet().arrayFormulas[0].range, range(0, 1, 2, 1));
  EXPECT_DOUBLE_EQ(model::cell_at(sheet(), 1, 1)->value.numberValue(), 20);
  select(0, 1, 2, 1, 0, 1);
  EXPECT_EQ(app.formulaBar.text, u"{=A1:A3*10}");

  // Typing into one part of it is refused.
  ui.clearShown();
  select(1, 1, 1, 1, 1, 1);
  type(u"5");
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"直接修改会破坏数组公式！\n编辑后请按 Ctrl+Shift+回车！");
  EXPECT_FALSE(ui.shown()[0].caption.has_value());
  EXPECT_EQ(app.editMode, EditMode::None);
  EXPECT_EQ(input(1, 1), u"=A1:A3*10");

  // The whole range may be edited, but a plain Enter would break it.
  ui.clearShown();
  select(0, 1, 2, 1, 0, 1);
  key(VK_F2);
  EXPECT_EQ(app.formulaBar.text, u"=A1:A3*10"); // no braces while editing
  key(VK_RETURN);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(app.editMode, EditMode::Edit);
  key(VK_RETURN, platform::kModControl | platform::kModShift);
  EXPECT_EQ(app.editMode, EditMode::None);
  EXPECT_EQ(sheet().arrayFormulas.size(), 1u); // replaced, not added
}

TEST_F(CellEntryTest, ArrayEntryIsRefusedOverMergedCells) {
  ASSERT_TRUE(model::addMergedRange(sheet(), range(1, 0, 1, 1)));
  select(0, 0, 2, 1, 0, 0);
  type(u"=1");
  key(VK_RETURN, platform::kModControl | platform::kModShift);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"Array formulas are not valid in merged cells");
  EXPECT_TRUE(sheet().arrayFormulas.empty());
  EXPECT_EQ(app.editMode, EditMode::Entry);
}

TEST_F(CellEntryTest, ProtectedSheetRefusesLockedCellsOnly) {
  model::CellFormat open = book().cellFormats[15];
  open.flags &= ~model::kFormatLocked;
  const int unlocked = model::findOrAddCellFormat(book(), open);
  ASSERT_TRUE(model::set_cell(book(), 0, 1, 0, u"", static_cast<std::uint16_t>(unlocked), false, false));
  sheet().flags |= model::kSheetProtected;
  type(u"x"); // A1 is locked
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"单元格被保护，\n请先解除保护再修改。");
  EXPECT_EQ(app.editMode, EditMode::None);
  select(1, 0, 1, 0, 1, 0);
  type(u"y");
  key(VK_RETURN);
  EXPECT_EQ(input(1, 0), u"y");
  EXPECT_EQ(ui.shown().size(), 1u);
  // A column formatted unlocked lets its empty cells be typed into.
  model::set_column_format(sheet(), 3, static_cast<std::uint16_t>(unlocked));
  select(7, 3, 7, 3, 7, 3);
  type(u"z");
  key(VK_RETURN);
  EXPECT_EQ(input(7, 3), u"z");
}

TEST_F(CellEntryTest, HiddenFormulasShowNothingOnAProtectedSheet) {
  model::CellFormat hidden = book().cellFormats[15];
  hidden.flags |= model::kFormatFormulaHidden;
  const int index = model::findOrAddCellFormat(book(), hidden);
  ASSERT_TRUE(model::set_cell(book(), 0, 0, 0, u"=1+1", static_cast<std::uint16_t>(index), false, true));
  refresh_formula_bar(app);
  EXPECT_EQ(app.formulaBar.text, u"=1+1");
  sheet().flags |= model::kSheetProtected;
  refresh_formula_bar(app);
  EXPECT_EQ(app.formulaBar.text, u"");
}

TEST_F(CellEntryTest, AutoSumGuessesTheRangeAboveThenToTheLeft) {
  set(0, 0, u"1");
  set(1, 0, u"2");
  set(2, 0, u"3");
  select(3, 0, 3, 0, 3, 0);
  dispatch_command(app, 185, CommandSource::ToolBar);
  EXPECT_EQ(app.formulaBar.text, u"=SUM(A1:A3)");
  EXPECT_EQ(app.formulaBar.selectionStart(), 5);
  EXPECT_EQ(app.formulaBar.selectionEnd(), 10);
  EXPECT_EQ(app.editMode, EditMode::Edit);
  key(VK_RETURN);
  EXPECT_DOUBLE_EQ(model::cell_at(sheet(), 3, 0)->value.numberValue(), 6);

  set(6, 1, u"4");
  set(6, 2, u"=B7*2");
  select(6, 3, 6, 3, 6, 3);
  dispatch_command(app, 185, CommandSource::ToolBar);
  EXPECT_EQ(app.formulaBar.text, u"=SUM(B7:C7)");
  key(VK_ESCAPE);

  select(20, 5, 20, 5, 20, 5); // nothing around: empty parentheses
  dispatch_command(app, 185, CommandSource::ToolBar);
  EXPECT_EQ(app.formulaBar.text, u"=SUM()");
  EXPECT_EQ(app.formulaBar.caret, 5);

  // Inside an open entry it goes in at the caret.
  key(VK_ESCAPE);
  type(u"=2+");
  dispatch_command(app, 185, CommandSource::ToolBar);
  EXPECT_EQ(app.formulaBar.text, u"=2+SUM()");
}

TEST_F(CellEntryTest, AltEnterMakesALineFeedAndWrapsTheCell) {
  type(u"one");
  key(VK_RETURN, platform::kModAlt);
  type(u"two");
  key(VK_RETURN);
  EXPECT_EQ(input(0, 0), u"one\ntwo");
  const model::CellRecord* c = model::cell_at(sheet(), 0, 0);
  EXPECT_NE(book().cellFormats[c->formatIndex].flags & model::kFormatWrapText, 0u);
  EXPECT_GT(model::row_height(sheet(), 0), model::kDefaultRowHeight); // two lines
}

TEST_F(CellEntryTest, PointModeInsertsAndExtendsReferences) {
  set(1, 1, u"5");
  set(2, 2, u"6");
  select(0, 0, 0, 0, 0, 0);
  type(u"=");
  const platform::Point b2 = cellCentre(1, 1), c3 = cellCentre(2, 2);
  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(b2.x, b2.y));
  EXPECT_EQ(app.formulaBar.text, u"=B2");
  main_window_proc(app, WM_MOUSEMOVE, MK_LBUTTON, makePointParam(c3.x, c3.y));
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(c3.x, c3.y));
  EXPECT_EQ(app.formulaBar.text, u"=B2:C3");
  EXPECT_EQ(active(), (CellPos{0, 0})); // the selection stays on the entry's cell
  type(u"+");
  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(b2.x, b2.y));
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(b2.x, b2.y));
  EXPECT_EQ(app.formulaBar.text, u"=B2:C3+B2");
  key(VK_RETURN);
  EXPECT_EQ(input(0, 0), u"=B2:C3+B2");

  // Not after an operand: the click commits and selects.
  select(5, 0, 5, 0, 5, 0);
  type(u"=7");
  click(b2);
  EXPECT_EQ(input(5, 0), u"=7");
  EXPECT_EQ(active(), (CellPos{1, 1}));
}

TEST_F(CellEntryTest, DateAndTimeCommandsTypeTheClock) {
  platform::FixedClock fixed({2024, 3, 9, 14, 5, 0, 0});
  platform::setClock(&fixed);
  dispatch_command(app, 170, CommandSource::Accelerator);
  EXPECT_EQ(app.formulaBar.text, u"3/9/2024");
  key(VK_RETURN);
  EXPECT_DOUBLE_EQ(model::cell_at(sheet(), 0, 0)->value.numberValue(), 45360);
  dispatch_command(app, 171, CommandSource::Accelerator);
  EXPECT_EQ(app.formulaBar.text, u"14:05");
  platform::setClock(nullptr);
}

TEST_F(CellEntryTest, DeleteClearsTheSelectionsInput) {
  set(0, 0, u"1");
  set(1, 1, u"=A1");
  set(5, 5, u"keep");
  select(0, 0, 2, 2, 0, 0);
  key(VK_DELETE);
  EXPECT_EQ(input(0, 0), u"");
  EXPECT_EQ(input(1, 1), u"");
  EXPECT_EQ(input(5, 5), u"keep");
}

TEST_F(CellEntryTest, HyperlinkFormulasGetTheLinkFont) {
  type(u"=HYPERLINK(\"x.xls\")");
  key(VK_RETURN);
  const model::CellRecord* c = model::cell_at(sheet(), 0, 0);
  ASSERT_NE(c, nullptr);
  const model::Font& font = book().fonts[book().cellFormats[c->formatIndex].fontIndex];
  EXPECT_EQ(font.underline, 1);
  EXPECT_EQ(font.colourIndex, 12);
}

TEST_F(CellEntryTest, TypingLeavesUnrelatedFormulasAlone) {
  // Column C reads column A; column E reads column C.
  for (int r = 0; r < 200; ++r) {
    set(r, 0, u"1");
    set(r, 2, u"=A" + platform::fromUtf8(std::to_string(r + 1)) + u"*2");
    set(r, 4, u"=C" + platform::fromUtf8(std::to_string(r + 1)) + u"+1");
  }
  formula::computeStaleFormulas(book());
  const auto stale = [&](int row, int column) {
    return model::cell_at(sheet(), static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column))->calcState ==
           model::CalcState::NotValid;
  };
  select(0, 7, 0, 7, 0, 7); // H1: nothing reads it
  type(u"5");
  key(VK_RETURN);
  for (int r = 0; r < 200; ++r)
    ASSERT_FALSE(stale(r, 2) || stale(r, 4)) << r;
  select(9, 0, 9, 0, 9, 0); // A10 feeds C10 and, through it, E10
  type(u"7");
  key(VK_RETURN);
  for (int r = 0; r < 200; ++r) {
    const bool dependent = r == 9;
    model::CellRecord* e = model::cell_at(sheet(), static_cast<std::uint16_t>(r), 4);
    if (!dependent) {
      EXPECT_FALSE(stale(r, 2) || stale(r, 4)) << r;
    } else {
      // Stale or already recomputed: either way it reads 7 * 2 + 1 once asked.
      (void)model::cell_display_text(book(), 0, *e, -1);
      EXPECT_DOUBLE_EQ(e->value.numberValue(), 15);
    }
  }
}

TEST_F(CellEntryTest, CtrlEAndClickOpenTheCellForEditing) {
  set(0, 0, u"abc");
  refresh_formula_bar(app);
  dispatch_command(app, 150, CommandSource::Accelerator);
  EXPECT_EQ(app.editMode, EditMode::Edit);
  EXPECT_EQ(app.formulaBar.caret, 3);
  key(VK_LEFT); // edit mode: the caret moves, the entry stays
  EXPECT_EQ(app.editMode, EditMode::Edit);
  EXPECT_EQ(app.formulaBar.caret, 2);
  key(VK_ESCAPE);
  formula_bar_proc(app, WM_LBUTTONDOWN, 0, 0);
  EXPECT_EQ(app.editMode, EditMode::Edit);
}

} // namespace
} // namespace app

// Keys, clicks and commands around an open entry, posted as the Qt window
// posts them (a key-down, then the key's character, to the widget with the
// focus).

#include "app/app_test_util.h"

#include "app/command_table.h"
#include "fileformats/open_save.h"
#include "model/services.h"
#include "model/sheet_list.h"
#include "model/undo.h"
#include "platform/locale_strings.h"
#include "platform/unicode.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace app {
namespace {

using EntryKeysTest = AppTest;

TEST_F(EntryKeysTest, EnterAfterAPointModeClickCommitsAndMovesOnce) {
  // The click gives the grid the focus. The window reports it (and the
  // entry takes it back), or the focus stays on the grid: either way the
  // Enter's key-down commits and its character does not move again.
  for (const bool focusReported : {true, false}) {
    set(1, 3, u"");
    select(1, 3, 1, 3, 1, 3); // D2
    type(u"=");
    const platform::Point a3 = cellCentre(2, 0);
    if (focusReported) {
      click(a3);
    } else {
      main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(a3.x, a3.y));
      main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(a3.x, a3.y));
      window.focus = platform::FocusTarget::Grid;
    }
    EXPECT_EQ(app.formulaBar.text, u"=A3");
    key(VK_RETURN);
    EXPECT_EQ(input(1, 3), u"=A3") << focusReported;
    EXPECT_EQ(active(), (CellPos{2, 3})) << "one row down from D2, focus reported: " << focusReported;
  }
}

TEST_F(EntryKeysTest, EndAndF9InAPointModeEntryBelongToTheEntry) {
  set(2, 0, u"4");
  select(1, 3, 1, 3, 1, 3);
  type(u"=1+");
  const platform::Point a3 = cellCentre(2, 0);
  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(a3.x, a3.y));
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(a3.x, a3.y));
  window.focus = platform::FocusTarget::Grid; // the grid kept the focus
  key(VK_F9);
  EXPECT_EQ(app.editMode, EditMode::Entry);
  EXPECT_EQ(app.formulaBar.text, u"=1+A3") << "recalculation never resets the typing";
  key(VK_HOME);
  key(VK_END);
  EXPECT_FALSE(app.endMode);
  EXPECT_EQ(app.formulaBar.caret, 5);
  type(u"*2");
  key(VK_RETURN);
  EXPECT_EQ(input(1, 3), u"=1+A3*2");
  EXPECT_DOUBLE_EQ(model::cell_at(sheet(), 1, 3)->value.numberValue(), 9);
}

TEST_F(EntryKeysTest, TheKeypadDecimalKeyStartsAnEntryWithTheRegionalSeparator) {
  const struct {
    const char* locale;
    std::u16string_view typed;
  } rows[] = {{"en-US", u".5"}, {"de-DE", u",5"}};
  for (const auto& row : rows) {
    platform::setLocaleStrings(platform::loadLocaleStrings(row.locale));
    select(0, 0, 0, 0, 0, 0);
    key(VK_DECIMAL); // sends "." after its key-down, whatever the locale
    type(u"5");
    EXPECT_EQ(app.formulaBar.text, row.typed) << row.locale;
    key(VK_RETURN);
    EXPECT_EQ(input(0, 0), row.typed);
    EXPECT_DOUBLE_EQ(model::cell_at(sheet(), 0, 0)->value.numberValue(), 0.5) << row.locale;
    // Inside an entry the key types the separator once too.
    select(0, 1, 0, 1, 0, 1);
    type(u"1");
    key(VK_DECIMAL);
    type(u"5");
    EXPECT_EQ(app.formulaBar.text, std::u16string(u"1") + row.typed[0] + u"5");
    key(VK_ESCAPE);
  }
  platform::setLocaleStrings(platform::loadLocaleStrings("en-US"));
}

TEST_F(EntryKeysTest, EndThenEnterGoesToTheRowsLastUsedColumn) {
  for (int c = 1; c <= 4; ++c)
    set(0, c, u"x");
  select(0, 0, 0, 0, 0, 0);
  key(VK_END);
  EXPECT_EQ(app.statusText[kStatusEndPart], u"END");
  key(VK_RETURN);
  EXPECT_EQ(active(), (CellPos{0, 4}));
  EXPECT_FALSE(app.endMode);
  EXPECT_EQ(app.statusText[kStatusEndPart], u"");
  // Shift extends instead.
  select(0, 0, 0, 0, 0, 0);
  key(VK_END);
  key(VK_RETURN, platform::kModShift);
  EXPECT_EQ(sel(), range(0, 0, 0, 4));
  EXPECT_EQ(active(), (CellPos{0, 0}));
}

TEST_F(EntryKeysTest, ACommandCommitsTheOpenEntryWhereItWasTyped) {
  type(u"abc");
  main_window_proc(app, WM_COMMAND, makeWParam(110, 1), 0); // Ctrl+N
  ASSERT_EQ(books.count(), 2);
  EXPECT_EQ(app.editMode, EditMode::None);
  EXPECT_EQ(model::cell_at(books.at(0).active(), 0, 0)->input.view(), u"abc");
  key(VK_RETURN); // in Book2: moves, types nothing
  EXPECT_EQ(model::cell_at(books.at(1).active(), 0, 0), nullptr);
  EXPECT_EQ(active(), (CellPos{1, 0}));
}

TEST_F(EntryKeysTest, ARefusedCommitStopsTheCommand) {
  type(u"=1+");
  ui.clearShown();
  main_window_proc(app, WM_COMMAND, makeWParam(110, 1), 0);
  EXPECT_EQ(books.count(), 1) << "New did not run";
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"输入的公式中有错误！");
  EXPECT_EQ(app.editMode, EditMode::Edit);
  EXPECT_EQ(app.formulaBar.text, u"=1+");
}

TEST_F(EntryKeysTest, SwitchingSheetsCommitsFirst) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, std::nullopt, model::SheetKind::Worksheet, false));
  model::activate_sheet(book(), 0);
  type(u"q");
  key(VK_NEXT, platform::kModControl);
  EXPECT_EQ(book().activeSheet, 1);
  EXPECT_EQ(model::cell_at(book().sheet(0), 0, 0)->input.view(), u"q");
  EXPECT_EQ(model::cell_at(book().sheet(1), 0, 0), nullptr);
}

TEST_F(EntryKeysTest, UndoCancelsTheEntryAndDoesNothingElse) {
  set(0, 0, u"old");
  model::undoList().clear();
  ASSERT_TRUE(model::push_undo(book(), 0, model::kUndoZoom));
  refresh_formula_bar(app);
  type(u"new");
  main_window_proc(app, WM_COMMAND, makeWParam(kCmdUndo, 1), 0);
  EXPECT_EQ(app.editMode, EditMode::None);
  EXPECT_EQ(input(0, 0), u"old");
  EXPECT_EQ(app.formulaBar.text, u"old");
  EXPECT_EQ(model::undoList().size(), 1u) << "the entry's cancel is not an undo";
  model::undoList().clear();
}

TEST_F(EntryKeysTest, CommandsThatWorkOnTheEntryKeepItOpen) {
  set(0, 0, u"1");
  set(1, 0, u"2");
  select(2, 0, 2, 0, 2, 0);
  type(u"=5+");
  main_window_proc(app, WM_COMMAND, 185, kIdToolBarBand); // AutoSum
  EXPECT_EQ(app.formulaBar.text, u"=5+SUM(A1:A2)");
  EXPECT_EQ(input(2, 0), u"");
  key(VK_RETURN);
  EXPECT_DOUBLE_EQ(model::cell_at(sheet(), 2, 0)->value.numberValue(), 8);
}

TEST_F(EntryKeysTest, CutCopyAndPasteWhileEditingWorkInTheFormulaBar) {
  type(u"hello");
  key('A', platform::kModControl); // select all of the bar's text
  main_window_proc(app, WM_COMMAND, makeWParam(kCmdCopy, 1), 0);
  EXPECT_EQ(window.clipboard, u"hello");
  main_window_proc(app, WM_COMMAND, makeWParam(kCmdCut, 1), 0);
  EXPECT_EQ(app.formulaBar.text, u"");
  EXPECT_EQ(app.editMode, EditMode::Entry) << "the entry stays open";
  window.clipboard = u"a\r\nb\rc";
  main_window_proc(app, WM_COMMAND, makeWParam(kCmdPaste, 1), 0);
  EXPECT_EQ(app.formulaBar.text, u"a\nb\nc");
  EXPECT_EQ(input(0, 0), u"");
}

TEST_F(EntryKeysTest, ArrayEntryOverPartOfAnExistingArrayIsRefused) {
  set(0, 0, u"1");
  select(0, 1, 2, 1, 0, 1); // B1:B3
  type(u"=A1*2");
  key(VK_RETURN, platform::kModControl | platform::kModShift);
  ASSERT_EQ(sheet().arrayFormulas.size(), 1u);
  ui.clearShown();
  set(3, 1, u"keep");
  select(2, 1, 4, 1, 4, 1); // B3:B5, typed from B5: it cuts B1:B3
  type(u"=7");
  key(VK_RETURN, platform::kModControl | platform::kModShift);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"直接修改会破坏数组公式！\n编辑后请按 Ctrl+Shift+回车！");
  ASSERT_EQ(sheet().arrayFormulas.size(), 1u);
  EXPECT_EQ(sheet().arrayFormulas[0].range, range(0, 1, 2, 1));
  EXPECT_EQ(input(2, 1), u"=A1*2");
  EXPECT_EQ(input(3, 1), u"keep");
  EXPECT_NE(app.editMode, EditMode::None);
  // Over the whole array and more, the old one is replaced.
  key(VK_ESCAPE);
  select(0, 1, 3, 1, 3, 1);
  type(u"=7");
  key(VK_RETURN, platform::kModControl | platform::kModShift);
  ASSERT_EQ(sheet().arrayFormulas.size(), 1u);
  EXPECT_EQ(sheet().arrayFormulas[0].range, range(0, 1, 3, 1));
  EXPECT_EQ(input(3, 1), u"=7");
}

TEST_F(EntryKeysTest, DraggingABorderMeasuresFromTheLinesOwnEdgeWhateverIsHidden) {
  // Row 1 hidden: column A still starts at x 24 and its border is at 80.
  model::setRowHeightPoints(sheet(), 0, 0, 0);
  app.relayout();
  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(80, 8));
  main_window_proc(app, WM_MOUSEMOVE, MK_LBUTTON, makePointParam(24 + 70, 8));
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(24 + 70, 8));
  EXPECT_EQ(model::column_width(sheet(), 0), 10 * 256); // 70 pixels of 7, not 94
  // Column A hidden: row 2 still starts at y 17 (row 1 is hidden) and its
  // border is at 34.
  model::setColumnWidthChars(sheet(), 0, 0, 0);
  app.relayout();
  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(10, 34));
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(10, 17 + 40));
  EXPECT_EQ(model::row_height(sheet(), 1), 600); // 40 pixels at 96 dpi: 30 points
}

TEST_F(EntryKeysTest, ACaretStepsAndDeletesWholeCharacters) {
  type(u"a");
  type(std::u16string(u"\U0001F600")); // one character, two UTF-16 units
  type(u"b");
  key(VK_F2); // edit mode: arrows move the caret
  ASSERT_EQ(app.formulaBar.caret, 4);
  key(VK_LEFT);
  EXPECT_EQ(app.formulaBar.caret, 3);
  key(VK_LEFT);
  EXPECT_EQ(app.formulaBar.caret, 1) << "over the pair, never into it";
  key(VK_RIGHT);
  EXPECT_EQ(app.formulaBar.caret, 3);
  key(VK_BACK);
  EXPECT_EQ(app.formulaBar.text, u"ab");
  key(VK_HOME);
  key(VK_RIGHT);
  type(std::u16string(u"\U0001F600"));
  key(VK_LEFT);
  key(VK_DELETE);
  EXPECT_EQ(app.formulaBar.text, u"ab");
}

TEST_F(EntryKeysTest, CtrlWithALetterIsAShortcutNeverAnEnterOrATab) {
  // Ctrl+J types a line feed, Ctrl+M a carriage return, Ctrl+I a tab.
  for (const unsigned letter : {unsigned('J'), unsigned('M'), unsigned('I')}) {
    select(2, 2, 2, 2, 2, 2);
    key(letter, platform::kModControl);
    EXPECT_EQ(active(), (CellPos{2, 2})) << char(letter);
    EXPECT_EQ(app.editMode, EditMode::None) << char(letter);
  }
  // The character after the shortcut is taken once: a later Enter moves.
  key(VK_RETURN);
  EXPECT_EQ(active(), (CellPos{3, 2}));
}

TEST_F(EntryKeysTest, TheDeleteCharacterIsNeverTyped) {
  // X11 gives the Delete key the DEL character, and Windows types it for
  // Ctrl+Backspace: in the grid it starts no entry ...
  set(0, 0, u"abc");
  select(0, 0, 0, 0, 0, 0);
  key(VK_DELETE);
  post(WM_CHAR, 0x7F);
  EXPECT_EQ(app.editMode, EditMode::None);
  EXPECT_EQ(input(0, 0), u"");
  // ... and in an entry it adds nothing.
  type(u"xy");
  post(WM_CHAR, 0x7F);
  EXPECT_EQ(app.formulaBar.text, u"xy");
}

TEST_F(EntryKeysTest, TheMacroOfAShortcutKeyGetsTheActiveCellAsCaller) {
  model::MacroCaller seen;
  model::modelServices().runMacro = [&](model::Workbook&, std::u16string_view, const model::MacroCaller& c) {
    seen = c;
  };
  model::DefinedName n;
  n.name = u"Tidy";
  n.flags = model::kNameCommandMacro;
  n.shortcut = u'q';
  book().names.push_back(n);
  select(4, 2, 4, 2, 4, 2);
  key('Q', platform::kModControl);
  model::modelServices().runMacro = nullptr;
  EXPECT_EQ(seen.kind, model::MacroCaller::Kind::Cell);
  EXPECT_EQ(seen.sheet, 0);
  EXPECT_EQ(seen.row, 4);
  EXPECT_EQ(seen.column, 2);
}

TEST_F(EntryKeysTest, FollowingALinkFromAnUntouchedBook1ThatTheFileReplaces) {
  namespace fs = std::filesystem;
  fileformats::installFileServices(books, [](std::u16string_view) {
    return std::optional<fileformats::SaveAsChoice>{};
  });
  const fs::path file = fs::temp_directory_path() / ("cellwick_link_" + std::to_string(::getpid()) + ".csv");
  std::ofstream(file, std::ios::binary) << "1,2\r\n3,4\r\n";
  ASSERT_EQ(books.at(0).path, u"Book1");
  ASSERT_EQ(book().modified, 0);
  sheet().hyperlinks.push_back({model::packCell(0, 0), u"[" + platform::fromUtf8(file.string()) + u"]B2"});
  click(cellCentre(0, 0));
  fs::remove(file);
  model::modelServices() = {};
  ASSERT_EQ(books.count(), 1) << "Book1 made way for the file";
  EXPECT_EQ(model::fileNamePart(book().path), platform::fromUtf8(file.filename().string()));
  EXPECT_EQ(sel(), range(1, 1, 1, 1));
}


TEST_F(EntryKeysTest, AClickInTheFormulaBarDuringAnEntrySwitchesToEditing) {
  select(2, 1, 2, 1, 2, 1); // B3
  type(u"123");
  ASSERT_EQ(app.editMode, EditMode::Entry);
  ASSERT_EQ(window.focus, platform::FocusTarget::FormulaBar);
  formula_bar_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(20, 5));
  EXPECT_EQ(app.editMode, EditMode::Edit);
  app.formulaBar.caret = app.formulaBar.anchor = 3; // where the window put it
  key(VK_LEFT); // moves the caret now, instead of committing
  EXPECT_EQ(app.editMode, EditMode::Edit);
  EXPECT_EQ(app.formulaBar.caret, 2);
  EXPECT_EQ(input(2, 1), u"");
  type(u"9");
  key(VK_RETURN);
  EXPECT_EQ(input(2, 1), u"1293");
  EXPECT_EQ(active(), (CellPos{3, 1}));
}

TEST_F(EntryKeysTest, AClickInTheFormulaBarRefusedByProtectionGivesTheGridTheFocus) {
  set(0, 0, u"kept");
  sheet().flags |= model::kSheetProtected; // every cell is locked
  // The bar takes the focus as it is clicked; the guard then refuses.
  window.focus = platform::FocusTarget::FormulaBar;
  formula_bar_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(20, 5));
  EXPECT_EQ(app.editMode, EditMode::None);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"单元格被保护，\n请先解除保护再修改。");
  EXPECT_EQ(window.focus, platform::FocusTarget::Grid);
  // Typing now reaches the grid, which refuses it aloud again.
  type(u"x");
  EXPECT_EQ(ui.shown().size(), 2u);
  EXPECT_EQ(input(0, 0), u"kept");
  // Unprotected, the same click opens the cell for editing and keeps the focus.
  sheet().flags &= ~model::kSheetProtected;
  window.focus = platform::FocusTarget::FormulaBar;
  formula_bar_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(20, 5));
  EXPECT_EQ(app.editMode, EditMode::Edit);
  EXPECT_EQ(window.focus, platform::FocusTarget::FormulaBar);
}

} // namespace
} // namespace app

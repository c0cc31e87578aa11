// The dialog commands end to end: dispatched as menu commands against a
// workbook, answered by a scripted user.

#include "app/command_table.h"
#include "dialogs/format_dialog.h"
#include "dialogs/insert_function_dialog.h"
#include "dialogs/prompt_dialog.h"
#include "dialogs/sheet_dialogs.h"
#include "model/services.h"
#include "model/set_cell.h"
#include "model/undo.h"
#include "model/sheet_list.h"
#include "platform/dialog.h"
#include "platform/locale_strings.h"
#include "platform/ui_services.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace app {
namespace {

using platform::DialogAction;

constexpr int kMoveOrCopy = 146, kInsertFunction = 167, kRowHeight = 191, kColumnWidth = 195,
              kStandardWidth = 199, kRename = 200, kUnhide = 202, kZoom = 209, kProtect = 210,
              kTabColour = 212, kFormatCells = 190;

class DialogCommands : public ::testing::Test {
protected:
  DialogCommands() : m_uiScope(ui), m_hostScope(host), app(books, window) {
    platform::setLocaleStrings(platform::loadLocaleStrings("en-US"));
    model::undoList().clear();
    EXPECT_TRUE(books.new_workbook(nullptr));
    ui.clearShown();
  }
  ~DialogCommands() override {
    model::undoList().clear();
    model::modelServices().copySheetContents = nullptr;
  }

  model::Workbook& book() { return *books.active(); }
  model::Sheet& sheet() { return book().active(); }

  void addSheets(int n) {
    for (int i = 0; i < n; ++i)
      ASSERT_TRUE(model::insert_sheet(book(), book().sheetCount(), std::nullopt,
                                      model::SheetKind::Worksheet, false));
    book().activeSheet = 0;
  }

  bool run(int id) { return dispatch_command(app, id, CommandSource::Menu); }

  /// Types a text into the one-field dialog and presses OK, then Cancel.
  void answer(std::u16string_view text) {
    host.queue({DialogAction::setText(dialogs::kPromptEdit, text), DialogAction::ok(),
                DialogAction::cancel()});
  }

  void select(std::uint16_t r1, std::uint8_t c1, std::uint16_t r2, std::uint8_t c2) {
    sheet().selectionFirst = model::packCell(r1, c1);
    sheet().selectionLast = model::packCell(r2, c2);
  }

  std::vector<std::u16string> messages() const {
    std::vector<std::u16string> out;
    for (const auto& m : ui.shown())
      out.push_back(m.text);
    return out;
  }

  using Undo = std::vector<std::pair<int, int>>;

  platform::HeadlessUiServices ui;
  platform::ScriptedDialogHost host;

private:
  platform::ScopedUiServices m_uiScope;
  platform::ScopedDialogHost m_hostScope;

protected:
  model::WorkbookList books;
  platform::HeadlessWindowServices window;
  App app;
  // The entries of the one undo list: action, and the sheet's position then.
  static Undo undoEntries() {
    Undo out;
    for (size_t i = 0; i < model::undoList().size(); ++i)
      out.emplace_back(model::undoList().at(i).action, model::undoList().at(i).sheetIndex);
    return out;
  }
};

TEST_F(DialogCommands, ZoomDialogSetsTheZoomWithItsUndoEntry) {
  answer(u"9");
  EXPECT_TRUE(run(kZoom));
  EXPECT_EQ(sheet().zoom, 100);
  EXPECT_EQ(messages(), std::vector<std::u16string>{u"显示比例必须在 10-400 之间"});
  EXPECT_TRUE(undoEntries().empty());
  EXPECT_EQ(book().modified, 0);

  answer(u"400");
  run(kZoom);
  EXPECT_EQ(sheet().zoom, 400);
  EXPECT_EQ(undoEntries(), (Undo{{27, 0}}));
  EXPECT_EQ(book().modified, 1);
  EXPECT_EQ(host.runs().back().afterInit[0].text(dialogs::kPromptEdit), u"100");

  answer(u"10");
  run(kZoom);
  EXPECT_EQ(sheet().zoom, 10);
}

TEST_F(DialogCommands, ProtectWithPasswordThenUnprotect) {
  answer(u"secret");
  run(kProtect);
  EXPECT_TRUE(sheet().flags & model::kSheetProtected);
  EXPECT_NE(sheet().protectionVerifier, 0);
  EXPECT_EQ(sheet().protectionVerifier, model::passwordVerifier(u"secret"));
  EXPECT_EQ(host.runs().back().title, u"保护工作表");
  EXPECT_EQ(undoEntries(), (Undo{{28, 0}}));
  const std::uint16_t verifier = sheet().protectionVerifier;

  // A wrong password changes nothing and records nothing.
  answer(u"Secret");
  run(kProtect);
  EXPECT_EQ(host.runs().back().title, u"解除工作表保护");
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"保护密码错误！\n工作表仍被保护！");
  EXPECT_EQ(ui.shown()[0].caption, std::optional<std::u16string>(u"Cellwick"));
  EXPECT_TRUE(sheet().flags & model::kSheetProtected);
  EXPECT_EQ(sheet().protectionVerifier, verifier);
  EXPECT_EQ(undoEntries().size(), 1u);

  // Cancel leaves it protected without a message.
  host.queue({DialogAction::cancel()});
  run(kProtect);
  EXPECT_TRUE(sheet().flags & model::kSheetProtected);
  EXPECT_EQ(ui.shown().size(), 1u);

  answer(u"secret");
  run(kProtect);
  EXPECT_FALSE(sheet().flags & model::kSheetProtected);
  EXPECT_EQ(sheet().protectionVerifier, 0);
  EXPECT_EQ(undoEntries(), (Undo{{28, 0}, {28, 0}}));
  EXPECT_EQ(ui.shown().size(), 1u);
}

TEST_F(DialogCommands, ProtectWithoutPasswordUnprotectsAtOnce) {
  host.queue({DialogAction::cancel()});
  run(kProtect);
  EXPECT_FALSE(sheet().flags & model::kSheetProtected);
  EXPECT_TRUE(undoEntries().empty());
  EXPECT_EQ(book().modified, 0);

  answer(u"");
  run(kProtect);
  EXPECT_TRUE(sheet().flags & model::kSheetProtected);
  EXPECT_EQ(sheet().protectionVerifier, 0);

  const size_t dialogs = host.runs().size();
  run(kProtect);
  EXPECT_EQ(host.runs().size(), dialogs); // no password to ask for
  EXPECT_FALSE(sheet().flags & model::kSheetProtected);
  EXPECT_EQ(undoEntries(), (Undo{{28, 0}, {28, 0}}));
  EXPECT_TRUE(ui.shown().empty());
}

TEST_F(DialogCommands, RowHeightSetsTheSelectedRows) {
  select(2, 0, 4, 3);
  answer(u"410");
  run(kRowHeight);
  EXPECT_EQ(messages(), std::vector<std::u16string>{u"行高值必须在 0-409 之间"});
  EXPECT_EQ(host.runs().back().afterInit[0].text(dialogs::kPromptEdit), u"12.75");
  EXPECT_TRUE(undoEntries().empty());

  answer(u"20");
  run(kRowHeight);
  for (int r = 2; r <= 4; ++r)
    EXPECT_EQ(model::row_height(sheet(), static_cast<std::uint16_t>(r)), 400) << r;
  EXPECT_EQ(model::row_height(sheet(), 1), 255);
  EXPECT_EQ(model::row_height(sheet(), 5), 255);
  EXPECT_EQ(undoEntries(), (Undo{{17, 0}}));
  EXPECT_EQ(book().modified, 1);

  // Rows of different heights start with an empty field; 0 hides them.
  select(4, 0, 5, 0);
  answer(u"0");
  run(kRowHeight);
  EXPECT_EQ(host.runs().back().afterInit[0].text(dialogs::kPromptEdit), u"");
  EXPECT_EQ(model::row_height(sheet(), 4), 0);
  EXPECT_EQ(model::row_height(sheet(), 5), 0);
  EXPECT_EQ(model::row_height(sheet(), 3), 400);
}

TEST_F(DialogCommands, RowHeightOfTheWholeSheetChangesItsDefault) {
  select(0, 0, model::kMaxRow, model::kMaxColumn);
  answer(u"30");
  run(kRowHeight);
  EXPECT_EQ(sheet().defaultRowHeight, 600);
  EXPECT_FALSE(sheet().flags & model::kSheetGlobalRowHeight);
  EXPECT_EQ(model::row_height(sheet(), 65535), 600);
}

TEST_F(DialogCommands, ColumnWidthAndStandardWidth) {
  select(0, 1, 9, 2);
  answer(u"256");
  run(kColumnWidth);
  EXPECT_EQ(messages(), std::vector<std::u16string>{u"列宽值必须在 0-255 之间"});
  EXPECT_EQ(host.runs().back().afterInit[0].text(dialogs::kPromptEdit), u"8");

  answer(u"10.5");
  run(kColumnWidth);
  EXPECT_EQ(model::column_width(sheet(), 1), 2688);
  EXPECT_EQ(model::column_width(sheet(), 2), 2688);
  EXPECT_EQ(model::column_width(sheet(), 3), 2048);
  EXPECT_EQ(undoEntries(), (Undo{{20, 0}}));

  answer(u"12");
  run(kStandardWidth);
  EXPECT_EQ(host.runs().back().afterInit[0].text(dialogs::kPromptEdit), u"8");
  EXPECT_EQ(sheet().defaultColumnWidth, 3072);
  EXPECT_FALSE(sheet().flags & model::kSheetGlobalColumnWidth);
  EXPECT_EQ(model::column_width(sheet(), 3), 3072);
  EXPECT_EQ(model::column_width(sheet(), 1), 2688); // set explicitly, keeps its width
  EXPECT_EQ(undoEntries(), (Undo{{20, 0}, {23, 0}}));
}

TEST_F(DialogCommands, RenameSheet) {
  addSheets(1);
  answer(u"sheet2");
  run(kRename);
  EXPECT_EQ(messages(), std::vector<std::u16string>{u"Name must be unique"});
  EXPECT_EQ(sheet().name, u"Sheet1");
  EXPECT_TRUE(undoEntries().empty());

  answer(u"Budget");
  run(kRename);
  EXPECT_EQ(sheet().name, u"Budget");
  EXPECT_EQ(undoEntries(), (Undo{{24, 0}}));
  EXPECT_EQ(book().modified, 1);
}

TEST_F(DialogCommands, UnhideShowsAndActivatesTheChosenSheet) {
  addSheets(3);
  book().sheet(1).hidden = 1;
  book().sheet(3).hidden = 1;
  host.queue({DialogAction::select(dialogs::kSheetList, 1), DialogAction::ok()});
  run(kUnhide);
  EXPECT_EQ(book().sheet(3).hidden, 0);
  EXPECT_EQ(book().sheet(1).hidden, 1);
  EXPECT_EQ(book().activeSheet, 3);
  EXPECT_EQ(undoEntries(), (Undo{{45, 3}}));

  // With nothing hidden there is nothing to ask.
  book().sheet(1).hidden = 0;
  const size_t dialogs = host.runs().size();
  run(kUnhide);
  EXPECT_EQ(host.runs().size(), dialogs);
}

TEST_F(DialogCommands, MoveAndCopySheet) {
  addSheets(2); // Sheet1 Sheet2 Sheet3, Sheet1 active
  host.queue({DialogAction::select(dialogs::kSheetList, 3), DialogAction::ok()}); // to the end
  run(kMoveOrCopy);
  ASSERT_EQ(book().sheetCount(), 3);
  EXPECT_EQ(book().sheet(0).name, u"Sheet2");
  EXPECT_EQ(book().sheet(1).name, u"Sheet3");
  EXPECT_EQ(book().sheet(2).name, u"Sheet1");
  EXPECT_EQ(book().activeSheet, 2);
  EXPECT_EQ(book().modified, 1);

  std::vector<std::pair<int, int>> copies;
  model::modelServices().copySheetContents = [&](model::Workbook&, int from, int to) {
    copies.emplace_back(from, to);
    return true;
  };
  book().modified = 0;
  host.queue({DialogAction::select(dialogs::kSheetList, 0),
              DialogAction::check(dialogs::kCopyCheck), DialogAction::ok()});
  run(kMoveOrCopy);
  ASSERT_EQ(book().sheetCount(), 4);
  EXPECT_EQ(book().sheet(0).name, u"Sheet4");
  EXPECT_EQ(book().sheet(3).name, u"Sheet1");
  EXPECT_EQ(copies, (std::vector<std::pair<int, int>>{{3, 0}}));
  EXPECT_EQ(book().modified, 1);
  EXPECT_TRUE(undoEntries().empty()); // a copy keeps no undo entry
}

TEST_F(DialogCommands, TabColour) {
  host.queue({DialogAction::select(dialogs::kTabColourList, 3), DialogAction::ok()});
  run(kTabColour);
  EXPECT_EQ(sheet().tabColour, 10);
  EXPECT_EQ(book().modified, 1);
  host.queue({DialogAction::select(dialogs::kTabColourList, 0), DialogAction::ok()});
  run(kTabColour);
  EXPECT_EQ(sheet().tabColour, 0);
}

TEST_F(DialogCommands, InsertFunctionWritesTheCallIntoTheFormulaBar) {
  const auto maths = dialogs::functionsInCategory(3, false);
  const auto at =
      std::find_if(maths.begin(), maths.end(), [](const auto* e) { return e->name == u"SUM"; });
  ASSERT_NE(at, maths.end());
  const int sumItem = static_cast<int>(at - maths.begin());
  auto chooseSum = [&] {
    host.queue({DialogAction::select(dialogs::kCategoryList, 3),
                DialogAction::select(dialogs::kFunctionList, sumItem), DialogAction::ok()});
  };
  auto selected = [&] {
    const FormulaBarState& bar = app.formulaBar;
    return bar.text.substr(static_cast<size_t>(bar.selectionStart()),
                           static_cast<size_t>(bar.selectionEnd() - bar.selectionStart()));
  };

  // Editing had not begun: the call with "=" becomes the edit line.
  app.formulaBar.text = u"42";
  chooseSum();
  run(kInsertFunction);
  EXPECT_EQ(app.formulaBar.text, u"=SUM(number1,[number2,])");
  EXPECT_EQ(selected(), u"number1");
  EXPECT_EQ(app.editMode, EditMode::Edit);
  EXPECT_EQ(window.focus, platform::FocusTarget::FormulaBar);

  // Inside an edit the name alone replaces the selection at the caret.
  app.formulaBar = {u"=1+xy", 3, 5};
  chooseSum();
  run(kInsertFunction);
  EXPECT_EQ(app.formulaBar.text, u"=1+SUM(number1,[number2,])");
  EXPECT_EQ(selected(), u"number1");

  // At the start of the edit line it brings its own "=".
  app.editMode = EditMode::Entry;
  app.formulaBar = {u"abc", 0, 0};
  chooseSum();
  run(kInsertFunction);
  EXPECT_EQ(app.formulaBar.text, u"=SUM(number1,[number2,])abc");

  // A locked cell of a protected sheet cannot be edited, so nothing is inserted.
  app.editMode = EditMode::None;
  app.formulaBar = {};
  sheet().flags |= model::kSheetProtected;
  ui.clearShown();
  chooseSum();
  run(kInsertFunction);
  EXPECT_EQ(messages(), std::vector<std::u16string>{u"单元格被保护，\n请先解除保护再修改。"});
  EXPECT_EQ(app.editMode, EditMode::None);
  EXPECT_EQ(app.formulaBar.text, u"");
  sheet().flags &= ~model::kSheetProtected;

  // Cancel leaves everything as it was.
  const FormulaBarState before = app.formulaBar;
  host.queue({DialogAction::cancel()});
  run(kInsertFunction);
  EXPECT_EQ(app.formulaBar.text, before.text);
  EXPECT_EQ(book().modified, 0);
}

TEST_F(DialogCommands, NothingOpensWithoutAWorkbook) {
  EXPECT_FALSE(books.close_workbook());
  ASSERT_EQ(books.count(), 0);
  for (int id : {kMoveOrCopy, kInsertFunction, kRowHeight, kColumnWidth, kStandardWidth, kRename,
                 kUnhide, kZoom, kProtect, kTabColour})
    EXPECT_TRUE(run(id)) << id;
  EXPECT_TRUE(host.runs().empty());
}

TEST_F(DialogCommands, OnlyMenuAcceleratorAndToolBarCommandsRun) {
  answer(u"150");
  EXPECT_FALSE(dispatch_command(app, kZoom, CommandSource::Control));
  EXPECT_TRUE(host.runs().empty());
  EXPECT_TRUE(dispatch_command(app, kZoom, CommandSource::Accelerator));
  EXPECT_EQ(sheet().zoom, 150);
}

TEST_F(DialogCommands, FormatCellsAppliesTheDialogWithOneUndoEntry) {
  constexpr int kFontPage = 2, kBorderPage = 3;
  select(0, 0, 1, 1);
  // Cancel changes nothing and records nothing.
  host.queue({DialogAction::check(dialogs::kFontBold, true, kFontPage), DialogAction::cancel()});
  ASSERT_TRUE(run(kFormatCells));
  EXPECT_EQ(sheet().cells.count(), 0u);
  EXPECT_TRUE(model::undoList().empty());

  host.queue({DialogAction::check(dialogs::kFontBold, true, kFontPage),
              DialogAction::clickAt(dialogs::kBorderSample, {16, 50}, kBorderPage), DialogAction::ok()});
  ASSERT_TRUE(run(kFormatCells));
  ASSERT_EQ(sheet().cells.count(), 4u);
  for (const auto& [r, c] : {std::pair{0, 0}, {0, 1}, {1, 0}, {1, 1}}) {
    const model::CellRecord* cell = model::cell_at(sheet(), static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c));
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(model::fontOfFormat(book(), cell->formatIndex).weight, 700);
    EXPECT_EQ(book().cellFormats[cell->formatIndex].borders[0].style, c == 0 ? 1 : 0) << "left side on column A only";
  }
  ASSERT_FALSE(model::undoList().empty());
  EXPECT_EQ(model::undoList().newestLabel(), u"单元格格式");

  // A selected object has its own format dialog: nothing opens for cells.
  const size_t runs = host.runs().size();
  sheet().selectedObject = 0;
  run(kFormatCells);
  EXPECT_EQ(host.runs().size(), runs);
  sheet().selectedObject = -1;
}

} // namespace
} // namespace app

// Frame commands, exit and the status-bar summary, driven as the window
// drives them: commands through dispatch_command, messages through
// main_window_proc, answers from headless services.

#include "app/cell_entry.h"
#include "app/command_table.h"
#include "app/frame.h"
#include "app/menu_state.h"
#include "app/message_map.h"
#include "app/status_bar.h"
#include "fileformats/open_save.h"
#include "formula/recalc.h"
#include "model/services.h"
#include "model/undo.h"
#include "model/set_cell.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <unistd.h>

namespace app {
namespace {

namespace fs = std::filesystem;
using platform::MessageAnswer;

class FrameTest : public ::testing::Test {
protected:
  FrameTest() : scope(ui), app(books, window) {
    formula::installFormulaEngine();
    fileformats::installFileServices(books, [this](std::u16string_view) {
      ++saveAsDialogs;
      return std::optional<fileformats::SaveAsChoice>{};
    });
    model::undoList().clear();
    fileformats::recentFiles() = {};
    dir = fs::temp_directory_path() /
          ("cellwick_frame_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~FrameTest() override {
    model::modelServices() = {};
    model::undoList().clear();
    menuQueries() = {};
    fileformats::recentFiles() = {};
    fs::remove_all(dir);
  }

  // A CSV file in the test folder; its path as the program sees it.
  std::u16string makeFile(const std::string& name) {
    const fs::path p = dir / name;
    std::ofstream(p, std::ios::binary) << "1,2\r\n";
    return platform::fromUtf8(p.string());
  }
  void openThroughDialog(const std::u16string& path) {
    window.fileNames.push_back(path);
    ASSERT_TRUE(dispatch_command(app, 111, CommandSource::Menu));
  }
  std::vector<std::u16string> recentNames() {
    std::vector<std::u16string> out;
    for (const auto& [id, name] : update_menu(app).recentFiles)
      out.push_back(name);
    return out;
  }
  model::Sheet& sheet() { return books.active()->active(); }
  void put(int row, int column, std::u16string_view text) {
    ASSERT_TRUE(model::set_cell(*books.active(), books.active()->activeSheet,
                                static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column),
                                text, 15, false, false));
  }
  void select(int r1, int c1, int r2, int c2) {
    sheet().selectionFirst =
        model::packCell(static_cast<std::uint16_t>(r1), static_cast<std::uint8_t>(c1));
    sheet().selectionLast =
        model::packCell(static_cast<std::uint16_t>(r2), static_cast<std::uint8_t>(c2));
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope;
  platform::HeadlessWindowServices window;
  model::WorkbookList books;
  App app;
  int saveAsDialogs = 0;
  // The entries of the one undo list: action, and the sheet's position then.
  static std::vector<std::pair<int, int>> undoEntries() {
    std::vector<std::pair<int, int>> out;
    for (size_t i = 0; i < model::undoList().size(); ++i)
      out.emplace_back(model::undoList().at(i).action, model::undoList().at(i).sheetIndex);
    return out;
  }
  fs::path dir;
};

TEST_F(FrameTest, SaveWithoutWorkbookDoesNothing) {
  for (const int id : {112, 113, 114, 145, 163, 192, 203, 205, 211, 213, 220}) {
    dispatch_command(app, id, CommandSource::Accelerator);
    EXPECT_EQ(books.count(), 0) << id;
  }
  EXPECT_EQ(saveAsDialogs, 0);
  EXPECT_TRUE(ui.shown().empty());
  EXPECT_TRUE(undoEntries().empty());
}

TEST_F(FrameTest, SaveOfUnnamedWorkbookAsksForAName) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  dispatch_command(app, 113, CommandSource::Accelerator);
  EXPECT_EQ(saveAsDialogs, 1); // "Book1" has no type: Save goes through Save As
  dispatch_command(app, 114, CommandSource::Menu);
  EXPECT_EQ(saveAsDialogs, 2);
}

TEST_F(FrameTest, ControlsDoNotRunTableCommands) {
  EXPECT_FALSE(dispatch_command(app, 110, CommandSource::Control));
  EXPECT_EQ(books.count(), 0);
  EXPECT_TRUE(dispatch_command(app, 110, CommandSource::ToolBar));
  EXPECT_EQ(books.count(), 1);
}

TEST_F(FrameTest, WindowCommandsBeyondTheOpenWorkbooksDoNothing) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  ASSERT_TRUE(books.new_workbook(nullptr));
  ASSERT_EQ(books.activeIndex(), 1);
  for (const int id : {232, 233, 300, 0xFFFF}) {
    dispatch_command(app, id, CommandSource::Menu);
    EXPECT_EQ(books.activeIndex(), 1) << id;
    EXPECT_EQ(books.count(), 2) << id;
  }
  dispatch_command(app, 230, CommandSource::Menu);
  EXPECT_EQ(books.activeIndex(), 0);
  dispatch_command(app, 231, CommandSource::Menu);
  EXPECT_EQ(books.activeIndex(), 1);
}

TEST_F(FrameTest, NewAndCloseFollowTheWorkbookList) {
  dispatch_command(app, 110, CommandSource::Accelerator);
  dispatch_command(app, 110, CommandSource::Menu);
  ASSERT_EQ(books.count(), 2);
  EXPECT_EQ(books.at(1).path, u"Book2");
  dispatch_command(app, 112, CommandSource::Menu);
  ASSERT_EQ(books.count(), 1);
  EXPECT_EQ(books.at(0).path, u"Book1");
}

TEST_F(FrameTest, OpenAddsToTheTopOfTheRecentFiles) {
  const std::u16string a = makeFile("a.csv"), b = makeFile("b.csv"), c = makeFile("c.csv");
  window.fileNames.push_back(std::nullopt); // a cancelled dialog opens nothing
  dispatch_command(app, 111, CommandSource::Menu);
  EXPECT_EQ(books.count(), 0);
  openThroughDialog(a);
  openThroughDialog(b);
  openThroughDialog(c);
  ASSERT_EQ(books.count(), 3);
  EXPECT_EQ(recentNames(), (std::vector<std::u16string>{u"c.csv", u"b.csv", u"a.csv"}));

  // The third entry, chosen from the menu, moves to the top; the others keep their order.
  while (books.count() > 0)
    dispatch_command(app, 112, CommandSource::Menu);
  dispatch_command(app, 120, CommandSource::Menu);
  ASSERT_EQ(books.count(), 1);
  EXPECT_EQ(books.at(0).path, a);
  EXPECT_EQ(recentNames(), (std::vector<std::u16string>{u"a.csv", u"c.csv", u"b.csv"}));
}

TEST_F(FrameTest, TenthFileDropsTheOldest) {
  for (int i = 1; i <= 10; ++i)
    openThroughDialog(makeFile("f" + std::to_string(i) + ".csv"));
  ASSERT_EQ(books.count(), 10);
  const std::vector<std::u16string> expected = {u"f10.csv", u"f9.csv", u"f8.csv",
                                                u"f7.csv",  u"f6.csv", u"f5.csv",
                                                u"f4.csv",  u"f3.csv", u"f2.csv"};
  EXPECT_EQ(recentNames(), expected);
  const MenuState menu = update_menu(app);
  ASSERT_EQ(menu.recentFiles.size(), 9u);
  EXPECT_EQ(menu.recentFiles.front().first, 118);
  EXPECT_EQ(menu.recentFiles.back().first, 126);
}

TEST_F(FrameTest, MissingRecentFileIsRemovedWhenChosen) {
  const std::u16string a = makeFile("a.csv"), gone = makeFile("gone.csv"), c = makeFile("c.csv");
  for (const auto& p : {a, gone, c})
    openThroughDialog(p);
  while (books.count() > 0)
    dispatch_command(app, 112, CommandSource::Menu);
  fs::remove(dir / "gone.csv");
  ui.clearShown();

  dispatch_command(app, 119, CommandSource::Menu); // slot 1: gone.csv
  EXPECT_EQ(books.count(), 0);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"可能其他程序正用，无法打开文件\n" + gone);
  EXPECT_EQ(recentNames(), (std::vector<std::u16string>{u"c.csv", u"a.csv"}));
  EXPECT_EQ(fileformats::recentFiles().slots[2], u"");
}

TEST_F(FrameTest, HandedFilesOpenIntoTheRunningWorkbookList) {
  const std::u16string first = makeFile("first.csv");
  const std::u16string spaced = makeFile("季度 数据 2.csv");
  startup_open(app, first);
  ASSERT_EQ(books.count(), 1);

  EXPECT_TRUE(open_handed_file(app, spaced));
  ASSERT_EQ(books.count(), 2);
  EXPECT_EQ(books.activeIndex(), 1);
  EXPECT_EQ(books.active()->path, spaced);
  EXPECT_EQ(books.windowTitle(), u"Cellwick - 季度 数据 2.csv");
  EXPECT_EQ(recentNames().front(), u"季度 数据 2.csv");

  // The same file again activates the open copy instead of a second one.
  books.activate_workbook(0);
  EXPECT_TRUE(open_handed_file(app, spaced));
  EXPECT_EQ(books.count(), 2);
  EXPECT_EQ(books.activeIndex(), 1);

  // A start without a file asks for a new workbook in this window.
  EXPECT_TRUE(open_handed_file(app, u""));
  ASSERT_EQ(books.count(), 3);
  EXPECT_EQ(books.active()->path, u"Book1");
  EXPECT_TRUE(ui.shown().empty());
}

TEST_F(FrameTest, FormulaBarFollowsTheWorkbookShown) {
  const fs::path other = dir / "other.csv";
  std::ofstream(other, std::ios::binary) << "9,8\r\n";
  openThroughDialog(makeFile("first.csv")); // A1 holds 1
  refresh_formula_bar(app);
  ASSERT_EQ(app.formulaBar.text, u"1");
  struct Step {
    const char* what;
    std::function<void()> run;
    std::u16string bar;
  };
  const Step steps[] = {
      {"Open", [&] { openThroughDialog(platform::fromUtf8(other.string())); }, u"9"},
      {"Window 1", [&] { dispatch_command(app, 230, CommandSource::Menu); }, u"1"},
      {"handed file", [&] { (void)open_handed_file(app, platform::fromUtf8(other.string())); }, u"9"},
      {"New", [&] { dispatch_command(app, 110, CommandSource::Menu); }, u""},
      {"Close", [&] { dispatch_command(app, 112, CommandSource::Menu); }, u"9"},
  };
  for (const Step& step : steps) {
    step.run();
    EXPECT_EQ(app.formulaBar.text, step.bar) << step.what;
  }
}

TEST_F(FrameTest, HandedFileThatCannotOpenLeavesTheWorkbooksAlone) {
  startup_open(app, makeFile("kept.csv"));
  books.active()->modified = 1;
  const std::u16string missing = platform::fromUtf8((dir / "没有 这个.csv").string());
  const std::u16string unsupported = makeFile("notes.doc");
  EXPECT_FALSE(open_handed_file(app, missing));
  EXPECT_FALSE(open_handed_file(app, unsupported));
  ASSERT_EQ(books.count(), 1);
  EXPECT_EQ(books.active()->modified, 1);
  ASSERT_EQ(ui.shown().size(), 2u);
  EXPECT_EQ(ui.shown()[0].text, u"可能其他程序正用，无法打开文件\n" + missing);
  EXPECT_EQ(ui.shown()[1].text, u"文件类型不支持！");
}

TEST_F(FrameTest, ExitStopsAtTheFirstCancel) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  ASSERT_TRUE(books.new_workbook(nullptr));
  books.at(0).modified = 1;
  books.at(1).modified = 1;
  ui.queueAnswer(MessageAnswer::No);     // Book2 closes without saving
  ui.queueAnswer(MessageAnswer::Cancel); // Book1 stays
  dispatch_command(app, 127, CommandSource::Menu);
  EXPECT_FALSE(app.quitPosted);
  ASSERT_EQ(books.count(), 1);
  EXPECT_EQ(books.at(0).path, u"Book1");
  EXPECT_EQ(ui.shown().size(), 2u);

  ui.queueAnswer(MessageAnswer::No);
  main_window_proc(app, WM_CLOSE, 0, 0);
  EXPECT_TRUE(app.quitPosted);
  EXPECT_EQ(app.exitCode, 0);
  EXPECT_EQ(books.count(), 0);
}

TEST_F(FrameTest, SheetFlagTogglesRecordUndoAndMarkModified) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  const struct {
    int id;
    std::uint32_t flag;
    int undoAction;
  } kRows[] = {
      {203, model::kSheetShowGridlines, 25},
      {204, model::kSheetShowHeaders, 26},
      {211, model::kSheetShowFormulas, 34},
  };
  for (const auto& row : kRows) {
    books.active()->modified = 0;
    model::undoList().clear();
    const bool before = (sheet().flags & row.flag) != 0;
    dispatch_command(app, row.id, CommandSource::Menu);
    EXPECT_NE((sheet().flags & row.flag) != 0, before) << row.id;
    EXPECT_EQ(update_menu(app).items[row.id].checked, !before) << row.id;
    EXPECT_EQ(books.active()->modified, 1) << row.id;
    ASSERT_EQ(undoEntries().size(), 1u) << row.id;
    EXPECT_EQ(undoEntries()[0].first, row.undoAction) << row.id;
    dispatch_command(app, row.id, CommandSource::Menu);
    EXPECT_EQ((sheet().flags & row.flag) != 0, before) << row.id;
  }
}

TEST_F(FrameTest, ZoomCommandsSetTheZoomAndCheckOneItem) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  const struct {
    int id;
    int zoom;
  } kRows[] = {{205, 75}, {206, 100}, {207, 150}, {208, 200}};
  for (const auto& row : kRows) {
    dispatch_command(app, row.id, CommandSource::Menu);
    EXPECT_EQ(sheet().zoom, row.zoom);
    MenuState menu = update_menu(app);
    for (const auto& other : kRows)
      EXPECT_EQ(menu.items[other.id].checked, other.id == row.id) << row.id << " " << other.id;
  }
  sheet().zoom = 80; // from the zoom dialog: no preset is checked
  MenuState menu = update_menu(app);
  for (const auto& row : kRows)
    EXPECT_FALSE(menu.items[row.id].checked) << row.id;
  model::undoList().clear();
  books.active()->modified = 0;
  dispatch_command(app, 207, CommandSource::Menu);
  ASSERT_EQ(undoEntries().size(), 1u);
  EXPECT_EQ(undoEntries()[0].first, 27);
  EXPECT_EQ(books.active()->modified, 1);
}

TEST_F(FrameTest, FreezeAndUnfreezeAtTheActiveCell) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  app.layoutInput = view::LayoutInput{{0, 0, 800, 600}, 0, 0, 17, 17};
  app.relayout();
  model::Sheet& s = sheet();
  s.topRow = 2;
  s.leftColumn = 1;
  s.activeRow = 6;
  s.activeColumn = 3;
  dispatch_command(app, 220, CommandSource::Menu);
  EXPECT_TRUE(s.flags & model::kSheetPanesFrozen);
  EXPECT_EQ(s.frozenRow, 2);
  EXPECT_EQ(s.scrollPaneRow, 6);
  EXPECT_EQ(s.topRow, 6);
  EXPECT_EQ(s.frozenColumn, 1);
  EXPECT_EQ(s.scrollPaneColumn, 3);
  EXPECT_EQ(s.leftColumn, 3);
  EXPECT_TRUE(update_menu(app).items[220].checked);

  dispatch_command(app, 220, CommandSource::Menu);
  EXPECT_FALSE(s.flags & model::kSheetPanesFrozen);
  EXPECT_EQ(s.topRow, 2); // the frozen rows show again from where they began
  EXPECT_EQ(s.leftColumn, 1);
  EXPECT_EQ(s.scrollPaneRow, 0);
  EXPECT_EQ(s.scrollPaneColumn, 0);
  EXPECT_EQ(s.frozenRow, 0);
  EXPECT_EQ(s.frozenColumn, 0);
  EXPECT_FALSE(update_menu(app).items[220].checked);
  ASSERT_EQ(undoEntries().size(), 2u);
  EXPECT_EQ(undoEntries()[0].first, 29);
  EXPECT_EQ(undoEntries()[1].first, 30);

  // The active cell in the first row shown: only the columns freeze.
  s.topRow = 0;
  s.leftColumn = 0;
  s.activeRow = 0;
  s.activeColumn = 2;
  dispatch_command(app, 220, CommandSource::Menu);
  EXPECT_EQ(s.scrollPaneRow, 0);
  EXPECT_EQ(s.topRow, 0);
  EXPECT_EQ(s.scrollPaneColumn, 2);
}

TEST_F(FrameTest, HideAndUnhideRowsAndColumns) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  model::Sheet& s = sheet();
  select(2, 1, 4, 2); // rows 3-5, columns B-C
  dispatch_command(app, 193, CommandSource::Menu);
  dispatch_command(app, 197, CommandSource::Menu);
  for (int r = 0; r < 7; ++r)
    EXPECT_EQ(model::row_height(s, static_cast<std::uint16_t>(r)) == 0, r >= 2 && r <= 4) << r;
  for (int c = 0; c < 4; ++c)
    EXPECT_EQ(model::column_width(s, static_cast<std::uint8_t>(c)) == 0, c >= 1 && c <= 2) << c;

  select(3, 2, 3, 2); // unhiding a part unhides only that part
  dispatch_command(app, 194, CommandSource::Menu);
  dispatch_command(app, 198, CommandSource::Menu);
  EXPECT_EQ(model::row_height(s, 3), model::kDefaultRowHeight);
  EXPECT_EQ(model::row_height(s, 2), 0);
  EXPECT_EQ(model::column_width(s, 2), model::kDefaultColumnWidth);
  EXPECT_EQ(model::column_width(s, 1), 0);

  // A row hidden by a height of 0 comes back at the default height, not 0.
  model::set_row_record(s, 10, model::kLineHidden, 0);
  select(10, 0, 10, 0);
  dispatch_command(app, 194, CommandSource::Menu);
  EXPECT_EQ(model::row_height(s, 10), model::kDefaultRowHeight);

  std::vector<int> actions;
  for (const auto& [a, sh] : undoEntries())
    actions.push_back(a);
  EXPECT_EQ(actions, (std::vector<int>{18, 21, 19, 22, 19}));
}

TEST_F(FrameTest, SheetCommandsInsertDeleteAndHide) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  model::Workbook& book = *books.active();
  dispatch_command(app, 163, CommandSource::Menu);
  dispatch_command(app, 166, CommandSource::Menu);
  ASSERT_EQ(book.sheetCount(), 3);
  EXPECT_EQ(book.sheet(1).name, u"Sheet2");
  EXPECT_EQ(book.sheet(2).name, u"Macro1");
  EXPECT_EQ(book.sheet(2).kind, model::SheetKind::Macro);
  EXPECT_EQ(book.activeSheet, 2);

  dispatch_command(app, 201, CommandSource::Menu); // hide Macro1
  EXPECT_EQ(book.sheet(2).hidden, 1);
  EXPECT_NE(book.activeSheet, 2);
  dispatch_command(app, 145, CommandSource::Menu); // delete the active worksheet
  ASSERT_EQ(book.sheetCount(), 2);
  // One worksheet left and the only visible sheet: deleting it does nothing.
  EXPECT_FALSE(update_menu(app).items[145].enabled);
  dispatch_command(app, 145, CommandSource::Menu);
  EXPECT_EQ(book.sheetCount(), 2);
}

TEST_F(FrameTest, TheBarsCanBeShownAndHiddenWithNoWorkbookOpen) {
  ASSERT_EQ(books.count(), 0);
  for (const int id : {216, 217, 218}) {
    const MenuState before = update_menu(app);
    EXPECT_TRUE(before.items.at(id).enabled) << id;
    EXPECT_TRUE(before.items.at(id).checked) << id;
    EXPECT_TRUE(dispatch_command(app, id, CommandSource::Menu));
    EXPECT_FALSE(update_menu(app).items.at(id).checked) << id;
  }
  EXPECT_FALSE(app.bars.toolBar);
  EXPECT_FALSE(app.bars.formulaBar);
  EXPECT_FALSE(app.bars.statusBar);
  dispatch_command(app, 218, CommandSource::Menu);
  EXPECT_TRUE(app.bars.statusBar);
}

TEST_F(FrameTest, BarCommandsFlipTheBars) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  dispatch_command(app, 217, CommandSource::Menu);
  EXPECT_FALSE(app.bars.formulaBar);
  EXPECT_TRUE(app.bars.toolBar);
  MenuState menu = update_menu(app);
  EXPECT_FALSE(menu.items[217].checked);
  EXPECT_TRUE(menu.items[216].checked);
  EXPECT_EQ(books.active()->modified, 0); // bars are not part of the workbook

  dispatch_command(app, 213, CommandSource::Menu);
  EXPECT_EQ(books.active()->showVerticalScrollBar, 0);
  EXPECT_FALSE(update_menu(app).items[213].checked);
  EXPECT_EQ(books.active()->modified, 1);
}

TEST_F(FrameTest, SizeChangesAreIgnoredWhileMinimised) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  app.layoutInput = view::LayoutInput{{0, 0, 800, 600}, 0, 0, 17, 17};
  main_window_proc(app, WM_SIZE, 0, 0);
  ASSERT_EQ(app.layout.client.width(), 800);
  app.layoutInput.client = {0, 0, 0, 0}; // what a minimised window reports
  main_window_proc(app, WM_SIZE, kSizeMinimized, 0);
  EXPECT_EQ(app.layout.client.width(), 800);
  app.layoutInput.client = {0, 0, 640, 480};
  main_window_proc(app, WM_SIZE, 0, 0);
  EXPECT_EQ(app.layout.client.width(), 640);
}

// ---- summary ----

class SummaryTest : public FrameTest {
protected:
  SummaryTest() {
    EXPECT_TRUE(books.new_workbook(nullptr));
    put(0, 0, u"1");
    put(1, 0, u"2");
    put(2, 0, u"3.5");
    put(3, 0, u"text");
    put(0, 5, u"100"); // outside the selection
    select(0, 0, 4, 0);
  }
  std::u16string summaryFor(int function) {
    app.bars.summaryFunction = function;
    update_status_summary(app);
    return app.statusText[kStatusSummaryPart];
  }
};

TEST_F(SummaryTest, EachFunctionOverTheSelection) {
  const struct {
    int function;
    std::u16string_view text;
  } kRows[] = {
      {kSummaryNone, u""},
      {kSummaryAverage, u"平均值=2.16666666666667"}, // 6.5 / 3 to 15 digits
      {kSummaryCount, u"计数=4"},                    // the text counts, the empty row 5 does not
      {kSummaryCountNumbers, u"数值计数=3"},
      {kSummaryMax, u"最大值=3.5"},
      {kSummaryMin, u"最小值=1"},
      {kSummarySum, u"求和=6.5"},
  };
  for (const auto& row : kRows)
    EXPECT_EQ(summaryFor(row.function), row.text) << row.function;
}

TEST_F(SummaryTest, FifteenSignificantDigits) {
  put(0, 1, u"0.1");
  put(1, 1, u"0.2");
  put(0, 2, u"1234567.891234567");
  put(1, 2, u"1");
  select(0, 1, 1, 1);
  EXPECT_EQ(summaryFor(kSummarySum), u"求和=0.3"); // not 0.30000000000000004
  select(1, 2, 0, 2);                              // corners in either order
  EXPECT_EQ(summaryFor(kSummarySum), u"求和=1234568.89123457");
}

TEST_F(SummaryTest, NothingForOneItemHiddenBarOrOtherSheets) {
  select(0, 0, 0, 0);
  EXPECT_EQ(summaryFor(kSummarySum), u"");
  select(2, 0, 3, 0); // two cells with input, one number
  EXPECT_EQ(summaryFor(kSummarySum), u"");
  EXPECT_EQ(summaryFor(kSummaryCount), u"计数=2");

  select(0, 0, 4, 0);
  app.bars.statusBar = false;
  EXPECT_EQ(summaryFor(kSummarySum), u"");
  app.bars.statusBar = true;
  EXPECT_EQ(summaryFor(kSummarySum), u"求和=6.5");

  // The whole sheet is walked by its stored cells.
  select(0, 0, model::kMaxRow, model::kMaxColumn);
  EXPECT_EQ(summaryFor(kSummarySum), u"求和=106.5");
}

TEST_F(SummaryTest, SheetWithOneStoredCellHasNoSummary) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  put(0, 0, u"5");
  select(0, 0, 9, 9);
  EXPECT_EQ(summaryFor(kSummaryCount), u"");
  model::Workbook& book = *books.active();
  EXPECT_EQ(summary_text(book, 0, kSummarySum), u"");
  EXPECT_EQ(summary_text(book, 7, kSummarySum), u""); // no such sheet
  EXPECT_EQ(summary_text(book, 0, 9), u"");           // no such function
}

TEST_F(SummaryTest, StatusBarClickChoosesTheFunction) {
  app.bars.summaryFunction = kSummaryMax;
  window.popupChoices.push_back(7); // the seventh line: sum
  NotifyHeader click{kIdStatusBar, NM_RCLICK, {40, 5}, 0, {}};
  main_window_proc(app, WM_NOTIFY, 0, reinterpret_cast<LParam>(&click));
  ASSERT_EQ(window.popupsShown.size(), 1u);
  const auto& items = window.popupsShown[0];
  ASSERT_EQ(items.size(), 7u);
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].text, kSummaryNames[i]);
    EXPECT_EQ(items[i].checked, i == kSummaryMax) << i;
  }
  EXPECT_EQ(app.bars.summaryFunction, kSummarySum);
  EXPECT_EQ(app.statusText[kStatusSummaryPart], u"求和=6.5");

  // Dismissed: nothing changes.
  NotifyHeader left{kIdStatusBar, NM_CLICK, {40, 5}, 0, {}};
  main_window_proc(app, WM_NOTIFY, 0, reinterpret_cast<LParam>(&left));
  EXPECT_EQ(app.bars.summaryFunction, kSummarySum);
  EXPECT_EQ(window.popupsShown.size(), 2u);
}

TEST_F(SummaryTest, ToolTipTexts) {
  const struct {
    int id;
    std::u16string_view text;
  } kRows[] = {{110, u"新建"},     {111, u"打开"}, {113, u"保存"}, {131, u"剪切"},
               {132, u"复制"},     {133, u"粘贴"}, {130, u"撤消"}, {185, u"自动求和"},
               {167, u"粘贴函数"}, {112, u""}};
  for (const auto& row : kRows) {
    NotifyHeader tip{kIdToolBarBand, TTN_GETDISPINFO, {}, row.id, {}};
    main_window_proc(app, WM_NOTIFY, 0, reinterpret_cast<LParam>(&tip));
    EXPECT_EQ(tip.text, row.text) << row.id;
  }
}

} // namespace
} // namespace app

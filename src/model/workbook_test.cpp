#include "model/workbook.h"

#include "model/services.h"
#include "model/set_cell.h"
#include "model/sheet_list.h"
#include "model/undo.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace model {
namespace {

// Each test gets scripted message boxes and an empty service table.
class WorkbookTest : public ::testing::Test {
protected:
  WorkbookTest() : m_scope(ui) { modelServices() = {}; }
  ~WorkbookTest() override { modelServices() = {}; }

  Workbook& newBook() {
    EXPECT_TRUE(books.new_workbook(nullptr));
    return *books.active();
  }
  std::vector<std::u16string> messages() const {
    std::vector<std::u16string> out;
    for (const auto& s : ui.shown())
      out.push_back(s.text);
    return out;
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices m_scope;
  WorkbookList books;
};

TEST_F(WorkbookTest, NewWorkbookTables) {
  Workbook& b = newBook();
  EXPECT_EQ(b.path, u"Book1");
  EXPECT_EQ(b.cellFormats.size(), 21u);
  EXPECT_EQ(b.styles.size(), 6u);
  EXPECT_EQ(b.fonts.size(), 4u);
  EXPECT_EQ(b.numberFormats.size(), 36u);
  ASSERT_EQ(b.sheetCount(), 1);
  EXPECT_EQ(b.sheet(0).name, u"Sheet1");
  EXPECT_EQ(b.sheet(0).flags, 0x0Fu);
  EXPECT_EQ(b.modified, 0);
  EXPECT_TRUE(ui.saveEnabled());

  // Font 0 from the default screen font: 16 px less 3 of leading at 96 dpi
  // is 195 twips, rounded to whole points.
  EXPECT_EQ(b.fonts[0].heightTwips, 200);
  EXPECT_EQ(b.fonts[0].face, u"Arial");
  EXPECT_EQ(b.fonts[0].colourIndex, 0x7FFF);
  EXPECT_EQ(b.fonts[3], b.fonts[0]);

  const struct {
    int format;
    std::uint16_t font, numberFormat;
    bool style;
  } formats[] = {
      {0, 0, 0, true},   {1, 1, 0, true},   {2, 1, 0, true},   {3, 2, 0, true},
      {4, 2, 0, true},   {5, 0, 0, true},   {14, 0, 0, true},  {15, 0, 0, false},
      {16, 1, 43, true}, {17, 1, 41, true}, {18, 1, 44, true}, {19, 1, 42, true},
      {20, 1, 9, true},
  };
  for (const auto& f : formats) {
    const CellFormat& cf = b.cellFormats[static_cast<size_t>(f.format)];
    EXPECT_EQ(cf.fontIndex, f.font) << f.format;
    EXPECT_EQ(cf.numberFormatIndex, f.numberFormat) << f.format;
    EXPECT_EQ((cf.flags & kFormatStyle) != 0, f.style) << f.format;
    EXPECT_TRUE(cf.flags & kFormatLocked);
    EXPECT_EQ(cf.patternColour, 64);
    EXPECT_EQ(cf.backgroundColour, 65);
  }
  const std::pair<int, int> styles[] = {{16, 3}, {17, 6}, {18, 4}, {19, 7}, {0, 0}, {20, 5}};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(b.styles[i].cellFormat, styles[i].first | 0x8000);
    EXPECT_EQ(b.styles[i].builtinStyle, styles[i].second);
    EXPECT_EQ(b.styles[i].outlineLevel, 255);
  }
  // Palette: red at 2, the file format's default palette from 8 on (0x00BBGGRR).
  EXPECT_EQ(b.palette[2], 0x0000FFu);
  EXPECT_EQ(b.palette[8], 0x000000u);
  EXPECT_EQ(b.palette[22], 0xC0C0C0u);
  EXPECT_EQ(b.palette[24], 0xFF9999u);
  EXPECT_EQ(b.palette[63], 0x333333u);
}

TEST_F(WorkbookTest, BookNamesCountOnAndTitleFollows) {
  newBook();
  newBook();
  EXPECT_EQ(books.active()->path, u"Book2");
  EXPECT_EQ(books.windowTitle(), u"Cellwick - Book2");
  EXPECT_FALSE(books.close_workbook()); // unmodified: no prompt
  EXPECT_TRUE(ui.shown().empty());
  newBook();
  EXPECT_EQ(books.active()->path, u"Book3"); // the counter never goes back
  EXPECT_FALSE(books.close_workbook());
  EXPECT_FALSE(books.close_workbook());
  EXPECT_EQ(books.count(), 0);
  EXPECT_EQ(books.windowTitle(), u"Cellwick");
  EXPECT_FALSE(ui.saveEnabled());
}

TEST_F(WorkbookTest, ClosePromptsForChanges) {
  Workbook& b = newBook();
  b.path = u"/home/u/report.xls";
  mark_modified(b);

  ui.queueAnswer(platform::MessageAnswer::Cancel);
  EXPECT_TRUE(books.close_workbook());
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"你是否要将这次的修改保存到文件 'report.xls' 中？");
  EXPECT_EQ(ui.shown()[0].caption, u"Cellwick");
  EXPECT_EQ(ui.shown()[0].buttons, platform::MessageButtons::YesNoCancel);

  // Yes without a way to save keeps the workbook open rather than lose it.
  ui.queueAnswer(platform::MessageAnswer::Yes);
  EXPECT_TRUE(books.close_workbook());
  EXPECT_EQ(books.count(), 1);

  int saves = 0;
  modelServices().saveWorkbook = [&](Workbook& w) {
    ++saves;
    w.modified = 0;
    return true;
  };
  ui.queueAnswer(platform::MessageAnswer::Yes);
  EXPECT_FALSE(books.close_workbook());
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(books.count(), 0);

  Workbook& c = newBook();
  mark_modified(c);
  ui.queueAnswer(platform::MessageAnswer::No);
  EXPECT_FALSE(books.close_workbook());
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(books.count(), 0);
}

TEST_F(WorkbookTest, InsertNamesFillGaps) {
  Workbook& b = newBook();
  ASSERT_TRUE(insert_sheet(b, 1, u"Sheet3", SheetKind::Worksheet, true));
  ASSERT_TRUE(insert_sheet(b, 2, std::nullopt, SheetKind::Worksheet, true));
  EXPECT_EQ(b.sheet(2).name, u"Sheet2");
  EXPECT_EQ(b.activeSheet, 2);
  ASSERT_TRUE(insert_sheet(b, 99, std::nullopt, SheetKind::Macro, true));
  EXPECT_EQ(b.sheet(3).name, u"Macro1");
  EXPECT_EQ(b.sheet(3).flags, 0x2Fu);
  ASSERT_TRUE(insert_sheet(b, 0, std::nullopt, SheetKind::Chart, true));
  EXPECT_EQ(b.sheet(0).name, u"Chart1");
  EXPECT_EQ(b.modified, 1);
}

TEST_F(WorkbookTest, SheetLimit) {
  Workbook& b = newBook();
  while (b.sheetCount() < kMaxSheets) {
    auto s = std::make_unique<Sheet>();
    s->name = u"S" + platform::fromUtf8(std::to_string(b.sheetCount()));
    b.sheets.push_back(std::move(s));
  }
  EXPECT_FALSE(insert_sheet(b, 0, std::nullopt, SheetKind::Worksheet, true));
  EXPECT_EQ(messages(), std::vector<std::u16string>{u"没空间可插入工作表"});
  EXPECT_EQ(b.sheetCount(), kMaxSheets);
}

TEST_F(WorkbookTest, RenameRules) {
  Workbook& b = newBook();
  ASSERT_TRUE(insert_sheet(b, 1, std::nullopt, SheetKind::Worksheet, false));
  const struct {
    std::u16string_view name;
    bool accepted;
    std::u16string_view message;
  } rows[] = {
      {u"sheet1", false, u"Name must be unique"}, // another sheet, other letter case
      {u"SHEET2", true, u""},                      // its own name in other letter case
      {u"a/b", false, u"Name contains invalid characters"},
      {u"what?", false, u"Name contains invalid characters"},
      {u"x*", false, u"Name contains invalid characters"},
      {u"c:d", false, u"Name contains invalid characters"},
      {u"back\\slash", false, u"Name contains invalid characters"},
      {u"", false, u"Name contains invalid characters"},
      {u"0123456789012345678901234567890X", false, u"Name contains invalid characters"}, // 32
      {u"0123456789012345678901234567890", true, u""},                                   // 31
      {u"预算 2026", true, u""},
  };
  for (const auto& row : rows) {
    ui.clearShown();
    const std::u16string before = b.active().name;
    EXPECT_EQ(rename_active_sheet(b, row.name), row.accepted) << platform::toUtf8(row.name);
    if (row.accepted) {
      EXPECT_EQ(b.active().name, row.name);
      EXPECT_TRUE(ui.shown().empty());
    } else {
      EXPECT_EQ(b.active().name, before); // nothing changes
      EXPECT_EQ(messages(), std::vector<std::u16string>{std::u16string(row.message)});
    }
  }
}

TEST_F(WorkbookTest, RenameRewritesFormulasAndRecordsUndo) {
  Workbook& b = newBook();
  std::vector<std::pair<std::u16string, std::u16string>> renames;
  modelServices().renameSheetInFormulas = [&](Workbook&, std::u16string_view o,
                                              std::u16string_view n, StructuralUndo*) {
    renames.emplace_back(o, n);
  };
  undoList().clear();
  ASSERT_TRUE(rename_active_sheet(b, u"Data"));
  ASSERT_EQ(renames.size(), 1u);
  EXPECT_EQ(renames[0].first, u"Sheet1");
  EXPECT_EQ(renames[0].second, u"Data");
  ASSERT_EQ(undoList().size(), 1u);
  EXPECT_EQ(undoList().at(0).action, kUndoRenameSheet);
  EXPECT_EQ(undoList().at(0).view.name, u"Sheet1"); // the name before the action
  EXPECT_EQ(undoList().at(0).sheetId, b.active().id);
}

TEST_F(WorkbookTest, DeleteRules) {
  const struct {
    std::vector<SheetKind> kinds;
    std::vector<int> hidden;
    int active;
    bool deleted;
  } rows[] = {
      {{SheetKind::Worksheet}, {0}, 0, false},                         // only sheet
      {{SheetKind::Worksheet, SheetKind::Chart}, {0, 0}, 0, false},    // only worksheet
      {{SheetKind::Worksheet, SheetKind::Chart}, {0, 0}, 1, true},     // the chart may go
      {{SheetKind::Worksheet, SheetKind::Worksheet}, {0, 1}, 0, false}, // only visible sheet
      {{SheetKind::Worksheet, SheetKind::Worksheet}, {0, 0}, 1, true},
  };
  for (const auto& row : rows) {
    Workbook b;
    for (size_t i = 0; i < row.kinds.size(); ++i) {
      auto s = std::make_unique<Sheet>();
      sheet_init(*s, row.kinds[i]);
      s->name = u"S" + platform::fromUtf8(std::to_string(i));
      s->hidden = row.hidden[i];
      b.sheets.push_back(std::move(s));
    }
    b.activeSheet = row.active;
    EXPECT_EQ(delete_active_sheet(b), row.deleted);
    EXPECT_EQ(b.sheetCount(), static_cast<int>(row.kinds.size()) - (row.deleted ? 1 : 0));
  }
}

TEST_F(WorkbookTest, PrecedentsFollowInsertDeleteAndMove) {
  Workbook& b = newBook();
  ASSERT_TRUE(insert_sheet(b, 1, std::nullopt, SheetKind::Worksheet, false)); // Sheet2
  ASSERT_TRUE(insert_sheet(b, 2, std::nullopt, SheetKind::Worksheet, false)); // Sheet3
  CellRecord* c = b.sheet(0).cells.findOrInsert(0, 0);
  c->calcState = CalcState::ValueValid;
  c->precedents = std::make_unique<PrecedentList>(PrecedentList{
      {-1, packCell(1, 1), packCell(1, 1)}, {1, 0, 0}, {2, 0, 0}});

  // Insert before Sheet2: indexes at or after 1 move up.
  ASSERT_TRUE(insert_sheet(b, 1, u"New", SheetKind::Worksheet, false));
  EXPECT_EQ((*c->precedents)[1].sheet, 2);
  EXPECT_EQ((*c->precedents)[2].sheet, 3);
  EXPECT_EQ((*c->precedents)[0].sheet, -1);

  // Delete Sheet2 (index 2): its entry goes, later ones move down, the cell is stale.
  b.activeSheet = 2;
  bool recalculated = false;
  modelServices().recalcAfterSheetChange = [&](Workbook&) { recalculated = true; };
  ASSERT_TRUE(delete_active_sheet(b));
  ASSERT_EQ(c->precedents->size(), 2u);
  EXPECT_EQ((*c->precedents)[1].sheet, 2); // Sheet3
  EXPECT_EQ(c->calcState, CalcState::NotValid);
  EXPECT_TRUE(recalculated);
  EXPECT_EQ(b.sheet(b.activeSheet).name, u"Sheet3"); // the next visible sheet

  // Move Sheet3 (index 2) to the front: Sheet1 -> 1, New -> 2, Sheet3 -> 0.
  ASSERT_TRUE(move_active_sheet(b, 0));
  EXPECT_EQ(b.sheet(0).name, u"Sheet3");
  EXPECT_EQ(b.activeSheet, 0);
  EXPECT_EQ((*c->precedents)[1].sheet, 0);
  EXPECT_FALSE(move_active_sheet(b, 1)); // before the next sheet: no change
  ASSERT_TRUE(move_active_sheet(b, 3));  // to the end
  EXPECT_EQ(b.sheet(2).name, u"Sheet3");
  EXPECT_EQ((*c->precedents)[1].sheet, 2);
}

TEST_F(WorkbookTest, HideUnhideAndActivationMacros) {
  Workbook& b = newBook();
  ASSERT_TRUE(insert_sheet(b, 1, std::nullopt, SheetKind::Worksheet, false));
  std::vector<std::u16string> ran;
  modelServices().runMacro = [&](Workbook&, std::u16string_view n, const MacroCaller&) { ran.emplace_back(n); };
  b.names.push_back({0, 0, 0, u"OnLeave", u"=RETURN()", {}});
  b.sheet(1).deactivateMacro = u"onleave"; // looked up without regard to case
  b.activateMacro = u"Missing";            // not a defined name: nothing runs

  ASSERT_TRUE(hide_sheet(b, 1));
  EXPECT_EQ(b.activeSheet, 0);
  EXPECT_EQ(ran, std::vector<std::u16string>{u"OnLeave"});
  EXPECT_FALSE(hide_sheet(b, 0)); // the last visible sheet stays
  EXPECT_EQ(next_visible_sheet(b, 0, +1), -1);
  ASSERT_TRUE(unhide_sheet(b, 1));
  EXPECT_EQ(b.activeSheet, 1);
  EXPECT_EQ(b.sheet(1).hidden, 0);
}

TEST_F(WorkbookTest, CopySheetNeedsThePaste) {
  Workbook& b = newBook();
  EXPECT_FALSE(copy_active_sheet(b, 1)); // no clipboard installed: no empty copy
  EXPECT_EQ(b.sheetCount(), 1);
  modelServices().copySheetContents = [](Workbook& w, int from, int to) {
    w.sheet(to).cells.findOrInsert(0, 0)->input.assign(
        w.sheet(from).cells.at(0, 0)->input.view());
    return true;
  };
  b.sheet(0).cells.findOrInsert(0, 0)->input.assign(u"x");
  ASSERT_TRUE(copy_active_sheet(b, 0));
  EXPECT_EQ(b.sheet(0).name, u"Sheet2");
  EXPECT_EQ(b.sheet(0).cells.at(0, 0)->input.view(), u"x");
}

TEST_F(WorkbookTest, NumberFormatList) {
  Workbook& b = newBook();
  EXPECT_EQ(findOrAddFormat(b, u"0.00"), 2);
  EXPECT_EQ(findOrAddFormat(b, u"0.000"), 50); // the first added code
  EXPECT_EQ(findOrAddFormat(b, u"0.000"), 50); // found again, nothing added
  EXPECT_EQ(findOrAddFormat(b, u"GENERAL"), 51); // comparison is case-sensitive
  EXPECT_EQ(b.numberFormats.size(), 38u);
  EXPECT_EQ(b.numberFormats.back().flags & kNumberFormatBuiltin, 0u);
  b.numberFormats.push_back({200, 0, u"x", u"x"});
  EXPECT_EQ(findOrAddFormat(b, u"y"), 201);
  EXPECT_EQ(numberFormatCode(b, 201), u"y");
  EXPECT_EQ(numberFormatCode(b, 30), u"General"); // an unknown index
  EXPECT_EQ(composeFormatCode(b, 0, 2, u""), 0);
  EXPECT_EQ(composeFormatCode(b, 1, 2, u""), 2);
  EXPECT_EQ(composeFormatCode(b, 9, 0, u""), 49);
  // en-US is pinned for tests: the date category is index 14's code.
  EXPECT_EQ(composeFormatCode(b, 4, 0, u""), 14);
}

TEST_F(WorkbookTest, FindName) {
  Workbook& b = newBook();
  b.names.push_back({0, 0, 0, u"Total", u"=Sheet1!$A$1", {}});
  b.names.push_back({0, 0, 0, u"Rate2", u"=0.5", {}});
  const struct {
    std::u16string_view text;
    size_t start;
    int index;
    size_t end;
  } rows[] = {
      {u"=total", 0, 0, 6},
      {u"=  Total +1", 0, 0, 9}, // the spaces before an operator are taken
      {u"Total", 0, 0, 5},
      {u"=Totals", 0, -1, 7},    // same start, other length
      {u"=Total!A1", 0, -1, 6},  // a sheet name, not a name
      {u"=Rate2*3", 0, 1, 6},
      {u"=1+rate2", 3, 1, 8},
      {u"=Total  ", 0, 0, 6},    // trailing spaces without an operator stay
      {u"=", 0, -1, 1},
  };
  for (const auto& row : rows) {
    const NameLookup r = find_name(b, row.text, row.start);
    EXPECT_EQ(r.index, row.index) << platform::toUtf8(row.text);
    EXPECT_EQ(r.end, row.end) << platform::toUtf8(row.text);
  }
}

// Names of one text in several scopes: a formula sees its own sheet's name
// first, then the workbook's, then another sheet's.
TEST_F(WorkbookTest, FindNameLooksInTheFormulasSheetFirst) {
  Workbook& b = newBook();
  b.names.push_back({0, 0, 2, u"Rate", u"=20", {}}); // local to the second sheet
  b.names.push_back({0, 0, 0, u"RATE", u"=1", {}});  // global
  b.names.push_back({0, 0, 1, u"rate", u"=10", {}}); // local to the first sheet
  b.names.push_back({0, 0, 3, u"Only3", u"=3", {}});
  const struct {
    std::u16string_view name;
    int sheet;
    int index;
  } rows[] = {
      {u"Rate", 0, 2}, {u"Rate", 1, 0}, {u"Rate", 2, 1}, {u"Rate", -1, 1},
      {u"ONLY3", 0, 3}, {u"Only3", 2, 3}, {u"Missing", 0, -1},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(find_name_text(b, row.name, row.sheet), row.index)
        << platform::toUtf8(row.name) << " on sheet " << row.sheet;
    EXPECT_EQ(find_name(b, std::u16string(u"=") + std::u16string(row.name) + u"+1", 0, row.sheet).index,
              row.index);
  }
  // The index follows changes to the list: appended names, and a rename in
  // place that is announced.
  b.names.push_back({0, 0, 0, u"Later", u"=2", {}});
  EXPECT_EQ(find_name_text(b, u"later"), 4);
  b.names[4].name = u"Renamed";
  names_changed(b);
  EXPECT_EQ(find_name_text(b, u"later"), -1);
  EXPECT_EQ(find_name_text(b, u"RENAMED"), 4);
}

TEST_F(WorkbookTest, AddInNamesStayUnique) {
  Workbook& b = newBook();
  addAddInName(b, u"EDATE");
  addAddInName(b, u"edate");
  addAddInName(b, u"EOMONTH");
  EXPECT_EQ(b.addInNames.size(), 2u);
}

TEST_F(WorkbookTest, FileTypes) {
  const struct {
    std::u16string_view path;
    FileType type;
  } rows[] = {
      {u"a.csv", kFileCsv},   {u"A.PXL", kFilePocket}, {u"x/b.Xls", kFileXls},
      {u"t.xlt", kFileXlt},   {u"c.bmp", kFileBmp},    {u"d.txt", kFileText},
      {u".xls", kFileUnsupported}, // fewer than five characters
      {u"e.xlsx", kFileUnsupported}, {u"noext", kFileUnsupported},
  };
  for (const auto& row : rows)
    EXPECT_EQ(fileTypeOf(row.path), row.type) << platform::toUtf8(row.path);
}

class OpenTest : public WorkbookTest {
protected:
  OpenTest() {
    m_dir = std::filesystem::temp_directory_path() /
            ("cellwick_open_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(m_dir / "other");
  }
  ~OpenTest() override { std::filesystem::remove_all(m_dir); }
  std::u16string touch(const std::string& rel) {
    std::ofstream(m_dir / rel) << "x";
    return platform::fromUtf8((m_dir / rel).string());
  }
  void installReader(bool succeed) {
    modelServices().readWorkbookFile = [this, succeed](Workbook& b, const std::u16string&, int) {
      ++reads;
      if (succeed)
        return insert_sheet(b, 0, std::nullopt, SheetKind::Worksheet, false);
      return false;
    };
  }
  std::filesystem::path m_dir;
  int reads = 0;
};

TEST_F(OpenTest, ReplacesUntouchedBook1AndActivatesSameName) {
  newBook();
  installReader(true);
  const std::u16string a = touch("a.xls");
  ASSERT_TRUE(books.open_workbook(u"\"" + a + u"\"", false)); // command-line quotes
  EXPECT_EQ(books.count(), 1);
  EXPECT_EQ(books.active()->path, a);

  // The same file name in another folder activates the open workbook.
  newBook();
  const std::u16string other = touch("other/A.XLS");
  ASSERT_TRUE(books.open_workbook(other, false));
  EXPECT_EQ(books.count(), 2);
  EXPECT_EQ(books.activeIndex(), 0);
  EXPECT_EQ(reads, 1);
}

TEST_F(OpenTest, ModifiedBook1Stays) {
  Workbook& b = newBook();
  mark_modified(b);
  installReader(true);
  ASSERT_TRUE(books.open_workbook(touch("b.csv"), false));
  EXPECT_EQ(books.count(), 2);
}

TEST_F(OpenTest, FailuresLeaveNothingBehind) {
  newBook();
  installReader(false);
  EXPECT_FALSE(books.open_workbook(touch("c.xls"), false));
  EXPECT_EQ(books.count(), 1); // Book1 is still there
  EXPECT_EQ(books.active()->path, u"Book1");

  const std::u16string missing = platform::fromUtf8((m_dir / "missing.xls").string());
  EXPECT_FALSE(books.open_workbook(missing, false));
  EXPECT_FALSE(books.open_workbook(touch("d.xlsx"), false));
  EXPECT_EQ(messages(), (std::vector<std::u16string>{
                            u"可能其他程序正用，无法打开文件\n" + missing, u"文件类型不支持！"}));
}

TEST_F(OpenTest, TemplateBecomesNextBook) {
  installReader(true);
  touch("Book.xlt");
  ASSERT_TRUE(books.new_from_template(platform::fromUtf8(m_dir.string())));
  EXPECT_EQ(books.active()->path, u"Book1");
  EXPECT_EQ(reads, 1);
  std::filesystem::remove(m_dir / "Book.xlt");
  ASSERT_TRUE(books.new_from_template(platform::fromUtf8(m_dir.string())));
  EXPECT_EQ(books.active()->path, u"Book2");
  EXPECT_EQ(reads, 1);
}

TEST_F(WorkbookTest, SetCellCallsTheEngineAndFitsTheRow) {
  Workbook& b = newBook();
  std::vector<std::string> calls;
  modelServices().scanPrecedents = [&](Workbook&, int, CellRecord&) { calls.push_back("scan"); };
  modelServices().computeCell = [&](Workbook&, int, CellRecord& c) {
    calls.push_back("compute");
    c.value = CellValue::string(c.input.view());
    c.calcState = CalcState::ValueValid;
  };
  modelServices().propagateChange = [&](Workbook&, int, CellRecord&) { calls.push_back("prop"); };
  ASSERT_TRUE(set_cell(b, 0, 4, 2, u"hello", 15, true, true));
  EXPECT_EQ(calls, (std::vector<std::string>{"scan", "compute", "prop"}));
  EXPECT_EQ(cell_at(b.sheet(0), 4, 2)->value.stringValue(), u"hello");
  // One line of 16 px + 1 at 96 dpi is 255 twips: the row fits at the minimum.
  EXPECT_EQ(row_height(b.sheet(0), 4), 255);
  EXPECT_FALSE(row_record(b.sheet(0), 4).flags & kLineDefaultSize);

  // A wrapped string takes as many lines as it needs, up to 8,180 twips.
  b.cellFormats.push_back(b.cellFormats[15]);
  b.cellFormats.back().flags |= kFormatWrapText;
  const auto wrapFormat = static_cast<std::uint16_t>(b.cellFormats.size() - 1);
  ASSERT_TRUE(set_cell(b, 0, 5, 0, u"aaaa bbbb cccc", wrapFormat, true, false));
  // Column 0 is 56 px, less 3: 53 px holds 7 characters of 7 px: three lines.
  EXPECT_EQ(row_height(b.sheet(0), 5), (3 * 16 + 1) * 15);
  ASSERT_TRUE(set_cell(b, 0, 6, 0, std::u16string(2000, u'x'), wrapFormat, true, false));
  EXPECT_EQ(row_height(b.sheet(0), 6), kMaxFittedRowHeight);

  // A row the user sized is left alone.
  setRowHeightPoints(b.sheet(0), 7, 7, 30);
  ASSERT_TRUE(set_cell(b, 0, 7, 0, u"x", 15, true, false));
  EXPECT_EQ(row_height(b.sheet(0), 7), 600);

  EXPECT_FALSE(set_cell(b, 5, 0, 0, u"x", 15, false, false)); // no such sheet
}

TEST(WrappedLines, BreaksAtSpacesAndInsideLongWords) {
  const platform::FontSpec font; // 7 px a character
  const struct {
    std::u16string_view text;
    int width;
    int lines;
  } rows[] = {
      {u"abc", 100, 1},      {u"", 100, 1},          {u"aaaa bbbb", 35, 2},
      {u"aaaaaaaaaa", 35, 2}, {u"a\nb\nc", 100, 3},   {u"aaaa bbbb cccc", 53, 3},
  };
  for (const auto& row : rows)
    EXPECT_EQ(wrappedLineCount(row.text, font, row.width), row.lines)
        << platform::toUtf8(row.text);
}

} // namespace
} // namespace model

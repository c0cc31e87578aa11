#include "edit/undo_command.h"

#include "edit/edit_test_util.h"
#include "model/services.h"
#include "model/sheet_list.h"

namespace edit {
namespace {

using model::CellRange;

class UndoCommandTest : public EditTest {};

TEST_F(UndoCommandTest, SeventeenChangesSixteenUndos) {
  for (int i = 0; i < 17; ++i)
    type(i, 0, u"x");
  int undone = 0;
  while (undo(books).undone)
    ++undone;
  EXPECT_EQ(undone, 16);
  EXPECT_EQ(input(0, 0), u"x") << "the first change stays";
  for (int i = 1; i < 17; ++i)
    EXPECT_EQ(cell(i, 0), nullptr) << i;
}

TEST_F(UndoCommandTest, UndoingAPasteRecordsNothingAndPutsTheCellsBack) {
  set(0, 0, u"new");
  set(3, 0, u"old");
  ASSERT_TRUE(copy_range(book(), 0, range(0, 0, 0, 0), window));
  ASSERT_TRUE(pasteAt(range(3, 0, 3, 0)));
  ASSERT_EQ(model::undoList().size(), 1u);
  const UndoOutcome out = undo(books);
  EXPECT_TRUE(out.undone);
  EXPECT_EQ(out.action, model::kUndoPaste);
  EXPECT_TRUE(model::undoList().empty()) << "the put-back pushes no entry of its own";
  EXPECT_EQ(input(3, 0), u"old");
}

TEST_F(UndoCommandTest, UndoOfTypingBringsBackRulesLinksAndComments) {
  model::ValidationRule rule;
  rule.allow = model::kAllowWholeNumber;
  rule.ranges = {range(0, 0, 0, 0), range(5, 5, 6, 6)};
  sheet().validations = {rule};
  model::ConditionalFormat cf;
  cf.conditions.push_back({});
  cf.ranges = {range(0, 0, 2, 2)};
  sheet().conditionalFormats = {cf};
  sheet().hyperlinks = {{model::packCell(0, 0), u"http://x"}};
  model::DrawingObject note;
  note.kind = model::kObjectComment;
  note.text = u"note";
  sheet().objects = {note};
  const auto validations = sheet().validations;
  const auto formats = sheet().conditionalFormats;

  // A paste over the cell takes all four away.
  set(9, 9, u"z");
  ASSERT_TRUE(copy_range(book(), 0, range(9, 9, 9, 9), window));
  ASSERT_TRUE(pasteAt(range(0, 0, 0, 0)));
  ASSERT_TRUE(sheet().hyperlinks.empty());
  ASSERT_TRUE(sheet().objects.empty());
  ASSERT_NE(sheet().validations, validations);
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(sheet().validations, validations);
  EXPECT_EQ(sheet().conditionalFormats, formats);
  ASSERT_EQ(sheet().hyperlinks.size(), 1u);
  EXPECT_EQ(sheet().hyperlinks[0].target, u"http://x");
  ASSERT_EQ(model::commentAt(sheet(), 0, 0), 0);
  EXPECT_EQ(sheet().objects[0].text, u"note");
}

TEST_F(UndoCommandTest, UndoOfARenameRewritesTheFormulasBack) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, u"Data", model::SheetKind::Worksheet, false));
  book().activeSheet = 1;
  set(0, 0, u"4");
  book().activeSheet = 0;
  set(0, 0, u"=Data!A1*2");
  EXPECT_EQ(number(0, 0), 8);
  book().activeSheet = 1;
  ASSERT_TRUE(model::rename_active_sheet(book(), u"Facts"));
  book().activeSheet = 0;
  ASSERT_EQ(input(0, 0), u"=Facts!A1*2");
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(book().sheet(1).name, u"Data");
  book().activeSheet = 0;
  EXPECT_EQ(input(0, 0), u"=Data!A1*2");
  EXPECT_EQ(number(0, 0), 8);
}

TEST_F(UndoCommandTest, ADeletedSheetComesBackWhole) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, u"Gone", model::SheetKind::Worksheet, false));
  model::Sheet& s = book().sheet(1);
  book().activeSheet = 1;
  set(2, 2, u"=1+1");
  s.objects.push_back(model::DrawingObject{});
  s.conditionalFormats.push_back({});
  s.pageSetup.header = u"top";
  s.frozenRow = 3;
  model::set_row_record(s, 2, 0, 600);
  const std::uint32_t id = s.id;
  book().activeSheet = 0;
  set(0, 0, u"=Gone!C3");
  book().activeSheet = 1;
  ASSERT_TRUE(model::delete_active_sheet(book()));
  ASSERT_EQ(book().sheetCount(), 1);

  ASSERT_TRUE(undo(books).undone);
  ASSERT_EQ(book().sheetCount(), 2);
  const model::Sheet& back = book().sheet(1);
  EXPECT_EQ(back.id, id);
  EXPECT_EQ(back.name, u"Gone");
  EXPECT_EQ(back.objects.size(), 1u);
  EXPECT_EQ(back.conditionalFormats.size(), 1u);
  EXPECT_EQ(back.pageSetup.header, u"top");
  EXPECT_EQ(back.frozenRow, 3);
  EXPECT_EQ(model::row_height(back, 2), 600);
  EXPECT_EQ(book().activeSheet, 1);
  book().activeSheet = 0;
  EXPECT_EQ(number(0, 0), 2) << "formulas naming the sheet find it again";
}

// A sheet's local names stay its own while sheets come and move before it;
// they go with it when it is deleted, and Undo brings them back.
TEST_F(UndoCommandTest, LocalNamesFollowTheirSheet) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, u"Two", model::SheetKind::Worksheet, false));
  ASSERT_TRUE(model::insert_sheet(book(), 2, u"Three", model::SheetKind::Worksheet, false));
  book().names.push_back({0, 0, 0, u"Rate", u"=1", {}});
  book().names.push_back({0, 0, 2, u"Rate", u"=2", {}});
  book().names.push_back({0, 0, 3, u"Rate", u"=3", {}});
  model::names_changed(book());
  const auto scopes = [&] {
    std::vector<int> out;
    for (const model::DefinedName& n : book().names)
      out.push_back(n.sheetIndex);
    return out;
  };
  const auto onFirstSheet = [&](int index) {
    book().activeSheet = index;
    return number(0, 0);
  };
  book().activeSheet = 0;
  set(0, 0, u"=Two!Rate*10+Three!Rate+Rate");
  EXPECT_EQ(onFirstSheet(0), 24);

  ASSERT_TRUE(model::insert_sheet(book(), 0, u"New", model::SheetKind::Worksheet, false));
  EXPECT_EQ(scopes(), (std::vector<int>{0, 3, 4}));
  EXPECT_EQ(onFirstSheet(1), 24);

  book().activeSheet = 3; // Three, moved before Sheet1
  ASSERT_TRUE(model::move_active_sheet(book(), 1));
  EXPECT_EQ(book().sheet(1).name, u"Three");
  EXPECT_EQ(scopes(), (std::vector<int>{0, 4, 2}));
  EXPECT_EQ(onFirstSheet(2), 24);

  book().activeSheet = 3; // Two
  ASSERT_TRUE(model::delete_active_sheet(book()));
  EXPECT_EQ(scopes(), (std::vector<int>{0, 2}));
  EXPECT_EQ(onFirstSheet(2), -999999) << "Two!Rate names nothing now";

  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(scopes(), (std::vector<int>{0, 4, 2}));
  EXPECT_EQ(onFirstSheet(2), 24);

  // Moves and copies keep no undo: names put back by a later Undo find their
  // sheets where these are by then, and a copy made since keeps its own.
  installClipboardServices();
  book().activeSheet = 3; // Two
  ASSERT_TRUE(model::delete_active_sheet(book()));
  book().activeSheet = 1; // Three, to the end
  ASSERT_TRUE(model::move_active_sheet(book(), 3));
  ASSERT_EQ(book().sheet(2).name, u"Three");
  ASSERT_TRUE(model::copy_active_sheet(book(), 0)); // a copy of Three in front
  ASSERT_EQ(book().sheetCount(), 4);
  EXPECT_EQ(scopes(), (std::vector<int>{0, 4, 1}));
  ASSERT_TRUE(undo(books).undone);
  ASSERT_EQ(book().sheetCount(), 5);
  std::vector<std::pair<std::u16string, std::u16string>> owners;
  for (const model::DefinedName& n : book().names)
    owners.emplace_back(n.sheetIndex > 0 ? book().sheet(n.sheetIndex - 1).name : u"", n.formula);
  const std::u16string copy = book().sheet(0).name;
  EXPECT_EQ(owners, (std::vector<std::pair<std::u16string, std::u16string>>{
                        {u"", u"=1"}, {u"Two", u"=2"}, {u"Three", u"=3"}, {copy, u"=3"}}));
  EXPECT_EQ(onFirstSheet(model::sheetIndexOfId(book(), book().sheet(2).id)), 24);
}

// A copied sheet gets local names of its own, of the same texts, whose
// definitions name the copy where they named the source: the copy's
// formulas compute with the copy's cells. A copy that fails takes them away.
TEST_F(UndoCommandTest, ACopiedSheetGetsItsOwnLocalNames) {
  installClipboardServices();
  ASSERT_TRUE(model::insert_sheet(book(), 1, u"Two", model::SheetKind::Worksheet, false));
  book().activeSheet = 0;
  book().names = {{0, 0, 0, u"Rate", u"=1", {}},
                  {0, 0, 1, u"Rate", u"=Sheet1!$B$1", {}},
                  {0, 0, 1, u"Twice", u"=Rate*2", {}},
                  {0, 0, 1, u"Across", u"=Two!$B$1+SUM(Sheet1:Two!$B$1)", {}},
                  {0, 0, 2, u"Rate", u"=100", {}}};
  model::names_changed(book());
  set(0, 1, u"5");
  set(0, 0, u"=Rate");
  set(1, 0, u"=Twice");
  set(2, 0, u"=Across");
  const auto scopes = [&] {
    std::vector<std::pair<int, std::u16string>> out;
    for (const model::DefinedName& n : book().names)
      out.emplace_back(n.sheetIndex, n.name + n.formula);
    return out;
  };
  const auto before = scopes();

  // A copy whose cells cannot go in leaves the names as they were.
  const auto paste = model::modelServices().copySheetContents;
  model::modelServices().copySheetContents = [&](model::Workbook& b, int from, int to) {
    return paste(b, from, to) && false;
  };
  EXPECT_FALSE(model::copy_active_sheet(book(), 1));
  model::modelServices().copySheetContents = paste;
  EXPECT_EQ(book().sheetCount(), 2);
  EXPECT_EQ(scopes(), before);

  const std::uint64_t generation = book().namesGeneration;
  ASSERT_TRUE(model::copy_active_sheet(book(), 1));
  ASSERT_EQ(book().sheet(1).name, u"Sheet2");
  EXPECT_NE(book().namesGeneration, generation);
  EXPECT_EQ(scopes(), (std::vector<std::pair<int, std::u16string>>{
                          {0, u"Rate=1"},
                          {1, u"Rate=Sheet1!$B$1"},
                          {1, u"Twice=Rate*2"},
                          {1, u"Across=Two!$B$1+SUM(Sheet1:Two!$B$1)"},
                          {3, u"Rate=100"},
                          {2, u"Rate=Sheet2!$B$1"},
                          {2, u"Twice=Rate*2"},
                          {2, u"Across=Two!$B$1+SUM(Sheet1:Two!$B$1)"}}));
  book().activeSheet = 1;
  set(0, 1, u"50");
  EXPECT_EQ(number(0, 0), 50);
  set(3, 0, u"=Twice+Sheet1!Rate+Two!Rate");
  EXPECT_EQ(number(3, 0), 205);
  book().activeSheet = 0;
  EXPECT_EQ(number(0, 0), 5) << "the source keeps its own";
  EXPECT_EQ(number(1, 0), 10);
  set(3, 0, u"=Sheet2!Twice");
  EXPECT_EQ(number(3, 0), 100);
}

TEST_F(UndoCommandTest, SheetOperationsAreTakenBack) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, std::nullopt, model::SheetKind::Worksheet, true));
  ASSERT_EQ(book().sheetCount(), 2);
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(book().sheetCount(), 1) << "an inserted sheet goes again";

  ASSERT_TRUE(model::insert_sheet(book(), 1, u"B", model::SheetKind::Worksheet, false));
  ASSERT_TRUE(model::hide_sheet(book(), 1));
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(book().sheet(1).hidden, 0);
}

TEST_F(UndoCommandTest, RowSizesComeBackAndNewRecordsGo) {
  model::set_row_record(sheet(), 1, 0, 500);
  const CellRange rows{0, 0, 3, model::kMaxColumn};
  ASSERT_TRUE(model::push_undo(book(), 0, model::kUndoRowHeight));
  ASSERT_TRUE(model::save_row_records(book(), 0, rows));
  model::setRowHeightPoints(sheet(), 0, 3, 40);
  ASSERT_EQ(model::row_height(sheet(), 0), 800);
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(model::row_height(sheet(), 0), model::kDefaultRowHeight);
  EXPECT_EQ(model::row_height(sheet(), 1), 500);
  EXPECT_EQ(sheet().rows.size(), 1u);
}

TEST_F(UndoCommandTest, AnotherWorkbooksEntryActivatesItFirst) {
  model::Workbook& first = book();
  type(0, 0, u"first");
  ASSERT_TRUE(books.new_workbook(nullptr));
  ASSERT_EQ(books.activeIndex(), 1);
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(books.activeIndex(), 0);
  EXPECT_EQ(model::cell_at(first.sheet(0), 0, 0), nullptr);
}

TEST_F(UndoCommandTest, TheByteCapDropsTheOldestEntriesFirst) {
  for (int i = 0; i < 200; ++i)
    set(i, 0, u"a fairly long text to make the snapshot weigh something");
  const CellRange big{0, 0, 199, 0};
  ASSERT_TRUE(model::push_undo_range(book(), 0, model::kUndoClear, big));
  const size_t one = model::undoList().bytes();
  model::undoList().clear();
  model::undoList().setByteCap(one * 3 + one / 2);
  for (int i = 0; i < 5; ++i)
    ASSERT_TRUE(model::push_undo_range(book(), 0, i == 4 ? model::kUndoPaste : model::kUndoClear, big));
  EXPECT_EQ(model::undoList().size(), 3u);
  EXPECT_LE(model::undoList().bytes(), model::undoList().byteCap());
  EXPECT_EQ(model::undoList().newest()->action, model::kUndoPaste) << "the newest always stays";
}

TEST_F(UndoCommandTest, AnEntryWhoseSheetIsGoneTouchesNothing) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, u"Temp", model::SheetKind::Worksheet, false));
  book().activeSheet = 1;
  type(0, 0, u"x");
  (void)model::remove_sheet(book(), 1); // outside the list
  set(0, 0, u"kept");
  const UndoOutcome out = undo(books);
  EXPECT_TRUE(out.undone);
  EXPECT_FALSE(out.sheetKept);
  EXPECT_EQ(input(0, 0), u"kept");
}

} // namespace
} // namespace edit

#include "datatools/data_form.h"

#include "edit/edit_test_util.h"
#include "edit/undo_command.h"

namespace datatools {
namespace {

class DataFormTest : public edit::EditTest {
protected:
  // A1:C4: a header row and three records; C holds =A*B.
  void list() {
    set(0, 0, u"Name");
    set(0, 1, u"Qty");
    set(0, 2, u"Total");
    const std::u16string names[] = {u"Bolt", u"Nut", u"Pin"};
    const std::u16string qty[] = {u"50", u"150", u"120"};
    for (int i = 0; i < 3; ++i) {
      set(1 + i, 0, names[i]);
      set(1 + i, 1, qty[i]);
      const std::string f = "=B" + std::to_string(2 + i) + "*2";
      set(1 + i, 2, std::u16string(f.begin(), f.end()));
    }
    book().modified = 0;
  }
  DataForm open() {
    DataForm f;
    EXPECT_TRUE(openDataForm(book(), sheetIndex(), range(1, 1, 1, 1), 1, 1, f));
    return f;
  }
};

TEST_F(DataFormTest, OpensOnTheFirstRecordAndBrowsesToTheNewRecord) {
  list();
  DataForm f = open();
  EXPECT_EQ(f.block, range(0, 0, 3, 2));
  EXPECT_EQ(counterText(f), u"1 of 3");
  ASSERT_EQ(f.fields.size(), 3u);
  EXPECT_EQ(f.fields[0].header, u"Name");
  EXPECT_EQ(f.fields[0].text, u"Bolt");
  EXPECT_TRUE(f.fields[2].readOnly);
  EXPECT_EQ(f.fields[2].text, u"100");
  EXPECT_TRUE(stepRecord(book(), f, true));
  EXPECT_TRUE(stepRecord(book(), f, true));
  EXPECT_EQ(counterText(f), u"3 of 3");
  EXPECT_TRUE(stepRecord(book(), f, true));
  EXPECT_EQ(counterText(f), u"新建记录");
  EXPECT_EQ(f.fields[2].text, u"=B5*2"); // the last record's formula, a row down
  EXPECT_TRUE(f.fields[2].readOnly);
  EXPECT_FALSE(stepRecord(book(), f, true));
  // Browsing changed nothing.
  EXPECT_EQ(book().modified, 0);
  EXPECT_TRUE(model::undoList().empty());
}

TEST_F(DataFormTest, ANewRecordIsAppendedWithItsFormula) {
  list();
  DataForm f = open();
  f.current = f.block.lastRow + 1;
  showRecord(book(), f);
  f.fields[0].text = u"Rivet";
  f.fields[1].text = u"7";
  EXPECT_TRUE(stepRecord(book(), f, true)); // Enter: commit, then the next new record
  EXPECT_EQ(input(4, 0), u"Rivet");
  EXPECT_EQ(input(4, 2), u"=B5*2");
  EXPECT_EQ(number(4, 2), 14);
  EXPECT_EQ(f.block.lastRow, 4);
  EXPECT_EQ(counterText(f), u"新建记录");
  EXPECT_NE(book().modified, 0);
}

// The new-record position used to exist even where the row below the list
// was taken (the record then overwrote it) or the list ended at the last
// row (it wrapped to row 1).
TEST_F(DataFormTest, TheNewRecordPositionOnlyWhereANewRecordFits) {
  list();
  set(5, 1, u"note"); // the row after the new record is taken
  DataForm f = open();
  f.current = 3;
  showRecord(book(), f);
  EXPECT_TRUE(newRecordAllowed(book(), f));
  set(4, 0, u"below"); // now the row right below the list is taken too
  EXPECT_FALSE(newRecordAllowed(book(), f));
  EXPECT_FALSE(stepRecord(book(), f, true));
  EXPECT_EQ(f.current, 3);
  EXPECT_EQ(input(4, 0), u"below");

  DataForm end;
  set(65534, 0, u"Head");
  set(65535, 0, u"last");
  ASSERT_TRUE(openDataForm(book(), sheetIndex(), range(65534, 0, 65535, 0), 65534, 0, end));
  EXPECT_FALSE(newRecordAllowed(book(), end));
  EXPECT_FALSE(stepRecord(book(), end, true));
  EXPECT_EQ(end.current, 65535);
  EXPECT_EQ(input(0, 0), u"Name");
}

TEST_F(DataFormTest, CriteriaSkipRecordsThatDoNotMatch) {
  list();
  DataForm f = open();
  f.criteriaMode = true;
  showRecord(book(), f);
  EXPECT_EQ(counterText(f), u"条件");
  f.fields[1].text = u">100";
  EXPECT_TRUE(stepRecord(book(), f, true)); // leaves criteria mode at the first match
  EXPECT_EQ(f.current, 2);
  EXPECT_TRUE(recordMatches(book(), f, 3));
  EXPECT_FALSE(recordMatches(book(), f, 1));
  EXPECT_TRUE(stepRecord(book(), f, true));
  EXPECT_EQ(f.current, 3);
  EXPECT_TRUE(stepRecord(book(), f, false));
  EXPECT_EQ(f.current, 2);
  EXPECT_FALSE(stepRecord(book(), f, false)); // Bolt has 50
  EXPECT_EQ(f.current, 2);
}

TEST_F(DataFormTest, EditsAreEnteredAndDeleteShrinksTheList) {
  list();
  DataForm f = open();
  f.fields[1].text = u"60";
  EXPECT_TRUE(recordEdited(f));
  EXPECT_TRUE(commitRecord(book(), f));
  EXPECT_EQ(number(1, 2), 120);
  EXPECT_TRUE(deleteRecord(book(), f));
  EXPECT_EQ(f.block.lastRow, 2);
  EXPECT_EQ(input(1, 0), u"Nut");
  EXPECT_EQ(counterText(f), u"1 of 2");
}

// Deleting a record moves only the records below it: a note under the list
// (A6) and the formula reading it stay; references follow the moved records,
// and one into the deleted record is lost. Undo brings all of it back.
struct DeleteCase {
  int record; // the row deleted
  std::u16string nameLeftInRow2;
  std::u16string toPin, toDeleted;
};

class DataFormDeleteTest : public DataFormTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DataFormDeleteTest, MovesOnlyTheRecordsBelowWithinTheList) {
  const DeleteCase& k = GetParam();
  list();
  set(5, 0, u"Note");
  set(0, 4, u"=A6");
  set(1, 4, u"=A4"); // Pin
  set(2, 4, k.record == 1 ? std::u16string(u"=A2") : std::u16string(u"=A4"));
  DataForm f = open();
  f.current = k.record;
  showRecord(book(), f);
  ASSERT_TRUE(deleteRecord(book(), f));
  EXPECT_EQ(f.block.lastRow, 2);
  EXPECT_EQ(input(2, 0), k.nameLeftInRow2);
  EXPECT_EQ(input(3, 0), u"");
  EXPECT_EQ(input(3, 2), u"");
  EXPECT_EQ(input(5, 0), u"Note");
  EXPECT_EQ(input(0, 4), u"=A6");
  EXPECT_EQ(input(1, 4), k.toPin);
  EXPECT_EQ(input(2, 4), k.toDeleted);
  ASSERT_TRUE(edit::undo(books).undone);
  EXPECT_EQ(input(3, 0), u"Pin");
  EXPECT_EQ(input(k.record, 0), k.record == 1 ? u"Bolt" : u"Pin");
  EXPECT_EQ(input(1, 4), u"=A4");
  EXPECT_EQ(input(5, 0), u"Note");
}

INSTANTIATE_TEST_SUITE_P(Records, DataFormDeleteTest,
                         ::testing::Values(DeleteCase{1, u"Pin", u"=A3", u"=#REF!"},
                                           DeleteCase{3, u"Nut", u"=#REF!", u"=#REF!"}));

// A record typed at the new-record position goes in even when the row
// under it is taken: only the next new record is then refused.
TEST_F(DataFormTest, ANewRecordFillsTheRowAboveANoteBelowTheList) {
  list();
  set(5, 0, u"Note");
  DataForm f = open();
  f.current = f.block.lastRow + 1;
  showRecord(book(), f);
  EXPECT_FALSE(newRecordAllowed(book(), f)) << "no further record after this one";
  f.fields[0].text = u"Rivet";
  EXPECT_FALSE(stepRecord(book(), f, true));
  EXPECT_EQ(input(4, 0), u"Rivet");
  EXPECT_EQ(f.block.lastRow, 4);
  EXPECT_EQ(counterText(f), u"4 of 4") << "the record added, with no new record after it";
  EXPECT_EQ(input(5, 0), u"Note");
}

// The scroll positions hold the new record only where it may be reached.
TEST_F(DataFormTest, ScrollPositionsEndAtTheNewRecordWhereOneMayBeAdded) {
  list();
  DataForm f = open();
  EXPECT_EQ(recordPositions(book(), f), 4);
  goToPosition(book(), f, 99);
  EXPECT_EQ(counterText(f), u"新建记录");
  goToPosition(book(), f, 1);
  EXPECT_EQ(counterText(f), u"2 of 3");
  set(4, 1, u"below");
  EXPECT_EQ(recordPositions(book(), f), 3);
  goToPosition(book(), f, 99);
  EXPECT_EQ(counterText(f), u"3 of 3");
  f.criteriaMode = true;
  goToPosition(book(), f, 0);
  EXPECT_FALSE(f.criteriaMode);
  EXPECT_EQ(counterText(f), u"1 of 3");
}

TEST_F(DataFormTest, AProtectedSheetOffersNoNewRecord) {
  list();
  sheet().flags |= model::kSheetProtected;
  DataForm f = open();
  EXPECT_FALSE(newRecordAllowed(book(), f));
  EXPECT_FALSE(deleteRecord(book(), f));
  EXPECT_TRUE(f.fields[0].readOnly); // cells are locked by default
}

TEST_F(DataFormTest, MergedCellsAndArraysRefuse) {
  list();
  sheet().mergedRanges.push_back(range(2, 0, 2, 1));
  DataForm f;
  EXPECT_FALSE(openDataForm(book(), sheetIndex(), range(1, 1, 1, 1), 1, 1, f));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"无法修改含有合并单元格的工作表！");
  EXPECT_FALSE(openDataForm(book(), sheetIndex(), range(10, 10, 10, 10), 10, 10, f)); // empty region
}

} // namespace
} // namespace datatools

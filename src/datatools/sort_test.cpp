#include "datatools/sort.h"

#include "edit/edit_test_util.h"
#include "edit/undo_command.h"
#include "model/range_guard.h"

#include <string>
#include <vector>

namespace datatools {
namespace {

class SortTest : public edit::EditTest {
protected:
  SortSettings rows(const model::CellRange& r) {
    SortSettings s;
    s.sheet = sheetIndex();
    s.range = r;
    return s;
  }
  // The texts of one column, top to bottom.
  std::vector<std::u16string> column(int c, int firstRow, int lastRow) {
    std::vector<std::u16string> out;
    for (int r = firstRow; r <= lastRow; ++r)
      out.push_back(input(r, c));
    return out;
  }
  // Keys in column A, each row tagged in column B with its original row number.
  void keysWithTags(const std::vector<std::u16string>& keys) {
    for (size_t i = 0; i < keys.size(); ++i) {
      if (!keys[i].empty())
        set(static_cast<int>(i), 0, keys[i]);
      set(static_cast<int>(i), 1, std::u16string(1, static_cast<char16_t>(u'1' + i)));
    }
  }
};

// The kinds: numbers, text, booleans, errors, then blanks in both directions.
TEST_F(SortTest, KindOrderAndDirections) {
  struct Case {
    const char* name;
    bool ascending;
    bool caseSensitive;
    std::vector<std::u16string> tags;
  };
  const Case cases[] = {
      {"ascending", true, false, {u"7", u"1", u"2", u"6", u"3", u"5", u"4"}},
      {"descending", false, false, {u"5", u"3", u"6", u"2", u"1", u"7", u"4"}},
      {"ascending case-sensitive", true, true, {u"7", u"1", u"6", u"2", u"3", u"5", u"4"}},
      {"descending case-sensitive", false, true, {u"5", u"3", u"2", u"6", u"1", u"7", u"4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sheet().cells.clear();
    keysWithTags({u"10", u"apple", u"TRUE", u"", u"#N/A", u"Banana", u"2"});
    SortSettings s = rows(range(0, 0, 6, 1));
    s.ascending[0] = c.ascending;
    s.caseSensitive = c.caseSensitive;
    ASSERT_TRUE(sortRange(book(), s));
    EXPECT_EQ(column(1, 0, 6), c.tags);
  }
}

TEST_F(SortTest, EqualKeysKeepTheirOrderInBothDirections) {
  keysWithTags({u"b", u"A", u"a", u"B", u"a"});
  SortSettings s = rows(range(0, 0, 4, 1));
  ASSERT_TRUE(sortRange(book(), s));
  EXPECT_EQ(column(1, 0, 4), (std::vector<std::u16string>{u"2", u"3", u"5", u"1", u"4"}));
  sheet().cells.clear();
  keysWithTags({u"b", u"A", u"a", u"B", u"a"});
  s.ascending[0] = false;
  ASSERT_TRUE(sortRange(book(), s));
  EXPECT_EQ(column(1, 0, 4), (std::vector<std::u16string>{u"1", u"4", u"2", u"3", u"5"}));
}

TEST_F(SortTest, SecondAndThirdKeysBreakTies) {
  // A: group, C: value, B: tag.
  const std::u16string groups[] = {u"x", u"y", u"x", u"y", u"x"};
  const std::u16string values[] = {u"1", u"5", u"3", u"2", u"3"};
  const std::u16string thirds[] = {u"a", u"a", u"b", u"a", u"a"};
  for (int r = 0; r < 5; ++r) {
    set(r, 0, groups[r]);
    set(r, 1, std::u16string(1, static_cast<char16_t>(u'1' + r)));
    set(r, 2, values[r]);
    set(r, 3, thirds[r]);
  }
  SortSettings s = rows(range(0, 0, 4, 3));
  s.keys[1] = 2;
  s.ascending[1] = false;
  s.keys[2] = 3;
  ASSERT_TRUE(sortRange(book(), s));
  // x: 3 (a, row 5), 3 (b, row 3), 1; y: 5, 2.
  EXPECT_EQ(column(1, 0, 4), (std::vector<std::u16string>{u"5", u"3", u"1", u"2", u"4"}));
}

TEST_F(SortTest, HeaderStaysAndOneDataRowChangesNothing) {
  keysWithTags({u"Name", u"3", u"1", u"2"});
  SortSettings s = rows(range(0, 0, 3, 1));
  s.hasHeader = true;
  ASSERT_TRUE(sortRange(book(), s));
  EXPECT_EQ(column(0, 0, 3), (std::vector<std::u16string>{u"Name", u"1", u"2", u"3"}));

  sheet().cells.clear();
  keysWithTags({u"9", u"1"});
  s.range = range(0, 0, 1, 1);
  ASSERT_TRUE(sortRange(book(), s));
  EXPECT_EQ(column(0, 0, 1), (std::vector<std::u16string>{u"9", u"1"}));
}

TEST_F(SortTest, FormulasShiftTheirRelativeReferencesByTheDistanceMoved) {
  const std::u16string keys[] = {u"1", u"3", u"4", u"5", u"2"};
  for (int r = 0; r < 5; ++r) {
    set(r, 0, keys[r]);
    set(r, 1, std::u16string(1, static_cast<char16_t>(u'1' + r)));
  }
  set(4, 2, u"=B5*2+$B$1");
  set(6, 0, u"=A5"); // outside the block: does not move
  SortSettings s = rows(range(0, 0, 4, 2));
  ASSERT_TRUE(sortRange(book(), s));
  EXPECT_EQ(input(1, 2), u"=B2*2+$B$1");
  EXPECT_EQ(input(4, 2), u"");
  EXPECT_EQ(number(1, 2), 11); // B2 is 5 (moved from row 5), B1 is 1
  EXPECT_EQ(input(6, 0), u"=A5");
  EXPECT_EQ(number(6, 0), 5); // A5 now holds the largest key
}

// Cells keep their values as they move; what reads a moved cell, inside or
// outside the block, reads its new content, whether a formula's value was
// current or stale before the sort. A formula a file left in a
// text-formatted cell stays a formula.
TEST_F(SortTest, ReadersOfMovedCellsFollowTheMove) {
  const std::u16string keys[] = {u"3", u"1", u"2"};
  for (int r = 0; r < 3; ++r) {
    set(r, 0, keys[r]);
    set(r, 1, u"=A" + std::u16string(1, static_cast<char16_t>(u'1' + r)) + u"*10");
  }
  set(0, 2, u"x"); // a text in a line that moves
  set(5, 0, u"=B1+B2*100+B3*10000"); // outside: reads the moved formulas
  set(5, 1, u"=C3");
  model::CellRecord* fromFile = cell(2, 1);
  fromFile->formatIndex = static_cast<std::uint16_t>(book().cellFormats.size());
  book().cellFormats.push_back(book().cellFormats[15]);
  book().cellFormats.back().numberFormatIndex = 49;
  EXPECT_EQ(number(5, 0), 30 + 1000 + 200000);
  ASSERT_TRUE(sortRange(book(), rows(range(0, 0, 2, 2))));
  EXPECT_EQ(input(0, 1), u"=A1*10");
  EXPECT_EQ(input(1, 1), u"=A2*10");
  EXPECT_TRUE(cell(1, 1)->isFormula);
  EXPECT_EQ(number(1, 1), 20);
  EXPECT_EQ(number(5, 0), 10 + 2000 + 300000);
  ASSERT_NE(cell(2, 2), nullptr);
  EXPECT_EQ(cell(2, 2)->value.stringValue(), u"x");
  EXPECT_EQ(input(5, 1), u"=C3");
  formula::computeCell(book(), sheetIndex(), *cell(5, 1));
  EXPECT_TRUE(cell(5, 1)->value.isString() && cell(5, 1)->value.stringValue() == u"x");
}

TEST_F(SortTest, FormatsHyperlinksAndCommentsMoveWithTheirRows) {
  set(0, 0, u"2", 20);
  set(1, 0, u"1", 21);
  set(2, 1, u"", 22); // a formatted empty cell in a blank-keyed row
  sheet().hyperlinks.push_back({model::packCell(0, 0), u"http://example.invalid/"});
  model::DrawingObject note;
  note.kind = model::kObjectComment;
  note.row = 1;
  note.column = 0;
  note.anchor.first.row = 1;
  note.anchor.last.row = 4;
  note.text = u"one";
  sheet().objects.push_back(note);
  ASSERT_TRUE(sortRange(book(), rows(range(0, 0, 2, 1))));
  EXPECT_EQ(cell(0, 0)->formatIndex, 21);
  EXPECT_EQ(cell(1, 0)->formatIndex, 20);
  EXPECT_EQ(cell(2, 1)->formatIndex, 22);
  ASSERT_EQ(sheet().hyperlinks.size(), 1u);
  EXPECT_EQ(sheet().hyperlinks[0].cell, model::packCell(1, 0));
  ASSERT_EQ(sheet().objects.size(), 1u);
  EXPECT_EQ(sheet().objects[0].row, 0);
  EXPECT_EQ(sheet().objects[0].anchor.first.row, 0);
  EXPECT_EQ(sheet().objects[0].anchor.last.row, 3);
}

TEST_F(SortTest, ColumnsByAKeyRow) {
  const std::u16string keys[] = {u"c", u"a", u"b"};
  for (int c = 0; c < 3; ++c) {
    set(0, c, keys[c]);
    set(1, c, std::u16string(1, static_cast<char16_t>(u'1' + c)));
  }
  set(2, 0, u"=A2*10");
  SortSettings s = rows(range(0, 0, 2, 2));
  s.byColumns = true;
  ASSERT_TRUE(sortRange(book(), s));
  EXPECT_EQ(input(1, 0), u"2");
  EXPECT_EQ(input(1, 1), u"3");
  EXPECT_EQ(input(1, 2), u"1");
  EXPECT_EQ(input(2, 2), u"=C2*10");
}

TEST_F(SortTest, RefusedOverMergedCellsAndArraysWithoutChangeOrUndoEntry) {
  struct Case {
    const char* name;
    bool merged;
    std::u16string_view message;
  };
  const Case cases[] = {{"merged", true, model::kMessageMergedCells}, {"array", false, model::kMessageArrayPart}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sheet().cells.clear();
    sheet().mergedRanges.clear();
    sheet().arrayFormulas.clear();
    model::undoList().clear();
    ui.clearShown();
    keysWithTags({u"3", u"2", u"1"});
    if (c.merged)
      ASSERT_TRUE(model::addMergedRange(sheet(), range(1, 1, 1, 2)));
    else
      sheet().arrayFormulas.push_back({range(0, 1, 1, 1), u""}); // wholly inside: still refused
    EXPECT_FALSE(sortRange(book(), rows(range(0, 0, 2, 1))));
    EXPECT_EQ(column(0, 0, 2), (std::vector<std::u16string>{u"3", u"2", u"1"}));
    EXPECT_TRUE(model::undoList().empty());
    ASSERT_EQ(ui.shown().size(), 1u);
    EXPECT_EQ(ui.shown()[0].text, c.message);
  }
}

TEST_F(SortTest, UndoPutsTheBlockBack) {
  keysWithTags({u"3", u"1", u"2"});
  set(0, 2, u"=A1+1");
  ASSERT_TRUE(sortRange(book(), rows(range(0, 0, 2, 2))));
  ASSERT_EQ(model::undoList().size(), 1u);
  EXPECT_EQ(model::undoList().newest()->action, model::kUndoSort);
  EXPECT_EQ(input(2, 2), u"=A3+1");
  ASSERT_TRUE(edit::undo(books).undone);
  EXPECT_EQ(column(0, 0, 2), (std::vector<std::u16string>{u"3", u"1", u"2"}));
  EXPECT_EQ(input(0, 2), u"=A1+1");
  EXPECT_EQ(input(2, 2), u"");
  EXPECT_EQ(number(0, 2), 4);
}

TEST_F(SortTest, AFormulaGivingNothingSortsAfterValuesBeforeBlanks) {
  set(0, 0, u"=IF(FALSE,1,\"\")"); // a text, not an empty value
  set(5, 5, u"x");
  model::CellRecord* text = cell(0, 0);
  number(0, 0);
  model::CellRecord* blank = nullptr;
  set(1, 0, u"#DIV/0!");
  model::CellRecord* error = cell(1, 0);
  number(1, 0);
  // An input whose value is empty, as an unfinished calculation leaves it.
  set(2, 0, u"=Z100");
  model::CellRecord* emptyValue = cell(2, 0);
  emptyValue->value = model::CellValue();
  emptyValue->calcState = model::CalcState::ValueValid;
  for (const bool ascending : {true, false}) {
    EXPECT_EQ(compareKeyCells(error, emptyValue, ascending, false), -1);
    EXPECT_EQ(compareKeyCells(emptyValue, blank, ascending, false), -1);
    EXPECT_EQ(compareKeyCells(blank, text, ascending, false), 1);
    EXPECT_EQ(compareKeyCells(blank, blank, ascending, false), 0);
  }
  EXPECT_EQ(compareKeyCells(text, error, true, false), -1);
  EXPECT_EQ(compareKeyCells(text, error, false, false), 1);
}

TEST_F(SortTest, CurrentRegionAndHeaderGuess) {
  set(1, 1, u"Name");
  set(1, 2, u"Score");
  set(2, 1, u"ann");
  set(2, 2, u"7");
  set(3, 3, u"x"); // touches C3 by a corner
  set(6, 1, u"apart");
  EXPECT_EQ(currentRegion(sheet(), 2, 1), range(1, 1, 3, 3));
  EXPECT_EQ(currentRegion(sheet(), 6, 1), range(6, 1, 6, 1));
  EXPECT_EQ(currentRegion(sheet(), 10, 10), range(10, 10, 10, 10));

  struct Case {
    std::vector<std::u16string> first, second;
    bool header;
  };
  const Case cases[] = {
      {{u"Name", u"Age"}, {u"4", u"5"}, true},   // text over numbers
      {{u"Name", u"Age"}, {u"ann", u"bo"}, false}, // text over text
      {{u"1", u"2"}, {u"3", u"4"}, false},
      {{u"Name", u"2"}, {u"3", u"4"}, true},     // a mix (0) over numbers (1)
      {{u"Name", u""}, {u"", u""}, false},       // a blank cell gives 0 both times
  };
  for (const Case& c : cases) {
    sheet().cells.clear();
    for (int col = 0; col < 2; ++col) {
      if (!c.first[static_cast<size_t>(col)].empty())
        set(0, col, c.first[static_cast<size_t>(col)]);
      if (!c.second[static_cast<size_t>(col)].empty())
        set(1, col, c.second[static_cast<size_t>(col)]);
    }
    EXPECT_EQ(guessHeader(book(), sheetIndex(), range(0, 0, 5, 1), false), c.header) << std::string(c.first[0].begin(), c.first[0].end());
  }
}

} // namespace
} // namespace datatools

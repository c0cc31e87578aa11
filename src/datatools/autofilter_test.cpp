#include "datatools/autofilter.h"

#include "datatools/sort.h"
#include "edit/edit_test_util.h"
#include "edit/structure.h"
#include "edit/undo_command.h"
#include "model/auto_filter.h"

#include <string>
#include <vector>

namespace datatools {
namespace {

using model::FilterCondition;
using model::FilterCriterion;

class AutoFilterTest : public edit::EditTest {
protected:
  // A header "H" in A1 and the values below it; the filter on A1:A(n+1).
  void column(const std::vector<std::u16string>& values, std::uint16_t format = 15) {
    set(0, 0, u"H");
    for (size_t i = 0; i < values.size(); ++i)
      if (!values[i].empty())
        set(static_cast<int>(i) + 1, 0, values[i], format);
    ASSERT_TRUE(toggleAutoFilter(book(), sheetIndex(), range(0, 0, static_cast<int>(values.size()), 0), 0, 0));
  }
  bool hidden(int row) { return model::row_record(sheet(), static_cast<std::uint16_t>(row)).flags & model::kLineHidden; }
  // The inputs of column A's data rows that show.
  std::vector<std::u16string> shown(int lastRow, int col = 0) {
    std::vector<std::u16string> out;
    for (int r = 1; r <= lastRow; ++r)
      if (!hidden(r))
        out.push_back(input(r, col));
    return out;
  }
  // A cell format with the built-in number format `number`.
  std::uint16_t numberFormat(std::uint16_t number) {
    model::CellFormat f = book().cellFormats[15];
    f.numberFormatIndex = number;
    const int format = model::findOrAddCellFormat(book(), f);
    EXPECT_GE(format, 0);
    return static_cast<std::uint16_t>(format);
  }
  int arrows() {
    int n = 0;
    for (const model::DrawingObject& o : sheet().objects)
      n += o.filterArrow;
    return n;
  }
  bool choose(int col, std::u16string_view entry, const FilterDialogs& d = {}) {
    const FilterList list = buildFilterList(book(), sheetIndex(), col);
    for (size_t i = 0; i < list.entries.size(); ++i)
      if (list.entries[i] == entry)
        return chooseFilterEntry(book(), sheetIndex(), col, list, static_cast<int>(i), d);
    ADD_FAILURE() << "no such entry";
    return false;
  }
  static FilterDialogs custom(CustomChoice c) {
    FilterDialogs d;
    d.custom = [c](const FilterCriterion&) { return std::optional<CustomChoice>(c); };
    return d;
  }
  static FilterDialogs topTen(TopTenChoice t) {
    FilterDialogs d;
    d.topTen = [t](const FilterCriterion&) { return std::optional<TopTenChoice>(t); };
    return d;
  }
};

TEST_F(AutoFilterTest, TurningOnPlacesOneArrowPerColumnAndOffRemovesThem) {
  set(0, 1, u"Name");
  set(0, 2, u"Qty");
  set(1, 1, u"a");
  set(1, 2, u"1");
  set(2, 1, u"b");
  // One cell selected: the block around it.
  ASSERT_TRUE(toggleAutoFilter(book(), sheetIndex(), range(1, 1, 1, 1), 1, 1));
  EXPECT_TRUE(sheet().flags & model::kSheetAutoFilter);
  EXPECT_EQ(model::autoFilterRange(sheet()), range(0, 1, 2, 2));
  EXPECT_EQ(sheet().autoFilter.criteria.size(), 2u);
  ASSERT_EQ(arrows(), 2);
  const model::DrawingObject& a = sheet().objects[0];
  EXPECT_EQ(a.kind, model::kObjectComboBox);
  EXPECT_EQ(a.anchor.first.column, 1);
  EXPECT_EQ(a.anchor.last.column, 2);
  EXPECT_EQ(a.anchor.first.row, 0);
  EXPECT_EQ(a.anchor.last.row, 1);
  ASSERT_TRUE(toggleAutoFilter(book(), sheetIndex(), range(1, 1, 1, 1), 1, 1));
  EXPECT_FALSE(sheet().flags & model::kSheetAutoFilter);
  EXPECT_EQ(arrows(), 0);
  EXPECT_TRUE(sheet().autoFilter.criteria.empty());
}

TEST_F(AutoFilterTest, ListHasSpecialEntriesAndOneSpellingOfEachText) {
  column({u"apple", u"Apple", u"pear", u""});
  const FilterList list = buildFilterList(book(), sheetIndex(), 0);
  EXPECT_EQ(list.entries, (std::vector<std::u16string>{u"(全部)", u"(前 10 个…)", u"(自定义…)", u"apple", u"pear",
                                                       u"(空单元格)", u"(非空单元格)"}));
  EXPECT_TRUE(sheet().autoFilter.criteria[0].hasBlanks);
  EXPECT_EQ(list.kindOf(0), FilterEntry::All);
  EXPECT_EQ(list.kindOf(1), FilterEntry::TopTen);
  EXPECT_EQ(list.kindOf(2), FilterEntry::Custom);
  EXPECT_EQ(list.kindOf(4), FilterEntry::Value);
  EXPECT_EQ(list.kindOf(5), FilterEntry::Blanks);
  EXPECT_EQ(list.kindOf(6), FilterEntry::NonBlanks);
}

TEST_F(AutoFilterTest, ListWithoutBlanksSortsIgnoringCaseAndTakesRowsAddedBelow) {
  column({u"b", u"C", u"a"});
  set(4, 0, u"B2"); // right below the range
  const FilterList list = buildFilterList(book(), sheetIndex(), 0);
  EXPECT_EQ(list.entries,
            (std::vector<std::u16string>{u"(全部)", u"(前 10 个…)", u"(自定义…)", u"a", u"b", u"B2", u"C"}));
  EXPECT_FALSE(list.hasBlanks);
  EXPECT_EQ(sheet().autoFilter.lastRow, 4);
}

TEST_F(AutoFilterTest, ListShowsNumbersAsFormatted) {
  column({u"1234", u"1234.2", u"5"}, numberFormat(3)); // "#,##0"
  const FilterList list = buildFilterList(book(), sheetIndex(), 0);
  EXPECT_EQ(list.entries, (std::vector<std::u16string>{u"(全部)", u"(前 10 个…)", u"(自定义…)", u"1,234", u"5"}));
}

TEST_F(AutoFilterTest, ChoosingAValueKeepsItsRowsIgnoringCase) {
  column({u"apple", u"APPLE", u"pear", u""});
  ASSERT_TRUE(choose(0, u"apple"));
  EXPECT_EQ(shown(4), (std::vector<std::u16string>{u"apple", u"APPLE"}));
  EXPECT_TRUE(hidden(4)); // the blank row
  ASSERT_TRUE(choose(0, u"(全部)"));
  EXPECT_EQ(shown(4).size(), 4u);
  ASSERT_TRUE(choose(0, u"(空单元格)"));
  EXPECT_EQ(shown(4), (std::vector<std::u16string>{u""}));
  ASSERT_TRUE(choose(0, u"(非空单元格)"));
  EXPECT_EQ(shown(4), (std::vector<std::u16string>{u"apple", u"APPLE", u"pear"}));
}

// A chosen value is a text, not a pattern: "a*" does not keep "abc".
TEST_F(AutoFilterTest, ChosenValuesMatchLiterally) {
  column({u"a*", u"abc", u"a?", u"ab", u"a~", u"a~b"});
  ASSERT_TRUE(choose(0, u"a*"));
  EXPECT_EQ(shown(6), (std::vector<std::u16string>{u"a*"}));
  ASSERT_TRUE(choose(0, u"a?"));
  EXPECT_EQ(shown(6), (std::vector<std::u16string>{u"a?"}));
  ASSERT_TRUE(choose(0, u"a~"));
  EXPECT_EQ(shown(6), (std::vector<std::u16string>{u"a~"}));
  EXPECT_EQ(escapeWildcards(u"x*?~y"), u"x~*~?~~y");
}

// A number chosen by the text it shows keeps its own row.
TEST_F(AutoFilterTest, NumberChosenByItsShownTextKeepsItsRow) {
  column({u"1234.5678", u"99", u"1234.5"}, numberFormat(2)); // "0.00"
  ASSERT_TRUE(choose(0, u"1234.57"));
  EXPECT_EQ(shown(3), (std::vector<std::u16string>{u"1234.5678"}));
}

TEST_F(AutoFilterTest, CustomConditions) {
  struct Case {
    const char* name;
    CustomChoice choice;
    std::vector<std::u16string> kept;
  };
  const std::vector<std::u16string> data = {u"banana", u"Andes", u"bone", u"cherry", u"5", u"20", u"1"};
  const Case cases[] = {
      {"contains an", {{{kCustomContains, u"an"}, {}}, false}, {u"banana", u"Andes"}},
      {"begins with b", {{{kCustomBeginsWith, u"b"}, {}}, false}, {u"banana", u"bone"}},
      {"ends with s", {{{kCustomEndsWith, u"S"}, {}}, false}, {u"Andes"}},
      {"equals b?n*", {{{kCustomEqual, u"b?n*"}, {}}, false}, {u"banana", u"bone"}},
      {"does not contain n",
       {{{kCustomNotContains, u"n"}, {}}, false},
       {u"cherry", u"5", u"20", u"1"}},
      {"greater 10 or less 2", {{{kCustomGreater, u"10"}, {kCustomLess, u"2"}}, true}, {u"20", u"1"}},
      {"at least 2 and at most 5",
       {{{kCustomGreaterOrEqual, u"2"}, {kCustomLessOrEqual, u"5"}}, false},
       {u"5"}},
      {"greater or equal to a text", {{{kCustomGreaterOrEqual, u"BONE"}, {}}, false}, {u"bone"}},
  };
  column(data);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(choose(0, u"(自定义…)", custom(c.choice)));
    EXPECT_EQ(shown(7), c.kept);
  }
}

TEST_F(AutoFilterTest, CustomRowsMapToConditionsAndBack) {
  struct Case {
    int op;
    std::u16string text;
    std::uint8_t comparison;
    std::u16string operand;
  };
  const Case cases[] = {
      {kCustomEqual, u"x", model::kCompareEqual, u"x"},
      {kCustomNotEqual, u"x", model::kCompareNotEqual, u"x"},
      {kCustomGreater, u"1", model::kCompareGreater, u"1"},
      {kCustomGreaterOrEqual, u"1", model::kCompareGreaterOrEqual, u"1"},
      {kCustomLess, u"1", model::kCompareLess, u"1"},
      {kCustomLessOrEqual, u"1", model::kCompareLessOrEqual, u"1"},
      {kCustomBeginsWith, u"ab", model::kCompareEqual, u"ab*"},
      {kCustomNotBeginsWith, u"ab", model::kCompareNotEqual, u"ab*"},
      {kCustomEndsWith, u"ab", model::kCompareEqual, u"*ab"},
      {kCustomNotEndsWith, u"ab", model::kCompareNotEqual, u"*ab"},
      {kCustomContains, u"ab", model::kCompareEqual, u"*ab*"},
      {kCustomNotContains, u"ab", model::kCompareNotEqual, u"*ab*"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op);
    const FilterCondition f = conditionOfCustomRow({c.op, c.text});
    EXPECT_EQ(f.kind, model::kFilterComparison);
    EXPECT_EQ(f.comparison, c.comparison);
    EXPECT_EQ(f.operand, c.operand);
    const CustomRow back = customRowOfCondition(f);
    EXPECT_EQ(back.op, c.op);
    EXPECT_EQ(back.text, c.text);
  }
  EXPECT_EQ(conditionOfCustomRow({kCustomNone, u"x"}).kind, model::kFilterNone);
  // An escaped star at the end is part of the text.
  EXPECT_EQ(customRowOfCondition({model::kFilterComparison, model::kCompareEqual, u"a~*"}).op, kCustomEqual);
}

TEST_F(AutoFilterTest, TopAndBottomThresholds) {
  struct Case {
    const char* name;
    TopTenChoice choice;
    double threshold;
    std::vector<std::u16string> kept;
  };
  const Case cases[] = {
      {"top 3 items", {true, 3, false}, 5, {u"5", u"9", u"7"}},
      {"bottom 2 items", {false, 2, false}, 3, {u"1", u"3"}},
      {"top 10 percent", {true, 10, true}, 1 + 90 * 8 * 0.01, {u"9"}},
      {"bottom 50 percent", {false, 50, true}, 1 + 50 * 8 * 0.01, {u"5", u"1", u"3"}},
      {"more items than numbers", {true, 40, false}, 1, {u"5", u"1", u"9", u"7", u"3"}},
      {"zero counts as one", {true, 0, false}, 9, {u"9"}},
  };
  column({u"5", u"1", u"9", u"7", u"3", u"text"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(choose(0, u"(前 10 个…)", topTen(c.choice)));
    EXPECT_DOUBLE_EQ(sheet().autoFilter.criteria[0].threshold, c.threshold);
    EXPECT_TRUE(sheet().autoFilter.criteria[0].topActive);
    EXPECT_EQ(shown(6), c.kept); // the text never passes
  }
  EXPECT_EQ(sheet().autoFilter.criteria[0].count, 1);
}

TEST_F(AutoFilterTest, CancelledDialogChangesNothing) {
  column({u"1", u"2"});
  EXPECT_FALSE(choose(0, u"(前 10 个…)"));
  EXPECT_FALSE(choose(0, u"(自定义…)"));
  EXPECT_TRUE(model::undoList().size() == 1); // the filter's own entry only
}

TEST_F(AutoFilterTest, MatchCondition) {
  const FilterCondition equal1234{model::kFilterComparison, model::kCompareEqual, u"1234"};
  const FilterCondition emptyEqual{model::kFilterComparison, model::kCompareEqual, u""};
  const FilterCondition emptyNotEqual{model::kFilterComparison, model::kCompareNotEqual, u""};
  const FilterCondition less10{model::kFilterComparison, model::kCompareLess, u"10"};
  const FilterCondition blanks{model::kFilterBlanks, 0, u""};
  const FilterCondition none{};
  struct Case {
    const char* name;
    FilterCondition condition;
    FilterCell cell;
    bool result;
  };
  const Case cases[] = {
      {"formatted number equals", equal1234, {u"1,234", false, true, 1234}, true},
      {"other number", equal1234, {u"1,235", false, true, 1235}, false},
      {"text that reads 1234", equal1234, {u"1234", false, false, 0}, true},
      {"blank with empty operand", emptyEqual, {u"", true, false, 0}, true},
      {"text with empty operand", emptyEqual, {u"x", false, false, 0}, false},
      {"blank not equal empty", emptyNotEqual, {u"", true, false, 0}, false},
      {"text not equal empty", emptyNotEqual, {u"x", false, false, 0}, true},
      {"less on text fails", less10, {u"5", false, false, 0}, false},
      {"less on number", less10, {u"5", false, true, 5}, true},
      {"blanks kind", blanks, {u"", true, false, 0}, true},
      {"none is true", none, {u"x", false, false, 0}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(matchCondition(c.condition, c.cell), c.result);
  }
}

TEST_F(AutoFilterTest, ColumnsCombineWithAnd) {
  set(0, 0, u"A");
  set(0, 1, u"B");
  const std::u16string a[] = {u"x", u"x", u"y", u"x"};
  const std::u16string b[] = {u"1", u"2", u"1", u"1"};
  for (int i = 0; i < 4; ++i) {
    set(i + 1, 0, a[i]);
    set(i + 1, 1, b[i]);
  }
  ASSERT_TRUE(toggleAutoFilter(book(), sheetIndex(), range(0, 0, 4, 1), 0, 0));
  ASSERT_TRUE(choose(0, u"x"));
  ASSERT_TRUE(choose(1, u"1"));
  EXPECT_FALSE(hidden(1));
  EXPECT_TRUE(hidden(2));
  EXPECT_TRUE(hidden(3));
  EXPECT_FALSE(hidden(4));
}

// Rows hidden by hand stay hidden when filters are applied or turned off.
TEST_F(AutoFilterTest, RowsHiddenByHandStayHidden) {
  column({u"a", u"b", u"a", u"b"});
  model::setRowHeightPoints(sheet(), 3, 3, 0); // the second "a"
  ASSERT_TRUE(choose(0, u"b"));
  EXPECT_EQ(shown(4), (std::vector<std::u16string>{u"b", u"b"}));
  ASSERT_TRUE(choose(0, u"(全部)"));
  EXPECT_EQ(shown(4), (std::vector<std::u16string>{u"a", u"b", u"b"}));
  ASSERT_TRUE(choose(0, u"a"));
  EXPECT_EQ(shown(4), (std::vector<std::u16string>{u"a"}));
  ASSERT_TRUE(toggleAutoFilter(book(), sheetIndex(), range(0, 0, 0, 0), 0, 0));
  EXPECT_EQ(shown(4), (std::vector<std::u16string>{u"a", u"b", u"b"}));
  EXPECT_TRUE(hidden(3));
}

// The rows the filter hid follow the sorted values: the filters apply again.
TEST_F(AutoFilterTest, SortUnderAFilterAppliesItAgain) {
  column({u"b", u"a", u"b", u"a"});
  ASSERT_TRUE(choose(0, u"a"));
  SortSettings s;
  s.sheet = sheetIndex();
  s.range = range(0, 0, 4, 0);
  s.hasHeader = true;
  ASSERT_TRUE(sortRange(book(), s));
  EXPECT_EQ(input(1, 0), u"a");
  EXPECT_EQ(input(3, 0), u"b");
  EXPECT_FALSE(hidden(1));
  EXPECT_FALSE(hidden(2));
  EXPECT_TRUE(hidden(3));
  EXPECT_TRUE(hidden(4));
  // Undo puts the cells and the hidden rows back together.
  ASSERT_TRUE(edit::undo(books).undone);
  EXPECT_EQ(input(1, 0), u"b");
  EXPECT_TRUE(hidden(1));
  EXPECT_FALSE(hidden(2));
  EXPECT_TRUE(hidden(3));
  EXPECT_FALSE(hidden(4));
}

TEST_F(AutoFilterTest, UndoTakesBackChoicesAndToggles) {
  column({u"a", u"b"});
  ASSERT_TRUE(choose(0, u"a"));
  EXPECT_TRUE(hidden(2));
  EXPECT_EQ(model::undoList().newestLabel(), std::u16string(u"自动筛选"));
  ASSERT_TRUE(edit::undo(books).undone);
  EXPECT_FALSE(hidden(2));
  EXPECT_FALSE(sheet().autoFilter.criteria[0].isActive());
  ASSERT_TRUE(choose(0, u"b"));
  ASSERT_TRUE(toggleAutoFilter(book(), sheetIndex(), range(0, 0, 0, 0), 0, 0));
  EXPECT_FALSE(hidden(1));
  ASSERT_TRUE(edit::undo(books).undone); // the filter comes back, with its hidden row
  EXPECT_TRUE(sheet().flags & model::kSheetAutoFilter);
  EXPECT_EQ(arrows(), 1);
  EXPECT_TRUE(hidden(1));
  EXPECT_EQ(sheet().autoFilter.criteria[0].conditions[0].operand, u"b");
  ASSERT_TRUE(edit::undo(books).undone);
  ASSERT_TRUE(edit::undo(books).undone); // turning it on
  EXPECT_FALSE(sheet().flags & model::kSheetAutoFilter);
  EXPECT_EQ(arrows(), 0);
}

TEST_F(AutoFilterTest, InsertAndDeleteKeepArrowsAndRowsInStep) {
  set(0, 0, u"A");
  set(0, 1, u"B");
  set(1, 0, u"x");
  set(2, 0, u"y");
  ASSERT_TRUE(toggleAutoFilter(book(), sheetIndex(), range(0, 0, 2, 1), 0, 0));
  ASSERT_TRUE(choose(0, u"x"));
  EXPECT_TRUE(hidden(2));
  // A column inserted inside the range gets an arrow of its own.
  ASSERT_TRUE(edit::insert_cells_right(book(), sheetIndex(), range(0, 1, model::kMaxRow, 1)));
  EXPECT_EQ(model::autoFilterRange(sheet()), range(0, 0, 2, 2));
  EXPECT_EQ(arrows(), 3);
  // Deleting the header row turns the filter off and shows its rows.
  ASSERT_TRUE(edit::delete_cells_up(book(), sheetIndex(), range(0, 0, 0, model::kMaxColumn)));
  EXPECT_FALSE(sheet().flags & model::kSheetAutoFilter);
  EXPECT_EQ(arrows(), 0);
  EXPECT_FALSE(hidden(1)); // "y", moved up one
}

TEST_F(AutoFilterTest, DeletingColumnsAcrossTheFilterIsRefused) {
  column({u"a"});
  EXPECT_FALSE(edit::delete_cells_left(book(), sheetIndex(), range(0, 0, model::kMaxRow, 0)));
  ASSERT_FALSE(ui.shown().empty());
  EXPECT_EQ(ui.shown().back().text, u"You cannot do this while AutoFilter is on");
  EXPECT_TRUE(sheet().flags & model::kSheetAutoFilter);
}

TEST_F(AutoFilterTest, ProtectedSheetRefusesTheFilter) {
  set(0, 0, u"H");
  sheet().flags |= model::kSheetProtected;
  EXPECT_FALSE(toggleAutoFilter(book(), sheetIndex(), range(0, 0, 0, 0), 0, 0));
  EXPECT_FALSE(sheet().flags & model::kSheetAutoFilter);
}

} // namespace
} // namespace datatools

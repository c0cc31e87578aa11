#include "datatools/conditional_format.h"

#include "edit/edit_test_util.h"
#include "edit/undo_command.h"

namespace datatools {
namespace {

using model::FormatCondition;

FormatCondition valueCondition(int op, std::u16string a, std::u16string b = {}) {
  FormatCondition c;
  c.kind = 1;
  c.op = op;
  c.operand1 = std::move(a);
  c.operand2 = std::move(b);
  return c;
}

FormatCondition formulaCondition(std::u16string f) {
  FormatCondition c;
  c.kind = 2;
  c.op = 1;
  c.operand1 = std::move(f);
  return c;
}

FormatCondition withPattern(FormatCondition c, int colour) {
  c.hasPattern = true;
  c.pattern[model::kCondFill] = {true, 1};
  c.pattern[model::kCondBackgroundColour] = {true, colour};
  return c;
}

class ConditionalFormatTest : public edit::EditTest {
protected:
  void apply(ConditionPages pages, const model::CellRange& where = range(0, 0, 9, 0)) {
    ASSERT_TRUE(storeConditionalFormat(book(), sheetIndex(), where, where.firstRow, where.firstColumn, pages));
  }
  int active(int row, int column) {
    const FormatCondition* c = activeCondition(book(), sheetIndex(), row, column);
    if (!c)
      return -1;
    const auto& set = sheet().conditionalFormats.items().front().conditions;
    return static_cast<int>(c - set.data());
  }
};

TEST_F(ConditionalFormatTest, OperatorsCompareTheCellValue) {
  struct Case {
    int op;
    std::u16string_view a, b, value;
    bool holds;
  };
  constexpr Case kCases[] = {
      {1, u"10", u"20", u"15", true},  {1, u"10", u"20", u"20", true},  {1, u"10", u"20", u"21", false},
      {2, u"10", u"20", u"9", true},   {2, u"10", u"20", u"10", false}, {3, u"10", u"", u"10", true},
      {3, u"10", u"", u"11", false},   {4, u"10", u"", u"11", true},    {5, u"10", u"", u"11", true},
      {5, u"10", u"", u"10", false},   {6, u"10", u"", u"9", true},     {7, u"10", u"", u"10", true},
      {8, u"10", u"", u"11", false},   {3, u"=\"ab\"", u"", u"AB", true}, {5, u"10", u"", u"abc", true},
      {6, u"10", u"", u"", true}, // an empty cell compares as 0
      {0, u"10", u"", u"10", false}, // a cleared operator never holds
      {9, u"10", u"", u"10", false},
  };
  for (const Case& c : kCases) {
    sheet().conditionalFormats.clear();
    FormatCondition cond = valueCondition(c.op, std::u16string(c.a), std::u16string(c.b));
    model::ConditionalFormat cf;
    cf.conditions = {cond};
    cf.ranges = {range(0, 0, 0, 0)};
    sheet().conditionalFormats = {cf};
    set(0, 0, c.value);
    EXPECT_EQ(active(0, 0) == 0, c.holds) << c.op << " " << std::string(c.value.begin(), c.value.end());
  }
}

TEST_F(ConditionalFormatTest, FirstConditionThatHoldsWinsAndErrorsGetNone) {
  apply({valueCondition(5, u"5"), valueCondition(5, u"1"), valueCondition(6, u"100")});
  set(0, 0, u"10"); // conditions 1 and 2 hold
  set(1, 0, u"3");
  set(2, 0, u"=1/0");
  set(3, 0, u"200");
  EXPECT_EQ(active(0, 0), 0);
  EXPECT_EQ(active(1, 0), 1);
  EXPECT_EQ(active(2, 0), -1);
  EXPECT_EQ(active(3, 0), 0);
  EXPECT_EQ(activeCondition(book(), sheetIndex(), 0, 1), nullptr); // outside the set
}

TEST_F(ConditionalFormatTest, FormulaConditionsAreSeenFromEachCell) {
  // =A1>B1 typed with A1 active: each cell against the one to its right.
  apply({formulaCondition(u"=A1>B1"), {}, {}});
  set(0, 1, u"5");
  set(1, 1, u"5");
  set(0, 0, u"6");
  set(1, 0, u"4");
  EXPECT_EQ(active(0, 0), 0);
  EXPECT_EQ(active(1, 0), -1);
}

TEST_F(ConditionalFormatTest, OperandsReachingAboveTheActiveCellWrapAndComeBack) {
  apply({formulaCondition(u"=B3>B2"), {}, {}}, range(2, 1, 5, 1));
  EXPECT_EQ(sheet().conditionalFormats[0].conditions[0].operand1, u"=A1>A65536");
  set(2, 1, u"3");
  set(3, 1, u"4");
  set(4, 1, u"1");
  EXPECT_EQ(active(3, 1), 0);
  EXPECT_EQ(active(4, 1), -1);
  const ConditionPages pages = conditionsUnder(book(), sheetIndex(), range(2, 1, 5, 1), 2, 1);
  EXPECT_EQ(pages[0].operand1, u"=B3>B2");
}

TEST_F(ConditionalFormatTest, TheAnswerFollowsAPrecedentThatChanges) {
  set(5, 5, u"10");
  apply({valueCondition(5, u"=$F$6"), {}, {}});
  set(0, 0, u"12");
  EXPECT_EQ(active(0, 0), 0);
  EXPECT_EQ(active(0, 0), 0); // from the cache
  set(5, 5, u"20");
  EXPECT_EQ(active(0, 0), -1);
  set(0, 0, u"30");
  EXPECT_EQ(active(0, 0), 0);
}

TEST_F(ConditionalFormatTest, StoringDropsEmptyConditionsAndPacksTheRest) {
  ConditionPages pages;
  pages[0] = valueCondition(1, u"1", u"5");
  pages[1] = valueCondition(1, u"", u""); // nothing typed: dropped silently
  pages[2] = formulaCondition(u"=TRUE");
  pages[2].operand2.assign(1, u'7'); // a formula keeps only its first operand
  apply(pages);
  ASSERT_EQ(sheet().conditionalFormats.size(), 1u);
  const auto& kept = sheet().conditionalFormats[0].conditions;
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].operand2, u"5");
  EXPECT_EQ(kept[1].kind, 2);
  EXPECT_EQ(kept[1].operand2, u"");
  // Nothing left: the selection only leaves the sets.
  apply(ConditionPages{}, range(0, 0, 4, 0));
  ASSERT_EQ(sheet().conditionalFormats.size(), 1u);
  EXPECT_EQ(sheet().conditionalFormats[0].ranges, (std::vector<model::CellRange>{range(5, 0, 9, 0)}));
}

TEST_F(ConditionalFormatTest, DifferingFieldsOfLaterSetsAreCleared) {
  apply({withPattern(valueCondition(5, u"1"), 10), {}, {}}, range(0, 0, 0, 0));
  apply({withPattern(valueCondition(6, u"1"), 12), {}, {}}, range(1, 0, 1, 0));
  const ConditionPages pages = conditionsUnder(book(), sheetIndex(), range(0, 0, 1, 0), 0, 0);
  EXPECT_EQ(pages[0].kind, 1);
  EXPECT_EQ(pages[0].op, 0); // cleared; the dialog shows it as "between"
  EXPECT_EQ(pages[0].operand1, u"1");
  EXPECT_TRUE(pages[0].pattern[model::kCondFill].set);
  EXPECT_FALSE(pages[0].pattern[model::kCondBackgroundColour].set);
  EXPECT_EQ(pages[0].pattern[model::kCondBackgroundColour].value, 0);
  // With no set under the selection every page starts as "between".
  const ConditionPages fresh = conditionsUnder(book(), sheetIndex(), range(5, 5, 6, 6), 5, 5);
  for (const FormatCondition& c : fresh) {
    EXPECT_EQ(c.kind, 1);
    EXPECT_EQ(c.op, 1);
  }
}

TEST_F(ConditionalFormatTest, UndoPutsTheOldSetsBack) {
  apply({valueCondition(5, u"1"), {}, {}}, range(0, 0, 2, 0));
  apply({valueCondition(6, u"1"), {}, {}}, range(1, 0, 5, 0));
  ASSERT_TRUE(edit::undo(books).undone);
  ASSERT_EQ(sheet().conditionalFormats.size(), 1u);
  EXPECT_EQ(sheet().conditionalFormats[0].conditions[0].op, 5);
  EXPECT_EQ(sheet().conditionalFormats[0].ranges, (std::vector<model::CellRange>{range(0, 0, 2, 0)}));
}

} // namespace
} // namespace datatools

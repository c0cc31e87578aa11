#include "datatools/validation.h"

#include "edit/edit_test_util.h"
#include "edit/undo_command.h"
#include "model/workbook_list.h"

namespace datatools {
namespace {

using model::ValidationRule;
using platform::MessageAnswer;

class ValidationTest : public edit::EditTest {
protected:
  ValidationRule rule(int allow, int op, std::u16string f1, std::u16string f2 = {}) {
    ValidationRule r;
    r.allow = allow;
    r.op = op;
    r.formula1 = std::move(f1);
    r.formula2 = std::move(f2);
    return r;
  }
  // The rule over B2:B9 as the dialog would store it from B2.
  void apply(ValidationRule r, const model::CellRange& where = range(1, 1, 8, 1)) {
    ASSERT_TRUE(storeValidation(book(), sheetIndex(), where, where.firstRow, where.firstColumn, std::move(r)));
  }
  bool valid(std::u16string_view typed, int row = 1, int column = 1) {
    set(row, column, typed);
    const int at = findRule(sheet(), row, column);
    EXPECT_GE(at, 0);
    return at >= 0 && entryValid(book(), sheetIndex(), sheet().validations[static_cast<size_t>(at)], row, column);
  }
};

TEST_F(ValidationTest, WholeNumberBetweenOneAndTen) {
  apply(rule(model::kAllowWholeNumber, 0, u"1", u"10"));
  struct Case {
    std::u16string_view typed;
    bool ok;
  };
  constexpr Case kCases[] = {
      {u"5", true}, {u"1", true}, {u"10", true}, {u"5.5", false}, {u"11", false}, {u"0", false}, {u"abc", false},
      {u"=2*3", true}, {u"=2*6", false},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(valid(c.typed), c.ok) << std::string(c.typed.begin(), c.typed.end());
}

TEST_F(ValidationTest, OperatorsAgainstTheFirstBound) {
  struct Case {
    int op;
    std::u16string_view typed;
    bool ok;
  };
  constexpr Case kCases[] = {
      {1, u"5", false}, {1, u"11", true}, {2, u"3", true},  {2, u"4", false}, {3, u"3", false},
      {3, u"4", true},  {4, u"4", true},  {4, u"3", false}, {5, u"2", true},  {5, u"3", false},
      {6, u"3", true},  {6, u"2", false}, {7, u"3", true},  {7, u"4", false},
  };
  for (const Case& c : kCases) {
    apply(rule(model::kAllowDecimal, c.op, u"3", c.op == 1 ? u"10" : u""));
    EXPECT_EQ(valid(c.typed), c.ok) << c.op;
  }
}

TEST_F(ValidationTest, TextLengthCountsTheShownCharacters) {
  apply(rule(model::kAllowTextLength, 7, u"3"));
  EXPECT_FALSE(valid(u"abcd"));
  EXPECT_FALSE(valid(u"1234")); // four characters as General text
  EXPECT_TRUE(valid(u"abc"));
  EXPECT_FALSE(valid(u"TRUE")); // a boolean's text is "TRUE"
  EXPECT_TRUE(valid(u"1.5"));
}

TEST_F(ValidationTest, PlainListIsCaseSensitive) {
  ValidationRule r = rule(model::kAllowList, 0, u"a,b,c,7");
  r.plainList = true;
  apply(r);
  EXPECT_TRUE(valid(u"b"));
  EXPECT_FALSE(valid(u"B"));
  EXPECT_FALSE(valid(u" b"));
  EXPECT_TRUE(valid(u"7"));
  EXPECT_TRUE(valid(u"7.0")); // a number equal to an item that reads as one
  EXPECT_FALSE(valid(u"d"));
}

TEST_F(ValidationTest, ReferenceListComparesKindsAndValues) {
  set(0, 0, u"1");
  set(1, 0, u"2");
  set(2, 0, u"x");
  apply(rule(model::kAllowList, 0, u"=$A$1:$A$3"), range(4, 3, 6, 3));
  EXPECT_TRUE(valid(u"2", 4, 3));
  EXPECT_FALSE(valid(u"'2", 4, 3)); // text against the number 2
  EXPECT_TRUE(valid(u"x", 4, 3));
  EXPECT_FALSE(valid(u"X", 4, 3));
  EXPECT_EQ(listDropDownEntries(book(), sheetIndex(), sheet().validations[0], 4, 3),
            (std::vector<std::u16string>{u"1", u"2", u"x"}));
}

// Gnumeric writes a typed list as the string formula ="S,M,L".
TEST_F(ValidationTest, AStringFormulaSourceIsATypedList) {
  apply(rule(model::kAllowList, 0, u"=\"S,M,L\""));
  EXPECT_TRUE(valid(u"M"));
  EXPECT_FALSE(valid(u"XL"));
  EXPECT_EQ(listDropDownEntries(book(), sheetIndex(), sheet().validations[0], 1, 1),
            (std::vector<std::u16string>{u"S", u"M", u"L"}));
}

TEST_F(ValidationTest, CustomFormulaIsSeenFromEachCell) {
  // =B2>B1 typed with B2 active: each cell must exceed the one above it.
  apply(rule(model::kAllowCustom, 0, u"=B2>B1"));
  EXPECT_EQ(sheet().validations[0].formula1, u"=A1>A65536");
  set(0, 1, u"5");
  EXPECT_TRUE(valid(u"6", 1, 1));
  EXPECT_FALSE(valid(u"4", 1, 1));
  set(1, 1, u"6");
  EXPECT_TRUE(valid(u"7", 2, 1));
  EXPECT_FALSE(valid(u"6", 2, 1));
}

TEST_F(ValidationTest, EmptyCellsAreNeverChecked) {
  apply(rule(model::kAllowWholeNumber, 0, u"1", u"10"));
  EXPECT_EQ(checkEntry(book(), sheetIndex(), range(1, 1, 1, 1)), EntryVerdict::Keep);
  EXPECT_TRUE(ui.shown().empty());
}

TEST_F(ValidationTest, AlertsByStyle) {
  struct Case {
    int style;
    std::u16string message, title;
    MessageAnswer answer;
    EntryVerdict verdict;
    platform::MessageButtons buttons;
    platform::MessageIcon icon;
    std::u16string_view shownText, shownCaption;
  };
  using B = platform::MessageButtons;
  using I = platform::MessageIcon;
  const Case kCases[] = {
      {0, u"", u"", MessageAnswer::Retry, EntryVerdict::Retry, B::RetryCancel, I::Error, kValidationStopText,
       model::kProductName},
      {0, u"", u"", MessageAnswer::Cancel, EntryVerdict::Cancel, B::RetryCancel, I::Error, kValidationStopText,
       model::kProductName},
      {1, u"", u"", MessageAnswer::No, EntryVerdict::Retry, B::YesNoCancel, I::Warning, kValidationWarningText,
       model::kProductName},
      {1, u"", u"", MessageAnswer::Yes, EntryVerdict::Keep, B::YesNoCancel, I::Warning, kValidationWarningText,
       model::kProductName},
      {1, u"", u"", MessageAnswer::Cancel, EntryVerdict::Cancel, B::YesNoCancel, I::Warning, kValidationWarningText,
       model::kProductName},
      {2, u"只能 1-10", u"数量", MessageAnswer::Ok, EntryVerdict::Keep, B::OkCancel, I::Information, u"只能 1-10",
       u"数量"},
      {2, u"", u"", MessageAnswer::Cancel, EntryVerdict::Cancel, B::OkCancel, I::Information, kValidationStopText,
       model::kProductName},
  };
  for (const Case& c : kCases) {
    ValidationRule r = rule(model::kAllowWholeNumber, 0, u"1", u"10");
    r.errorStyle = c.style;
    r.errorMessage = c.message;
    r.errorTitle = c.title;
    apply(r);
    set(1, 1, u"11");
    ui.clearShown();
    ui.queueAnswer(c.answer);
    EXPECT_EQ(checkEntry(book(), sheetIndex(), range(1, 1, 1, 1)), c.verdict) << c.style;
    ASSERT_EQ(ui.shown().size(), 1u);
    EXPECT_EQ(ui.shown()[0].text, c.shownText);
    EXPECT_EQ(ui.shown()[0].caption.value_or(u""), c.shownCaption);
    EXPECT_EQ(ui.shown()[0].buttons, c.buttons);
    EXPECT_EQ(ui.shown()[0].icon, c.icon);
  }
}

TEST_F(ValidationTest, RulesWithoutAlertsOrAnyValueKeepEverything) {
  ValidationRule r = rule(model::kAllowWholeNumber, 0, u"1", u"10");
  r.showError = false;
  apply(r);
  set(1, 1, u"99");
  EXPECT_EQ(checkEntry(book(), sheetIndex(), range(1, 1, 1, 1)), EntryVerdict::Keep);
  EXPECT_TRUE(ui.shown().empty());
}

TEST_F(ValidationTest, ANewRuleTakesItsCellsOutOfOlderRules) {
  apply(rule(model::kAllowWholeNumber, 0, u"1", u"10"), range(2, 1, 2, 1)); // B3
  apply(rule(model::kAllowDecimal, 4, u"0"), range(1, 1, 4, 1));           // B2:B5
  ASSERT_EQ(sheet().validations.size(), 1u);
  EXPECT_EQ(sheet().validations[0].allow, model::kAllowDecimal);
  EXPECT_EQ(findRule(sheet(), 2, 1), 0);
  // An entirely default rule only clears.
  apply(ValidationRule{}, range(1, 1, 2, 1));
  ASSERT_EQ(sheet().validations.size(), 1u);
  EXPECT_EQ(findRule(sheet(), 1, 1), -1);
  EXPECT_EQ(findRule(sheet(), 3, 1), 0);
}

// Undo used to leave the new rule over the range: the range must first be
// taken out of the rules as they are now, then the saved ones put back.
TEST_F(ValidationTest, UndoTakesTheNewRuleAway) {
  apply(rule(model::kAllowWholeNumber, 0, u"1", u"10"), range(2, 1, 2, 1));
  apply(rule(model::kAllowTextLength, 5, u"3"), range(1, 1, 4, 1));
  ASSERT_TRUE(edit::undo(books).undone);
  ASSERT_EQ(sheet().validations.size(), 1u);
  EXPECT_EQ(sheet().validations[0].allow, model::kAllowWholeNumber);
  EXPECT_EQ(findRule(sheet(), 2, 1), 0);
  EXPECT_EQ(findRule(sheet(), 1, 1), -1);
  EXPECT_EQ(findRule(sheet(), 4, 1), -1);
  ASSERT_TRUE(edit::undo(books).undone);
  EXPECT_TRUE(sheet().validations.empty());
}

TEST_F(ValidationTest, FindRuleAgreesWithAWalk) {
  std::vector<ValidationRule> rules;
  for (int i = 0; i < 50; ++i) {
    ValidationRule r = rule(model::kAllowWholeNumber, 0, u"1", u"2");
    r.ranges = {range(i * 3, i % 7, i * 3 + 5, i % 7 + 2), range(i, 100 + i, i, 100 + i)};
    rules.push_back(r);
  }
  sheet().validations = rules;
  for (int row = 0; row < 160; ++row)
    for (int column = 0; column < 160; ++column) {
      int walked = -1;
      for (size_t i = 0; walked < 0 && i < rules.size(); ++i)
        for (const model::CellRange& r : rules[i].ranges)
          if (r.contains(row, column))
            walked = static_cast<int>(i);
      ASSERT_EQ(findRule(sheet(), row, column), walked) << row << "," << column;
    }
}

} // namespace
} // namespace datatools

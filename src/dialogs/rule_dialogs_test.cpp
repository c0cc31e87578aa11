#include "dialogs/rule_dialogs.h"

#include "dialogs/format_dialog.h"
#include "model/workbook_list.h"

#include "platform/dialog.h"
#include "platform/ui_services.h"

#include <gtest/gtest.h>

namespace dialogs {
namespace {

using platform::DialogAction;

class RuleDialogsTest : public ::testing::Test {
protected:
  RuleDialogsTest() : uiScope(ui), hostScope(host) {
    kinds.isFormula = [](std::u16string_view t) { return t.size() > 1 && t[0] == u'='; };
    kinds.isNumber = [](std::u16string_view t) {
      return !t.empty() && t.find_first_not_of(u"0123456789.") == std::u16string_view::npos;
    };
    kinds.isReference = [](std::u16string_view t) { return t.starts_with(u"=$A"); };
  }
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices uiScope;
  platform::ScriptedDialogHost host;
  platform::ScopedDialogHost hostScope;
  OperandKinds kinds;
};

TEST(ValidationLabels, FollowKindAndOperator) {
  struct Row {
    int allow, op;
    std::u16string_view first, second;
  };
  constexpr Row kRows[] = {
      {1, 0, u"最小值：", u"最大值："},   {1, 1, u"最小值：", u"最大值："}, {2, 2, u"值：", u""},
      {2, 3, u"值：", u""},               {1, 4, u"最小值：", u""},         {1, 6, u"最小值：", u""},
      {2, 5, u"最大值：", u""},           {2, 7, u"最大值：", u""},         {4, 0, u"开始日期：", u"结束日期："},
      {4, 2, u"日期：", u""},             {4, 4, u"开始日期：", u""},       {4, 7, u"结束日期：", u""},
      {5, 1, u"开始时间：", u"结束时间："}, {5, 3, u"时间：", u""},         {5, 6, u"开始时间：", u""},
      {5, 5, u"结束时间：", u""},         {6, 0, u"最小值：", u"最大值："}, {6, 2, u"长度：", u""},
      {6, 4, u"最小值：", u""},           {6, 7, u"最大值：", u""},         {3, 0, u"来源：", u""},
      {7, 5, u"公式：", u""},             {0, 0, u"", u""},
  };
  for (const Row& r : kRows) {
    const auto [a, b] = validationLabels(r.allow, r.op);
    EXPECT_EQ(a, r.first) << r.allow << "/" << r.op;
    EXPECT_EQ(b, r.second) << r.allow << "/" << r.op;
  }
}

TEST_F(RuleDialogsTest, ValidationSettingsAreRead) {
  host.queue({DialogAction::select(kValAllow, 1), DialogAction::select(kValOperator, 0),
              DialogAction::setText(kValFormula1, u"1"), DialogAction::setText(kValFormula2, u"10"),
              DialogAction::setText(kValInputTitle, u"数量", 1), DialogAction::select(kValStyle, 1, 2),
              DialogAction::setText(kValErrorMessage, u"1 到 10", 2), DialogAction::ok()});
  const std::optional<model::ValidationRule> r = askValidation(model::ValidationRule{}, kinds);
  ASSERT_TRUE(r);
  EXPECT_EQ(host.runs().back().title, u"数据有效性");
  EXPECT_EQ(r->allow, model::kAllowWholeNumber);
  EXPECT_EQ(r->op, 0);
  EXPECT_EQ(r->formula1, u"1");
  EXPECT_EQ(r->formula2, u"10");
  EXPECT_EQ(r->inputTitle, u"数量");
  EXPECT_EQ(r->errorStyle, 1);
  EXPECT_EQ(r->errorMessage, u"1 到 10");
  const platform::ControlState& page = host.runs().back().final[0];
  EXPECT_EQ(page.text(kValLabel1), u"最小值：");
  EXPECT_TRUE(page.enabled(kValOperator));
  EXPECT_FALSE(page.enabled(kValDropDown));
}

TEST_F(RuleDialogsTest, ValidationOperandsAreChecked) {
  struct Case {
    int allow;
    std::u16string_view f1, f2;
    std::u16string_view message; // empty: accepted
  };
  const Case kCases[] = {
      {1, u"abc", u"10", kValNeedNumber}, {1, u"1", u"", kValNeedNumber},  {1, u"=A1", u"=B1", u""},
      {3, u"=xyz", u"", kValNeedReference}, {3, u"=$A$1:$A$3", u"", u""}, {3, u"a,b", u"", u""},
      {7, u"abc", u"", kValNeedFormula},  {7, u"=A1>0", u"", u""},
  };
  for (const Case& c : kCases) {
    ui.clearShown();
    host.queue({DialogAction::select(kValAllow, c.allow), DialogAction::setText(kValFormula1, c.f1),
                DialogAction::setText(kValFormula2, c.f2), DialogAction::ok()});
    const std::optional<model::ValidationRule> r = askValidation(model::ValidationRule{}, kinds);
    if (c.message.empty()) {
      ASSERT_TRUE(r) << c.allow;
      EXPECT_TRUE(ui.shown().empty());
      EXPECT_EQ(r->plainList, c.allow == 3 && c.f1[0] != u'=');
    } else {
      EXPECT_FALSE(r) << c.allow;
      ASSERT_EQ(ui.shown().size(), 1u);
      EXPECT_EQ(ui.shown()[0].text, c.message);
      EXPECT_EQ(host.runs().back().refusedOks, 1);
    }
  }
}

TEST_F(RuleDialogsTest, ABetweenWithOneBoundIsRefused) {
  ConditionPages pages;
  for (model::FormatCondition& p : pages)
    p.kind = 1, p.op = 1;
  host.queue({DialogAction::setText(kCfOperand1, u"10"), DialogAction::ok()});
  EXPECT_FALSE(askConditionalFormat(pages, nullptr));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"缺少最小值或最大值");
  EXPECT_EQ(host.runs().back().title, u"条件格式");
  EXPECT_EQ(host.runs().back().final[1].text(kCfLabel1), u"最小值：");
}

// A cleared operator (sets that differed) shows as "between" and is stored
// as it, never as 0.
TEST_F(RuleDialogsTest, AClearedOperatorShowsAsBetween) {
  ConditionPages pages;
  pages[0].kind = 1;
  pages[0].op = 0;
  pages[0].operand1 = u"1";
  pages[0].operand2 = u"2";
  host.queue({DialogAction::ok()});
  const std::optional<ConditionPages> r = askConditionalFormat(pages, nullptr);
  ASSERT_TRUE(r);
  EXPECT_EQ(host.runs().back().afterInit[0].selection(kCfOperator), 0);
  EXPECT_EQ((*r)[0].op, 1);
}

TEST_F(RuleDialogsTest, DeleteResetsItsPage) {
  ConditionPages pages;
  for (int i = 0; i < 3; ++i) {
    pages[static_cast<size_t>(i)].kind = 1;
    pages[static_cast<size_t>(i)].op = 5;
    pages[static_cast<size_t>(i)].operand1 = u"1";
    pages[static_cast<size_t>(i)].hasFont = true;
  }
  host.queue({DialogAction::press(kCfDelete, 1), DialogAction::ok()});
  const std::optional<ConditionPages> r = askConditionalFormat(pages, nullptr);
  ASSERT_TRUE(r);
  EXPECT_EQ((*r)[1].kind, 1);
  EXPECT_EQ((*r)[1].op, 1);
  EXPECT_TRUE((*r)[1].operand1.empty());
  EXPECT_FALSE((*r)[1].hasFont);
  EXPECT_EQ((*r)[2].operand1, u"1");
  EXPECT_EQ((*r)[2].op, 5);
}

// Leaving a page for another runs its checks: a refusal keeps the page
// shown, so the steps on the other page never happen.
TEST_F(RuleDialogsTest, LeavingAPageChecksIt) {
  host.queue({DialogAction::select(kValAllow, 1), DialogAction::setText(kValFormula1, u"abc"),
              DialogAction::setText(kValFormula2, u"10"), DialogAction::setText(kValInputTitle, u"T", 1),
              DialogAction::setText(kValFormula1, u"1"), DialogAction::setText(kValInputTitle, u"T", 1),
              DialogAction::ok()});
  const std::optional<model::ValidationRule> r = askValidation(model::ValidationRule{}, kinds);
  ASSERT_TRUE(r);
  EXPECT_EQ(host.runs().back().refusedLeaves, 1);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, kValNeedNumber);
  EXPECT_EQ(r->inputTitle, u"T");

  ui.clearShown();
  ConditionPages pages;
  for (model::FormatCondition& p : pages)
    p.kind = 1, p.op = 1;
  host.queue({DialogAction::setText(kCfOperand1, u"10"), DialogAction::select(kCfKind, 1, 1),
              DialogAction::setText(kCfOperand2, u"20"), DialogAction::select(kCfKind, 1, 1),
              DialogAction::setText(kCfOperand1, u"=A1>0", 1), DialogAction::ok()});
  const std::optional<ConditionPages> c = askConditionalFormat(pages, nullptr);
  ASSERT_TRUE(c);
  EXPECT_EQ(host.runs().back().refusedLeaves, 1);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"缺少最小值或最大值");
  EXPECT_EQ((*c)[0].operand2, u"20");
  EXPECT_EQ((*c)[1].kind, 2);
  EXPECT_EQ((*c)[1].operand1, u"=A1>0");
}

// "格式..." is the reduced cell format dialog: it opens on the first page
// whose part is present, and the condition keeps what it had, gains what
// the user set and loses what "清除格式" cleared.
TEST_F(RuleDialogsTest, TheConditionFormatIsTheReducedFormatDialog) {
  model::WorkbookList books;
  ASSERT_TRUE(books.new_workbook(nullptr));
  constexpr int kFont = 0, kBorder = 1, kPattern = 2;
  model::FormatCondition c;
  c.hasFont = true;
  c.font[model::kCondItalic] = {true, 1};
  c.hasBorder = true;
  c.borders[2] = {true, 1, 10}; // top
  host.queue({DialogAction::check(kFontBold, true, kFont), DialogAction::press(kBorderClear, kBorder),
              DialogAction::choose(kPatternPicker, 1, kPattern), DialogAction::choose(kPatternColour1, 12, kPattern),
              DialogAction::ok()});
  const std::optional<model::FormatCondition> r = askConditionFormat(*books.active(), c);
  ASSERT_TRUE(r);
  EXPECT_EQ(host.runs().back().title, kFormatDialogTitle);
  EXPECT_EQ(host.runs().back().afterInit.size(), 3u);
  EXPECT_EQ(host.runs().back().afterInit[kFont].checkState(kFontItalic), platform::kChecked);
  EXPECT_EQ(r->font[model::kCondBold], (model::ConditionSetting{true, 1}));
  EXPECT_EQ(r->font[model::kCondItalic], (model::ConditionSetting{true, 1}));
  EXPECT_FALSE(r->font[model::kCondUnderline].set);
  EXPECT_FALSE(r->font[model::kCondColour].set);
  EXPECT_FALSE(r->hasBorder);
  EXPECT_TRUE(r->hasPattern);
  EXPECT_EQ(r->pattern[model::kCondFill], (model::ConditionSetting{true, 1}));
  EXPECT_EQ(r->pattern[model::kCondPatternColour], (model::ConditionSetting{true, 12}));
  EXPECT_EQ(r->pattern[model::kCondBackgroundColour], (model::ConditionSetting{true, 12}));
  EXPECT_EQ(r->kind, c.kind);

  model::FormatCondition patternOnly;
  patternOnly.hasPattern = true;
  patternOnly.pattern[model::kCondBackgroundColour] = {true, 13};
  host.queue({DialogAction::cancel()});
  EXPECT_FALSE(askConditionFormat(*books.active(), patternOnly));
  EXPECT_EQ(host.runs().back().shownPage, kPattern);
}

} // namespace
} // namespace dialogs

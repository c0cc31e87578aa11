#include "dialogs/filter_dialogs.h"

#include "platform/dialog.h"
#include "platform/ui_services.h"

#include <gtest/gtest.h>

namespace dialogs {
namespace {

using platform::DialogAction;

class FilterDialogs : public ::testing::Test {
protected:
  FilterDialogs() : m_scope(host), m_ui(ui) {}
  platform::ScriptedDialogHost host;
  platform::ScopedDialogHost m_scope;
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices m_ui;
};

TEST_F(FilterDialogs, TopTenStartsAtTenItemsAndClampsTheCount) {
  struct Case {
    const char* name;
    std::vector<DialogAction> script;
    datatools::TopTenChoice expected;
  };
  const Case cases[] = {
      {"as offered", {DialogAction::ok()}, {true, 10, false}},
      {"bottom 5 percent",
       {DialogAction::select(kTopTenWhich, 1), DialogAction::setText(kTopTenCount, u"5"),
        DialogAction::select(kTopTenUnit, 1), DialogAction::ok()},
       {false, 5, true}},
      {"zero becomes one", {DialogAction::setText(kTopTenCount, u"0"), DialogAction::ok()}, {true, 1, false}},
      {"above 500 becomes 500", {DialogAction::setText(kTopTenCount, u"9999999"), DialogAction::ok()}, {true, 500, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host.queue(c.script);
    const std::optional<datatools::TopTenChoice> got = askTopTen(model::FilterCriterion{});
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->top, c.expected.top);
    EXPECT_EQ(got->count, c.expected.count);
    EXPECT_EQ(got->percent, c.expected.percent);
  }
  EXPECT_EQ(host.runs().back().title, u"自动筛选前 10 个");
  EXPECT_EQ(host.runs().back().afterInit[0].itemText(kTopTenWhich, 0), u"靠上");
  EXPECT_EQ(host.runs().back().afterInit[0].itemText(kTopTenUnit, 1), u"百分比");
  host.queue({DialogAction::cancel()});
  EXPECT_FALSE(askTopTen(model::FilterCriterion{}).has_value());
}

TEST_F(FilterDialogs, TopTenShowsTheColumnsCurrentChoice) {
  model::FilterCriterion current;
  current.topActive = true;
  current.top = false;
  current.count = 7;
  current.percent = true;
  host.queue({DialogAction::ok()});
  const auto got = askTopTen(current);
  ASSERT_TRUE(got.has_value());
  const platform::ControlState& init = host.runs().back().afterInit[0];
  EXPECT_EQ(init.selection(kTopTenWhich), 1);
  EXPECT_EQ(init.text(kTopTenCount), u"7");
  EXPECT_EQ(init.selection(kTopTenUnit), 1);
  EXPECT_FALSE(got->top);
  EXPECT_EQ(got->count, 7);
}

TEST_F(FilterDialogs, CustomListsOperatorsAndValuesAndReadsBothRows) {
  host.queue({DialogAction::select(kCustomOperatorFirst, datatools::kCustomContains),
              DialogAction::setText(kCustomValueFirst, u"an"),
              DialogAction::select(kCustomOperatorFirst + 1, datatools::kCustomLess),
              DialogAction::select(kCustomValueFirst + 1, 1), DialogAction::check(kCustomOr), DialogAction::ok()});
  const auto got = askCustomFilter(model::FilterCriterion{}, u"Fruit", {u"apple", u"banana"});
  ASSERT_TRUE(got.has_value());
  const auto& run = host.runs().back();
  EXPECT_EQ(run.title, u"自定义自动筛选");
  EXPECT_EQ(run.afterInit[0].itemCount(kCustomOperatorFirst), 13);
  EXPECT_EQ(run.afterInit[0].itemText(kCustomOperatorFirst, 12), u"不包含");
  EXPECT_EQ(run.afterInit[0].selection(kCustomOperatorFirst), datatools::kCustomEqual);
  EXPECT_EQ(run.afterInit[0].selection(kCustomOperatorFirst + 1), datatools::kCustomNone);
  EXPECT_EQ(run.afterInit[0].itemText(kCustomValueFirst, 1), u"banana");
  EXPECT_TRUE(run.afterInit[0].checked(kCustomAnd));
  EXPECT_EQ(got->rows[0].op, datatools::kCustomContains);
  EXPECT_EQ(got->rows[0].text, u"an");
  EXPECT_EQ(got->rows[1].op, datatools::kCustomLess);
  EXPECT_EQ(got->rows[1].text, u"banana");
  EXPECT_TRUE(got->orJoin);
}

TEST_F(FilterDialogs, CustomShowsStoredConditionsAsTheirOperators) {
  model::FilterCriterion current;
  current.conditions[0] = {model::kFilterComparison, model::kCompareNotEqual, u"b*"};
  current.conditions[1] = {model::kFilterComparison, model::kCompareEqual, u"*x"};
  current.orJoin = true;
  host.queue({DialogAction::ok()});
  const auto got = askCustomFilter(current, u"Fruit", {});
  ASSERT_TRUE(got.has_value());
  const platform::ControlState& init = host.runs().back().afterInit[0];
  EXPECT_EQ(init.selection(kCustomOperatorFirst), datatools::kCustomNotBeginsWith);
  EXPECT_EQ(init.text(kCustomValueFirst), u"b");
  EXPECT_EQ(init.selection(kCustomOperatorFirst + 1), datatools::kCustomEndsWith);
  EXPECT_EQ(init.text(kCustomValueFirst + 1), u"x");
  EXPECT_TRUE(init.checked(kCustomOr));
}

} // namespace
} // namespace dialogs

#include "dialogs/data_dialogs.h"

#include "platform/dialog.h"
#include "platform/locale_strings.h"
#include "platform/ui_services.h"

#include <gtest/gtest.h>

namespace dialogs {
namespace {

using platform::DialogAction;

class DataDialogs : public ::testing::Test {
protected:
  DataDialogs() : m_scope(host), m_ui(ui) { platform::setLocaleStrings(platform::loadLocaleStrings("en-US")); }
  platform::ScriptedDialogHost host;
  platform::ScopedDialogHost m_scope;
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices m_ui;
};

TEST_F(DataDialogs, SortRebuildsTheKeyListsWhenTheDirectionOrHeaderChanges) {
  int asked = 0;
  const auto names = [&](bool byColumns, bool header) {
    ++asked;
    if (header)
      return std::vector<std::u16string>{u"Name", u"Score"};
    return byColumns ? std::vector<std::u16string>{u"行 1", u"行 2", u"行 3"}
                     : std::vector<std::u16string>{u"列 A", u"列 B"};
  };
  SortChoice initial;
  initial.keys = {1, -1, -1};
  host.queue({DialogAction::check(kSortHeader), DialogAction::select(kSortKeyFirst + 1, 1),
              DialogAction::check(kSortAscendingFirst + 1), DialogAction::check(kSortCase), DialogAction::ok()});
  const std::optional<SortChoice> c = askSort(initial, names);
  ASSERT_TRUE(c.has_value());
  const auto& run = host.runs().back();
  EXPECT_EQ(run.title, u"排序");
  EXPECT_EQ(run.afterInit[0].selection(kSortKeyFirst), 1) << "the active cell's line";
  EXPECT_EQ(run.afterInit[0].itemText(kSortKeyFirst + 1, 0), u"(无)");
  EXPECT_EQ(run.afterInit[0].itemText(kSortKeyFirst, 0), u"列 A");
  EXPECT_EQ(run.final[0].itemText(kSortKeyFirst, 0), u"Name");
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(c->hasHeader);
  EXPECT_TRUE(c->caseSensitive);
  EXPECT_FALSE(c->byColumns);
  EXPECT_EQ(c->keys[0], 1);
  EXPECT_EQ(c->keys[1], 0);
  EXPECT_EQ(c->keys[2], -1);
  EXPECT_FALSE(c->ascending[0]);
  EXPECT_TRUE(c->ascending[1]);

  host.queue({DialogAction::select(kSortDirection, 1), DialogAction::ok()});
  const std::optional<SortChoice> columns = askSort(SortChoice{}, names);
  ASSERT_TRUE(columns.has_value());
  EXPECT_TRUE(columns->byColumns);
  EXPECT_EQ(host.runs().back().final[0].itemCount(kSortKeyFirst), 3);
  host.queue({DialogAction::cancel()});
  EXPECT_EQ(askSort(SortChoice{}, names), std::nullopt);
}

TEST_F(DataDialogs, GoToEnablesOkOnlyForAReference) {
  const auto valid = [](std::u16string_view t) { return t == u"B5" || t == u"A1"; };
  host.queue({DialogAction::setText(kGoToReference, u"Chart1!B5"), DialogAction::setText(kGoToReference, u"B5"),
              DialogAction::ok()});
  EXPECT_EQ(askGoTo(u"A1", valid), std::u16string(u"B5"));
  const auto& run = host.runs().back();
  EXPECT_EQ(run.title, u"定位");
  EXPECT_EQ(run.afterInit[0].text(kGoToReference), u"A1");
  EXPECT_TRUE(run.afterInit[0].enabled(platform::kIdOk));

  host.queue({DialogAction::setText(kGoToReference, u"Chart1!B5"), DialogAction::ok()});
  EXPECT_EQ(askGoTo(u"A1", valid), std::nullopt);
  EXPECT_FALSE(host.runs().back().final[0].enabled(platform::kIdOk));
}

TEST_F(DataDialogs, GoalSeekKeepsTheDialogOpenOnARefusal) {
  const GoalSeekCheck check = [](const GoalSeekTexts& t) -> std::optional<std::pair<std::u16string, int>> {
    if (t.goal != u"2")
      return std::pair{std::u16string(u"输入错误；要求输入的内容为整数或小数。"), 1};
    return std::nullopt;
  };
  host.queue({DialogAction::setText(kGoalValue, u"x"), DialogAction::setText(kGoalChanging, u"A1"),
              DialogAction::ok(), DialogAction::setText(kGoalValue, u"2"), DialogAction::ok()});
  const std::optional<GoalSeekTexts> t = askGoalSeek(u"B2", check);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(host.runs().back().title, u"单变量求解");
  EXPECT_EQ(host.runs().back().refusedOks, 1);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"输入错误；要求输入的内容为整数或小数。");
  EXPECT_EQ(t->target, u"B2");
  EXPECT_EQ(t->goal, u"2");
  EXPECT_EQ(t->changing, u"A1");
}

TEST_F(DataDialogs, GoalSeekStatusKeepsOrCancels) {
  host.queue({DialogAction::ok()});
  EXPECT_TRUE(showGoalSeekStatus(true, u"2", u"2"));
  EXPECT_EQ(host.runs().back().title, u"单变量求解状态");
  host.queue({DialogAction::cancel()});
  EXPECT_FALSE(showGoalSeekStatus(false, u"7", u"5"));
}

} // namespace
} // namespace dialogs

#include "dialogs/edit_dialogs.h"

#include "platform/dialog.h"
#include "platform/locale_strings.h"

#include <gtest/gtest.h>

namespace dialogs {
namespace {

using platform::DialogAction;

class EditDialogs : public ::testing::Test {
protected:
  EditDialogs() : m_scope(host) { platform::setLocaleStrings(platform::loadLocaleStrings("en-US")); }
  platform::ScriptedDialogHost host;
  platform::ScopedDialogHost m_scope;
};

TEST_F(EditDialogs, InsertAndDeleteOfferTheirFourChoices) {
  host.queue({DialogAction::ok()});
  EXPECT_EQ(askInsertCells(), kShiftVertically) << "shift cells down is the default";
  ASSERT_EQ(host.runs().back().title, u"插入");
  EXPECT_EQ(host.runs().back().final[0].text(kShiftFirst), u"活动单元格右移(&I)");
  EXPECT_EQ(host.runs().back().final[0].text(kShiftFirst + 3), u"整列(&C)");
  host.queue({DialogAction::check(kShiftFirst + kShiftWholeRows), DialogAction::ok()});
  EXPECT_EQ(askDeleteCells(), kShiftWholeRows);
  EXPECT_EQ(host.runs().back().title, u"删除");
  EXPECT_EQ(host.runs().back().final[0].text(kShiftFirst), u"右侧单元格左移(&L)");
  EXPECT_EQ(host.runs().back().final[0].text(kShiftFirst + 1), u"下方单元格上移(&U)");
  host.queue({DialogAction::cancel()});
  EXPECT_EQ(askDeleteCells(), std::nullopt);
}

TEST_F(EditDialogs, SeriesShowsTheStepOfEachDirectionAndReadsTheBoxes) {
  const auto step = [](bool rows) { return std::u16string(rows ? u"2" : u"5"); };
  host.queue({DialogAction::check(kSeriesColumns), DialogAction::check(kSeriesTypeFirst + 2),
              DialogAction::check(kSeriesUnitFirst + 2), DialogAction::setText(kSeriesStop, u"100"),
              DialogAction::ok()});
  const std::optional<SeriesChoice> c = askSeries(true, step);
  ASSERT_TRUE(c.has_value());
  const auto& run = host.runs().back();
  EXPECT_EQ(run.title, u"序列");
  EXPECT_EQ(run.afterInit[0].text(kSeriesStep), u"2");
  EXPECT_FALSE(run.afterInit[0].enabled(kSeriesUnitFirst)) << "date units only for dates";
  EXPECT_TRUE(run.final[0].enabled(kSeriesUnitFirst));
  EXPECT_FALSE(c->rows);
  EXPECT_EQ(c->type, 2);
  EXPECT_EQ(c->unit, 2);
  EXPECT_EQ(c->step, 5.0) << "the step of the new direction";
  EXPECT_EQ(c->stop, 100.0);
}

TEST_F(EditDialogs, SeriesRefusesABoxThatIsNoNumber) {
  host.queue({DialogAction::setText(kSeriesStep, u"abc"), DialogAction::ok(), DialogAction::setText(kSeriesStep, u""),
              DialogAction::ok()});
  const std::optional<SeriesChoice> c = askSeries(false, nullptr);
  ASSERT_TRUE(c.has_value());
  EXPECT_EQ(host.runs().back().refusedOks, 1);
  EXPECT_EQ(c->step, std::nullopt);
  EXPECT_EQ(c->stop, std::nullopt);
}

} // namespace
} // namespace dialogs

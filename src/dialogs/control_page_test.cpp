// The "控制" page of a form control: limits, messages and links.

#include "dialogs/control_page.h"
#include "model/workbook_list.h"
#include "platform/locale_strings.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

namespace dialogs {
namespace {

using platform::DialogAction;

class ControlPageTest : public ::testing::Test {
protected:
  ControlPageTest() : m_uiScope(ui), m_hostScope(host) {
    platform::setLocaleStrings(platform::loadLocaleStrings("en-US"));
    EXPECT_TRUE(books.new_workbook(nullptr));
  }

  std::vector<std::u16string> messages() const {
    std::vector<std::u16string> out;
    for (const auto& m : ui.shown())
      out.push_back(m.text);
    return out;
  }

  std::optional<drawing::ControlPayload> run(std::uint16_t kind, const drawing::ControlPayload& c,
                                             std::vector<DialogAction> script) {
    host.queue(std::move(script));
    return formatControl(*books.active(), 0, kind, c);
  }

  platform::HeadlessUiServices ui;
  platform::ScriptedDialogHost host;
  model::WorkbookList books;

private:
  platform::ScopedUiServices m_uiScope;
  platform::ScopedDialogHost m_hostScope;
};

TEST_F(ControlPageTest, ScrollBarNumbersKeepTheirLimits) {
  drawing::ControlPayload c;
  c.value = 5;
  const std::optional<drawing::ControlPayload> out =
      run(model::kObjectScrollBar, c,
          {DialogAction::setText(kControlMinimum, u"10"), DialogAction::setText(kControlMaximum, u"40000"),
           DialogAction::setText(kControlValue, u"3"), DialogAction::setText(kControlIncrement, u"2"),
           DialogAction::setText(kControlPageChange, u"99999"), DialogAction::setText(kControlLinkedCell, u"=$B$2"),
           DialogAction::ok()});
  ASSERT_TRUE(out);
  EXPECT_EQ(out->minimum, 10);
  EXPECT_EQ(out->maximum, 30000);
  EXPECT_EQ(out->value, 10); // brought up to the minimum
  EXPECT_EQ(out->increment, 2);
  EXPECT_EQ(out->pageChange, 30000);
  EXPECT_EQ(out->linkedCell, u"$B$2");
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(host.runs().back().title, kControlFormatTitle);
}

TEST_F(ControlPageTest, RefusalsKeepThePageOpenWithTheirMessage) {
  const struct {
    std::uint16_t kind;
    int id;
    std::u16string_view text;
    std::u16string_view message;
  } cases[] = {
      {model::kObjectSpinner, kControlMaximum, u"5", kMessageMaximumBelowMinimum},
      {model::kObjectSpinner, kControlLinkedCell, u"not a cell", kMessageInvalidControlReference},
      {model::kObjectListBox, kControlInputRange, u"Nowhere!A1:A4", kMessageInvalidControlReference},
      {model::kObjectCheckBox, kControlLinkedCell, u"A1:", kMessageInvalidControlReference},
      {model::kObjectComboBox, kControlDropDownLines, u"many", kMessageInvalidControlReference},
  };
  for (const auto& k : cases) {
    ui.clearShown();
    drawing::ControlPayload c;
    c.minimum = 8;
    c.maximum = 9;
    c.value = 8;
    const std::optional<drawing::ControlPayload> out =
        run(k.kind, c, {DialogAction::setText(k.id, k.text), DialogAction::ok(), DialogAction::cancel()});
    EXPECT_FALSE(out) << platform::toUtf8(k.text);
    EXPECT_EQ(host.runs().back().refusedOks, 1) << platform::toUtf8(k.text);
    EXPECT_EQ(messages(), std::vector<std::u16string>{std::u16string(k.message)}) << platform::toUtf8(k.text);
  }
}

TEST_F(ControlPageTest, StatesAndLinksOfCheckBoxesAndLists) {
  drawing::ControlPayload c;
  c.linkedCell = u"$A$1";
  std::optional<drawing::ControlPayload> out =
      run(model::kObjectCheckBox, c,
          {DialogAction::check(kControlMixed), DialogAction::setText(kControlLinkedCell, u"  "), DialogAction::ok()});
  ASSERT_TRUE(out);
  EXPECT_EQ(out->value, drawing::kMixed);
  EXPECT_TRUE(out->linkedCell.empty()); // an empty box clears the link

  // Option buttons have no mixed state.
  EXPECT_TRUE(host.runs().back().afterInit[0].has(kControlMixed));
  out = run(model::kObjectOptionButton, c, {DialogAction::check(kControlChecked), DialogAction::ok()});
  ASSERT_TRUE(out);
  EXPECT_EQ(out->value, drawing::kChecked);
  EXPECT_FALSE(host.runs().back().afterInit[0].has(kControlMixed));

  out = run(model::kObjectComboBox, c,
            {DialogAction::setText(kControlInputRange, u"Sheet1!$C$1:$C$9"),
             DialogAction::setText(kControlDropDownLines, u"50000"), DialogAction::check(kControlFlat, false),
             DialogAction::ok()});
  ASSERT_TRUE(out);
  EXPECT_EQ(out->inputRange, u"Sheet1!$C$1:$C$9");
  EXPECT_EQ(out->dropDownLines, 30000);
  EXPECT_TRUE(out->flat);
  EXPECT_FALSE(hasControlPage(model::kObjectButton));
  EXPECT_FALSE(formatControl(*books.active(), 0, model::kObjectLabel, c));
}

} // namespace
} // namespace dialogs

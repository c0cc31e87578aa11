// The one-field dialogs: the number dialogs' limits and messages, and the
// password dialogs.

#include "dialogs/number_dialogs.h"
#include "dialogs/password_dialog.h"
#include "dialogs/prompt_dialog.h"
#include "platform/locale_strings.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <functional>

namespace dialogs {
namespace {

using platform::DialogAction;

class PromptDialogs : public ::testing::Test {
protected:
  PromptDialogs() : m_uiScope(ui), m_hostScope(host) {
    platform::setLocaleStrings(platform::loadLocaleStrings("en-US"));
  }
  ~PromptDialogs() override { platform::setLocaleStrings(platform::loadLocaleStrings("en-US")); }

  /// Types each text in turn and presses OK after each, then cancels.
  void typeAndOk(std::initializer_list<std::u16string_view> texts) {
    std::vector<DialogAction> script;
    for (auto t : texts) {
      script.push_back(DialogAction::setText(kPromptEdit, t));
      script.push_back(DialogAction::ok());
    }
    script.push_back(DialogAction::cancel());
    host.queue(script);
  }

  std::vector<std::u16string> messages() const {
    std::vector<std::u16string> out;
    for (const auto& m : ui.shown()) {
      EXPECT_FALSE(m.caption.has_value()) << platform::toUtf8(m.text);
      out.push_back(m.text);
    }
    return out;
  }

  platform::HeadlessUiServices ui;
  platform::ScriptedDialogHost host;

private:
  platform::ScopedUiServices m_uiScope;
  platform::ScopedDialogHost m_hostScope;
};

TEST_F(PromptDialogs, NumberDialogsAcceptTheirRangeAndRefuseTheRestWithTheirMessage) {
  using Ask = std::function<std::optional<double>()>;
  const struct {
    const char* name;
    Ask ask;
    std::u16string_view text;
    std::optional<double> accepted; // nothing: refused with the message
    std::u16string_view message;
  } kRows[] = {
      {"zoom low", [] { return std::optional<double>(askZoom(100)); }, u"10", 10, {}},
      {"zoom high", [] { return std::optional<double>(askZoom(100)); }, u"400", 400, {}},
      {"zoom spaces", [] { return std::optional<double>(askZoom(100)); }, u" 75 ", 75, {}},
      {"zoom 9",
       [] { return std::optional<double>(askZoom(100)); },
       u"9",
       {},
       u"显示比例必须在 10-400 之间"},
      {"zoom 401",
       [] { return std::optional<double>(askZoom(100)); },
       u"401",
       {},
       u"显示比例必须在 10-400 之间"},
      {"zoom text",
       [] { return std::optional<double>(askZoom(100)); },
       u"abc",
       {},
       u"显示比例必须在 10-400 之间"},
      {"zoom fraction",
       [] { return std::optional<double>(askZoom(100)); },
       u"50.5",
       {},
       u"显示比例必须在 10-400 之间"},
      {"zoom empty",
       [] { return std::optional<double>(askZoom(100)); },
       u"",
       {},
       u"显示比例必须在 10-400 之间"},
      {"row 0", [] { return askRowHeight(12.75); }, u"0", 0, {}},
      {"row 409", [] { return askRowHeight(12.75); }, u"409", 409, {}},
      {"row fraction", [] { return askRowHeight(12.75); }, u"15.25", 15.25, {}},
      {"row 409.5", [] { return askRowHeight(12.75); }, u"409.5", {}, u"行高值必须在 0-409 之间"},
      {"row negative", [] { return askRowHeight(12.75); }, u"-1", {}, u"行高值必须在 0-409 之间"},
      {"row text", [] { return askRowHeight(12.75); }, u"12pt", {}, u"行高值必须在 0-409 之间"},
      {"column 0", [] { return askColumnWidth(8); }, u"0", 0, {}},
      {"column 255", [] { return askColumnWidth(8); }, u"255", 255, {}},
      {"column 255.01",
       [] { return askColumnWidth(8); },
       u"255.01",
       {},
       u"列宽值必须在 0-255 之间"},
      {"column text", [] { return askColumnWidth(8); }, u"wide", {}, u"列宽值必须在 0-255 之间"},
      {"standard 10.5", [] { return askStandardWidth(8); }, u"10.5", 10.5, {}},
      {"standard 256", [] { return askStandardWidth(8); }, u"256", {}, u"列宽值必须在 0-255 之间"},
  };
  for (const auto& row : kRows) {
    ui.clearShown();
    typeAndOk({row.text});
    const std::optional<double> got = row.ask();
    EXPECT_EQ(got, row.accepted) << row.name;
    if (row.accepted) {
      EXPECT_TRUE(messages().empty()) << row.name;
    } else {
      EXPECT_EQ(messages(), std::vector<std::u16string>{std::u16string(row.message)}) << row.name;
      EXPECT_EQ(host.runs().back().result, platform::kIdCancel) << row.name;
    }
  }
}

TEST_F(PromptDialogs, RefusedValueKeepsTheDialogOpenForAnother) {
  typeAndOk({u"500", u"250"});
  EXPECT_EQ(askZoom(100), 250);
  EXPECT_EQ(host.runs().back().refusedOks, 1);
  EXPECT_EQ(messages().size(), 1u);
}

TEST_F(PromptDialogs, NumberDialogsShowTheCurrentValue) {
  askRowHeight(12.75);
  askRowHeight(std::nullopt);
  askColumnWidth(8.5);
  askZoom(75);
  ASSERT_EQ(host.runs().size(), 4u);
  EXPECT_EQ(host.runs()[0].title, u"设置行高");
  EXPECT_EQ(host.runs()[0].afterInit[0].text(kPromptLabel), u"设置行高：");
  EXPECT_EQ(host.runs()[0].afterInit[0].text(kPromptEdit), u"12.75");
  EXPECT_EQ(host.runs()[1].afterInit[0].text(kPromptEdit), u"");
  EXPECT_EQ(host.runs()[2].title, u"设置列宽");
  EXPECT_EQ(host.runs()[2].afterInit[0].text(kPromptLabel), u"设置列宽：");
  EXPECT_EQ(host.runs()[2].afterInit[0].text(kPromptEdit), u"8.5");
  EXPECT_EQ(host.runs()[3].afterInit[0].text(kPromptEdit), u"75");
  // The current value starts selected so typing replaces it.
  const auto* edit = host.runs()[0].afterInit[0].find(kPromptEdit);
  EXPECT_EQ(edit->selectionStart, 0);
  EXPECT_EQ(edit->selectionEnd, 5);
}

TEST_F(PromptDialogs, NumbersFollowTheLocaleDecimalSeparator) {
  platform::setLocaleStrings(platform::loadLocaleStrings("de-DE"));
  ASSERT_EQ(platform::localeStrings().decimalSeparator, u",");
  typeAndOk({u"12,5"});
  EXPECT_EQ(askRowHeight(12.75), 12.5);
  EXPECT_EQ(host.runs().back().afterInit[0].text(kPromptEdit), u"12,75");
  typeAndOk({u"12.5"});
  EXPECT_EQ(askRowHeight(std::nullopt), std::nullopt);
}

TEST_F(PromptDialogs, PasswordDialogsHideTheTextAndTakeAnyPassword) {
  typeAndOk({u""});
  EXPECT_EQ(askProtectPassword(), u"");
  typeAndOk({u"s3cret ?*"});
  EXPECT_EQ(askUnprotectPassword(), u"s3cret ?*");
  host.queue({DialogAction::cancel()});
  EXPECT_EQ(askProtectPassword(), std::nullopt);
  // 300 characters: the edit keeps the 255 the verifier reads.
  typeAndOk({std::u16string(300, u'p')});
  EXPECT_EQ(askProtectPassword(), std::u16string(255, u'p'));
  EXPECT_TRUE(messages().empty());

  ASSERT_EQ(host.runs().size(), 4u);
  EXPECT_EQ(host.runs()[0].title, u"保护工作表");
  EXPECT_EQ(host.runs()[0].afterInit[0].text(kPromptLabel), u"请输入保护密码：");
  EXPECT_EQ(host.runs()[1].title, u"解除工作表保护");
  EXPECT_EQ(host.runs()[1].afterInit[0].text(kPromptLabel), u"请输入密码：");
  Prompt secret;
  secret.password = true;
  const platform::DialogTemplate t = promptTemplate(secret);
  ASSERT_NE(t.control(kPromptEdit), nullptr);
  EXPECT_TRUE(t.control(kPromptEdit)->style & platform::kStylePassword);
}

} // namespace
} // namespace dialogs

#include "dialogs/find_dialog.h"

#include "platform/dialog.h"
#include "platform/locale_strings.h"

#include <gtest/gtest.h>

#include <vector>

namespace dialogs {
namespace {

using platform::DialogAction;

class FindDialog : public ::testing::Test {
protected:
  FindDialog() : m_scope(host) {
    platform::setLocaleStrings(platform::loadLocaleStrings("en-US"));
    actions.findNext = [&](const FindDialogState& s) { calls.push_back("find " + narrow(s.findText)); };
    actions.replaceOne = [&](const FindDialogState& s) { calls.push_back("replace " + narrow(s.replaceText)); };
    actions.replaceAll = [&](const FindDialogState& s) { calls.push_back("all " + narrow(s.replaceText)); };
  }
  static std::string narrow(const std::u16string& t) { return std::string(t.begin(), t.end()); }

  platform::ScriptedDialogHost host;
  platform::ScopedDialogHost m_scope;
  FindActions actions;
  std::vector<std::string> calls;
};

TEST_F(FindDialog, FindNextStaysOpenAndReplaceSwitchesModes) {
  FindDialogState state;
  host.queue({DialogAction::setText(kFindText, u"ab"), DialogAction::select(kFindScope, 1),
              DialogAction::check(kFindWhole), DialogAction::press(kFindNextButton),
              DialogAction::press(kFindNextButton), DialogAction::press(kFindReplaceButton)});
  host.queue({DialogAction::setText(kFindReplaceText, u"xy"), DialogAction::press(kFindReplaceButton),
              DialogAction::press(kFindReplaceAllButton), DialogAction::cancel()});
  runFindDialog(false, false, state, actions);
  ASSERT_EQ(host.runs().size(), 2u);
  const auto& find = host.runs()[0];
  EXPECT_EQ(find.title, u"查找");
  EXPECT_FALSE(find.afterInit[0].enabled(kFindNextButton)) << "nothing to find yet";
  EXPECT_TRUE(find.final[0].enabled(kFindNextButton));
  EXPECT_EQ(find.final[0].text(kFindReplaceButton), u"替换...(&R)");
  EXPECT_FALSE(find.final[0].has(kFindReplaceAllButton));
  EXPECT_EQ(find.final[0].text(platform::kIdCancel), u"关闭");
  const auto& replace = host.runs()[1];
  EXPECT_FALSE(replace.final[0].has(kFindScope)) << "no scope list while replacing";
  EXPECT_EQ(replace.afterInit[0].text(kFindText), u"ab");
  EXPECT_TRUE(replace.afterInit[0].checked(kFindWhole));
  EXPECT_EQ(replace.final[0].text(kFindReplaceButton), u"替换(&R)");
  EXPECT_EQ(calls, (std::vector<std::string>{"find ab", "find ab", "replace xy", "all xy"}));
  EXPECT_EQ(state.scope, 1);
  EXPECT_TRUE(state.wholeCell);
  EXPECT_EQ(state.replaceText, u"xy");
}

TEST_F(FindDialog, ReplaceButtonsAreDisabledOnAProtectedSheet) {
  FindDialogState state;
  state.findText = u"a";
  host.queue({DialogAction::press(kFindReplaceAllButton), DialogAction::cancel()});
  runFindDialog(true, true, state, actions);
  EXPECT_FALSE(host.runs().back().afterInit[0].enabled(kFindReplaceButton));
  EXPECT_FALSE(host.runs().back().afterInit[0].enabled(kFindReplaceAllButton));
  EXPECT_TRUE(host.runs().back().afterInit[0].enabled(kFindNextButton));
  EXPECT_TRUE(calls.empty());
}

} // namespace
} // namespace dialogs

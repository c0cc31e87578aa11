// The scripted host: what procedures are told, in what order, and how a
// dialog ends.

#include "platform/dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

constexpr int kEdit = 10, kList = 11, kRadioA = 12, kRadioB = 13, kRadioC = 14, kCheck = 15,
              kApply = 16, kClose = 17, kLabel = 18;

DialogTemplate sampleTemplate() {
  DialogTemplate t;
  t.title = u"Sample";
  t.width = 200;
  t.height = 100;
  t.controls = {
      {kLabel, ControlKind::Static, u"Label", 0, 0, 10, 10},
      {kEdit, ControlKind::Edit, u"start", 0, 0, 10, 10, 0, 5},
      {kList, ControlKind::ListBox, {}, 0, 0, 10, 10},
      {kRadioA, ControlKind::Radio, u"A", 0, 0, 10, 10, kStyleGroupStart},
      {kRadioB, ControlKind::Radio, u"B", 0, 0, 10, 10},
      {kRadioC, ControlKind::Radio, u"C", 0, 0, 10, 10, kStyleGroupStart},
      {kCheck, ControlKind::CheckBox, u"Check", 0, 0, 10, 10, kStyleDisabled},
      {kApply, ControlKind::Button, u"Apply", 0, 0, 10, 10},
      {kClose, ControlKind::Button, u"Close", 0, 0, 10, 10},
      {kIdOk, ControlKind::Button, u"OK", 0, 0, 10, 10, kStyleDefault},
      {kIdCancel, ControlKind::Button, u"Cancel", 0, 0, 10, 10},
  };
  return t;
}

/// Logs every call; refuses OK while the edit reads "bad".
class Recorder : public DialogProcedure {
public:
  void onInit(DialogControls& c) override {
    log.push_back("init");
    c.setItems(kList, {u"one", u"two", u"three"});
    c.setSelection(kList, 1);
  }
  int onCommand(DialogControls& c, int id, Notification what) override {
    log.push_back("command " + std::to_string(id) + " " + std::to_string(static_cast<int>(what)));
    if (id == kEdit)
      seenText = c.text(kEdit);
    if (id == kApply)
      return kIdOk;
    if (id == kClose)
      return 7;
    return 0;
  }
  bool onOk(DialogControls& c) override {
    log.push_back("ok");
    return c.text(kEdit) != u"bad";
  }
  std::vector<std::string> log;
  std::u16string seenText;
};

TEST(ScriptedDialogHost, EndsAsTheScriptSays) {
  using A = DialogAction;
  const struct {
    const char* name;
    std::vector<DialogAction> script;
    int result;
    int refused;
    std::vector<std::string> log;
  } kRows[] = {
      {"ok", {A::ok()}, kIdOk, 0, {"init", "ok"}},
      {"cancel", {A::cancel(), A::ok()}, kIdCancel, 0, {"init"}},
      {"refused then cancel",
       {A::setText(kEdit, u"bad"), A::ok(), A::cancel()},
       kIdCancel,
       1,
       {"init", "command 10 1", "ok"}},
      {"refused then fixed",
       {A::setText(kEdit, u"bad"), A::ok(), A::setText(kEdit, u"good"), A::ok()},
       kIdOk,
       1,
       {"init", "command 10 1", "ok", "command 10 1", "ok"}},
      {"script runs out", {A::setText(kEdit, u"x")}, kIdCancel, 0, {"init", "command 10 1"}},
      {"empty script", {}, kIdCancel, 0, {"init"}},
      {"command asks for ok", {A::press(kApply)}, kIdOk, 0, {"init", "command 16 0", "ok"}},
      {"command closes", {A::press(kClose), A::ok()}, 7, 0, {"init", "command 17 0"}},
      {"selection and double click",
       {A::select(kList, 2), A::doubleClick(kList, 0)},
       kIdCancel,
       0,
       {"init", "command 11 2", "command 11 3"}},
  };
  for (const auto& row : kRows) {
    ScriptedDialogHost host;
    Recorder proc;
    host.queue(row.script);
    EXPECT_EQ(host.run(sampleTemplate(), proc), row.result) << row.name;
    ASSERT_EQ(host.runs().size(), 1u);
    EXPECT_EQ(host.runs()[0].result, row.result) << row.name;
    EXPECT_EQ(host.runs()[0].refusedOks, row.refused) << row.name;
    EXPECT_EQ(proc.log, row.log) << row.name;
  }
}

TEST(ScriptedDialogHost, ControlsStartFromTheTemplateAndKeepWhatTheProcedureSet) {
  ScriptedDialogHost host;
  Recorder proc;
  host.queue({DialogAction::setText(kEdit, u"abcdefgh"), DialogAction::select(kList, 9)});
  host.run(sampleTemplate(), proc);
  const auto& run = host.runs().at(0);
  EXPECT_EQ(run.title, u"Sample");
  ASSERT_EQ(run.afterInit.size(), 1u);
  EXPECT_EQ(run.afterInit[0].text(kEdit), u"start");
  EXPECT_EQ(run.afterInit[0].text(kLabel), u"Label");
  EXPECT_EQ(run.afterInit[0].selection(kList), 1);
  EXPECT_EQ(run.afterInit[0].text(kList), u"two"); // a list reads as its selected item
  EXPECT_FALSE(run.afterInit[0].enabled(kCheck));
  // The edit takes at most its limit of five characters.
  EXPECT_EQ(proc.seenText, u"abcde");
  // An item past the end selects nothing.
  EXPECT_EQ(run.final[0].selection(kList), -1);
  EXPECT_EQ(run.final[0].text(kList), u"");
}

TEST(ScriptedDialogHost, StepsOnMissingOrDisabledControlsAreNotDelivered) {
  ScriptedDialogHost host;
  Recorder proc;
  host.queue({DialogAction::check(kCheck), DialogAction::press(99),
              DialogAction::setText(kEdit, u"a", 3), DialogAction::ok()});
  EXPECT_EQ(host.run(sampleTemplate(), proc), kIdOk);
  EXPECT_EQ(host.runs()[0].badActions, 3);
  EXPECT_FALSE(host.runs()[0].final[0].checked(kCheck));
  EXPECT_EQ(proc.log, (std::vector<std::string>{"init", "ok"}));
}

TEST(ControlState, RadioButtonsExcludeEachOtherWithinTheirGroup) {
  ControlState s(sampleTemplate());
  s.setChecked(kRadioC, true);
  s.setChecked(kRadioA, true);
  s.setChecked(kRadioB, true);
  EXPECT_FALSE(s.checked(kRadioA));
  EXPECT_TRUE(s.checked(kRadioB));
  EXPECT_TRUE(s.checked(kRadioC)); // a new group starts at C
  EXPECT_EQ(s.radioGroup(kRadioB), (std::vector<int>{kRadioA, kRadioB}));
  EXPECT_EQ(s.radioGroup(kRadioC), (std::vector<int>{kRadioC}));
  // Unknown ids read as empty and ignore writes.
  s.setText(404, u"x");
  EXPECT_EQ(s.text(404), u"");
  EXPECT_EQ(s.selection(404), -1);
  EXPECT_FALSE(s.enabled(404));
}

TEST(ScriptedDialogHost, PropertySheetOkStopsAtTheFirstPageThatRefuses) {
  PropertySheetTemplate sheet{u"Sheet", {sampleTemplate(), sampleTemplate()}};
  Recorder first, second;
  DialogProcedure* pages[] = {&first, &second};
  ScriptedDialogHost host;
  host.queue({DialogAction::setText(kEdit, u"bad", 0), DialogAction::ok(),
              DialogAction::setText(kEdit, u"fine", 0), DialogAction::setText(kEdit, u"late", 1),
              DialogAction::ok()});
  EXPECT_EQ(host.runSheet(sheet, pages), kIdOk);
  EXPECT_EQ(first.log,
            (std::vector<std::string>{"init", "command 10 1", "ok", "command 10 1", "ok"}));
  EXPECT_EQ(second.log, (std::vector<std::string>{"init", "command 10 1", "ok"}));
  EXPECT_EQ(host.runs()[0].final[1].text(kEdit), u"late");
}

TEST(DialogHost, DefaultCancelsAndScopedHostIsRestored) {
  Recorder proc;
  EXPECT_EQ(dialogHost().run(sampleTemplate(), proc), kIdCancel);
  ScriptedDialogHost host;
  {
    ScopedDialogHost scope(host);
    host.queue({DialogAction::ok()});
    EXPECT_EQ(dialogHost().run(sampleTemplate(), proc), kIdOk);
  }
  EXPECT_NE(&dialogHost(), &host);
  EXPECT_EQ(host.runs().size(), 1u);
}

} // namespace
} // namespace platform

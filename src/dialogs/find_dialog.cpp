#include "dialogs/find_dialog.h"

#include "platform/dialog.h"

namespace dialogs {
namespace {

using platform::ControlKind;
using platform::DialogControls;

// The id the dialog closes with to come back in replace mode.
constexpr int kSwitchToReplace = 100;

class FindProcedure final : public platform::DialogProcedure {
public:
  FindProcedure(bool replaceMode, bool sheetProtected, FindDialogState& state, const FindActions& actions)
      : m_replace(replaceMode), m_protected(sheetProtected), m_state(state), m_actions(actions) {}

  void onInit(DialogControls& c) override {
    c.setText(kFindText, m_state.findText);
    c.setText(kFindReplaceText, m_state.replaceText);
    c.setItems(kFindScope, {u"公式", u"值", u"批注"});
    c.setSelection(kFindScope, m_state.scope);
    c.setChecked(kFindCase, m_state.matchCase);
    c.setChecked(kFindWhole, m_state.wholeCell);
    enable(c);
  }
  int onCommand(DialogControls& c, int id, platform::Notification what) override {
    read(c);
    if (id == kFindText && what == platform::Notification::Changed) {
      enable(c);
      return 0;
    }
    if (what != platform::Notification::Clicked || m_state.findText.empty())
      return 0;
    switch (id) {
    case kFindNextButton:
      if (m_actions.findNext)
        m_actions.findNext(m_state);
      break;
    case kFindReplaceButton:
      if (!m_replace)
        return kSwitchToReplace;
      if (m_actions.replaceOne && !m_protected)
        m_actions.replaceOne(m_state);
      break;
    case kFindReplaceAllButton:
      if (m_actions.replaceAll && !m_protected)
        m_actions.replaceAll(m_state);
      break;
    default:
      break;
    }
    return 0;
  }
  // Enter presses "查找下一个(&F)" and the dialog stays.
  bool onOk(DialogControls& c) override {
    read(c);
    if (!m_state.findText.empty() && m_actions.findNext)
      m_actions.findNext(m_state);
    return false;
  }

private:
  void read(DialogControls& c) {
    m_state.findText = c.text(kFindText);
    if (m_replace)
      m_state.replaceText = c.text(kFindReplaceText);
    else if (c.selection(kFindScope) >= 0)
      m_state.scope = c.selection(kFindScope);
    m_state.matchCase = c.checked(kFindCase);
    m_state.wholeCell = c.checked(kFindWhole);
  }
  void enable(DialogControls& c) {
    const bool any = !c.text(kFindText).empty();
    c.setEnabled(kFindNextButton, any);
    c.setEnabled(kFindReplaceButton, !m_protected && (any || !m_replace));
    c.setEnabled(kFindReplaceAllButton, !m_protected && any);
  }

  bool m_replace;
  bool m_protected;
  FindDialogState& m_state;
  const FindActions& m_actions;
};

platform::DialogTemplate findTemplate(bool replaceMode) {
  platform::DialogTemplate t;
  t.title = u"查找";
  t.width = 270;
  t.height = 90;
  t.controls.push_back({-1, ControlKind::Static, u"查找内容(&N)：", 7, 9, 60, 10});
  t.controls.push_back({kFindText, ControlKind::Edit, u"", 70, 7, 120, 13});
  if (replaceMode) {
    t.controls.push_back({-1, ControlKind::Static, u"替换为(&E)：", 7, 27, 60, 10});
    t.controls.push_back({kFindReplaceText, ControlKind::Edit, u"", 70, 25, 120, 13});
  } else {
    t.controls.push_back({-1, ControlKind::Static, u"查找范围(&L)", 7, 27, 60, 10});
    t.controls.push_back({kFindScope, ControlKind::ComboBox, u"", 70, 25, 60, 13});
  }
  t.controls.push_back({kFindCase, ControlKind::CheckBox, u"区分大小写(&C)", 7, 48, 90, 12});
  t.controls.push_back({kFindWhole, ControlKind::CheckBox, u"单元格匹配(&O)", 7, 62, 90, 12});
  t.controls.push_back({kFindNextButton, ControlKind::Button, u"查找下一个(&F)", 200, 7, 62, 14,
                        platform::kStyleDefault});
  t.controls.push_back({kFindReplaceButton, ControlKind::Button, replaceMode ? u"替换(&R)" : u"替换...(&R)", 200,
                        25, 62, 14});
  if (replaceMode)
    t.controls.push_back({kFindReplaceAllButton, ControlKind::Button, u"全部替换(&A)", 200, 43, 62, 14});
  t.controls.push_back({platform::kIdCancel, ControlKind::Button, u"关闭", 200, replaceMode ? 61 : 43, 62, 14});
  return t;
}

} // namespace

void runFindDialog(bool replaceMode, bool sheetProtected, FindDialogState& state, const FindActions& actions) {
  for (;;) {
    state.replaceMode = replaceMode;
    FindProcedure procedure(replaceMode, sheetProtected, state, actions);
    const int result = platform::dialogHost().run(findTemplate(replaceMode), procedure);
    if (result != kSwitchToReplace || replaceMode)
      return;
    replaceMode = true;
  }
}

} // namespace dialogs

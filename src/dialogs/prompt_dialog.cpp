#include "dialogs/prompt_dialog.h"

#include "formula/text_value.h"
#include "platform/locale_strings.h"
#include "platform/ui_services.h"

namespace dialogs {
namespace {

using platform::ControlKind;

class PromptProcedure final : public platform::DialogProcedure {
public:
  explicit PromptProcedure(const Prompt& prompt) : m_prompt(prompt) {}

  void onInit(platform::DialogControls& c) override {
    c.setText(kPromptEdit, m_prompt.initialText);
    c.selectText(kPromptEdit, 0, static_cast<int>(c.text(kPromptEdit).size()));
  }

  bool onOk(platform::DialogControls& c) override {
    m_text = c.text(kPromptEdit);
    if (!m_prompt.check)
      return true;
    const std::u16string_view problem = m_prompt.check(m_text);
    if (problem.empty())
      return true;
    platform::ui().messageBox(problem, std::nullopt, platform::MessageButtons::Ok,
                              platform::MessageIcon::None);
    c.selectText(kPromptEdit, 0, static_cast<int>(m_text.size()));
    return false;
  }

  const std::u16string& text() const { return m_text; }

private:
  const Prompt& m_prompt;
  std::u16string m_text;
};

} // namespace

platform::DialogTemplate promptTemplate(const Prompt& prompt) {
  // A text of several lines gets a taller box; the buttons move down with it.
  const int extra = prompt.multiLine ? 66 : 0;
  platform::DialogTemplate t;
  t.title = prompt.title;
  t.width = 180;
  t.height = 62 + extra;
  t.controls = {
      {kPromptLabel, ControlKind::Static, prompt.label, 7, 7, 166, 10},
      {kPromptEdit,
       ControlKind::Edit,
       {},
       7,
       19,
       166,
       14 + extra,
       (prompt.password ? platform::kStylePassword : 0u) | (prompt.multiLine ? platform::kStyleMultiLine : 0u),
       prompt.limit},
      {platform::kIdOk, ControlKind::Button, u"确定", 69, 41 + extra, 50, 14, platform::kStyleDefault},
      {platform::kIdCancel, ControlKind::Button, u"取消", 123, 41 + extra, 50, 14},
  };
  return t;
}

std::optional<std::u16string> askText(const Prompt& prompt) {
  PromptProcedure procedure(prompt);
  if (platform::dialogHost().run(promptTemplate(prompt), procedure) != platform::kIdOk)
    return std::nullopt;
  return procedure.text();
}

std::optional<double> parseDialogNumber(std::u16string_view text) {
  double value = 0;
  if (!formula::readNumber(text, 0, text.size(), false, value, platform::localeStrings()))
    return std::nullopt;
  return value;
}

std::u16string dialogNumberText(double value) {
  return formula::numberToText(value, platform::localeStrings());
}

} // namespace dialogs

#include "dialogs/rule_dialogs.h"

#include "dialogs/format_dialog.h"

#include "platform/dialog.h"
#include "platform/ui_services.h"

#include <algorithm>
#include <string>
#include <vector>

namespace dialogs {
namespace {

using platform::ControlKind;
using platform::DialogControls;
using platform::Notification;

const std::vector<std::u16string> kAllowNames = {u"任何值", u"整数", u"小数", u"序列",
                                                 u"日期",   u"时间", u"文本长度", u"自定义"};
const std::vector<std::u16string> kOperatorNames = {u"介于",   u"未介于", u"等于",       u"不等于",
                                                    u"大于",   u"小于",   u"大于或等于", u"小于或等于"};
const std::vector<std::u16string> kStyleNames = {u"停止", u"警告", u"信息"};

// The dialog's side for each of a condition's borders (left, right, top, bottom).
constexpr edit::BorderSide kConditionSides[] = {edit::kSideLeft, edit::kSideRight, edit::kSideTop, edit::kSideBottom};

void refuse(std::u16string_view message) {
  platform::ui().messageBox(message, std::nullopt, platform::MessageButtons::Ok, platform::MessageIcon::Warning);
}

// ---- Data validation ----

struct ValidationEdit {
  model::ValidationRule rule;
  const OperandKinds* kinds = nullptr;
};

class SettingsPage final : public platform::DialogProcedure {
public:
  explicit SettingsPage(ValidationEdit& e) : m_e(e) {}
  void onInit(DialogControls& c) override {
    c.setItems(kValAllow, kAllowNames);
    c.setSelection(kValAllow, std::clamp(m_e.rule.allow, 0, 7));
    c.setItems(kValOperator, kOperatorNames);
    c.setSelection(kValOperator, std::clamp(m_e.rule.op, 0, 7));
    c.setChecked(kValIgnoreBlank, m_e.rule.ignoreBlank);
    c.setChecked(kValDropDown, !m_e.rule.suppressDropDown);
    c.setText(kValFormula1, m_e.rule.formula1);
    c.setText(kValFormula2, m_e.rule.formula2);
    arrange(c);
  }
  int onCommand(DialogControls& c, int id, Notification) override {
    if (id == kValAllow || id == kValOperator)
      arrange(c);
    return 0;
  }
  // The page's checks run when the user leaves it for another page, and on OK.
  bool onLeavePage(DialogControls& c) override { return onOk(c); }
  bool onOk(DialogControls& c) override {
    model::ValidationRule& r = m_e.rule;
    r.allow = std::max(0, c.selection(kValAllow));
    r.op = std::max(0, c.selection(kValOperator));
    r.ignoreBlank = c.checked(kValIgnoreBlank);
    r.suppressDropDown = !c.checked(kValDropDown);
    const auto [label1, label2] = validationLabels(r.allow, r.op);
    r.formula1 = label1.empty() ? std::u16string() : c.text(kValFormula1);
    r.formula2 = label2.empty() ? std::u16string() : c.text(kValFormula2);
    r.plainList = false;
    const OperandKinds& k = *m_e.kinds;
    if (r.allow == model::kAllowAny)
      return true;
    if (r.allow == model::kAllowList) {
      if (r.formula1.empty() || r.formula1.front() != u'=') {
        r.plainList = true;
        return true;
      }
      return accept(c, k.isReference && k.isReference(r.formula1), kValNeedReference, kValFormula1);
    }
    if (r.allow == model::kAllowCustom)
      return accept(c, k.isFormula && k.isFormula(r.formula1), kValNeedFormula, kValFormula1);
    const auto numberOrFormula = [&](const std::u16string& t) {
      return (k.isNumber && k.isNumber(t)) || (k.isFormula && k.isFormula(t));
    };
    if (!accept(c, numberOrFormula(r.formula1), kValNeedNumber, kValFormula1))
      return false;
    return label2.empty() || accept(c, numberOrFormula(r.formula2), kValNeedNumber, kValFormula2);
  }

private:
  static bool accept(DialogControls& c, bool ok, std::u16string_view message, int box) {
    if (ok)
      return true;
    refuse(message);
    c.selectText(box, 0, static_cast<int>(c.text(box).size()));
    return false;
  }
  // Labels follow the kind and operator; a box without one is not used.
  void arrange(DialogControls& c) {
    const int allow = std::max(0, c.selection(kValAllow));
    const int op = std::max(0, c.selection(kValOperator));
    const auto [label1, label2] = validationLabels(allow, op);
    c.setText(kValLabel1, label1);
    c.setText(kValLabel2, label2);
    c.setEnabled(kValFormula1, !label1.empty());
    c.setEnabled(kValFormula2, !label2.empty());
    const bool operators = allow != model::kAllowAny && allow != model::kAllowList && allow != model::kAllowCustom;
    c.setEnabled(kValOperator, operators);
    c.setEnabled(kValIgnoreBlank, allow != model::kAllowAny);
    c.setEnabled(kValDropDown, allow == model::kAllowList);
  }
  ValidationEdit& m_e;
};

class InputPage final : public platform::DialogProcedure {
public:
  explicit InputPage(ValidationEdit& e) : m_e(e) {}
  void onInit(DialogControls& c) override {
    c.setChecked(kValShowInput, m_e.rule.showInput);
    c.setText(kValInputTitle, m_e.rule.inputTitle);
    c.setText(kValInputMessage, m_e.rule.inputMessage);
  }
  bool onOk(DialogControls& c) override {
    m_e.rule.showInput = c.checked(kValShowInput);
    m_e.rule.inputTitle = c.text(kValInputTitle);
    m_e.rule.inputMessage = c.text(kValInputMessage);
    return true;
  }

private:
  ValidationEdit& m_e;
};

class AlertPage final : public platform::DialogProcedure {
public:
  explicit AlertPage(ValidationEdit& e) : m_e(e) {}
  void onInit(DialogControls& c) override {
    c.setChecked(kValShowError, m_e.rule.showError);
    c.setItems(kValStyle, kStyleNames);
    c.setSelection(kValStyle, std::clamp(m_e.rule.errorStyle, 0, 2));
    c.setText(kValErrorTitle, m_e.rule.errorTitle);
    c.setText(kValErrorMessage, m_e.rule.errorMessage);
  }
  bool onOk(DialogControls& c) override {
    m_e.rule.showError = c.checked(kValShowError);
    m_e.rule.errorStyle = std::max(0, c.selection(kValStyle));
    m_e.rule.errorTitle = c.text(kValErrorTitle);
    m_e.rule.errorMessage = c.text(kValErrorMessage);
    return true;
  }

private:
  ValidationEdit& m_e;
};

platform::DialogTemplate settingsTemplate() {
  platform::DialogTemplate t;
  t.title = u"设置";
  t.width = 230;
  t.height = 150;
  t.controls = {
      {-1, ControlKind::GroupBox, u"有效性条件", 7, 5, 216, 138},
      {-1, ControlKind::Static, u"允许：", 14, 18, 60, 10},
      {kValAllow, ControlKind::ComboBox, u"", 14, 29, 90, 14},
      {kValIgnoreBlank, ControlKind::CheckBox, u"忽略空值", 120, 30, 90, 12},
      {kValOperatorLabel, ControlKind::Static, u"数据：", 14, 47, 60, 10},
      {kValOperator, ControlKind::ComboBox, u"", 14, 58, 90, 14},
      {kValDropDown, ControlKind::CheckBox, u"提供下拉箭头", 120, 59, 90, 12},
      {kValLabel1, ControlKind::Static, u"", 14, 78, 120, 10},
      {kValFormula1, ControlKind::Edit, u"", 14, 89, 196, 13},
      {kValLabel2, ControlKind::Static, u"", 14, 107, 120, 10},
      {kValFormula2, ControlKind::Edit, u"", 14, 118, 196, 13},
  };
  return t;
}

platform::DialogTemplate inputTemplate() {
  platform::DialogTemplate t;
  t.title = u"输入信息";
  t.width = 230;
  t.height = 150;
  t.controls = {
      {kValShowInput, ControlKind::CheckBox, u"选定单元格时显示输入信息", 7, 8, 200, 12},
      {-1, ControlKind::Static, u"标题：", 14, 26, 60, 10},
      {kValInputTitle, ControlKind::Edit, u"", 14, 37, 196, 13},
      {-1, ControlKind::Static, u"输入信息：", 14, 56, 60, 10},
      {kValInputMessage, ControlKind::Edit, u"", 14, 67, 196, 13},
  };
  return t;
}

platform::DialogTemplate alertTemplate() {
  platform::DialogTemplate t;
  t.title = u"出错警告";
  t.width = 230;
  t.height = 150;
  t.controls = {
      {kValShowError, ControlKind::CheckBox, u"输入无效数据时显示出错警告", 7, 8, 200, 12},
      {-1, ControlKind::Static, u"样式：", 14, 26, 60, 10},
      {kValStyle, ControlKind::ComboBox, u"", 14, 37, 70, 14},
      {-1, ControlKind::Static, u"标题：", 96, 26, 60, 10},
      {kValErrorTitle, ControlKind::Edit, u"", 96, 37, 114, 13},
      {-1, ControlKind::Static, u"错误信息：", 96, 56, 60, 10},
      {kValErrorMessage, ControlKind::Edit, u"", 96, 67, 114, 13},
  };
  return t;
}

// ---- Conditional formats ----

const std::vector<std::u16string> kKindNames = {u"单元格数值", u"公式"};

std::u16string describe(const model::FormatCondition& c) {
  std::u16string parts;
  if (c.hasFont)
    parts += u"字体 ";
  if (c.hasBorder)
    parts += u"边框 ";
  if (c.hasPattern)
    parts += u"图案 ";
  return parts.empty() ? u"未设定格式" : u"已设定格式：" + parts;
}

class ConditionPage final : public platform::DialogProcedure {
public:
  using EditFormat = std::function<std::optional<model::FormatCondition>(const model::FormatCondition&)>;
  ConditionPage(model::FormatCondition& c, const EditFormat& editFormat) : m_c(c), m_editFormat(editFormat) {}

  void onInit(DialogControls& c) override {
    c.setItems(kCfKind, kKindNames);
    c.setItems(kCfOperator, kOperatorNames);
    show(c);
  }
  int onCommand(DialogControls& c, int id, Notification) override {
    if (id == kCfKind || id == kCfOperator) {
      read(c);
      arrange(c);
    } else if (id == kCfDelete) {
      m_c = {};
      m_c.kind = 1;
      m_c.op = 1;
      show(c);
    } else if (id == kCfFormat && m_editFormat) {
      read(c);
      if (std::optional<model::FormatCondition> f = m_editFormat(m_c))
        m_c = std::move(*f);
      c.setText(kCfPreview, describe(m_c));
    }
    return 0;
  }
  bool onLeavePage(DialogControls& c) override { return onOk(c); }
  bool onOk(DialogControls& c) override {
    read(c);
    const bool range = m_c.kind == 1 && (m_c.op == 1 || m_c.op == 2);
    if (range && m_c.operand1.empty() != m_c.operand2.empty()) {
      refuse(kConditionMissingBoundText);
      c.selectText(m_c.operand1.empty() ? kCfOperand1 : kCfOperand2, 0, 0);
      return false;
    }
    return true;
  }
  static constexpr std::u16string_view kConditionMissingBoundText = u"缺少最小值或最大值";

private:
  void show(DialogControls& c) {
    // A cleared kind or operator (sets that differed) shows as the first choice.
    c.setSelection(kCfKind, m_c.kind == 2 ? 1 : 0);
    c.setSelection(kCfOperator, m_c.op >= 1 && m_c.op <= 8 ? m_c.op - 1 : 0);
    c.setText(kCfOperand1, m_c.operand1);
    c.setText(kCfOperand2, m_c.operand2);
    c.setText(kCfPreview, describe(m_c));
    arrange(c);
  }
  void read(DialogControls& c) {
    m_c.kind = c.selection(kCfKind) == 1 ? 2 : 1;
    m_c.op = std::max(0, c.selection(kCfOperator)) + 1;
    m_c.operand1 = c.text(kCfOperand1);
    m_c.operand2 = c.text(kCfOperand2);
  }
  void arrange(DialogControls& c) {
    const bool value = c.selection(kCfKind) != 1;
    const int op = std::max(0, c.selection(kCfOperator)) + 1;
    const bool range = value && (op == 1 || op == 2);
    c.setEnabled(kCfOperator, value);
    c.setText(kCfLabel1, range ? u"最小值：" : u"");
    c.setText(kCfLabel2, range ? u"最大值：" : u"");
    c.setEnabled(kCfOperand2, range);
  }
  model::FormatCondition& m_c;
  const EditFormat& m_editFormat;
};

platform::DialogTemplate conditionTemplate(int n) {
  platform::DialogTemplate t;
  t.title = u"条件 " + std::u16string(1, static_cast<char16_t>(u'0' + n));
  t.width = 300;
  t.height = 110;
  t.controls = {
      {kCfKind, ControlKind::ComboBox, u"", 7, 10, 70, 14},
      {kCfOperator, ControlKind::ComboBox, u"", 82, 10, 70, 14},
      {kCfLabel1, ControlKind::Static, u"", 157, 1, 60, 9},
      {kCfOperand1, ControlKind::Edit, u"", 157, 11, 66, 13},
      {kCfLabel2, ControlKind::Static, u"", 227, 1, 60, 9},
      {kCfOperand2, ControlKind::Edit, u"", 227, 11, 66, 13},
      {-1, ControlKind::GroupBox, u"条件为真时，待用格式如右图所示：", 7, 34, 286, 40},
      {kCfPreview, ControlKind::Static, u"", 14, 50, 150, 10},
      {kCfFormat, ControlKind::Button, u"格式...", 228, 48, 58, 14},
      {kCfDelete, ControlKind::Button, u"删除", 228, 84, 58, 14},
  };
  return t;
}

} // namespace

std::pair<std::u16string_view, std::u16string_view> validationLabels(int allow, int op) {
  const bool two = op == 0 || op == 1;
  const bool equal = op == 2 || op == 3;
  const bool lower = op == 4 || op == 6;
  const auto pick = [&](std::u16string_view from, std::u16string_view to, std::u16string_view one)
      -> std::pair<std::u16string_view, std::u16string_view> {
    if (two)
      return {from, to};
    if (equal)
      return {one, {}};
    return {lower ? from : to, {}};
  };
  switch (allow) {
  case model::kAllowWholeNumber:
  case model::kAllowDecimal:
    return pick(u"最小值：", u"最大值：", u"值：");
  case model::kAllowDate:
    return pick(u"开始日期：", u"结束日期：", u"日期：");
  case model::kAllowTime:
    return pick(u"开始时间：", u"结束时间：", u"时间：");
  case model::kAllowTextLength:
    return pick(u"最小值：", u"最大值：", u"长度：");
  case model::kAllowList:
    return {u"来源：", {}};
  case model::kAllowCustom:
    return {u"公式：", {}};
  default:
    return {};
  }
}

std::optional<model::ValidationRule> askValidation(const model::ValidationRule& initial, const OperandKinds& kinds) {
  ValidationEdit e{initial, &kinds};
  SettingsPage settings(e);
  InputPage input(e);
  AlertPage alert(e);
  platform::PropertySheetTemplate sheet;
  sheet.title = u"数据有效性";
  sheet.pages = {settingsTemplate(), inputTemplate(), alertTemplate()};
  platform::DialogProcedure* const pages[] = {&settings, &input, &alert};
  if (platform::dialogHost().runSheet(sheet, pages) != platform::kIdOk)
    return std::nullopt;
  return e.rule;
}

std::optional<ConditionPages> askConditionalFormat(
    const ConditionPages& initial,
    const std::function<std::optional<model::FormatCondition>(const model::FormatCondition&)>& editFormat) {
  ConditionPages edited = initial;
  ConditionPage p1(edited[0], editFormat), p2(edited[1], editFormat), p3(edited[2], editFormat);
  platform::PropertySheetTemplate sheet;
  sheet.title = u"条件格式";
  sheet.pages = {conditionTemplate(1), conditionTemplate(2), conditionTemplate(3)};
  platform::DialogProcedure* const pages[] = {&p1, &p2, &p3};
  if (platform::dialogHost().runSheet(sheet, pages) != platform::kIdOk)
    return std::nullopt;
  return edited;
}

namespace {

// The condition's parts as the reduced format dialog shows them: a set
// attribute is present, an unset one is left to the cell's own format.
edit::FormatDialogState conditionState(const model::FormatCondition& c) {
  edit::FormatDialogState s;
  s.reduced = true;
  const auto flag = [](edit::FormatAttribute<bool>& a, const model::ConditionSetting& v) {
    if (v.set)
      a = {true, false, v.value != 0};
  };
  const auto number = [](edit::FormatAttribute<int>& a, const model::ConditionSetting& v) {
    if (v.set)
      a = {true, false, v.value};
  };
  if (c.hasFont) {
    flag(s.bold, c.font[model::kCondBold]);
    flag(s.italic, c.font[model::kCondItalic]);
    flag(s.underline, c.font[model::kCondUnderline]);
    flag(s.strikeOut, c.font[model::kCondStrikeOut]);
    if (const model::ConditionSetting& v = c.font[model::kCondColour]; v.set)
      s.fontColour = {true, false, v.value == model::kConditionAutomaticColour ? edit::kAutomaticColour : v.value};
  }
  if (c.hasBorder)
    for (size_t i = 0; i < c.borders.size(); ++i)
      if (c.borders[i].set)
        s.borders[static_cast<size_t>(kConditionSides[i])] = {true, false, {c.borders[i].style, c.borders[i].colour}};
  if (c.hasPattern) {
    number(s.pattern, c.pattern[model::kCondFill]);
    number(s.colour1, c.pattern[model::kCondPatternColour]);
    number(s.colour2, c.pattern[model::kCondBackgroundColour]);
  }
  return s;
}

// Back into the condition: exactly the attributes the dialog holds (kept
// or set by the user); those it cleared are no longer set.
void storeConditionState(const edit::FormatDialogState& s, model::FormatCondition& c) {
  const auto flag = [](const edit::FormatAttribute<bool>& a) {
    return a.present ? model::ConditionSetting{true, a.value ? 1 : 0} : model::ConditionSetting{};
  };
  const auto number = [](const edit::FormatAttribute<int>& a) {
    return a.present ? model::ConditionSetting{true, a.value} : model::ConditionSetting{};
  };
  c.font[model::kCondBold] = flag(s.bold);
  c.font[model::kCondItalic] = flag(s.italic);
  c.font[model::kCondUnderline] = flag(s.underline);
  c.font[model::kCondStrikeOut] = flag(s.strikeOut);
  c.font[model::kCondColour] = s.fontColour.present
                                   ? model::ConditionSetting{true, s.fontColour.value < 0 ? model::kConditionAutomaticColour
                                                                                          : s.fontColour.value}
                                   : model::ConditionSetting{};
  for (size_t i = 0; i < c.borders.size(); ++i) {
    const edit::FormatAttribute<model::Border>& a = s.borders[static_cast<size_t>(kConditionSides[i])];
    c.borders[i] = a.present ? model::ConditionBorder{true, a.value.style, a.value.colour} : model::ConditionBorder{};
  }
  c.pattern[model::kCondFill] = number(s.pattern);
  c.pattern[model::kCondPatternColour] = number(s.colour1);
  c.pattern[model::kCondBackgroundColour] = number(s.colour2);
  // Other programs, and the painter, fill a solid conditional pattern (or a
  // colour given without a pattern) with its background colour: such a
  // fill states its colour in both.
  if (s.colour1.present && (!s.pattern.present || s.pattern.value == 1))
    c.pattern[model::kCondBackgroundColour] = number(s.colour1);
  const auto any = [](const auto& parts) {
    return std::any_of(parts.begin(), parts.end(), [](const auto& p) { return p.set; });
  };
  c.hasFont = any(c.font);
  c.hasBorder = any(c.borders);
  c.hasPattern = any(c.pattern);
}

} // namespace

std::optional<model::FormatCondition> askConditionFormat(const model::Workbook& book,
                                                         const model::FormatCondition& initial) {
  edit::FormatDialogState state = conditionState(initial);
  // The first page whose part is present; with none, the page last used.
  const int start = initial.hasFont ? 0 : initial.hasBorder ? 1 : initial.hasPattern ? 2 : -1;
  if (!showFormatDialog(book, state, start))
    return std::nullopt;
  model::FormatCondition edited = initial;
  storeConditionState(state, edited);
  return edited;
}

} // namespace dialogs

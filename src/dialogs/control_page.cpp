#include "dialogs/control_page.h"

#include "dialogs/prompt_dialog.h"
#include "platform/ui_services.h"

#include <cmath>

namespace dialogs {

using platform::ControlKind;
using platform::DialogControl;

namespace {

bool isNumberKind(std::uint16_t kind) { return kind == model::kObjectScrollBar || kind == model::kObjectSpinner; }
bool isListKind(std::uint16_t kind) { return kind == model::kObjectListBox || kind == model::kObjectComboBox; }
bool isStateKind(std::uint16_t kind) { return kind == model::kObjectCheckBox || kind == model::kObjectOptionButton; }

std::u16string trimmed(std::u16string_view t) {
  while (!t.empty() && t.front() == u' ')
    t.remove_prefix(1);
  while (!t.empty() && t.back() == u' ')
    t.remove_suffix(1);
  return std::u16string(t);
}

void refuse(platform::DialogControls& c, int id, std::u16string_view message) {
  platform::ui().messageBox(message, std::nullopt, platform::MessageButtons::Ok, platform::MessageIcon::None);
  c.selectText(id, 0, static_cast<int>(c.text(id).size()));
}

} // namespace

bool hasControlPage(std::uint16_t kind) { return isNumberKind(kind) || isListKind(kind) || isStateKind(kind); }

platform::DialogTemplate controlPageTemplate(std::uint16_t kind) {
  platform::DialogTemplate t;
  t.title = u"控制";
  t.width = 230;
  int y = 7;
  // One labelled edit per row.
  const auto row = [&](int id, std::u16string_view label, int limit) {
    t.controls.push_back({-1, ControlKind::Static, std::u16string(label), 7, y + 2, 90, 10});
    t.controls.push_back({id, ControlKind::Edit, {}, 100, y, 120, 14, 0, limit});
    y += 20;
  };
  if (isStateKind(kind)) {
    t.controls.push_back({-1, ControlKind::GroupBox, u"值：", 7, y, 216, kind == model::kObjectCheckBox ? 58 : 44});
    t.controls.push_back({kControlUnchecked, ControlKind::Radio, u"未选中状态", 15, y + 12, 120, 12,
                          platform::kStyleGroupStart});
    t.controls.push_back({kControlChecked, ControlKind::Radio, u"选中状态", 15, y + 26, 120, 12});
    if (kind == model::kObjectCheckBox)
      t.controls.push_back({kControlMixed, ControlKind::Radio, u"混合状态", 15, y + 40, 120, 12});
    y += kind == model::kObjectCheckBox ? 66 : 52;
  }
  if (isNumberKind(kind)) {
    row(kControlValue, u"当前值：", 5);
    row(kControlMinimum, u"最小值：", 5);
    row(kControlMaximum, u"最大值：", 5);
    row(kControlIncrement, u"点击两端滚动速度：", 5);
    if (kind == model::kObjectScrollBar)
      row(kControlPageChange, u"点击中间跳跃速度：", 5);
  }
  if (isListKind(kind))
    row(kControlInputRange, u"输入范围：", 255);
  row(kControlLinkedCell, u"链接单元格：", 255);
  if (kind == model::kObjectComboBox)
    row(kControlDropDownLines, u"向下移动行数：", 5);
  t.controls.push_back({kControlFlat, ControlKind::CheckBox, u"三维阴影", 7, y + 4, 120, 12});
  t.height = y + 24;
  return t;
}

ControlPage::ControlPage(const model::Workbook& book, int sheet, std::uint16_t kind,
                         const drawing::ControlPayload& control)
    : m_book(book), m_sheet(sheet), m_kind(kind), m_control(control) {}

void ControlPage::onInit(platform::DialogControls& c) {
  c.setChecked(kControlUnchecked, m_control.value == drawing::kUnchecked);
  c.setChecked(kControlChecked, m_control.value == drawing::kChecked);
  c.setChecked(kControlMixed, m_control.value == drawing::kMixed);
  const auto number = [&](int id, int v) { c.setText(id, dialogNumberText(v)); };
  number(kControlValue, m_control.value);
  number(kControlMinimum, m_control.minimum);
  number(kControlMaximum, m_control.maximum);
  number(kControlIncrement, m_control.increment);
  number(kControlPageChange, m_control.pageChange);
  number(kControlDropDownLines, m_control.dropDownLines);
  c.setText(kControlLinkedCell, m_control.linkedCell);
  c.setText(kControlInputRange, m_control.inputRange);
  c.setChecked(kControlFlat, !m_control.flat);
}

bool ControlPage::onOk(platform::DialogControls& c) {
  drawing::ControlPayload out = m_control;
  // Numbers: whole, from 0; above 30000 taken as 30000.
  const auto number = [&](int id, std::uint16_t& into) {
    if (id == kControlDropDownLines ? m_kind != model::kObjectComboBox : !isNumberKind(m_kind))
      return true;
    if (id == kControlPageChange && m_kind != model::kObjectScrollBar)
      return true;
    const std::optional<double> v = parseDialogNumber(c.text(id));
    if (!v || *v < 0) {
      refuse(c, id, kMessageInvalidControlReference);
      return false;
    }
    into = drawing::clampNumber(std::trunc(*v));
    return true;
  };
  std::uint16_t value = out.value;
  if (!number(kControlMinimum, out.minimum) || !number(kControlMaximum, out.maximum) ||
      !number(kControlValue, value) || !number(kControlIncrement, out.increment) ||
      !number(kControlPageChange, out.pageChange) || !number(kControlDropDownLines, out.dropDownLines))
    return false;
  if (isNumberKind(m_kind)) {
    if (out.maximum < out.minimum) {
      refuse(c, kControlMaximum, kMessageMaximumBelowMinimum);
      return false;
    }
    out.value = value;
  }
  // References: empty clears the link, anything else must read as one.
  const auto reference = [&](int id, std::u16string& into) {
    if (id == kControlInputRange && !isListKind(m_kind))
      return true;
    const std::u16string text = trimmed(c.text(id));
    if (text.empty()) {
      into.clear();
      return true;
    }
    if (!drawing::resolveReference(m_book, m_sheet, text)) {
      refuse(c, id, kMessageInvalidControlReference);
      return false;
    }
    into = text.front() == u'=' ? text.substr(1) : text;
    return true;
  };
  if (!reference(kControlInputRange, out.inputRange) || !reference(kControlLinkedCell, out.linkedCell))
    return false;
  if (isStateKind(m_kind))
    out.value = c.checked(kControlMixed) && m_kind == model::kObjectCheckBox ? drawing::kMixed
                : c.checked(kControlChecked)                                 ? drawing::kChecked
                                                                             : drawing::kUnchecked;
  out.flat = !c.checked(kControlFlat);
  drawing::clampControl(out, m_kind);
  m_control = out;
  return true;
}

std::optional<drawing::ControlPayload> formatControl(const model::Workbook& book, int sheet, std::uint16_t kind,
                                                     const drawing::ControlPayload& control) {
  if (!hasControlPage(kind))
    return std::nullopt;
  ControlPage page(book, sheet, kind, control);
  platform::PropertySheetTemplate t;
  t.title = std::u16string(kControlFormatTitle);
  t.pages.push_back(controlPageTemplate(kind));
  platform::DialogProcedure* pages[] = {&page};
  if (platform::dialogHost().runSheet(t, pages) != platform::kIdOk)
    return std::nullopt;
  return page.result();
}

} // namespace dialogs

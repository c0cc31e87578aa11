#include "dialogs/filter_dialogs.h"

#include "platform/dialog.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace dialogs {

using platform::ControlKind;
using platform::DialogControls;

const std::u16string_view kCustomOperatorNames[datatools::kCustomOperatorCount] = {
    u"",       u"等于",       u"不等于", u"大于",       u"大于或等于", u"小于",   u"小于或等于",
    u"始于",   u"并非起始于", u"止于",   u"并非结束于", u"包含",       u"不包含",
};

namespace {

constexpr int kMostTopTen = 500;

void okCancel(platform::DialogTemplate& t, int x, int y) {
  t.controls.push_back({platform::kIdOk, ControlKind::Button, u"确定", x, y, 50, 14, platform::kStyleDefault});
  t.controls.push_back({platform::kIdCancel, ControlKind::Button, u"取消", x, y + 18, 50, 14});
}

std::u16string numberText(int n) {
  const std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

// The digits typed, as a count; what is not a number counts as 0.
int countOf(std::u16string_view text) {
  std::string digits;
  for (const char16_t c : text) {
    if (c == u' ')
      continue;
    if (c < u'0' || c > u'9')
      return 0;
    digits += static_cast<char>(c);
    if (digits.size() > 6)
      return kMostTopTen + 1; // more than any count needs
  }
  int n = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), n);
  return n;
}

class TopTenProcedure final : public platform::DialogProcedure {
public:
  explicit TopTenProcedure(const model::FilterCriterion& current) {
    if (current.topActive) {
      m_choice.top = current.top;
      m_choice.count = current.count;
      m_choice.percent = current.percent;
    }
  }
  void onInit(DialogControls& c) override {
    c.setItems(kTopTenWhich, {u"靠上", u"靠下"});
    c.setSelection(kTopTenWhich, m_choice.top ? 0 : 1);
    c.setText(kTopTenCount, numberText(m_choice.count));
    c.setItems(kTopTenUnit, {u"项", u"百分比"});
    c.setSelection(kTopTenUnit, m_choice.percent ? 1 : 0);
  }
  bool onOk(DialogControls& c) override {
    m_choice.top = c.selection(kTopTenWhich) != 1;
    m_choice.percent = c.selection(kTopTenUnit) == 1;
    m_choice.count = std::clamp(countOf(c.text(kTopTenCount)), 1, kMostTopTen);
    return true;
  }
  const datatools::TopTenChoice& choice() const { return m_choice; }

private:
  datatools::TopTenChoice m_choice;
};

class CustomProcedure final : public platform::DialogProcedure {
public:
  CustomProcedure(const model::FilterCriterion& current, const std::vector<std::u16string>& values)
      : m_values(values) {
    m_choice.orJoin = current.orJoin;
    if (!current.topActive)
      for (int k = 0; k < 2; ++k)
        m_choice.rows[k] = datatools::customRowOfCondition(current.conditions[static_cast<size_t>(k)]);
  }
  void onInit(DialogControls& c) override {
    std::vector<std::u16string> names;
    for (const std::u16string_view n : kCustomOperatorNames)
      names.emplace_back(n);
    for (int k = 0; k < 2; ++k) {
      c.setItems(kCustomOperatorFirst + k, names);
      // A new first row offers equality, as a list entry would.
      const int op = m_choice.rows[k].op;
      c.setSelection(kCustomOperatorFirst + k, k == 0 && op == datatools::kCustomNone ? datatools::kCustomEqual : op);
      c.setItems(kCustomValueFirst + k, m_values);
      c.setText(kCustomValueFirst + k, m_choice.rows[k].text);
    }
    c.setChecked(m_choice.orJoin ? kCustomOr : kCustomAnd, true);
  }
  bool onOk(DialogControls& c) override {
    for (int k = 0; k < 2; ++k) {
      const int op = c.selection(kCustomOperatorFirst + k);
      m_choice.rows[k] = {op < 0 ? datatools::kCustomNone : op, c.text(kCustomValueFirst + k)};
    }
    m_choice.orJoin = c.checked(kCustomOr);
    return true;
  }
  const datatools::CustomChoice& choice() const { return m_choice; }

private:
  datatools::CustomChoice m_choice;
  const std::vector<std::u16string>& m_values;
};

} // namespace

std::optional<datatools::TopTenChoice> askTopTen(const model::FilterCriterion& current) {
  platform::DialogTemplate t;
  t.title = u"自动筛选前 10 个";
  t.width = 220;
  t.height = 56;
  t.controls.push_back({-1, ControlKind::GroupBox, u"显示", 7, 4, 150, 44});
  t.controls.push_back({kTopTenWhich, ControlKind::ComboBox, u"", 14, 22, 44, 13});
  platform::DialogControl count{kTopTenCount, ControlKind::Edit, u"", 63, 22, 38, 13, platform::kStyleUpDown};
  count.low = 1;
  count.high = kMostTopTen;
  t.controls.push_back(count);
  t.controls.push_back({kTopTenUnit, ControlKind::ComboBox, u"", 106, 22, 44, 13});
  okCancel(t, 163, 7);
  TopTenProcedure procedure(current);
  if (platform::dialogHost().run(t, procedure) != platform::kIdOk)
    return std::nullopt;
  return procedure.choice();
}

std::optional<datatools::CustomChoice> askCustomFilter(const model::FilterCriterion& current,
                                                       std::u16string_view column,
                                                       const std::vector<std::u16string>& values) {
  platform::DialogTemplate t;
  t.title = u"自定义自动筛选";
  t.width = 250;
  t.height = 104;
  t.controls.push_back({-1, ControlKind::Static, u"显示行：", 7, 7, 180, 10});
  t.controls.push_back({-1, ControlKind::GroupBox, std::u16string(column), 7, 19, 180, 80});
  for (int k = 0; k < 2; ++k) {
    const int y = 32 + k * 44;
    t.controls.push_back({kCustomOperatorFirst + k, ControlKind::ComboBox, u"", 14, y, 70, 13});
    t.controls.push_back({kCustomValueFirst + k, ControlKind::ComboBox, u"", 90, y, 90, 13, platform::kStyleEditable});
  }
  t.controls.push_back({kCustomAnd, ControlKind::Radio, u"与", 30, 55, 40, 11, platform::kStyleGroupStart});
  t.controls.push_back({kCustomOr, ControlKind::Radio, u"或", 80, 55, 40, 11});
  okCancel(t, 193, 7);
  CustomProcedure procedure(current, values);
  if (platform::dialogHost().run(t, procedure) != platform::kIdOk)
    return std::nullopt;
  return procedure.choice();
}

} // namespace dialogs

#include "dialogs/edit_dialogs.h"

#include "formula/text_value.h"
#include "platform/dialog.h"
#include "platform/locale_strings.h"

#include <array>
#include <string_view>

namespace dialogs {
namespace {

using platform::ControlKind;
using platform::DialogControls;

class ChoiceProcedure final : public platform::DialogProcedure {
public:
  void onInit(DialogControls& c) override { c.setChecked(kShiftFirst + kShiftVertically, true); }
  bool onOk(DialogControls& c) override {
    for (int i = 0; i < 4; ++i)
      if (c.checked(kShiftFirst + i))
        m_choice = i;
    return true;
  }
  int choice() const { return m_choice; }

private:
  int m_choice = kShiftVertically;
};

std::optional<int> askChoice(std::u16string_view title, const std::array<std::u16string_view, 4>& texts) {
  platform::DialogTemplate t;
  t.title = std::u16string(title);
  t.width = 160;
  t.height = 82;
  for (int i = 0; i < 4; ++i)
    t.controls.push_back({kShiftFirst + i, ControlKind::Radio, std::u16string(texts[static_cast<size_t>(i)]), 10,
                          8 + i * 15, 90, 12, i == 0 ? platform::kStyleGroupStart : 0u});
  t.controls.push_back({platform::kIdOk, ControlKind::Button, u"确定", 104, 8, 50, 14, platform::kStyleDefault});
  t.controls.push_back({platform::kIdCancel, ControlKind::Button, u"取消", 104, 26, 50, 14});
  ChoiceProcedure procedure;
  if (platform::dialogHost().run(t, procedure) != platform::kIdOk)
    return std::nullopt;
  return procedure.choice();
}

constexpr std::array<std::u16string_view, 3> kTypes = {u"等差序列", u"等比序列", u"日期"};
constexpr std::array<std::u16string_view, 4> kUnits = {u"日", u"工作日", u"月", u"年"};

// A number typed in a box: nothing for an empty box, false when unreadable.
bool readBox(const std::u16string& text, std::optional<double>& out) {
  size_t a = 0, b = text.size();
  while (a < b && text[a] == u' ')
    ++a;
  while (b > a && text[b - 1] == u' ')
    --b;
  out.reset();
  if (a == b)
    return true;
  double v = 0;
  if (!formula::readNumber(text, a, b, false, v, platform::localeStrings()))
    return false;
  out = v;
  return true;
}

class SeriesProcedure final : public platform::DialogProcedure {
public:
  SeriesProcedure(bool rows, const std::function<std::u16string(bool)>& defaultStep)
      : m_rows(rows), m_defaultStep(defaultStep) {}

  void onInit(DialogControls& c) override {
    c.setChecked(m_rows ? kSeriesRows : kSeriesColumns, true);
    c.setChecked(kSeriesTypeFirst, true);
    c.setChecked(kSeriesUnitFirst, true);
    enableUnits(c);
    showStep(c);
  }
  int onCommand(DialogControls& c, int id, platform::Notification what) override {
    if (what != platform::Notification::Clicked)
      return 0;
    if (id == kSeriesRows || id == kSeriesColumns) {
      const bool rows = c.checked(kSeriesRows);
      if (rows != m_rows) {
        m_rows = rows;
        showStep(c);
      }
    } else if (id >= kSeriesTypeFirst && id < kSeriesTypeFirst + 3) {
      enableUnits(c);
    }
    return 0;
  }
  bool onOk(DialogControls& c) override {
    SeriesChoice s;
    s.rows = c.checked(kSeriesRows);
    for (int i = 0; i < 3; ++i)
      if (c.checked(kSeriesTypeFirst + i))
        s.type = i;
    for (int i = 0; i < 4; ++i)
      if (c.checked(kSeriesUnitFirst + i))
        s.unit = i;
    for (const int box : {kSeriesStep, kSeriesStop}) {
      const std::u16string text = c.text(box);
      if (!readBox(text, box == kSeriesStep ? s.step : s.stop)) {
        c.selectText(box, 0, static_cast<int>(text.size()));
        return false;
      }
    }
    m_choice = s;
    return true;
  }
  const SeriesChoice& choice() const { return m_choice; }

private:
  void enableUnits(DialogControls& c) {
    const bool date = c.checked(kSeriesTypeFirst + 2);
    for (int i = 0; i < 4; ++i)
      c.setEnabled(kSeriesUnitFirst + i, date);
  }
  void showStep(DialogControls& c) {
    if (m_defaultStep)
      c.setText(kSeriesStep, m_defaultStep(m_rows));
  }

  bool m_rows;
  const std::function<std::u16string(bool)>& m_defaultStep;
  SeriesChoice m_choice;
};

} // namespace

std::optional<int> askInsertCells() {
  return askChoice(u"插入", {u"活动单元格右移(&I)", u"活动单元格下移(&D)", u"整行(&R)", u"整列(&C)"});
}

std::optional<int> askDeleteCells() {
  return askChoice(u"删除", {u"右侧单元格左移(&L)", u"下方单元格上移(&U)", u"整行(&R)", u"整列(&C)"});
}

std::optional<SeriesChoice> askSeries(bool rows, const std::function<std::u16string(bool)>& defaultStep) {
  platform::DialogTemplate t;
  t.title = u"序列";
  t.width = 250;
  t.height = 120;
  t.controls.push_back({-1, ControlKind::GroupBox, u"序列产生在", 7, 5, 60, 50});
  t.controls.push_back({kSeriesRows, ControlKind::Radio, u"行", 14, 18, 45, 12, platform::kStyleGroupStart});
  t.controls.push_back({kSeriesColumns, ControlKind::Radio, u"列", 14, 34, 45, 12});
  t.controls.push_back({-1, ControlKind::GroupBox, u"类型", 72, 5, 75, 62});
  for (int i = 0; i < 3; ++i)
    t.controls.push_back({kSeriesTypeFirst + i, ControlKind::Radio, std::u16string(kTypes[static_cast<size_t>(i)]), 79,
                          18 + i * 15, 64, 12, i == 0 ? platform::kStyleGroupStart : 0u});
  t.controls.push_back({-1, ControlKind::GroupBox, u"日期单位", 152, 5, 90, 62});
  for (int i = 0; i < 4; ++i)
    t.controls.push_back({kSeriesUnitFirst + i, ControlKind::Radio, std::u16string(kUnits[static_cast<size_t>(i)]),
                          159, 16 + i * 12, 75, 11, i == 0 ? platform::kStyleGroupStart : 0u});
  t.controls.push_back({-1, ControlKind::Static, u"步长值", 7, 78, 45, 10});
  t.controls.push_back({kSeriesStep, ControlKind::Edit, u"", 52, 76, 55, 13});
  t.controls.push_back({-1, ControlKind::Static, u"终止值", 115, 78, 45, 10});
  t.controls.push_back({kSeriesStop, ControlKind::Edit, u"", 160, 76, 55, 13});
  t.controls.push_back({platform::kIdOk, ControlKind::Button, u"确定", 130, 100, 50, 14, platform::kStyleDefault});
  t.controls.push_back({platform::kIdCancel, ControlKind::Button, u"取消", 190, 100, 50, 14});
  SeriesProcedure procedure(rows, defaultStep);
  if (platform::dialogHost().run(t, procedure) != platform::kIdOk)
    return std::nullopt;
  return procedure.choice();
}

} // namespace dialogs

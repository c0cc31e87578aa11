#include "dialogs/data_dialogs.h"

#include "platform/dialog.h"
#include "platform/ui_services.h"

namespace dialogs {
namespace {

using platform::ControlKind;
using platform::DialogControls;

void okCancel(platform::DialogTemplate& t, int x, int y) {
  t.controls.push_back({platform::kIdOk, ControlKind::Button, u"确定", x, y, 50, 14, platform::kStyleDefault});
  t.controls.push_back({platform::kIdCancel, ControlKind::Button, u"取消", x, y + 18, 50, 14});
}

// ---- Sort ----

class SortProcedure final : public platform::DialogProcedure {
public:
  SortProcedure(const SortChoice& initial,
                const std::function<std::vector<std::u16string>(bool, bool)>& keyNames)
      : m_choice(initial), m_keyNames(keyNames) {}

  void onInit(DialogControls& c) override {
    c.setItems(kSortDirection, {u"行", u"列"});
    c.setSelection(kSortDirection, m_choice.byColumns ? 1 : 0);
    c.setChecked(kSortHeader, m_choice.hasHeader);
    c.setChecked(kSortCase, m_choice.caseSensitive);
    for (int k = 0; k < 3; ++k)
      c.setChecked(kSortAscendingFirst + 2 * k + (m_choice.ascending[static_cast<size_t>(k)] ? 0 : 1), true);
    fillKeys(c);
  }
  int onCommand(DialogControls& c, int id, platform::Notification) override {
    if (id == kSortDirection || id == kSortHeader) {
      const bool byColumns = c.selection(kSortDirection) == 1;
      const bool header = c.checked(kSortHeader);
      if (byColumns != m_choice.byColumns || header != m_choice.hasHeader) {
        readKeys(c);
        m_choice.byColumns = byColumns;
        m_choice.hasHeader = header;
        fillKeys(c);
      }
    }
    return 0;
  }
  bool onOk(DialogControls& c) override {
    m_choice.byColumns = c.selection(kSortDirection) == 1;
    m_choice.hasHeader = c.checked(kSortHeader);
    m_choice.caseSensitive = c.checked(kSortCase);
    readKeys(c);
    for (int k = 0; k < 3; ++k)
      m_choice.ascending[static_cast<size_t>(k)] = !c.checked(kSortAscendingFirst + 2 * k + 1);
    return m_choice.keys[0] >= 0;
  }
  const SortChoice& choice() const { return m_choice; }

private:
  void readKeys(DialogControls& c) {
    m_choice.keys[0] = c.selection(kSortKeyFirst);
    for (int k = 1; k < 3; ++k)
      m_choice.keys[static_cast<size_t>(k)] = c.selection(kSortKeyFirst + k) - 1; // item 0 is "(无)"
  }
  void fillKeys(DialogControls& c) {
    std::vector<std::u16string> names = m_keyNames ? m_keyNames(m_choice.byColumns, m_choice.hasHeader)
                                                   : std::vector<std::u16string>{};
    c.setItems(kSortKeyFirst, names);
    std::vector<std::u16string> optional{u"(无)"};
    optional.insert(optional.end(), names.begin(), names.end());
    for (int k = 1; k < 3; ++k)
      c.setItems(kSortKeyFirst + k, optional);
    const int count = static_cast<int>(names.size());
    const auto clamp = [&](int v) { return v < count ? v : -1; };
    c.setSelection(kSortKeyFirst, std::max(clamp(m_choice.keys[0]), count > 0 ? 0 : -1));
    for (int k = 1; k < 3; ++k)
      c.setSelection(kSortKeyFirst + k, clamp(m_choice.keys[static_cast<size_t>(k)]) + 1);
  }

  SortChoice m_choice;
  const std::function<std::vector<std::u16string>(bool, bool)>& m_keyNames;
};

// ---- Go to ----

class GoToProcedure final : public platform::DialogProcedure {
public:
  GoToProcedure(std::u16string_view initial, const std::function<bool(std::u16string_view)>& valid)
      : m_text(initial), m_valid(valid) {}
  void onInit(DialogControls& c) override {
    c.setText(kGoToReference, m_text);
    c.setEnabled(platform::kIdOk, accepts(m_text));
  }
  int onCommand(DialogControls& c, int id, platform::Notification what) override {
    if (id == kGoToReference && what == platform::Notification::Changed)
      c.setEnabled(platform::kIdOk, accepts(c.text(kGoToReference)));
    return 0;
  }
  bool onOk(DialogControls& c) override {
    m_text = c.text(kGoToReference);
    return accepts(m_text);
  }
  const std::u16string& text() const { return m_text; }

private:
  bool accepts(std::u16string_view t) const { return m_valid && m_valid(t); }
  std::u16string m_text;
  const std::function<bool(std::u16string_view)>& m_valid;
};

// ---- Goal seek ----

class GoalSeekProcedure final : public platform::DialogProcedure {
public:
  GoalSeekProcedure(std::u16string_view target, const GoalSeekCheck& check) : m_check(check) {
    m_texts.target = std::u16string(target);
  }
  void onInit(DialogControls& c) override { c.setText(kGoalTarget, m_texts.target); }
  bool onOk(DialogControls& c) override {
    GoalSeekTexts t{c.text(kGoalTarget), c.text(kGoalValue), c.text(kGoalChanging)};
    if (m_check) {
      if (const auto refusal = m_check(t)) {
        platform::ui().messageBox(refusal->first, u"单变量求解", platform::MessageButtons::Ok,
                                  platform::MessageIcon::Warning);
        const int box = kGoalTarget + refusal->second;
        c.selectText(box, 0, static_cast<int>(c.text(box).size()));
        return false;
      }
    }
    m_texts = std::move(t);
    return true;
  }
  const GoalSeekTexts& texts() const { return m_texts; }

private:
  GoalSeekTexts m_texts;
  const GoalSeekCheck& m_check;
};

} // namespace

std::optional<SortChoice> askSort(const SortChoice& initial,
                                  const std::function<std::vector<std::u16string>(bool, bool)>& keyNames) {
  platform::DialogTemplate t;
  t.title = u"排序";
  t.width = 260;
  t.height = 160;
  t.controls.push_back({-1, ControlKind::Static, u"排序根据", 7, 9, 45, 10});
  t.controls.push_back({kSortDirection, ControlKind::ComboBox, u"", 55, 7, 60, 13});
  t.controls.push_back({-1, ControlKind::Static, u"按照", 7, 30, 45, 10});
  for (int k = 0; k < 3; ++k) {
    const int y = 28 + k * 32;
    t.controls.push_back({kSortKeyFirst + k, ControlKind::ComboBox, u"", 55, y, 90, 13});
    t.controls.push_back({kSortAscendingFirst + 2 * k, ControlKind::Radio, u"升序", 150, y - 2, 40, 11,
                          platform::kStyleGroupStart});
    t.controls.push_back({kSortAscendingFirst + 2 * k + 1, ControlKind::Radio, u"降序", 150, y + 10, 40, 11});
  }
  t.controls.push_back({kSortHeader, ControlKind::CheckBox, u"有标题行", 7, 126, 70, 12});
  t.controls.push_back({kSortCase, ControlKind::CheckBox, u"区分大小写", 80, 126, 70, 12});
  okCancel(t, 202, 7);
  SortProcedure procedure(initial, keyNames);
  if (platform::dialogHost().run(t, procedure) != platform::kIdOk)
    return std::nullopt;
  return procedure.choice();
}

std::optional<std::u16string> askGoTo(std::u16string_view initial, const std::function<bool(std::u16string_view)>& valid) {
  platform::DialogTemplate t;
  t.title = u"定位";
  t.width = 200;
  t.height = 60;
  t.controls.push_back({-1, ControlKind::Static, u"引用位置：", 7, 8, 120, 10});
  t.controls.push_back({kGoToReference, ControlKind::Edit, u"", 7, 22, 125, 13});
  okCancel(t, 142, 7);
  GoToProcedure procedure(initial, valid);
  if (platform::dialogHost().run(t, procedure) != platform::kIdOk)
    return std::nullopt;
  return procedure.text();
}

std::optional<GoalSeekTexts> askGoalSeek(std::u16string_view target, const GoalSeekCheck& check) {
  platform::DialogTemplate t;
  t.title = u"单变量求解";
  t.width = 190;
  t.height = 72;
  static constexpr std::u16string_view kLabels[] = {u"目标单元格：", u"目标值：", u"可变单元格："};
  for (int i = 0; i < 3; ++i) {
    t.controls.push_back({-1, ControlKind::Static, std::u16string(kLabels[i]), 7, 9 + i * 20, 55, 10});
    t.controls.push_back({kGoalTarget + i, ControlKind::Edit, u"", 64, 7 + i * 20, 60, 13});
  }
  okCancel(t, 132, 7);
  GoalSeekProcedure procedure(target, check);
  if (platform::dialogHost().run(t, procedure) != platform::kIdOk)
    return std::nullopt;
  return procedure.texts();
}

bool showGoalSeekStatus(bool solved, std::u16string_view goal, std::u16string_view current) {
  platform::DialogTemplate t;
  t.title = u"单变量求解状态";
  t.width = 190;
  t.height = 66;
  t.controls.push_back({-1, ControlKind::Static, u"单变量求解", 7, 7, 120, 10});
  t.controls.push_back({-1, ControlKind::Static, solved ? u"求得一个解" : u"没找到满足条件的解", 7, 19, 120, 10});
  t.controls.push_back({-1, ControlKind::Static, u"目标值：", 7, 33, 45, 10});
  t.controls.push_back({-1, ControlKind::Static, std::u16string(goal), 55, 33, 70, 10});
  t.controls.push_back({-1, ControlKind::Static, u"当前值：", 7, 45, 45, 10});
  t.controls.push_back({-1, ControlKind::Static, std::u16string(current), 55, 45, 70, 10});
  okCancel(t, 132, 7);
  platform::DialogProcedure procedure;
  return platform::dialogHost().run(t, procedure) == platform::kIdOk;
}

} // namespace dialogs

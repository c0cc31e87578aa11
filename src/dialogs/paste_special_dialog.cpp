#include "dialogs/paste_special_dialog.h"

#include "platform/dialog.h"

#include <array>
#include <string_view>

namespace dialogs {
namespace {

using platform::ControlKind;
using platform::DialogControls;

constexpr std::array<std::u16string_view, 7> kParts = {
    u"全部",           u"公式(&F)",       u"数值(&V)",           u"格式(&T)",
    u"批注(&C)",       u"边框除外(&X)",   u"有效性验证(&N)",
};
constexpr std::array<std::u16string_view, 5> kOperations = {
    u"无(&O)", u"加(&A)", u"减(&S)", u"乘(&M)", u"除(&I)",
};

class PasteSpecialProcedure final : public platform::DialogProcedure {
public:
  void onInit(DialogControls& c) override {
    c.setChecked(kPastePartFirst, true);
    c.setChecked(kPasteOperationFirst, true);
    c.setChecked(kPasteSkipBlanks, false);
  }
  bool onOk(DialogControls& c) override {
    for (int i = 0; i < static_cast<int>(kParts.size()); ++i)
      if (c.checked(kPastePartFirst + i))
        m_choice.part = i + 1;
    for (int i = 0; i < static_cast<int>(kOperations.size()); ++i)
      if (c.checked(kPasteOperationFirst + i))
        m_choice.operation = i + 1;
    m_choice.skipBlanks = c.checked(kPasteSkipBlanks);
    return true;
  }
  const PasteSpecialChoice& choice() const { return m_choice; }

private:
  PasteSpecialChoice m_choice;
};

} // namespace

std::optional<PasteSpecialChoice> askPasteSpecial() {
  platform::DialogTemplate t;
  t.title = u"选择性粘贴";
  t.width = 220;
  t.height = 168;
  t.controls.push_back({kPastePartGroup, ControlKind::GroupBox, u"粘贴：", 7, 5, 206, 62});
  for (int i = 0; i < static_cast<int>(kParts.size()); ++i)
    t.controls.push_back({kPastePartFirst + i, ControlKind::Radio, std::u16string(kParts[static_cast<size_t>(i)]),
                          14 + (i % 2) * 100, 16 + (i / 2) * 12, 95, 10, i == 0 ? platform::kStyleGroupStart : 0u});
  t.controls.push_back({kPasteOperationGroup, ControlKind::GroupBox, u"运算：", 7, 70, 206, 50});
  for (int i = 0; i < static_cast<int>(kOperations.size()); ++i)
    t.controls.push_back({kPasteOperationFirst + i, ControlKind::Radio,
                          std::u16string(kOperations[static_cast<size_t>(i)]), 14 + (i % 2) * 100,
                          81 + (i / 2) * 12, 95, 10, i == 0 ? platform::kStyleGroupStart : 0u});
  t.controls.push_back({kPasteSkipBlanks, ControlKind::CheckBox, u"跳过空单元(&B)", 14, 126, 120, 12});
  t.controls.push_back({platform::kIdOk, ControlKind::Button, u"确定", 106, 146, 50, 14, platform::kStyleDefault});
  t.controls.push_back({platform::kIdCancel, ControlKind::Button, u"取消", 163, 146, 50, 14});
  PasteSpecialProcedure procedure;
  if (platform::dialogHost().run(t, procedure) != platform::kIdOk)
    return std::nullopt;
  return procedure.choice();
}

} // namespace dialogs

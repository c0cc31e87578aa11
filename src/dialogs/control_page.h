#pragma once
// The "控制" page of the format dialog of a form control: per kind its
// value, limits and steps, linked cell and input range.

#include "drawing/controls.h"
#include "platform/dialog.h"

#include <string_view>

namespace model {
struct Workbook;
}

namespace dialogs {

inline constexpr std::u16string_view kControlFormatTitle = u"设置控件格式";
inline constexpr std::u16string_view kMessageMaximumBelowMinimum = u"Maximum must be greater than minimum";
inline constexpr std::u16string_view kMessageInvalidControlReference = u"相关数据无效！";

/// Control ids of the page.
inline constexpr int kControlUnchecked = 301;
inline constexpr int kControlChecked = 302;
inline constexpr int kControlMixed = 303;
inline constexpr int kControlLinkedCell = 310;
inline constexpr int kControlInputRange = 311;
inline constexpr int kControlDropDownLines = 312;
inline constexpr int kControlValue = 313;
inline constexpr int kControlMinimum = 314;
inline constexpr int kControlMaximum = 315;
inline constexpr int kControlIncrement = 316;
inline constexpr int kControlPageChange = 317;
inline constexpr int kControlFlat = 318;

/// Whether the kind has a "控制" page (labels, group boxes and buttons have none).
bool hasControlPage(std::uint16_t kind);

platform::DialogTemplate controlPageTemplate(std::uint16_t kind);

/// The page's behaviour on a copy of the control: OK stores what the user
/// set into it, with numbers above 30000 taken as 30000; a maximum below the
/// minimum or a box that is not a reference keeps the page open with its
/// message; an empty reference box clears the link.
class ControlPage final : public platform::DialogProcedure {
public:
  ControlPage(const model::Workbook& book, int sheet, std::uint16_t kind, const drawing::ControlPayload& control);
  void onInit(platform::DialogControls& c) override;
  bool onOk(platform::DialogControls& c) override;
  const drawing::ControlPayload& result() const { return m_control; }

private:
  const model::Workbook& m_book;
  int m_sheet;
  std::uint16_t m_kind;
  drawing::ControlPayload m_control;
};

/// Runs the format dialog of a control with its "控制" page; the control as
/// the user left it, or nothing when cancelled.
std::optional<drawing::ControlPayload> formatControl(const model::Workbook& book, int sheet, std::uint16_t kind,
                                                     const drawing::ControlPayload& control);

} // namespace dialogs

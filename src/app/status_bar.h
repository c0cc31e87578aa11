#pragma once
// The status bar's summary of the selection and its pop-up menu of functions.

#include "app/app.h"
#include "platform/canvas.h"

#include <optional>

namespace app {

/// The names of the summary functions 0-6.
inline constexpr std::u16string_view kSummaryNames[7] = {u"无",     u"平均值", u"计数", u"数值计数",
                                                         u"最大值", u"最小值", u"求和"};

enum SummaryFunction : int {
  kSummaryNone = 0,
  kSummaryAverage = 1,
  kSummaryCount = 2,
  kSummaryCountNumbers = 3,
  kSummaryMax = 4,
  kSummaryMin = 5,
  kSummarySum = 6,
};

/// The summary text of a sheet's selection: the function's name, "=" and the
/// result with 15 significant digits; nothing when the function is none, the
/// sheet has no grid or at most one stored cell, or the selection gives at
/// most one item (count: cells with input; the others: numbers). Stale
/// formula values are brought up to date first.
std::u16string summary_text(model::Workbook& book, int sheet, int function);

/// Recomputes the summary part from the active sheet's selection (empty while the
/// status bar is hidden or no workbook is open).
void update_status_summary(App& app);

/// The pop-up of the seven functions at a point of the window, the current
/// one checked; a choice becomes the function and the summary is redone.
/// Returns the chosen function, or nothing when the menu was dismissed.
std::optional<int> status_bar_menu(App& app, platform::Point at);

} // namespace app

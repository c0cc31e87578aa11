#pragma once
// The dialogs of the structural edits and of Series: Insert ("插入"),
// Delete ("删除") and Series ("序列").

#include <functional>
#include <optional>
#include <string>

namespace dialogs {

/// Insert: "活动单元格右移" (0), "活动单元格下移" (1, default), "整行" (2),
/// "整列" (3). Control ids kShiftFirst + choice.
/// Delete: "右侧单元格左移" (0), "下方单元格上移" (1, default), "整行" (2), "整列" (3).
inline constexpr int kShiftFirst = 20;
enum ShiftChoice : int { kShiftSideways = 0, kShiftVertically = 1, kShiftWholeRows = 2, kShiftWholeColumns = 3 };

/// The choice, or nothing when cancelled.
std::optional<int> askInsertCells();
std::optional<int> askDeleteCells();

/// Control ids of the Series dialog.
inline constexpr int kSeriesRows = 20;
inline constexpr int kSeriesColumns = 21;
inline constexpr int kSeriesTypeFirst = 30;  // linear, growth, date
inline constexpr int kSeriesUnitFirst = 40;  // day, weekday, month, year
inline constexpr int kSeriesStep = 50;
inline constexpr int kSeriesStop = 51;

struct SeriesChoice {
  bool rows = true;
  int type = 0; // 0 linear, 1 growth, 2 date
  int unit = 0; // 0 day, 1 weekday, 2 month, 3 year
  std::optional<double> step; // nothing when the box is empty
  std::optional<double> stop;
};

/// Asks for a series. `defaultStep` gives the step text shown for a
/// direction (rows when true); it is shown at the start and whenever the
/// direction changes. A box that does not read as a number keeps the
/// dialog open with that box selected. Nothing when cancelled.
std::optional<SeriesChoice> askSeries(bool rows, const std::function<std::u16string(bool rows)>& defaultStep);

} // namespace dialogs

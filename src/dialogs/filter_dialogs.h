#pragma once
// The two dialogs an AutoFilter arrow's list opens: top 10 ("自动筛选前 10
// 个") and custom ("自定义自动筛选"). They know nothing of sheets: the
// command hands them the column's values and current criterion.

#include "datatools/autofilter.h"

#include <optional>
#include <string>
#include <vector>

namespace dialogs {

inline constexpr int kTopTenWhich = 20;   // combo: "靠上", "靠下"
inline constexpr int kTopTenCount = 21;   // number with an up-down control, 1-500
inline constexpr int kTopTenUnit = 22;    // combo: "项", "百分比"

inline constexpr int kCustomOperatorFirst = 30; // two combos of operators
inline constexpr int kCustomValueFirst = 40;    // two editable combos of the column's values
inline constexpr int kCustomAnd = 50;
inline constexpr int kCustomOr = 51;

/// The operator names of the custom dialog, in the order of
/// datatools::CustomOperator ("" for none).
extern const std::u16string_view kCustomOperatorNames[datatools::kCustomOperatorCount];

/// Asks for a top/bottom criterion, starting from the column's current one
/// (top 10 items when it has none). The count is taken as typed and clamped
/// to 1-500. Nothing when cancelled.
std::optional<datatools::TopTenChoice> askTopTen(const model::FilterCriterion& current);

/// Asks for two conditions joined by AND or OR, starting from the column's
/// current ones; `column` names the column ("显示行：" is followed by it),
/// `values` are offered in the value boxes. Nothing when cancelled.
std::optional<datatools::CustomChoice> askCustomFilter(const model::FilterCriterion& current,
                                                       std::u16string_view column,
                                                       const std::vector<std::u16string>& values);

} // namespace dialogs

#pragma once
// The data validation dialog ("数据有效性", three pages) and the conditional
// format dialog ("条件格式", a page per condition), whose "格式..." button
// opens the reduced cell format dialog. They edit copies of the records and know
// nothing of workbooks: the commands supply the checks that need one.

#include "model/sheet_rules.h"
#include "model/workbook.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dialogs {

// ---- Data validation ----

inline constexpr int kValAllow = 20;      // combo, the eight allow kinds
inline constexpr int kValIgnoreBlank = 21;
inline constexpr int kValOperator = 22;   // combo, the eight operators
inline constexpr int kValLabel1 = 23;
inline constexpr int kValFormula1 = 24;
inline constexpr int kValLabel2 = 25;
inline constexpr int kValFormula2 = 26;
inline constexpr int kValDropDown = 27;
inline constexpr int kValOperatorLabel = 28;
inline constexpr int kValShowInput = 30; // page 2
inline constexpr int kValInputTitle = 31;
inline constexpr int kValInputMessage = 32;
inline constexpr int kValShowError = 40; // page 3
inline constexpr int kValStyle = 41;
inline constexpr int kValErrorTitle = 42;
inline constexpr int kValErrorMessage = 43;

inline constexpr std::u16string_view kValNeedReference = u"必须输入引用或列表";
inline constexpr std::u16string_view kValNeedFormula = u"必须输入一个公式";
inline constexpr std::u16string_view kValNeedNumber = u"必须输入数值或公式";

/// What typed operand text is, as the settings page needs to know it.
struct OperandKinds {
  std::function<bool(std::u16string_view)> isFormula;   // a well-formed formula
  std::function<bool(std::u16string_view)> isNumber;    // a number, date or time as typed
  std::function<bool(std::u16string_view)> isReference; // a formula that gives a reference
};

/// The labels of the two operand boxes for an allow kind and operator;
/// an empty label hides its box.
std::pair<std::u16string_view, std::u16string_view> validationLabels(int allow, int op);

/// Edits a rule (formulas as seen from the active cell). The settings page
/// refuses OK while an operand is not what its kind needs. Nothing when
/// cancelled.
std::optional<model::ValidationRule> askValidation(const model::ValidationRule& initial,
                                                   const OperandKinds& kinds);

// ---- Conditional formats ----

inline constexpr int kCfKind = 20;      // combo: "单元格数值", "公式"
inline constexpr int kCfOperator = 21;  // combo: the eight operators
inline constexpr int kCfLabel1 = 22;
inline constexpr int kCfOperand1 = 23;
inline constexpr int kCfLabel2 = 24;
inline constexpr int kCfOperand2 = 25;
inline constexpr int kCfFormat = 26;    // "格式..."
inline constexpr int kCfDelete = 27;    // "删除"
inline constexpr int kCfPreview = 28;   // what the format sets, in words

using ConditionPages = std::array<model::FormatCondition, model::kMaxFormatConditions>;

/// Edits the three conditions; `editFormat` runs the format sheet for one
/// condition (replaced when it returns one). Nothing when cancelled.
std::optional<ConditionPages> askConditionalFormat(
    const ConditionPages& initial,
    const std::function<std::optional<model::FormatCondition>(const model::FormatCondition&)>& editFormat);

// ---- The format parts of a condition ----

/// The reduced cell format dialog (font, border, pattern) over a
/// condition's format, starting on the first page whose part is present.
/// The condition comes back with exactly the attributes the dialog holds:
/// those it had, those the user set, less those "清除格式" cleared.
/// Nothing when cancelled.
std::optional<model::FormatCondition> askConditionFormat(const model::Workbook& book,
                                                         const model::FormatCondition& initial);

} // namespace dialogs

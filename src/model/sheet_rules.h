#pragma once
// Rules a sheet keeps for its data tools: the AutoFilter's per-column
// criteria, data-validation rules and conditional-format sets. The records
// use the numbering of the binary workbook format (comparison codes, allow
// kinds, operators), so files carry them without translation.

#include "model/cell_range.h"
#include "model/range_index.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace model {

/// Kinds of FilterCondition::kind.
enum FilterConditionKind : std::uint8_t {
  kFilterNone = 0,
  kFilterComparison = 6,
  kFilterBlanks = 12,
  kFilterNonBlanks = 14,
};

/// Comparison codes of a filter condition.
enum FilterComparison : std::uint8_t {
  kCompareLess = 1,
  kCompareEqual = 2,
  kCompareLessOrEqual = 3,
  kCompareGreater = 4,
  kCompareNotEqual = 5,
  kCompareGreaterOrEqual = 6,
};

struct FilterCondition {
  std::uint8_t kind = kFilterNone;
  std::uint8_t comparison = 0;
  std::u16string operand; // text, possibly with wildcards
  friend bool operator==(const FilterCondition &, const FilterCondition &) = default;
};

/// The criterion of one column of the AutoFilter range.
struct FilterCriterion {
  bool hasBlanks = false;
  bool orJoin = false;     // the two conditions join with OR instead of AND
  bool topActive = false;  // a top/bottom criterion is in force; the conditions are ignored
  bool top = false;        // top (not bottom)
  std::uint16_t count = 0; // N of the top/bottom criterion, 1-500
  bool percent = false;    // N is a percentage, not a number of items
  double threshold = 0;    // computed when the top/bottom criterion is chosen
  std::array<FilterCondition, 2> conditions{};

  bool isActive() const {
    return topActive || conditions[0].kind != kFilterNone || conditions[1].kind != kFilterNone;
  }
  friend bool operator==(const FilterCriterion &, const FilterCriterion &) = default;
};

/// ValidationRule::allow.
enum ValidationAllow : std::int32_t {
  kAllowAny = 0,
  kAllowWholeNumber = 1,
  kAllowDecimal = 2,
  kAllowList = 3,
  kAllowDate = 4,
  kAllowTime = 5,
  kAllowTextLength = 6,
  kAllowCustom = 7,
};

struct ValidationRule {
  std::int32_t allow = kAllowAny;
  std::int32_t errorStyle = 0; // 0 stop, 1 warning, 2 information
  bool plainList = false;      // a list typed as items, not a formula or reference
  bool ignoreBlank = true;
  bool suppressDropDown = false;
  bool showInput = true;
  bool showError = true;
  std::int32_t op = 0; // 0 between, 1 not between, 2 equal, 3 not equal, 4 greater, 5 less,
                       // 6 greater or equal, 7 less or equal
  std::u16string inputTitle, errorTitle, inputMessage, errorMessage;
  /// Bounds, list source or custom formula; relative references are seen
  /// from A1. A plain list holds its items joined by the list separator.
  std::u16string formula1, formula2;
  std::vector<CellRange> ranges;
  friend bool operator==(const ValidationRule &, const ValidationRule &) = default;
};

/// Where the input message of validated cells was last shown, in the units
/// of the file that stored it; kept so that saving writes it back.
struct ValidationBox {
  bool closed = false;
  std::int32_t left = 0;
  std::int32_t top = 0;
  friend bool operator==(const ValidationBox &, const ValidationBox &) = default;
};

/// One font, border side or pattern attribute of a FormatCondition; it
/// applies only when `set`.
struct ConditionSetting {
  bool set = false;
  std::int32_t value = 0;
  friend bool operator==(const ConditionSetting &, const ConditionSetting &) = default;
};

struct ConditionBorder {
  bool set = false;
  std::uint8_t style = 0;
  std::uint8_t colour = 0;
  friend bool operator==(const ConditionBorder &, const ConditionBorder &) = default;
};

/// Indexes of FormatCondition::font and FormatCondition::pattern.
enum ConditionFont : std::uint8_t {
  kCondItalic,
  kCondBold,
  kCondUnderline,
  kCondStrikeOut,
  kCondColour
};
enum ConditionPattern : std::uint8_t { kCondFill, kCondPatternColour, kCondBackgroundColour };

/// The font colour value that means automatic.
inline constexpr std::int32_t kConditionAutomaticColour = 0x7FFF;

struct FormatCondition {
  std::int32_t kind = 0; // 0 unused, 1 cell value, 2 formula
  std::int32_t op = 0;   // 1 between, 2 not between, 3 equal, 4 not equal, 5 greater, 6 less,
                         // 7 greater or equal, 8 less or equal
  std::u16string operand1, operand2;
  bool hasFont = false;
  std::array<ConditionSetting, 5> font{}; // by ConditionFont
  bool hasBorder = false;
  std::array<ConditionBorder, 4> borders{}; // left, right, top, bottom
  bool hasPattern = false;
  std::array<ConditionSetting, 3> pattern{}; // by ConditionPattern
  friend bool operator==(const FormatCondition &, const FormatCondition &) = default;
};

inline constexpr int kMaxFormatConditions = 3;

struct ConditionalFormat {
  std::vector<FormatCondition> conditions; // at most kMaxFormatConditions
  std::uint16_t flags = 0;                 // bit 0: an operand needs recalculation
  std::vector<CellRange> ranges;
  friend bool operator==(const ConditionalFormat &, const ConditionalFormat &) = default;
};

/// Which rule of a sheet's list covers a cell, without walking the rules:
/// the ranges of all rules in list order under one interval index, so the
/// first rule holding the cell wins, as a walk would find it. Kept by the
/// sheet's lists and rebuilt after any change to them.
class RuleIndex {
public:
  RuleIndex() = default;
  template <class Rule> explicit RuleIndex(const std::vector<Rule>& rules) {
    std::vector<CellRange> all;
    for (std::uint32_t i = 0; i < rules.size(); ++i)
      for (const CellRange& r : rules[i].ranges) {
        all.push_back(r);
        m_owner.push_back(i);
      }
    m_ranges = RangeIndex(all);
  }

  /// The position of the first rule covering the cell, or -1.
  int find(int row, int column) const {
    const int at = m_ranges.find(row, column);
    return at < 0 ? -1 : static_cast<int>(m_owner[static_cast<size_t>(at)]);
  }

  /// What the rules' users derive from the rules as they are now (rewritten
  /// operands, results); it goes with the index when the rules change.
  mutable std::shared_ptr<void> derived;

private:
  RangeIndex m_ranges;
  std::vector<std::uint32_t> m_owner; // rule of each indexed range
};

} // namespace model

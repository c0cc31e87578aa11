#pragma once
// AutoFilter: drop-down arrows on the header cells of a block; choosing an
// entry of an arrow's list hides the data rows whose cell in that column
// fails the column's criterion (the columns combine with AND). The rows it
// hides carry model::kLineFilterHidden, so rows hidden by hand stay hidden
// whatever the filter does. The state lives in the sheet (model/sheet.h);
// its arrows and rows are kept in step by model/auto_filter.h.

#include "model/workbook.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace datatools {

inline constexpr std::u16string_view kFilterAll = u"(全部)";
inline constexpr std::u16string_view kFilterTopTen = u"(前 10 个…)";
inline constexpr std::u16string_view kFilterCustom = u"(自定义…)";
inline constexpr std::u16string_view kFilterBlanks = u"(空单元格)";
inline constexpr std::u16string_view kFilterNonBlanks = u"(非空单元格)";

/// Turns the filter on over `selection` (the current region around the
/// active cell when it is one cell), or off when it is on. Refused, false,
/// on a sheet that is not a worksheet and on a protected sheet. One undo
/// entry.
bool toggleAutoFilter(model::Workbook& book, int sheetIndex, const model::CellRange& selection,
                      int activeRow, int activeColumn);

enum class FilterEntry { All, TopTen, Custom, Value, Blanks, NonBlanks };

/// An arrow's list: "(全部)", "(前 10 个…)", "(自定义…)", the distinct shown
/// texts of the column's data rows (case-blind, sorted ignoring case), then
/// "(空单元格)" and "(非空单元格)" when the column has blanks.
struct FilterList {
  std::vector<std::u16string> entries;
  bool hasBlanks = false;
  FilterEntry kindOf(int index) const;
};

/// Builds the list of a column (0 = the range's first). The data rows run
/// to the end of the block below the header when that is longer than the
/// range, and the range grows to it; the column's hasBlanks is stored.
FilterList buildFilterList(model::Workbook& book, int sheetIndex, int column);

/// A list entry as a pattern that matches only itself: "*", "?" and "~"
/// get a "~" before them.
std::u16string escapeWildcards(std::u16string_view text);

/// The top/bottom threshold of a column: among its numeric data cells
/// v[0..n-1] ascending, items top v[max(n-N,0)], items bottom
/// v[min(N-1,n-1)], percent top v0 + (100-N) x range / 100, percent bottom
/// v0 + N x range / 100 (a share of the value range, not of the count); 0
/// without numbers.
double topTenThreshold(model::Workbook& book, int sheetIndex, int column, bool top, int count,
                       bool percent);

/// The top-10 dialog's answer.
struct TopTenChoice {
  bool top = true;
  int count = 10;
  bool percent = false;
};

/// The custom dialog's operators, in the order of its lists (0 = none).
enum CustomOperator : int {
  kCustomNone, kCustomEqual, kCustomNotEqual, kCustomGreater, kCustomGreaterOrEqual, kCustomLess,
  kCustomLessOrEqual, kCustomBeginsWith, kCustomNotBeginsWith, kCustomEndsWith, kCustomNotEndsWith,
  kCustomContains, kCustomNotContains,
};
inline constexpr int kCustomOperatorCount = 13;

struct CustomRow {
  int op = kCustomNone;
  std::u16string text;
};
struct CustomChoice {
  CustomRow rows[2];
  bool orJoin = false;
};

/// A row of the custom dialog as a stored condition, and back: begins with
/// stores equal with "*" after the text, ends with "*" before it, contains
/// "*" on both sides (not-forms store not-equal).
model::FilterCondition conditionOfCustomRow(const CustomRow& row);
CustomRow customRowOfCondition(const model::FilterCondition& condition);

/// Stores a column's criterion (one undo entry), applies the filters and
/// recalculates the sheet. False when refused or the filter is off.
bool setFilterCriterion(model::Workbook& book, int sheetIndex, int column,
                        const model::FilterCriterion& criterion);

/// What choosing an entry asks of the user: the top-10 and custom dialogs
/// (nothing when cancelled), given the column's current criterion.
struct FilterDialogs {
  std::function<std::optional<TopTenChoice>(const model::FilterCriterion&)> topTen;
  std::function<std::optional<CustomChoice>(const model::FilterCriterion&)> custom;
};

/// Applies the entry `index` of `list` to the column. False when nothing
/// changed (a dialog was cancelled, the command was refused).
bool chooseFilterEntry(model::Workbook& book, int sheetIndex, int column, const FilterList& list,
                       int index, const FilterDialogs& dialogs);

/// Recomputes which data rows the filter hides. Rows hidden by hand stay
/// hidden; no undo entry, no recalculation.
void applyFilters(model::Workbook& book, int sheetIndex);

/// What matchCondition knows of a cell.
struct FilterCell {
  std::u16string_view text; // as shown
  bool blank = false;
  bool isNumber = false;
  double number = 0;
};

/// Tests one condition against a cell: numbers compare as numbers when the
/// operand reads as one, texts as case-blind wildcard patterns. Equality
/// also holds when the shown text equals the operand, so a number chosen by
/// the text it shows ("1234.6" for 1234.5678) keeps its row.
bool matchCondition(const model::FilterCondition& condition, const FilterCell& cell);

} // namespace datatools

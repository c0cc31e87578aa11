#pragma once
// Fill Down, Right, Up and Left, and Series: filling a selection from its
// first (or last) row or column, or with progressions that start from the
// number in the first cell of each row or column.

#include "model/undo.h"

#include <optional>
#include <string>

namespace edit {

enum class FillDirection { Down, Right, Up, Left };

/// Copies the source row or column of the selection over the rest of it,
/// with relative references shifted as a paste shifts them. Refused by the
/// guards (protection, array parts, merged cells) before any change and
/// without an undo entry; true when it filled.
bool fill(model::Workbook& book, int sheetIndex, const model::CellRange& selection, FillDirection direction);

enum class SeriesType { Linear, Growth, Date };
enum class DateUnit { Day, Weekday, Month, Year };

struct SeriesOptions {
  bool rows = false; // "行": along each row; else down each column
  SeriesType type = SeriesType::Linear;
  DateUnit unit = DateUnit::Day;
  std::optional<double> step; // 1 when absent
  std::optional<double> stop;
};

/// Fills each row (column) of the selection whose first cell holds a number
/// with the progression starting from it. True when it ran.
bool fill_series(model::Workbook& book, int sheetIndex, const model::CellRange& selection,
                 const SeriesOptions& options);

/// The step the Series dialog shows for the selection and direction: "1",
/// the difference of the first two numbers, or empty when the first cell
/// holds no number.
std::u16string defaultSeriesStep(const model::Sheet& sheet, const model::CellRange& selection, bool rows);
/// The direction the dialog starts with: rows unless the selection has more
/// rows than columns.
bool defaultSeriesRows(const model::CellRange& selection);

/// A serial moved by n working days (Monday to Friday).
double add_workdays(double a, int n);

} // namespace edit

#include "edit/fill.h"

#include "edit/paste.h"
#include "formula/recalc.h"
#include "formula/text_value.h"
#include "model/range_guard.h"
#include "model/set_cell.h"
#include "platform/locale_strings.h"
#include "platform/memory.h"

#include <cmath>
#include <limits>

namespace edit {

using model::CellRange;
using model::CellRecord;
using model::Sheet;
using model::Workbook;

namespace {

constexpr unsigned kFillGuards = model::kGuardProtection | model::kGuardArrayPart | model::kGuardMergedAny;
constexpr double kLastSerial = 2958465; // 31 December 9999

// The number a cell holds now, computing it first when stale.
bool numberIn(Workbook* book, int sheetIndex, const Sheet& sheet, int row, int column, double& out) {
  CellRecord* c = model::cell_at(sheet, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
  if (!c)
    return false;
  if (book && c->calcState == model::CalcState::NotValid)
    formula::computeCell(*book, sheetIndex, *c);
  if (!c->value.isNumber())
    return false;
  out = c->value.numberValue();
  return true;
}

int stepAsInteger(double step) {
  const double t = std::trunc(step);
  if (!(t > -1e9 && t < 1e9))
    return t < 0 ? -1000000000 : 1000000000;
  return static_cast<int>(t);
}

// A date serial moved by whole days, months or years, built again from its
// parts so that a day past its month's end rolls into the next month.
bool addToDate(double v, int n, DateUnit unit, double& out) {
  if (unit == DateUnit::Weekday) {
    out = add_workdays(v, n);
    return true;
  }
  if (!(v >= 0 && v <= kLastSerial))
    return false;
  int year = 1900, month = 1, day = 0;
  const int serial = static_cast<int>(std::floor(v));
  if (serial > 0)
    formula::splitSerial(serial, year, month, day);
  long long y = year, m = month, d = day;
  if (unit == DateUnit::Day)
    d += n;
  else if (unit == DateUnit::Month)
    m += n;
  else
    y += n;
  const long long m0 = m - 1;
  const long long carry = m0 >= 0 ? m0 / 12 : -((-m0 + 11) / 12);
  y += carry;
  m = m0 - carry * 12 + 1;
  if (y < 1900 || y > 9999 || d < -kLastSerial || d > kLastSerial)
    return false;
  out = formula::dayCount(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d));
  return out >= 0 && out <= kLastSerial;
}

// Whether `next`, reached from `v`, has passed the stop value.
bool passesStop(const SeriesOptions& o, double step, double v, double next) {
  const double stop = *o.stop;
  if (o.type == SeriesType::Growth) {
    if (step < 0) // signs alternate: the magnitudes move
      return std::fabs(step) >= 1 ? std::fabs(next) > std::fabs(stop) : std::fabs(next) < std::fabs(stop);
    if (next < v)
      return next < stop;
    return next > stop;
  }
  return step >= 0 ? next > stop : next < stop;
}

} // namespace

double add_workdays(double value, int n) {
  if (n == 0)
    return value;
  long long a = static_cast<long long>(std::floor(value));
  a += static_cast<long long>(n / 5) * 7;
  const long long c = ((a + 2415019) % 7 + 7) % 7;
  const bool weekday = c < 5;
  const long long d = weekday ? c : 0;
  const long long e = weekday ? c : 4;
  if (n < 0) {
    const long long r = (-static_cast<long long>(n)) % 5;
    a = a + (weekday ? 0 : 7 - c) - r;
    return static_cast<double>(d - r < 0 ? a - 2 : a);
  }
  const long long r = n % 5;
  a = a + r + (weekday ? 0 : 4 - c);
  return static_cast<double>(r + e > 4 ? a + 2 : a);
}

bool fill(Workbook& book, int sheetIndex, const CellRange& sel, FillDirection direction) {
  if (!isCellSheet(book, sheetIndex))
    return false;
  Sheet& sheet = book.sheet(sheetIndex);
  if (!model::guard_range(book, sheet, sel, kFillGuards))
    return false;
  CellRange source = sel;
  model::UndoAction action = model::kUndoFillDown;
  switch (direction) {
  case FillDirection::Down:
    source.lastRow = sel.firstRow;
    break;
  case FillDirection::Up:
    source.firstRow = sel.lastRow;
    action = model::kUndoFillUp;
    break;
  case FillDirection::Right:
    source.lastColumn = sel.firstColumn;
    action = model::kUndoFillRight;
    break;
  case FillDirection::Left:
    source.firstColumn = sel.lastColumn;
    action = model::kUndoFillLeft;
    break;
  }
  if (!model::push_undo_range(book, sheetIndex, action, sel))
    return false;
  model::SavedRange clip;
  if (!platform::withAllocation([&] { clip = model::snapshot_range(book, sheetIndex, source, false); }))
    return false;
  return paste_snapshot(book, sheetIndex, clip, sel, &book, {});
}

bool defaultSeriesRows(const CellRange& selection) { return !(selection.rowCount() > selection.columnCount()); }

std::u16string defaultSeriesStep(const Sheet& sheet, const CellRange& sel, bool rows) {
  double first = 0;
  if (!numberIn(nullptr, 0, sheet, sel.firstRow, sel.firstColumn, first))
    return {};
  if ((rows ? sel.columnCount() : sel.rowCount()) == 1)
    return u"1";
  double next = 0;
  if (!numberIn(nullptr, 0, sheet, sel.firstRow + (rows ? 0 : 1), sel.firstColumn + (rows ? 1 : 0), next))
    return u"1";
  return formula::numberToText(next - first, platform::localeStrings());
}

bool fill_series(Workbook& book, int sheetIndex, const CellRange& sel, const SeriesOptions& o) {
  if (!isCellSheet(book, sheetIndex))
    return false;
  Sheet& sheet = book.sheet(sheetIndex);
  if (!model::guard_range(book, sheet, sel, kFillGuards))
    return false;
  if (!model::push_undo_range(book, sheetIndex, model::kUndoFillSeries, sel))
    return false;
  const double step = o.step.value_or(1);
  const int whole = stepAsInteger(step);
  const double shift1904 = book.date1904 ? 1462 : 0;
  const int lines = o.rows ? sel.rowCount() : sel.columnCount();
  const int length = o.rows ? sel.columnCount() : sel.rowCount();
  std::vector<std::uint32_t> changed;
  std::u16string text;
  const bool ok = platform::withAllocation([&] {
    for (int line = 0; line < lines; ++line) {
      const int row0 = o.rows ? sel.firstRow + line : sel.firstRow;
      const int column0 = o.rows ? sel.firstColumn : sel.firstColumn + line;
      double v = 0;
      if (!numberIn(&book, sheetIndex, sheet, row0, column0, v))
        continue; // rows without a number to start from are left alone
      const std::uint16_t format =
          model::cell_at(sheet, static_cast<std::uint16_t>(row0), static_cast<std::uint8_t>(column0))->formatIndex;
      for (int k = 1; k < length; ++k) {
        double next = 0;
        switch (o.type) {
        case SeriesType::Linear:
          next = v + step;
          break;
        case SeriesType::Growth:
          next = v * step;
          break;
        case SeriesType::Date:
          if (!addToDate(v + shift1904, whole, o.unit, next))
            next = std::numeric_limits<double>::quiet_NaN();
          else
            next -= shift1904;
          break;
        }
        if (!std::isfinite(next) || (o.stop && passesStop(o, step, v, next)))
          break;
        v = next;
        const int row = o.rows ? row0 : row0 + k;
        const int column = o.rows ? column0 + k : column0;
        text.clear();
        formula::appendNumberText(v, platform::localeStrings(), text);
        if (!model::set_cell(book, sheetIndex, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column),
                             text, format, false, false))
          throw std::bad_alloc();
        changed.push_back(model::packCell(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column)));
      }
    }
  });
  model::fitRowsOfRange(book, sheetIndex, sel);
  model::mark_modified(book);
  (void)platform::withAllocation([&] { formula::propagateChanges(book, sheetIndex, changed); });
  return ok;
}

} // namespace edit

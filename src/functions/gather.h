#pragma once
// The number gatherer, shared by the mathematical, statistical,
// financial and database families: it walks a function's arguments (direct
// values, arrays, single- and multi-area references) and collects numbers
// under a set of options, and a few companions for the array-shaped `Q`
// arguments (pairs of equal-sized arrays, numeric matrices).
//
// Typical use (SUM-like, with `R` arguments):
//
//   functions::NumberList list;
//   if (!functions::gatherNumbers(args, 0, ctx, {}, list)) { result = list.error; return; }
//   for (double x : list.numbers) ...
//
// The defaults of GatherOptions are SUM's: numbers-only and stop-at-errors.
// Aggregates that need no list (sums, counts, extremes) go faster through
// forEachGatheredNumber, which streams the same numbers without storing them.

#include "formula/eval_context.h"

#include <cstdint>
#include <vector>

namespace functions {

using formula::Arguments;
using formula::EvalContext;
using model::CellValue;

/// Which referenced rows are skipped.
enum class HiddenRows : std::uint8_t {
  All = 0,          // every row is taken
  SkipHidden = 1,   // rows hidden in the sheet are skipped
  SkipFiltered = 2, // hidden rows are skipped only while the sheet has an active AutoFilter
};

struct GatherOptions {
  // ---- the four options ----
  /// Set: only numbers are taken from references and arrays (text, booleans
  /// and blanks there are skipped). Clear: each referenced cell value and each
  /// array element is converted to a number as formulas convert: booleans give 0/1,
  /// text that reads as a number gives it, other text gives an error value
  /// (#VALUE! or #NAME?), which is then treated like any other error.
  bool numbersOnly = true;
  /// Set: the first error value met ends the gathering and becomes the result
  /// (NumberList::error, return value false). Clear: errors are ignored.
  bool stopAtErrors = true;
  /// Set: referenced formula cells whose text contains "SUBTOTAL(" (without
  /// regard to case) are skipped.
  bool skipSubtotals = false;
  HiddenRows hiddenRows = HiddenRows::All;

  // ---- extensions (off by default, so the defaults keep the classic rules) ----
  /// Set: direct (not referenced) string and boolean arguments are converted
  /// by the formula conversions (for raw `B` arguments, whose letter did not convert them);
  /// a string that does not read as a number gives its error. Clear: direct
  /// strings, booleans and empties are ignored (letters `R`/`N` have already
  /// converted what should count).
  bool convertDirect = false;
  /// The "A" variants (AVERAGEA, STDEVA, MAXA ...): with numbersOnly clear,
  /// referenced and array text counts 0 (instead of being converted) and
  /// booleans 0/1. Ignored when numbersOnly is set.
  bool textAsZero = false;
};
// Blank cells (stored cells without a value, for example formatted ones) and
// empty array elements are never taken, in any mode; cells that are not
// stored are not visited at all.

/// The gatherer's output: the numbers in argument order (each reference in
/// the sheet's cell order, row by row), and the error that stopped it.
struct NumberList {
  std::vector<double> numbers;
  CellValue error; // an error value when gathering stopped, else empty
  bool stopped() const { return error.isError(); }
  size_t size() const { return numbers.size(); }
  bool empty() const { return numbers.empty(); }
  void clear() {
    numbers.clear();
    error = CellValue();
  }
};

/// Gathers one argument value into `out` (appending). Returns false when it
/// stopped at an error (only with stopAtErrors; out.error holds the error).
bool gatherArgument(const CellValue &arg, EvalContext &ctx, const GatherOptions &options,
                    NumberList &out);

/// Gathers args[first] .. args[args.count - 1] in order (missing optional
/// arguments are empty and ignored). Returns false when it stopped at an error.
bool gatherNumbers(const Arguments &args, int first, EvalContext &ctx, const GatherOptions &options,
                   NumberList &out);

/// The same walk as gatherNumbers without storing: calls fn(double) for each
/// number in order (for sums, counts, extremes and products, which need no
/// list). Returns false when it stopped at an error, which is put in `error`.
template <class Fn>
bool forEachGatheredNumber(const Arguments &args, int first, EvalContext &ctx,
                           const GatherOptions &options, CellValue &error, Fn &&fn);

/// Where a visited value came from.
enum class ValueSource : std::uint8_t { Direct, ArrayElement, Cell };

/// Calls fn(const CellValue& value, ValueSource source) for every value one
/// argument yields, without any conversion: a direct value once (empty ones
/// too), array elements in row-major order, and the stored cells of
/// references (single or multi-area, sheet -1 = the context sheet) in the
/// sheet's cell order, each brought up to date first (as a formula fetches them; stale
/// cells are computed, a cell on the computing path sets the circular flag).
/// Blank stored cells are visited as empty values. The cell filters of the
/// options apply (skipSubtotals, hiddenRows); the conversion options do not.
/// fn returns false to stop; the call then returns false. The value passed
/// is the cell's own and is valid during the call only.
/// For counting functions (COUNTA, SUBTOTAL 3, COUNTBLANK-like walks).
template <class Fn>
bool forEachArgumentValue(const CellValue &arg, EvalContext &ctx, const GatherOptions &options,
                          Fn &&fn);

// ---- array-shaped arguments (`Q` letters) ----

/// An argument as a rows x columns array of values: an array stays, a
/// single-area reference (or a one-area multi-area reference) becomes the
/// array of all its cells' values (blank and missing cells empty), any other
/// single value becomes a 1 x 1 array. A reference with several areas gives
/// #VALUE!; errors stay errors. The result is an Array or an Error value.
CellValue argumentArray(const CellValue &arg, EvalContext &ctx);

/// The values of an array-shaped argument that are not empty, with their
/// row-major positions in ascending order: a reference yields its stored
/// cells only (each brought up to date), so a whole column costs what it
/// holds; an array its non-empty elements; any other single value one
/// element of a 1 x 1 shape. A reference with several areas gives #VALUE!.
struct SparseArray {
  int rows = 0;
  int columns = 0;
  std::vector<std::pair<size_t, CellValue>> items;
  size_t size() const { return static_cast<size_t>(rows) * static_cast<size_t>(columns); }
  /// The first error in row-major order, or null.
  const CellValue *firstError() const;
};
bool sparseArgument(const CellValue &arg, EvalContext &ctx, SparseArray &out, CellValue &error);

/// Paired numbers of two array arguments (SUMXMY2, CORREL, SLOPE ...): both
/// made arrays by argumentArray; element counts that differ give #N/A; an
/// error argument, or the first error element in row-major order (x before y
/// at each position), is the result; positions where either element is not
/// a number are skipped. Returns false with `error` set on failure.
bool gatherPairs(const CellValue &x, const CellValue &y, EvalContext &ctx, std::vector<double> &xs,
                 std::vector<double> &ys, CellValue &error);

/// A rectangular matrix of numbers, row-major.
struct NumberMatrix {
  int rows = 0;
  int columns = 0;
  std::vector<double> items;
  double &at(int r, int c) { return items[static_cast<size_t>(r) * columns + c]; }
  double at(int r, int c) const { return items[static_cast<size_t>(r) * columns + c]; }
};

/// An argument as a numeric matrix (MDETERM, MMULT, LINEST ...): made an
/// array by argumentArray; an error element is the result; any element that
/// is not a number (blank, text, boolean) gives #VALUE!. Returns false with
/// `error` set on failure.
bool numberMatrix(const CellValue &arg, EvalContext &ctx, NumberMatrix &out, CellValue &error);

} // namespace functions

// ---- template definitions ----

#include "formula/value_ops.h"
#include "model/workbook.h"

namespace functions::detail {

/// True when the row is to be skipped under the mode (row height 0 = hidden).
bool rowSkipped(const model::Sheet &sheet, std::uint16_t row, HiddenRows mode);
/// True when the mode skips any rows of this sheet at all.
bool rowFilterActive(const model::Sheet &sheet, HiddenRows mode);
/// True for a formula cell whose text contains "SUBTOTAL(" (any case).
bool isSubtotalCell(const model::CellRecord &cell);
/// Brings a stale cell up to date (the formula fetch rules; circular flag).
void bringUpToDate(model::Workbook &book, int sheet, model::CellRecord &cell,
                   const EvalContext &ctx);

/// Walks the stored cells of one area in row-major order, calling
/// fn(const CellValue&) with each cell's up-to-date value; false when fn stopped.
template <class Fn>
bool walkArea(model::Workbook &book, int sheetIndex, const model::CellRange &r, EvalContext &ctx,
              const GatherOptions &options, Fn &fn) {
  model::Sheet &sheet = book.sheet(sheetIndex);
  model::CellTable &table = sheet.cells;
  const bool filterRows = rowFilterActive(sheet, options.hiddenRows);
  int hiddenCheckedRow = -1;
  bool hiddenRow = false;
  int outside = 0; // cells met in a row outside the area's columns
  model::CellTable::Position p = table.find(r.firstRow, r.firstColumn).position;
  while (!table.isEnd(p)) {
    model::CellRecord *c = table.at(p);
    if (c->row > r.lastRow)
      break;
    if (c->column < r.firstColumn || c->column > r.lastColumn) {
      if (c->column > r.lastColumn && c->row >= r.lastRow)
        break;
      // Step over a few cells outside the columns; jump by search past many.
      if (++outside <= 8) {
        p = table.next(p);
      } else {
        outside = 0;
        p = c->column < r.firstColumn
                ? table.find(c->row, r.firstColumn).position
                : table.find(static_cast<std::uint16_t>(c->row + 1), r.firstColumn).position;
      }
      continue;
    }
    outside = 0;
    if (filterRows) {
      if (c->row != hiddenCheckedRow) {
        hiddenCheckedRow = c->row;
        hiddenRow = rowSkipped(sheet, c->row, options.hiddenRows);
      }
      if (hiddenRow) {
        p = table.next(p);
        continue;
      }
    }
    if (options.skipSubtotals && c->isFormula && isSubtotalCell(*c)) {
      p = table.next(p);
      continue;
    }
    if (c->calcState == model::CalcState::NotValid || c->calcState == model::CalcState::OnPath) {
      const std::uint16_t row = c->row;
      const std::uint8_t column = c->column;
      bringUpToDate(book, sheetIndex, *c, ctx);
      // Computing may have changed the table (a macro run from a formula):
      // find the cell again by its address.
      const model::CellTable::Search again = table.find(row, column);
      if (!again.found) {
        p = again.position;
        continue;
      }
      p = again.position;
      c = table.at(p);
    }
    if (!fn(static_cast<const CellValue &>(c->value)))
      return false;
    p = table.next(p);
  }
  return true;
}

template <class Fn>
bool walkReference(const CellValue &ref, EvalContext &ctx, const GatherOptions &options, Fn &fn) {
  auto one = [&](const model::SheetRange &area) {
    const int sheet = area.sheet < 0 ? ctx.sheet : area.sheet;
    if (!ctx.book || sheet < 0 || sheet >= ctx.book->sheetCount() ||
        !ctx.book->sheet(sheet).hasGrid())
      return true;
    return walkArea(*ctx.book, sheet, area.range(), ctx, options, fn);
  };
  if (ref.isReference())
    return one(ref.referenceValue());
  // Copy the list: fetching cells may not disturb the walk.
  const std::vector<model::SheetRange> areas = ref.areasValue();
  for (const model::SheetRange &area : areas)
    if (!one(area))
      return false;
  return true;
}

} // namespace functions::detail

namespace functions {

template <class Fn>
bool forEachArgumentValue(const CellValue &arg, EvalContext &ctx, const GatherOptions &options,
                          Fn &&fn) {
  switch (arg.kind()) {
  case model::ValueKind::Array:
    for (int i = 0; i < arg.arrayRows(); ++i)
      for (int j = 0; j < arg.arrayColumns(); ++j)
        if (!fn(arg.arrayItem(i, j), ValueSource::ArrayElement))
          return false;
    return true;
  case model::ValueKind::Reference:
  case model::ValueKind::MultiArea: {
    auto cell = [&](const CellValue &v) { return fn(v, ValueSource::Cell); };
    return detail::walkReference(arg, ctx, options, cell);
  }
  default:
    return fn(arg, ValueSource::Direct);
  }
}

namespace detail {

/// Takes one value met while gathering (the gathering rules and the options):
/// numbers go to sink(double); false to stop (an error under stop-at-errors,
/// stored in `error`).
template <class Sink>
bool takeValue(const CellValue &v, ValueSource source, EvalContext &ctx, const GatherOptions &o,
               CellValue &error, Sink &sink) {
  switch (v.kind()) {
  case model::ValueKind::Number:
    sink(v.numberValue());
    return true;
  case model::ValueKind::Error:
    if (o.stopAtErrors) {
      error = v;
      return false;
    }
    return true;
  case model::ValueKind::String:
  case model::ValueKind::Boolean: {
    if (source == ValueSource::Direct) {
      if (!o.convertDirect)
        return true;
    } else if (o.numbersOnly) {
      return true;
    } else if (o.textAsZero) {
      sink(v.isBoolean() && v.booleanValue() ? 1.0 : 0.0);
      return true;
    }
    const CellValue n = formula::toNumber(v, ctx);
    if (n.isNumber()) {
      sink(n.numberValue());
      return true;
    }
    if (o.stopAtErrors) { // the conversion's error
      error = n;
      return false;
    }
    return true;
  }
  default:
    return true; // empty, and anything else
  }
}

/// Gathers one argument into sink(double).
template <class Sink>
bool gatherArgumentInto(const CellValue &arg, EvalContext &ctx, const GatherOptions &options,
                        CellValue &error, Sink &sink) {
  if (options.numbersOnly && (arg.isReference() || arg.isMultiArea())) {
    // The common path (SUM, COUNT, AVERAGE ...): no conversions.
    auto take = [&](const CellValue &v) {
      if (v.isNumber()) {
        sink(v.numberValue());
        return true;
      }
      if (v.isError() && options.stopAtErrors) {
        error = v;
        return false;
      }
      return true;
    };
    return walkReference(arg, ctx, options, take);
  }
  return forEachArgumentValue(arg, ctx, options, [&](const CellValue &v, ValueSource source) {
    return takeValue(v, source, ctx, options, error, sink);
  });
}

} // namespace detail

template <class Fn>
bool forEachGatheredNumber(const Arguments &args, int first, EvalContext &ctx,
                           const GatherOptions &options, CellValue &error, Fn &&fn) {
  for (int i = first; i < args.count; ++i)
    if (!detail::gatherArgumentInto(args[i], ctx, options, error, fn))
      return false;
  return true;
}

} // namespace functions

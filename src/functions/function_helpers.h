#pragma once
// Small pieces every function family uses: reading arguments that the
// calling convention has already converted, walking the cells of a
// reference, and making results.

#include "formula/eval_context.h"
#include "formula/value_ops.h"
#include "model/cell_range.h"

#include <span>
#include <string_view>

namespace functions {

using formula::Arguments;
using formula::EvalContext;
using model::CellValue;
using model::ErrorCode;
using model::ValueKind;

/// A handler row of a family's registration table.
struct HandlerRow {
  std::u16string_view name;
  formula::FunctionHandler handler;
};

/// Registers a family's rows with the function table; returns false when a
/// name is unknown or recognised only (a typo in a table is a build-time
/// mistake the family's tests catch through this).
bool registerRows(std::span<const HandlerRow> rows);

/// True when the argument was left out or written empty.
inline bool isMissing(const Arguments& args, int i) { return i >= args.count || args[i].isEmpty(); }

/// The number of an `N` argument (already converted), or `fallback` when
/// the optional argument is missing.
inline double numberOr(const Arguments& args, int i, double fallback) {
  return isMissing(args, i) ? fallback : args[i].numberValue();
}

/// Calls fn(sheet, row, column, const CellValue&) for every stored cell of a
/// reference argument (single or multi-area), in row-major order per area,
/// computing stale cells first. Stops early when fn returns false.
template <class Fn> void forEachReferencedCell(const CellValue& ref, EvalContext& ctx, Fn fn);

/// A finite number result, or #NUM!.
inline CellValue numberResult(double x) { return formula::finiteNumber(x); }

} // namespace functions

#include "functions/function_helpers_impl.h"

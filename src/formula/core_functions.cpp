#include "formula/core_functions.h"

#include "formula/function_table.h"
#include "formula/recalc.h"
#include "formula/value_ops.h"
#include "model/workbook.h"

#include <cmath>

namespace formula {
namespace {

void ifHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const CellValue cond = toBoolean(toSingleValue(args[0], ctx));
  if (cond.isError()) {
    result = cond;
    return;
  }
  // A missing branch gives FALSE, an empty one (",,") 0.
  const int branch = cond.booleanValue() ? 1 : 2;
  if (branch >= args.count) {
    result = CellValue::boolean(false);
    return;
  }
  const CellValue& v = args[branch];
  result = v.isEmpty() ? CellValue::number(0) : v;
}

void trueHandler(Arguments&, CellValue& result, EvalContext&) { result = CellValue::boolean(true); }

// CALL would load a native library a workbook names and run code from it;
// opening a file must never do that, so the call is kept but not carried out.
void callHandler(Arguments&, CellValue& result, EvalContext&) {
  result = CellValue::error(ErrorCode::Value);
}

void naHandler(Arguments&, CellValue& result, EvalContext&) {
  result = CellValue::error(ErrorCode::NA);
}

void absHandler(Arguments& args, CellValue& result, EvalContext&) {
  result = CellValue::number(std::fabs(args[0].numberValue()));
}

// Adds the numbers of one argument: numbers written in the call count,
// numbers in referenced cells and arrays count; text, booleans and blanks
// there are skipped; the first error met is the result.
bool addNumbers(const CellValue& v, EvalContext& ctx, double& sum, CellValue& error) {
  switch (v.kind()) {
  case ValueKind::Number: sum += v.numberValue(); return true;
  case ValueKind::Error: error = v; return false;
  case ValueKind::Array:
    for (int i = 0; i < v.arrayRows(); ++i)
      for (int j = 0; j < v.arrayColumns(); ++j) {
        const CellValue& e = v.arrayItem(i, j);
        if (e.isError()) {
          error = e;
          return false;
        }
        if (e.isNumber())
          sum += e.numberValue();
      }
    return true;
  case ValueKind::Reference:
  case ValueKind::MultiArea: {
    std::vector<model::SheetRange> areas;
    if (v.isReference())
      areas.push_back(v.referenceValue());
    else
      areas = v.areasValue();
    for (const model::SheetRange& r : areas) {
      const int sheet = r.sheet < 0 ? ctx.sheet : r.sheet;
      if (!ctx.book || sheet < 0 || sheet >= ctx.book->sheetCount() ||
          !ctx.book->sheet(sheet).hasGrid())
        continue;
      // The records are read in place: computing a stale cell changes values,
      // never the table, so the walk can go on where it was.
      bool failed = false;
      ctx.book->sheet(sheet).cells.forEachIn(r.range(), [&](model::CellRecord& c) {
        if (failed)
          return;
        if (c.calcState == model::CalcState::NotValid)
          computeCell(*ctx.book, sheet, c, ctx.macroRunning);
        else if (c.calcState == model::CalcState::OnPath)
          noteCircularReference(*ctx.book);
        if (c.value.isError()) {
          error = c.value;
          failed = true;
        } else if (c.value.isNumber()) {
          sum += c.value.numberValue();
        }
      });
      if (failed)
        return false;
    }
    return true;
  }
  default: return true;
  }
}

void sumHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  double sum = 0;
  CellValue error;
  for (int i = 0; i < args.count; ++i)
    if (!addNumbers(args[i], ctx, sum, error)) {
      result = error;
      return;
    }
  result = finiteNumber(sum);
}

} // namespace

void registerCoreFunctions() {
  struct Row {
    std::u16string_view name;
    FunctionHandler handler;
  };
  // clang-format off
  static constexpr Row kCore[] = {
    {u"ABS",  absHandler},
    {u"CALL", callHandler},
    {u"IF",   ifHandler},
    {u"NA",   naHandler},
    {u"SUM",  sumHandler},
    {u"TRUE", trueHandler},
  };
  // clang-format on
  for (const Row& r : kCore)
    registerHandler(r.name, r.handler);
}

} // namespace formula

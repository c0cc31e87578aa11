#include "functions/gather.h"

#include "formula/recalc.h"
#include "formula/value_ops.h"
#include "model/sheet.h"

namespace functions {
namespace detail {

bool rowFilterActive(const model::Sheet &sheet, HiddenRows mode) {
  switch (mode) {
  case HiddenRows::All:
    return false;
  case HiddenRows::SkipHidden:
    return true;
  case HiddenRows::SkipFiltered:
    return (sheet.flags & model::kSheetAutoFilter) != 0;
  }
  return false;
}

bool rowSkipped(const model::Sheet &sheet, std::uint16_t row, HiddenRows mode) {
  return rowFilterActive(sheet, mode) && model::row_height(sheet, row) == 0;
}

bool isSubtotalCell(const model::CellRecord &cell) {
  if (!cell.isFormula || cell.input.isNull())
    return false;
  static constexpr std::u16string_view kName = u"SUBTOTAL(";
  const std::u16string_view text = cell.input.view();
  if (text.size() < kName.size())
    return false;
  for (size_t i = 0; i + kName.size() <= text.size(); ++i) {
    size_t k = 0;
    for (; k < kName.size(); ++k) {
      char16_t ch = text[i + k];
      if (ch >= u'a' && ch <= u'z')
        ch = static_cast<char16_t>(ch - u'a' + u'A');
      if (ch != kName[k])
        break;
    }
    if (k == kName.size())
      return true;
  }
  return false;
}

void bringUpToDate(model::Workbook &book, int sheet, model::CellRecord &cell,
                   const EvalContext &ctx) {
  if (cell.calcState == model::CalcState::NotValid)
    formula::computeCell(book, sheet, cell, ctx.macroRunning);
  else if (cell.calcState == model::CalcState::OnPath)
    formula::noteCircularReference(book); // a loop: the cell's last value is used
}

} // namespace detail

bool gatherArgument(const CellValue &arg, EvalContext &ctx, const GatherOptions &options,
                    NumberList &out) {
  if (arg.isArray())
    out.numbers.reserve(out.numbers.size() +
                        static_cast<size_t>(arg.arrayRows()) * arg.arrayColumns());
  auto sink = [&](double x) { out.numbers.push_back(x); };
  return detail::gatherArgumentInto(arg, ctx, options, out.error, sink);
}

bool gatherNumbers(const Arguments &args, int first, EvalContext &ctx, const GatherOptions &options,
                   NumberList &out) {
  for (int i = first; i < args.count; ++i)
    if (!gatherArgument(args[i], ctx, options, out))
      return false;
  return true;
}

CellValue argumentArray(const CellValue &arg, EvalContext &ctx) {
  switch (arg.kind()) {
  case model::ValueKind::Array:
    return arg;
  case model::ValueKind::Error:
    return arg;
  case model::ValueKind::MultiArea:
    if (arg.areasValue().size() != 1)
      return CellValue::error(model::ErrorCode::Value);
    return argumentArray(CellValue::reference(arg.areasValue().front()), ctx);
  case model::ValueKind::Reference: {
    EvalContext arrayCtx = ctx;
    arrayCtx.arrayMode = true;
    CellValue v = formula::dereference(arg, arrayCtx);
    if (v.isArray())
      return v;
    // A single cell: its value as a 1 x 1 array (an error value included).
    std::vector<CellValue> items(1, std::move(v));
    return CellValue::array(1, 1, std::move(items));
  }
  default: {
    std::vector<CellValue> items(1, arg);
    return CellValue::array(1, 1, std::move(items));
  }
  }
}

const CellValue *SparseArray::firstError() const {
  for (const auto &[at, v] : items)
    if (v.isError())
      return &v;
  return nullptr;
}

bool sparseArgument(const CellValue &arg, EvalContext &ctx, SparseArray &out, CellValue &error) {
  out = SparseArray{};
  switch (arg.kind()) {
  case model::ValueKind::Error:
    error = arg;
    return false;
  case model::ValueKind::Array:
    out.rows = arg.arrayRows();
    out.columns = arg.arrayColumns();
    for (int i = 0; i < out.rows; ++i)
      for (int j = 0; j < out.columns; ++j)
        if (const CellValue &e = arg.arrayItem(i, j); !e.isEmpty())
          out.items.emplace_back(static_cast<size_t>(i) * out.columns + j, e);
    return true;
  case model::ValueKind::MultiArea:
    if (arg.areasValue().size() != 1) {
      error = CellValue::error(model::ErrorCode::Value);
      return false;
    }
    return sparseArgument(CellValue::reference(arg.areasValue().front()), ctx, out, error);
  case model::ValueKind::Reference: {
    const model::SheetRange ref = arg.referenceValue();
    const model::CellRange r = ref.range();
    out.rows = r.rowCount();
    out.columns = r.columnCount();
    const int sheet = ref.sheet < 0 ? ctx.sheet : ref.sheet;
    if (!ctx.book || sheet < 0 || sheet >= ctx.book->sheetCount() ||
        !ctx.book->sheet(sheet).hasGrid())
      return true;
    // Computing a stale cell changes values, never the table, so the walk
    // goes on where it was.
    ctx.book->sheet(sheet).cells.forEachIn(r, [&](model::CellRecord &c) {
      detail::bringUpToDate(*ctx.book, sheet, c, ctx);
      if (!c.value.isEmpty())
        out.items.emplace_back(static_cast<size_t>(c.row - r.firstRow) * out.columns +
                                   static_cast<size_t>(c.column - r.firstColumn),
                               c.value);
    });
    return true;
  }
  default:
    out.rows = out.columns = 1;
    if (!arg.isEmpty())
      out.items.emplace_back(0, arg);
    return true;
  }
}

bool gatherPairs(const CellValue &x, const CellValue &y, EvalContext &ctx, std::vector<double> &xs,
                 std::vector<double> &ys, CellValue &error) {
  SparseArray ax, ay;
  if (!sparseArgument(x, ctx, ax, error) || !sparseArgument(y, ctx, ay, error))
    return false;
  if (ax.size() != ay.size()) {
    error = CellValue::error(model::ErrorCode::NA);
    return false;
  }
  // The first error in row-major order, x before y at one position.
  size_t i = 0, j = 0;
  const size_t none = static_cast<size_t>(-1);
  size_t errorAt = none;
  for (const auto &[at, v] : ax.items)
    if (v.isError()) {
      errorAt = at;
      error = v;
      break;
    }
  for (const auto &[at, v] : ay.items)
    if (v.isError()) {
      if (at < errorAt) {
        errorAt = at;
        error = v;
      }
      break;
    }
  if (errorAt != none)
    return false;
  // Positions where both are numbers, in order.
  while (i < ax.items.size() && j < ay.items.size()) {
    const auto &[pa, a] = ax.items[i];
    const auto &[pb, b] = ay.items[j];
    if (pa < pb) {
      ++i;
    } else if (pb < pa) {
      ++j;
    } else {
      if (a.isNumber() && b.isNumber()) {
        xs.push_back(a.numberValue());
        ys.push_back(b.numberValue());
      }
      ++i;
      ++j;
    }
  }
  return true;
}

bool numberMatrix(const CellValue &arg, EvalContext &ctx, NumberMatrix &out, CellValue &error) {
  const CellValue a = argumentArray(arg, ctx);
  if (a.isError()) {
    error = a;
    return false;
  }
  out.rows = a.arrayRows();
  out.columns = a.arrayColumns();
  out.items.assign(static_cast<size_t>(out.rows) * out.columns, 0.0);
  // The first error wins over a non-number met earlier.
  bool nonNumber = false;
  for (int i = 0; i < out.rows; ++i)
    for (int j = 0; j < out.columns; ++j) {
      const CellValue &e = a.arrayItem(i, j);
      if (e.isError()) {
        error = e;
        return false;
      }
      if (e.isNumber())
        out.at(i, j) = e.numberValue();
      else
        nonNumber = true;
    }
  if (nonNumber) {
    error = CellValue::error(model::ErrorCode::Value);
    return false;
  }
  return true;
}

} // namespace functions

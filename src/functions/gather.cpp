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
    book.circular = 1; // a loop: the cell's last value is used
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

bool gatherPairs(const CellValue &x, const CellValue &y, EvalContext &ctx, std::vector<double> &xs,
                 std::vector<double> &ys, CellValue &error) {
  const CellValue ax = argumentArray(x, ctx);
  if (ax.isError()) {
    error = ax;
    return false;
  }
  const CellValue ay = argumentArray(y, ctx);
  if (ay.isError()) {
    error = ay;
    return false;
  }
  const size_t nx = static_cast<size_t>(ax.arrayRows()) * ax.arrayColumns();
  const size_t ny = static_cast<size_t>(ay.arrayRows()) * ay.arrayColumns();
  if (nx != ny) {
    error = CellValue::error(model::ErrorCode::NA);
    return false;
  }
  xs.reserve(xs.size() + nx);
  ys.reserve(ys.size() + nx);
  const int cx = ax.arrayColumns(), cy = ay.arrayColumns();
  for (size_t k = 0; k < nx; ++k) {
    const CellValue &a = ax.arrayItem(static_cast<int>(k / cx), static_cast<int>(k % cx));
    const CellValue &b = ay.arrayItem(static_cast<int>(k / cy), static_cast<int>(k % cy));
    if (a.isError()) {
      error = a;
      return false;
    }
    if (b.isError()) {
      error = b;
      return false;
    }
    if (a.isNumber() && b.isNumber()) {
      xs.push_back(a.numberValue());
      ys.push_back(b.numberValue());
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

#include "formula/value_ops.h"

#include "formula/array_block_lookup.h"
#include "formula/recalc.h"
#include "formula/text_value.h"
#include "model/workbook.h"
#include "platform/locale_strings.h"
#include "platform/unicode.h"

#include <algorithm>
#include <cmath>

namespace formula {

using model::CellRange;
using model::SheetRange;

int precedence(BinaryOp op) {
  switch (op) {
  case BinaryOp::Range: return 9;
  case BinaryOp::Union: return 8;
  case BinaryOp::Intersect: return 7;
  case BinaryOp::Power: return 5;
  case BinaryOp::Multiply:
  case BinaryOp::Divide:
  case BinaryOp::Remainder: return 4;
  case BinaryOp::Add:
  case BinaryOp::Subtract: return 3;
  case BinaryOp::Concat: return 2;
  default: return 1;
  }
}

CellValue finiteNumber(double x) {
  return std::isfinite(x) ? CellValue::number(x) : CellValue::error(ErrorCode::Num);
}

namespace {

TextOptions textOptions(const EvalContext& ctx) {
  TextOptions o;
  o.date1904 = ctx.book && ctx.book->date1904;
  return o;
}

bool isReferenceKind(const CellValue& v) { return v.isReference() || v.isMultiArea(); }

// A multi-area reference with one area is that area; with more, #VALUE!.
CellValue singleArea(const CellValue& v) {
  if (!v.isMultiArea())
    return v;
  if (v.areasValue().size() == 1)
    return CellValue::reference(v.areasValue()[0]);
  return CellValue::error(ErrorCode::Value);
}

int resolveSheet(int sheet, const EvalContext& ctx) { return sheet < 0 ? ctx.sheet : sheet; }

} // namespace

CellValue toNumber(const CellValue& v, const EvalContext& ctx) {
  switch (v.kind()) {
  case ValueKind::Empty: return CellValue::number(0);
  case ValueKind::Boolean: return CellValue::number(v.booleanValue() ? 1 : 0);
  case ValueKind::Number:
  case ValueKind::Error: return v;
  case ValueKind::String: {
    CellValue n = stringToNumber(v.stringValue(), textOptions(ctx));
    // Text read from an unknown name is #NAME?; any other text #VALUE!.
    if (!n.isNumber())
      return CellValue::error(v.isNameText() ? ErrorCode::Name : ErrorCode::Value);
    return n;
  }
  default: return CellValue::error(ErrorCode::Value);
  }
}

CellValue toBoolean(const CellValue& v) {
  switch (v.kind()) {
  case ValueKind::Empty: return CellValue::boolean(false);
  case ValueKind::Boolean:
  case ValueKind::Error: return v;
  case ValueKind::Number: return CellValue::boolean(v.numberValue() != 0);
  case ValueKind::String:
    if (platform::equalsIgnoreCase(v.stringValue(), u"TRUE"))
      return CellValue::boolean(true);
    if (platform::equalsIgnoreCase(v.stringValue(), u"FALSE"))
      return CellValue::boolean(false);
    return CellValue::error(ErrorCode::Value);
  default: return CellValue::error(ErrorCode::Value);
  }
}

CellValue toText(const CellValue& v) {
  switch (v.kind()) {
  case ValueKind::Empty: return CellValue::string(u"");
  case ValueKind::String:
  case ValueKind::Error: return v;
  case ValueKind::Boolean: return CellValue::string(v.booleanValue() ? u"TRUE" : u"FALSE");
  case ValueKind::Number:
    return CellValue::string(
        numberToText(v.numberValue(), platform::localeStrings(), kFormulaExponentDigits));
  default: return CellValue::error(ErrorCode::Value);
  }
}

CellValue toError(const CellValue& v) {
  if (v.isError())
    return v;
  if (v.isString()) {
    const int code = model::findErrorCode(v.stringValue());
    if (code >= 0)
      return CellValue::error(static_cast<ErrorCode>(code));
  }
  return CellValue::error(ErrorCode::Value);
}

CellValue fetchCell(EvalContext& ctx, int sheet, int row, int column) {
  model::Workbook* book = ctx.book;
  sheet = resolveSheet(sheet, ctx);
  if (!book || sheet < 0 || sheet >= book->sheetCount())
    return CellValue();
  model::Sheet& s = book->sheet(sheet);
  if (!s.hasGrid() || !model::isValidCell(row, column))
    return CellValue();
  model::CellRecord* cell =
      s.cells.at(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
  if (!cell)
    return CellValue();
  if (cell->calcState == model::CalcState::NotValid)
    computeCell(*book, sheet, *cell, ctx.macroRunning);
  else if (cell->calcState == model::CalcState::OnPath)
    noteCircularReference(*book);
  return cell->value;
}

CellValue dereference(const CellValue& in, EvalContext& ctx) {
  if (!isReferenceKind(in))
    return in;
  const CellValue v = singleArea(in);
  if (v.isError())
    return v;
  const SheetRange ref = v.referenceValue();
  const CellRange r = ref.range();
  const int sheet = resolveSheet(ref.sheet, ctx);
  if (r.isSingleCell())
    return fetchCell(ctx, sheet, r.firstRow, r.firstColumn);
  if (ctx.arrayMode) {
    const size_t rows = r.rowCount(), columns = r.columnCount();
    if (rows * columns > kMaxArrayItems)
      return CellValue::error(ErrorCode::NA); // as any value too large to build
    std::vector<CellValue> items(rows * columns);
    model::Workbook* book = ctx.book;
    if (book && sheet >= 0 && sheet < book->sheetCount() && book->sheet(sheet).hasGrid()) {
      // Only stored cells have values: a whole column costs its cells, not
      // a fetch per row. Computing a stale cell changes values, never the
      // table, so the walk goes on where it was.
      book->sheet(sheet).cells.forEachIn(r, [&](model::CellRecord& c) {
        if (c.calcState == model::CalcState::NotValid)
          computeCell(*book, sheet, c, ctx.macroRunning);
        else if (c.calcState == model::CalcState::OnPath)
          noteCircularReference(*book);
        items[(c.row - r.firstRow) * columns + (c.column - r.firstColumn)] = c.value;
      });
    }
    return CellValue::array(static_cast<int>(rows), static_cast<int>(columns), std::move(items));
  }
  // Implicit intersection with the formula's own row or column.
  if (r.firstRow == r.lastRow) {
    if (ctx.column < r.firstColumn || ctx.column > r.lastColumn)
      return CellValue::error(ErrorCode::Value);
    return fetchCell(ctx, sheet, r.firstRow, ctx.column);
  }
  if (r.firstColumn == r.lastColumn) {
    if (ctx.row < r.firstRow || ctx.row > r.lastRow)
      return CellValue::error(ErrorCode::Value);
    return fetchCell(ctx, sheet, ctx.row, r.firstColumn);
  }
  return CellValue::error(ErrorCode::Value);
}

CellValue arrayToSingle(const CellValue& v, const EvalContext& ctx) {
  if (!v.isArray())
    return v;
  if (v.arrayRows() == 0 || v.arrayColumns() == 0)
    return CellValue::error(ErrorCode::NA);
  if (ctx.book) {
    if (const CellRange* block = arrayBlockAt(*ctx.book, ctx.sheet, ctx.row, ctx.column)) {
      int i = ctx.row - block->firstRow;
      int j = ctx.column - block->firstColumn;
      if (v.arrayRows() == 1)
        i = 0;
      if (v.arrayColumns() == 1)
        j = 0;
      if (i >= v.arrayRows() || j >= v.arrayColumns())
        return CellValue::error(ErrorCode::NA);
      return v.arrayItem(i, j);
    }
  }
  return v.arrayItem(0, 0);
}

CellValue toSingleValue(const CellValue& v, EvalContext& ctx) {
  CellValue d = dereference(v, ctx);
  if (!ctx.arrayMode)
    return arrayToSingle(d, ctx);
  return d;
}

namespace {

// Lowers ASCII and, through ICU, every other letter, for case-blind ordering.
int compareStrings(std::u16string_view a, std::u16string_view b) {
  const std::u16string la = platform::toLower(a), lb = platform::toLower(b);
  return la < lb ? -1 : (la == lb ? 0 : 1);
}

int kindRank(ValueKind k) {
  switch (k) {
  case ValueKind::Number: return 0;
  case ValueKind::String: return 1;
  case ValueKind::Boolean: return 2;
  default: return 3;
  }
}

} // namespace

int compareValues(const CellValue& a0, const CellValue& b0) {
  // Empty takes the other side's kind: 0, "" or FALSE.
  CellValue a = a0, b = b0;
  if (a.isEmpty() && b.isEmpty())
    return 0;
  auto emptyAs = [](const CellValue& other) {
    if (other.isString())
      return CellValue::string(u"");
    if (other.isBoolean())
      return CellValue::boolean(false);
    return CellValue::number(0);
  };
  if (a.isEmpty())
    a = emptyAs(b);
  if (b.isEmpty())
    b = emptyAs(a);
  if (a.kind() != b.kind())
    return kindRank(a.kind()) < kindRank(b.kind()) ? -1 : 1;
  switch (a.kind()) {
  case ValueKind::Number: {
    const double x = a.numberValue(), y = b.numberValue();
    if (std::fabs(x - y) <= 1e-15 * std::min(std::fabs(x), std::fabs(y)) || x == y)
      return 0;
    return x < y ? -1 : 1;
  }
  case ValueKind::String: return compareStrings(a.stringValue(), b.stringValue());
  case ValueKind::Boolean: return static_cast<int>(a.booleanValue()) - static_cast<int>(b.booleanValue());
  default: return 0;
  }
}

namespace {

CellValue arithmetic(BinaryOp op, double x, double y) {
  switch (op) {
  case BinaryOp::Add: return finiteNumber(x + y);
  case BinaryOp::Subtract: return finiteNumber(x - y);
  case BinaryOp::Multiply: return finiteNumber(x * y);
  case BinaryOp::Divide:
    if (y == 0)
      return CellValue::error(ErrorCode::Div0);
    return finiteNumber(x / y);
  case BinaryOp::Remainder:
    if (y == 0)
      return CellValue::error(ErrorCode::Div0);
    return finiteNumber(std::fmod(x, y));
  case BinaryOp::Power:
    // 0^0 is taken as 1, as std::pow does; 0 to a negative power overflows to #NUM!.
    return finiteNumber(std::pow(x, y));
  default: return CellValue::error(ErrorCode::Value);
  }
}

// Applies a scalar operator to two single values.
CellValue scalarBinary(BinaryOp op, const CellValue& l, const CellValue& r, EvalContext& ctx) {
  switch (op) {
  case BinaryOp::Add:
  case BinaryOp::Subtract:
  case BinaryOp::Multiply:
  case BinaryOp::Divide:
  case BinaryOp::Power:
  case BinaryOp::Remainder: {
    const CellValue x = toNumber(l, ctx);
    const CellValue y = toNumber(r, ctx);
    if (x.isError())
      return x;
    if (y.isError())
      return y;
    if (!x.isNumber() || !y.isNumber())
      return CellValue::error(ErrorCode::Value);
    return arithmetic(op, x.numberValue(), y.numberValue());
  }
  case BinaryOp::Concat: {
    const CellValue x = toText(l);
    const CellValue y = toText(r);
    if (x.isError())
      return x;
    if (y.isError())
      return y;
    if (!x.isString() || !y.isString())
      return CellValue::error(ErrorCode::Value);
    std::u16string joined;
    joined.reserve(x.stringValue().size() + y.stringValue().size());
    joined.append(x.stringValue()).append(y.stringValue());
    return CellValue::string(joined);
  }
  default: break;
  }
  // Comparisons.
  if (l.isError())
    return l;
  if (r.isError())
    return r;
  if (l.isArray() || r.isArray() || isReferenceKind(l) || isReferenceKind(r))
    return CellValue::error(ErrorCode::Value);
  const int c = compareValues(l, r);
  bool result = false;
  switch (op) {
  case BinaryOp::Equal: result = c == 0; break;
  case BinaryOp::NotEqual: result = c != 0; break;
  case BinaryOp::Less: result = c < 0; break;
  case BinaryOp::LessEqual: result = c <= 0; break;
  case BinaryOp::Greater: result = c > 0; break;
  case BinaryOp::GreaterEqual: result = c >= 0; break;
  default: break;
  }
  return CellValue::boolean(result);
}

// A sheet field of -1 is the formula's own sheet: Sheet1!A1 and A1 read on
// Sheet1 are on the same sheet.
int sheetOf(const SheetRange& r, const EvalContext& ctx) { return r.sheet < 0 ? ctx.sheet : r.sheet; }

CellValue referenceOperator(BinaryOp op, const CellValue& l0, const CellValue& r0,
                            const EvalContext& ctx) {
  if (op == BinaryOp::Union) {
    if (!isReferenceKind(l0) || !isReferenceKind(r0))
      return CellValue::error(ErrorCode::Ref);
    std::vector<SheetRange> areas;
    for (const CellValue* v : {&l0, &r0}) {
      if (v->isReference())
        areas.push_back(v->referenceValue());
      else
        areas.insert(areas.end(), v->areasValue().begin(), v->areasValue().end());
    }
    for (const SheetRange& a : areas)
      if (sheetOf(a, ctx) != sheetOf(areas[0], ctx))
        return CellValue::error(ErrorCode::Ref);
    return CellValue::areas(std::move(areas));
  }
  const CellValue l = singleArea(l0), r = singleArea(r0);
  if (!l.isReference() || !r.isReference())
    return CellValue::error(ErrorCode::Ref);
  const SheetRange a = l.referenceValue(), b = r.referenceValue();
  if (sheetOf(a, ctx) != sheetOf(b, ctx))
    return CellValue::error(ErrorCode::Ref);
  // The result names the sheet when either side did.
  const std::int16_t sheet = a.sheet >= 0 ? a.sheet : b.sheet;
  const CellRange x = a.range(), y = b.range();
  if (op == BinaryOp::Range) {
    const CellRange u{std::min(x.firstRow, y.firstRow), std::min(x.firstColumn, y.firstColumn),
                      std::max(x.lastRow, y.lastRow), std::max(x.lastColumn, y.lastColumn)};
    return CellValue::reference(SheetRange::of(sheet, u));
  }
  if (!x.intersects(y))
    return CellValue::error(ErrorCode::Null);
  const CellRange i{std::max(x.firstRow, y.firstRow), std::max(x.firstColumn, y.firstColumn),
                    std::min(x.lastRow, y.lastRow), std::min(x.lastColumn, y.lastColumn)};
  return CellValue::reference(SheetRange::of(sheet, i));
}

// Combines two arrays (or an array and a scalar) element by element.
template <class Fn> CellValue liftBinary(const CellValue& l, const CellValue& r, Fn fn) {
  const int lr = l.isArray() ? l.arrayRows() : 1, lc = l.isArray() ? l.arrayColumns() : 1;
  const int rr = r.isArray() ? r.arrayRows() : 1, rc = r.isArray() ? r.arrayColumns() : 1;
  const int rows = lr == 1 ? rr : (rr == 1 ? lr : std::min(lr, rr));
  const int cols = lc == 1 ? rc : (rc == 1 ? lc : std::min(lc, rc));
  std::vector<CellValue> items;
  items.reserve(static_cast<size_t>(rows) * cols);
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) {
      const CellValue& a = l.isArray() ? l.arrayItem(lr == 1 ? 0 : i, lc == 1 ? 0 : j) : l;
      const CellValue& b = r.isArray() ? r.arrayItem(rr == 1 ? 0 : i, rc == 1 ? 0 : j) : r;
      items.push_back(fn(a, b));
    }
  return CellValue::array(static_cast<int>(rows), static_cast<int>(cols),
                          std::move(items));
}

} // namespace

CellValue applyBinary(BinaryOp op, const CellValue& lhs, const CellValue& rhs, EvalContext& ctx) {
  if (op == BinaryOp::Range || op == BinaryOp::Intersect || op == BinaryOp::Union)
    return referenceOperator(op, lhs, rhs, ctx);
  // Two numbers need neither dereferencing nor copies.
  if (lhs.isNumber() && rhs.isNumber())
    return scalarBinary(op, lhs, rhs, ctx);
  CellValue l = dereference(lhs, ctx);
  CellValue r = dereference(rhs, ctx);
  if (!ctx.arrayMode) {
    l = arrayToSingle(l, ctx);
    r = arrayToSingle(r, ctx);
    return scalarBinary(op, l, r, ctx);
  }
  if (!l.isArray() && !r.isArray())
    return scalarBinary(op, l, r, ctx);
  return liftBinary(l, r, [&](const CellValue& a, const CellValue& b) {
    return scalarBinary(op, a, b, ctx);
  });
}

namespace {

template <class Fn> CellValue liftUnary(const CellValue& v, EvalContext& ctx, Fn fn) {
  CellValue d = dereference(v, ctx);
  if (!ctx.arrayMode)
    d = arrayToSingle(d, ctx);
  if (!d.isArray())
    return fn(d);
  std::vector<CellValue> items;
  items.reserve(static_cast<size_t>(d.arrayRows()) * d.arrayColumns());
  for (int i = 0; i < d.arrayRows(); ++i)
    for (int j = 0; j < d.arrayColumns(); ++j)
      items.push_back(fn(d.arrayItem(i, j)));
  return CellValue::array(d.arrayRows(), d.arrayColumns(), std::move(items));
}

} // namespace

CellValue applyNegate(const CellValue& v, EvalContext& ctx) {
  return liftUnary(v, ctx, [&](const CellValue& x) {
    const CellValue n = toNumber(x, ctx);
    if (!n.isNumber())
      return n.isError() ? n : CellValue::error(ErrorCode::Value);
    return CellValue::number(0 - n.numberValue());
  });
}

CellValue applyPercent(const CellValue& v, EvalContext& ctx) {
  return liftUnary(v, ctx, [&](const CellValue& x) {
    const CellValue n = toNumber(x, ctx);
    if (!n.isNumber())
      return n.isError() ? n : CellValue::error(ErrorCode::Value);
    return finiteNumber(n.numberValue() * 0.01);
  });
}

} // namespace formula

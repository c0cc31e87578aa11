// Lookup and reference functions. Tables reach them unreduced: a reference
// is searched cell by cell in the sheet's cell store (only stored cells,
// each brought up to date first), an array element by element.

#include "functions/criteria.h"
#include "functions/families.h"
#include "functions/function_helpers.h"

#include "formula/reader.h"
#include "formula/range_cache.h"
#include "formula/recalc.h"
#include "formula/reference_syntax.h"
#include "model/workbook.h"
#include "platform/locale_strings.h"
#include "platform/unicode.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace functions {

namespace {

using model::CellRange;
using model::SheetRange;

constexpr int kSheetRows = 65536;
constexpr int kSheetColumns = 256;
using formula::kMaxArrayItems;

CellValue error(ErrorCode e) { return CellValue::error(e); }

/// A rectangular table: one area of a sheet, or an array (a plain value is
/// a one-by-one array).
struct Table {
  bool isReference = false;
  int sheet = -1; // resolved sheet of a reference; -1 when it names none
  std::int16_t sheetField = -1; // the reference's own sheet field, kept in results
  CellRange area{};
  CellValue array;
  int rows = 0;
  int columns = 0;
};

/// Makes a table of a single area or an array. A reference of several areas
/// gives #REF!.
bool tableOf(const CellValue& v, EvalContext& ctx, Table& t, CellValue& err) {
  if (v.isReference() || v.isMultiArea()) {
    SheetRange r;
    if (v.isReference()) {
      r = v.referenceValue();
    } else if (v.areasValue().size() == 1) {
      r = v.areasValue().front();
    } else {
      err = error(ErrorCode::Ref);
      return false;
    }
    t.isReference = true;
    t.sheetField = r.sheet;
    const int sheet = r.sheet < 0 ? ctx.sheet : r.sheet;
    t.sheet = ctx.book && sheet >= 0 && sheet < ctx.book->sheetCount() &&
                      ctx.book->sheet(sheet).hasGrid()
                  ? sheet
                  : -1;
    t.area = r.range();
    t.rows = t.area.lastRow - t.area.firstRow + 1;
    t.columns = t.area.lastColumn - t.area.firstColumn + 1;
    return true;
  }
  if (v.isError()) {
    err = v;
    return false;
  }
  if (v.isArray()) {
    t.array = v;
    t.rows = v.arrayRows();
    t.columns = v.arrayColumns();
    if (t.rows == 0 || t.columns == 0) {
      err = error(ErrorCode::NA);
      return false;
    }
    return true;
  }
  t.array = CellValue::array(1, 1, {v});
  t.rows = t.columns = 1;
  return true;
}

/// The up-to-date value at (row, column) of the table.
CellValue valueAt(const Table& t, int row, int column, EvalContext& ctx) {
  if (!t.isReference)
    return t.array.arrayItem(row, column);
  if (t.sheet < 0)
    return CellValue();
  return formula::fetchCell(ctx, t.sheet, t.area.firstRow + row, t.area.firstColumn + column);
}

/// Calls fn(index, const CellValue&) for the cells of one row (vertical
/// false) or one column (vertical true) of the table, in order; for a
/// reference only the stored cells, each computed first when stale (a cell
/// being computed sets the circular-reference flag and gives its old value).
/// fn returns false to stop. The value passed must not be kept.
template <class Fn> void walkLine(const Table& t, bool vertical, int line, EvalContext& ctx, Fn&& fn) {
  const int length = vertical ? t.rows : t.columns;
  if (!t.isReference) {
    for (int i = 0; i < length; ++i)
      if (!fn(i, vertical ? t.array.arrayItem(i, line) : t.array.arrayItem(line, i)))
        return;
    return;
  }
  if (t.sheet < 0)
    return;
  CellRange r = t.area;
  if (vertical) {
    r.firstColumn = r.lastColumn = static_cast<std::uint8_t>(t.area.firstColumn + line);
  } else {
    r.firstRow = r.lastRow = static_cast<std::uint16_t>(t.area.firstRow + line);
  }
  model::CellTable& table = ctx.book->sheet(t.sheet).cells;
  model::CellTable::Position p = table.find(r.firstRow, r.firstColumn).position;
  while (!table.isEnd(p)) {
    model::CellRecord* c = table.at(p);
    if (c->row > r.lastRow)
      break;
    if (c->column < r.firstColumn) {
      p = table.find(c->row, r.firstColumn).position;
      continue;
    }
    if (c->column > r.lastColumn) {
      if (c->row >= r.lastRow)
        break;
      // Tables are mostly narrow: a few steps reach the next row sooner than a search.
      const std::uint16_t row = c->row;
      for (int steps = 0; steps < 4 && !table.isEnd(p) && table.at(p)->row == row; ++steps)
        p = table.next(p);
      if (!table.isEnd(p) && table.at(p)->row == row)
        p = table.find(static_cast<std::uint16_t>(row + 1), r.firstColumn).position;
      continue;
    }
    if (c->calcState == model::CalcState::NotValid) {
      const std::uint16_t row = c->row;
      const std::uint8_t column = c->column;
      (void)formula::fetchCell(ctx, t.sheet, row, column);
      // Computing may have changed the store: find the cell again.
      const model::CellTable::Search again = table.find(row, column);
      p = again.position;
      if (!again.found)
        continue;
      c = table.at(p);
    } else if (c->calcState == model::CalcState::OnPath) {
      formula::noteCircularReference(*ctx.book);
    }
    const int index = vertical ? c->row - t.area.firstRow : c->column - t.area.firstColumn;
    if (!fn(index, static_cast<const CellValue&>(c->value)))
      return;
    p = table.next(p);
  }
}

// ---- comparisons of the searches ----

bool sameText(const CellValue& a, const CellValue& b) { return formula::compareValues(a, b) == 0; }

/// Equal and of the same kind: numbers exactly, strings without regard to case.
bool equalKey(const CellValue& cell, const CellValue& key) {
  if (cell.kind() != key.kind())
    return false;
  switch (key.kind()) {
  case ValueKind::Number: return cell.numberValue() == key.numberValue();
  case ValueKind::String: return sameText(cell, key);
  case ValueKind::Boolean: return cell.booleanValue() == key.booleanValue();
  default: return false;
  }
}

/// -1, 0 or 1 for cell against key of the same kind (booleans FALSE < TRUE).
int orderKey(const CellValue& cell, const CellValue& key) {
  switch (key.kind()) {
  case ValueKind::Number:
    return cell.numberValue() < key.numberValue() ? -1 : cell.numberValue() > key.numberValue();
  case ValueKind::String: return formula::compareValues(cell, key);
  case ValueKind::Boolean: return static_cast<int>(cell.booleanValue()) - key.booleanValue();
  default: return 0;
  }
}

/// The approximate key test of the lookups: booleans only when equal.
bool notAboveKey(const CellValue& cell, const CellValue& key) {
  if (cell.kind() != key.kind())
    return false;
  if (key.isBoolean())
    return cell.booleanValue() == key.booleanValue();
  return orderKey(cell, key) <= 0;
}

/// The index along a line that the approximate search selects, or the error
/// that ends it. A walk up from the last cell stops at the first cell that
/// is an error or a key not above the lookup value; walking down and keeping
/// the last such cell selects the same one.
std::optional<int> approximateSearch(const Table& t, bool vertical, int line, const CellValue& key,
                                     EvalContext& ctx, CellValue& err) {
  int found = -1;
  CellValue lastError;
  walkLine(t, vertical, line, ctx, [&](int i, const CellValue& v) {
    if (v.isError()) {
      found = i;
      lastError = v;
    } else if (notAboveKey(v, key)) {
      found = i;
      lastError = CellValue();
    }
    return true;
  });
  if (found < 0) {
    err = error(ErrorCode::NA);
    return std::nullopt;
  }
  if (lastError.isError()) {
    err = lastError;
    return std::nullopt;
  }
  return found;
}

std::optional<int> exactSearch(const Table& t, bool vertical, int line, const CellValue& key,
                               EvalContext& ctx) {
  int found = -1;
  walkLine(t, vertical, line, ctx, [&](int i, const CellValue& v) {
    if (!equalKey(v, key))
      return true;
    found = i;
    return false;
  });
  if (found < 0)
    return std::nullopt;
  return found;
}

// ---- search indexes of reference lines ----

// A line of a reference table (its first column, or first row) indexed for
// repeated searches: per kind of key, the keys in order with their
// positions (ties by position), and running extremes of the positions so
// that each search is a binary search. Strings are keyed by their lower
// case, the order comparisons use. The searches give what the walks give.
class LineIndex : public formula::RangeCache {
public:
  static constexpr int kVertical = 1;
  static constexpr int kHorizontal = 2;

  template <class Walk> void build(Walk&& walk) {
    walk([&](int i, const CellValue& v) {
      switch (v.kind()) {
      case ValueKind::Number: m_numbers.keys.push_back({v.numberValue(), i}); break;
      case ValueKind::String: m_strings.keys.push_back({platform::toLower(v.stringValue()), i}); break;
      case ValueKind::Boolean: m_booleans.keys.push_back({v.booleanValue() ? 1.0 : 0.0, i}); break;
      case ValueKind::Error:
        m_lastError = i;
        m_error = v;
        break;
      default: break;
      }
      return true;
    });
    m_numbers.finish();
    m_strings.finish();
    m_booleans.finish();
  }

  size_t cost() const override {
    return m_numbers.keys.size() + 2 * m_strings.keys.size() + m_booleans.keys.size();
  }

  /// Whether a key of this value's kind can be searched here.
  static bool indexable(const CellValue& key) {
    return key.isNumber() || key.isString() || key.isBoolean();
  }

  /// The first position holding a key equal to `key`, or -1.
  int exact(const CellValue& key) const {
    return visit(key, [](const auto& list, const auto& k) {
      const size_t lo = list.lowerBound(k);
      return lo < list.keys.size() && list.keys[lo].key == k ? list.keys[lo].index : -1;
    });
  }

  /// The approximate search of the lookups: the last position holding an
  /// error or a key of the same kind not above `key` (booleans only when
  /// equal). Returns the position, or -1 with `err` set.
  int approximate(const CellValue& key, CellValue& err) const {
    int best = visit(key, [&](const auto& list, const auto& k) {
      const size_t ub = list.upperBound(k);
      if (ub == 0)
        return -1;
      if (key.isBoolean())
        return list.keys[ub - 1].key == k ? list.keys[ub - 1].index : -1;
      return list.prefixMax[ub - 1];
    });
    if (m_lastError > best) {
      err = m_error;
      return -1;
    }
    if (best < 0)
      err = CellValue::error(ErrorCode::NA);
    return best;
  }

  /// The first position holding a key of the same kind above `key`
  /// (beyond > 0) or below it (beyond < 0); -1 when there is none.
  int firstBeyond(const CellValue& key, int beyond) const {
    return visit(key, [&](const auto& list, const auto& k) {
      if (beyond > 0) {
        const size_t ub = list.upperBound(k);
        return ub < list.keys.size() ? list.suffixMin[ub] : -1;
      }
      const size_t lb = list.lowerBound(k);
      return lb > 0 ? list.prefixMin[lb - 1] : -1;
    });
  }

private:
  template <class K> struct Sorted {
    struct Item {
      K key;
      int index;
    };
    std::vector<Item> keys;
    std::vector<int> prefixMax, prefixMin, suffixMin;

    void finish() {
      std::sort(keys.begin(), keys.end(), [](const Item& a, const Item& b) {
        return a.key < b.key || (a.key == b.key && a.index < b.index);
      });
      const size_t n = keys.size();
      prefixMax.resize(n);
      prefixMin.resize(n);
      suffixMin.resize(n);
      for (size_t i = 0; i < n; ++i) {
        prefixMax[i] = i ? std::max(prefixMax[i - 1], keys[i].index) : keys[i].index;
        prefixMin[i] = i ? std::min(prefixMin[i - 1], keys[i].index) : keys[i].index;
      }
      for (size_t i = n; i-- > 0;)
        suffixMin[i] = i + 1 < n ? std::min(suffixMin[i + 1], keys[i].index) : keys[i].index;
    }
    size_t lowerBound(const K& k) const {
      return static_cast<size_t>(
          std::lower_bound(keys.begin(), keys.end(), k,
                           [](const Item& a, const K& b) { return a.key < b; }) -
          keys.begin());
    }
    size_t upperBound(const K& k) const {
      return static_cast<size_t>(
          std::upper_bound(keys.begin(), keys.end(), k,
                           [](const K& a, const Item& b) { return a < b.key; }) -
          keys.begin());
    }
  };

  template <class Fn> int visit(const CellValue& key, Fn&& fn) const {
    switch (key.kind()) {
    case ValueKind::Number: return fn(m_numbers, key.numberValue());
    case ValueKind::String: return fn(m_strings, platform::toLower(key.stringValue()));
    case ValueKind::Boolean: return fn(m_booleans, key.booleanValue() ? 1.0 : 0.0);
    default: return -1;
    }
  }

  Sorted<double> m_numbers;
  Sorted<std::u16string> m_strings;
  Sorted<double> m_booleans;
  int m_lastError = -1;
  CellValue m_error;
};

/// The index of the table's first column (vertical) or row, when the table
/// is a reference whose line has been searched before unchanged; null
/// otherwise (the caller walks the line).
const LineIndex* lineIndexOf(const Table& t, bool vertical, EvalContext& ctx) {
  if (!t.isReference || t.sheet < 0 || !ctx.book)
    return nullptr;
  CellRange line = t.area;
  if (vertical)
    line.lastColumn = line.firstColumn;
  else
    line.lastRow = line.firstRow;
  const formula::RangeCacheKey key{t.sheet, line,
                                   vertical ? LineIndex::kVertical : LineIndex::kHorizontal};
  if (const LineIndex* found = formula::findRangeCache<LineIndex>(*ctx.book, key))
    return found;
  if (!formula::wantRangeCache(*ctx.book, key))
    return nullptr;
  const std::uint64_t stamp = formula::rangeStamp(*ctx.book, t.sheet, line);
  auto index = std::make_unique<LineIndex>();
  index->build([&](auto&& fn) { walkLine(t, vertical, 0, ctx, fn); });
  // A formula being abandoned gave old values for the cells it met.
  if (formula::evaluationAbandoned())
    return nullptr;
  const LineIndex* built = index.get();
  formula::storeRangeCache(*ctx.book, key, std::move(index), stamp);
  return built;
}

// ---- VLOOKUP, HLOOKUP, LOOKUP ----

template <bool Vertical> void tableLookupHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  if (args[1].isNumber()) {
    result = error(ErrorCode::NA);
    return;
  }
  Table t;
  if (!tableOf(args[1], ctx, t, result))
    return;
  const double index = std::trunc(args[2].numberValue());
  const int width = Vertical ? t.columns : t.rows;
  if (!(index >= 1 && index <= width)) {
    result = error(ErrorCode::Value);
    return;
  }
  const CellValue& key = args[0];
  if (key.isError()) {
    result = key;
    return;
  }
  const bool approximate = isMissing(args, 3) || args[3].booleanValue();
  std::optional<int> hit;
  if (const LineIndex* index =
          LineIndex::indexable(key) ? lineIndexOf(t, Vertical, ctx) : nullptr) {
    const int at = approximate ? index->approximate(key, result) : index->exact(key);
    if (at < 0) {
      if (!approximate)
        result = error(ErrorCode::NA);
      return;
    }
    hit = at;
  } else if (approximate) {
    hit = approximateSearch(t, Vertical, 0, key, ctx, result);
    if (!hit)
      return;
  } else {
    hit = exactSearch(t, Vertical, 0, key, ctx);
    if (!hit) {
      result = error(ErrorCode::NA);
      return;
    }
  }
  const int other = static_cast<int>(index) - 1;
  result = Vertical ? valueAt(t, *hit, other, ctx) : valueAt(t, other, *hit, ctx);
}

void lookupHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  Table t;
  if (!tableOf(args[1], ctx, t, result))
    return;
  const CellValue& key = args[0];
  if (key.isError()) {
    result = key;
    return;
  }
  // One line is searched: a single row or column, else the first row of a
  // table wider than tall, else the first column.
  const bool vertical = !(t.rows == 1 || (t.columns > t.rows && t.rows > 1));
  std::optional<int> hit;
  if (const LineIndex* index =
          LineIndex::indexable(key) ? lineIndexOf(t, vertical, ctx) : nullptr) {
    const int at = index->approximate(key, result);
    if (at < 0)
      return;
    hit = at;
  } else {
    hit = approximateSearch(t, vertical, 0, key, ctx, result);
  }
  if (!hit)
    return;
  if (isMissing(args, 2)) {
    // The array form answers from the last row or column.
    result = vertical ? valueAt(t, *hit, t.columns - 1, ctx) : valueAt(t, t.rows - 1, *hit, ctx);
    return;
  }
  Table out;
  if (!tableOf(args[2], ctx, out, result))
    return;
  const bool outVertical = out.columns == 1;
  if (!out.isReference) {
    const int length = outVertical ? out.rows : out.columns;
    result = *hit < length ? (outVertical ? valueAt(out, *hit, 0, ctx) : valueAt(out, 0, *hit, ctx))
                           : error(ErrorCode::NA);
    return;
  }
  // A result reference shorter than the search line reaches past its end,
  // as long as that stays on the sheet.
  const int row = out.area.firstRow + (outVertical ? *hit : 0);
  const int column = out.area.firstColumn + (outVertical ? 0 : *hit);
  if (row >= kSheetRows || column >= kSheetColumns || out.sheet < 0) {
    result = error(ErrorCode::Ref);
    return;
  }
  result = formula::fetchCell(ctx, out.sheet, row, column);
}

// ---- MATCH ----

void matchHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  Table t;
  if (args[1].isMultiArea() && args[1].areasValue().size() != 1) {
    result = error(ErrorCode::NA);
    return;
  }
  if (!tableOf(args[1], ctx, t, result))
    return;
  if (t.rows > 1 && t.columns > 1) {
    result = error(ErrorCode::NA);
    return;
  }
  const CellValue& key = args[0];
  if (key.isError()) {
    result = key;
    return;
  }
  const bool vertical = t.columns == 1 && t.rows > 1;
  const int length = vertical ? t.rows : t.columns;
  const double type = numberOr(args, 2, 1);
  int position = -1;
  if (const LineIndex* index =
          LineIndex::indexable(key) ? lineIndexOf(t, vertical, ctx) : nullptr) {
    if (type == 0) {
      const int at = index->exact(key);
      position = at < 0 ? -1 : at + 1;
    } else {
      const int at = index->firstBeyond(key, type > 0 ? 1 : -1);
      position = at < 0 ? length : at;
    }
  } else if (type == 0) {
    walkLine(t, vertical, 0, ctx, [&](int i, const CellValue& v) {
      const bool hit = equalKey(v, key);
      if (hit)
        position = i + 1;
      return !hit;
    });
  } else {
    // The walk ends at the first key past the value in the sort order the
    // type promises; what lies before it is the answer.
    const int beyond = type > 0 ? 1 : -1;
    position = length;
    walkLine(t, vertical, 0, ctx, [&](int i, const CellValue& v) {
      if (v.kind() != key.kind() || orderKey(v, key) != beyond)
        return true;
      position = i;
      return false;
    });
  }
  if (position <= 0) {
    result = error(ErrorCode::NA);
    return;
  }
  result = CellValue::number(position);
}

// ---- INDEX, OFFSET, INDIRECT ----

void indexHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const double area = std::trunc(numberOr(args, 3, 1));
  if (area < 1) {
    result = error(ErrorCode::Value);
    return;
  }
  CellValue source = args[0];
  if (source.isMultiArea()) {
    const auto& areas = source.areasValue();
    if (area > static_cast<double>(areas.size())) {
      result = error(ErrorCode::Ref);
      return;
    }
    source = CellValue::reference(areas[static_cast<size_t>(area) - 1]);
  } else if (area > 1) {
    result = error(ErrorCode::Ref);
    return;
  }
  Table t;
  if (!tableOf(source, ctx, t, result))
    return;
  double row = std::trunc(numberOr(args, 1, 0));
  double column = std::trunc(numberOr(args, 2, 0));
  // A single row is indexed by its columns when only one index is given.
  if (t.rows == 1 && t.columns > 1 && isMissing(args, 2)) {
    column = row;
    row = 0;
  }
  if (!(row >= 0 && row <= t.rows && column >= 0 && column <= t.columns)) {
    result = error(ErrorCode::Ref);
    return;
  }
  const int r = static_cast<int>(row), c = static_cast<int>(column);
  const int r0 = r == 0 ? 0 : r - 1, r1 = r == 0 ? t.rows - 1 : r - 1;
  const int c0 = c == 0 ? 0 : c - 1, c1 = c == 0 ? t.columns - 1 : c - 1;
  if (t.isReference) {
    const CellRange out{static_cast<std::uint16_t>(t.area.firstRow + r0),
                        static_cast<std::uint8_t>(t.area.firstColumn + c0),
                        static_cast<std::uint16_t>(t.area.firstRow + r1),
                        static_cast<std::uint8_t>(t.area.firstColumn + c1)};
    result = CellValue::reference(SheetRange::of(t.sheetField, out));
    return;
  }
  if (r0 == r1 && c0 == c1) {
    result = t.array.arrayItem(r0, c0);
    return;
  }
  std::vector<CellValue> items;
  items.reserve(static_cast<size_t>(r1 - r0 + 1) * (c1 - c0 + 1));
  for (int i = r0; i <= r1; ++i)
    for (int j = c0; j <= c1; ++j)
      items.push_back(t.array.arrayItem(i, j));
  result = CellValue::array(static_cast<int>(r1 - r0 + 1),
                            static_cast<int>(c1 - c0 + 1), std::move(items));
}

/// The single area of a reference argument (a one-area list counts).
bool singleArea(const CellValue& v, SheetRange& out) {
  if (v.isReference()) {
    out = v.referenceValue();
    return true;
  }
  if (v.isMultiArea() && v.areasValue().size() == 1) {
    out = v.areasValue().front();
    return true;
  }
  return false;
}

void offsetHandler(Arguments& args, CellValue& result, EvalContext&) {
  SheetRange ref;
  if (!singleArea(args[0], ref)) {
    result = error(ErrorCode::Value);
    return;
  }
  const CellRange r = ref.range();
  const double rows = std::trunc(args[1].numberValue());
  const double columns = std::trunc(args[2].numberValue());
  const double height = std::trunc(numberOr(args, 3, r.lastRow - r.firstRow + 1));
  const double width = std::trunc(numberOr(args, 4, r.lastColumn - r.firstColumn + 1));
  if (height == 0 || width == 0) {
    result = error(ErrorCode::Ref);
    return;
  }
  double top = r.firstRow + rows, left = r.firstColumn + columns;
  double bottom = top + height - 1, right = left + width - 1;
  // A negative size reaches up or left from the moved corner.
  if (height < 0) {
    bottom = top;
    top = top + height + 1;
  }
  if (width < 0) {
    right = left;
    left = left + width + 1;
  }
  if (!(top >= 0 && bottom < kSheetRows && left >= 0 && right < kSheetColumns)) {
    result = error(ErrorCode::Ref);
    return;
  }
  const CellRange out{static_cast<std::uint16_t>(top), static_cast<std::uint8_t>(left),
                      static_cast<std::uint16_t>(bottom), static_cast<std::uint8_t>(right)};
  result = CellValue::reference(SheetRange::of(ref.sheet, out));
}

void indirectHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  const std::u16string_view text = args[0].stringValue();
  const bool a1 = isMissing(args, 1) || args[1].booleanValue();
  const std::u16string& ls = platform::localeStrings().listSeparator;
  const char16_t separator = ls.empty() ? u',' : ls[0];
  result = error(ErrorCode::Ref);
  if (text.empty())
    return;
  formula::ParsedReference ref;
  const bool read =
      a1 ? formula::readA1Reference(text, 0, ctx.book, separator, ref)
         : formula::readR1C1Reference(text, 0, ctx.book, separator, ctx.row, ctx.column, ref);
  if (read && ref.end == text.size()) {
    const int sheet = ref.hasQualifier ? ref.sheet : -1;
    result = CellValue::reference(SheetRange::of(static_cast<std::int16_t>(sheet), ref.range()));
    return;
  }
  if (!ctx.book)
    return;
  model::NameLookup name = model::find_name(*ctx.book, text, 0, ctx.sheet);
  if (formula::QualifiedName local;
      name.index < 0 && formula::readQualifiedName(text, 0, ctx.book, separator, local)) {
    name.index = local.index;
    name.end = local.end;
  }
  if (name.index < 0 || name.end != text.size())
    return;
  const std::u16string definition = ctx.book->names[static_cast<size_t>(name.index)].formula;
  // A name may be defined through INDIRECT of itself; the nesting bound ends that.
  if (definition.empty() || ctx.depth + 1 > formula::kMaxReaderDepth)
    return;
  EvalContext inner = ctx;
  ++inner.depth;
  inner.arrayMode = false;
  CellValue v = formula::evaluateSpan(definition, 0, definition.size(), inner);
  // A name through a range of sheets gives its area on each of them; read
  // as text that is no reference, as the range itself is not.
  const auto acrossSheets = [](const CellValue& areas) {
    const std::vector<SheetRange>& list = areas.areasValue();
    return std::any_of(list.begin(), list.end(), [&](const SheetRange& a) { return a.sheet != list.front().sheet; });
  };
  if (v.isReference() || (v.isMultiArea() && !acrossSheets(v)))
    result = std::move(v);
}

// ---- positions and sizes ----

/// The sheet text of ADDRESS with its "!": quoted when the name needs it,
/// where a leading workbook part "[Book1]" asks for no quotes by itself.
void appendAddressSheet(std::u16string& out, std::u16string_view sheet) {
  const size_t close = sheet.starts_with(u'[') ? sheet.find(u']') : std::u16string_view::npos;
  if (close == std::u16string_view::npos || close + 1 == sheet.size()) {
    formula::appendSheetQualifier(out, sheet, false);
    return;
  }
  std::u16string plain(sheet.substr(1, close - 1));
  plain += sheet.substr(close + 1);
  std::u16string probe;
  formula::appendSheetQualifier(probe, plain, false);
  const bool quoted = !probe.empty() && probe.front() == u'\'';
  if (quoted) {
    formula::appendSheetQualifier(out, sheet, true);
  } else {
    out += sheet;
    out += u'!';
  }
}

void addressHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double row = std::trunc(args[0].numberValue());
  const double column = std::trunc(args[1].numberValue());
  const double abs = std::trunc(numberOr(args, 2, 1));
  const bool a1 = isMissing(args, 3) || args[3].booleanValue();
  if (!(row >= 1 && row <= kSheetRows && column >= 1 && column <= kSheetColumns && abs >= 1 &&
        abs <= 8)) {
    result = error(ErrorCode::Value);
    return;
  }
  // Kinds 5 to 8 are the older spelling of 1 to 4; files still carry them.
  const int kind = (static_cast<int>(abs) - 1) % 4 + 1;
  const bool rowAbsolute = kind == 1 || kind == 2;
  const bool columnAbsolute = kind == 1 || kind == 3;
  std::u16string out;
  if (!isMissing(args, 4) && !args[4].stringValue().empty())
    appendAddressSheet(out, args[4].stringValue());
  if (a1) {
    formula::RefCorner corner;
    corner.row = static_cast<int>(row) - 1;
    corner.column = static_cast<int>(column) - 1;
    corner.rowAbsolute = rowAbsolute;
    corner.columnAbsolute = columnAbsolute;
    formula::appendCellAddress(out, corner);
  } else {
    // Relative R1C1 parts are offsets from the formula's cell, so the
    // numbers stand in brackets.
    auto part = [&](char16_t letter, int n, bool absolute) {
      out += letter;
      const std::string s = std::to_string(n);
      if (!absolute)
        out += u'[';
      out.append(s.begin(), s.end());
      if (!absolute)
        out += u']';
    };
    part(u'R', static_cast<int>(row), rowAbsolute);
    part(u'C', static_cast<int>(column), columnAbsolute);
  }
  result = CellValue::string(out);
}

void areasHandler(Arguments& args, CellValue& result, EvalContext&) {
  result = CellValue::number(args[0].isMultiArea() ? static_cast<double>(args[0].areasValue().size())
                                                   : 1.0);
}

void chooseHandler(Arguments& args, CellValue& result, EvalContext&) {
  const double i = std::trunc(args[0].numberValue());
  if (!(i >= 1 && i < args.count)) {
    result = error(ErrorCode::Value);
    return;
  }
  result = args[static_cast<int>(i)];
}

/// ROW and COLUMN: the position of the first cell (of the formula's cell when
/// the argument is left out); in array mode, every row or column of an area.
template <bool Rows> void positionHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  if (isMissing(args, 0)) {
    result = CellValue::number(Rows ? ctx.row + 1 : ctx.column + 1);
    return;
  }
  SheetRange ref;
  if (!singleArea(args[0], ref)) {
    result = error(ErrorCode::Ref);
    return;
  }
  const CellRange r = ref.range();
  const int first = Rows ? r.firstRow : r.firstColumn;
  const int count = Rows ? r.lastRow - r.firstRow + 1 : r.lastColumn - r.firstColumn + 1;
  if (!ctx.arrayMode || count == 1) {
    result = CellValue::number(first + 1);
    return;
  }
  std::vector<CellValue> items;
  items.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    items.push_back(CellValue::number(first + i + 1));
  result = Rows ? CellValue::array(static_cast<int>(count), 1, std::move(items))
                : CellValue::array(1, static_cast<int>(count), std::move(items));
}

template <bool Rows> void sizeHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  Table t;
  if (!tableOf(args[0], ctx, t, result))
    return;
  result = CellValue::number(Rows ? t.rows : t.columns);
}

void transposeHandler(Arguments& args, CellValue& result, EvalContext& ctx) {
  Table t;
  if (!tableOf(args[0], ctx, t, result))
    return;
  // A row holds at most 65,535 columns: a whole column cannot become a row.
  if (t.rows > 65535) {
    result = error(ErrorCode::Value);
    return;
  }
  if (static_cast<size_t>(t.rows) * t.columns > kMaxArrayItems) {
    result = error(ErrorCode::NA); // as any value too large to build
    return;
  }
  std::vector<CellValue> items(static_cast<size_t>(t.rows) * t.columns);
  if (t.isReference) {
    for (int c = 0; c < t.columns; ++c)
      walkLine(t, true, c, ctx, [&](int r, const CellValue& v) {
        items[static_cast<size_t>(c) * t.rows + r] = v;
        return true;
      });
  } else {
    for (int r = 0; r < t.rows; ++r)
      for (int c = 0; c < t.columns; ++c)
        items[static_cast<size_t>(c) * t.rows + r] = t.array.arrayItem(r, c);
  }
  result = CellValue::array(static_cast<int>(t.columns), static_cast<int>(t.rows),
                            std::move(items));
}

// There are no pivot tables to take data from, so every reference misses.
void getpivotdataHandler(Arguments&, CellValue& result, EvalContext&) {
  result = error(ErrorCode::Ref);
}

void hyperlinkHandler(Arguments& args, CellValue& result, EvalContext&) {
  // A cell shows the friendly name when there is one, else the link itself.
  result = isMissing(args, 1) ? args[0] : args[1];
}

// clang-format off
constexpr HandlerRow kLookupHandlers[] = {
    {u"ADDRESS",   addressHandler},
    {u"AREAS",     areasHandler},
    {u"CHOOSE",    chooseHandler},
    {u"COLUMN",    positionHandler<false>},
    {u"COLUMNS",   sizeHandler<false>},
    {u"GETPIVOTDATA", getpivotdataHandler},
    {u"HLOOKUP",   tableLookupHandler<false>},
    {u"HYPERLINK", hyperlinkHandler},
    {u"INDEX",     indexHandler},
    {u"INDIRECT",  indirectHandler},
    {u"LOOKUP",    lookupHandler},
    {u"MATCH",     matchHandler},
    {u"OFFSET",    offsetHandler},
    {u"ROW",       positionHandler<true>},
    {u"ROWS",      sizeHandler<true>},
    {u"TRANSPOSE", transposeHandler},
    {u"VLOOKUP",   tableLookupHandler<true>},
};
// clang-format on

} // namespace

void registerLookupFunctions() { registerRows(kLookupHandlers); }

} // namespace functions

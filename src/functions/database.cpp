// The database functions and the criteria functions COUNTIF, SUMIF,
// COUNTBLANK and those of later versions (COUNTIFS, SUMIFS, AVERAGEIF(S),
// MAXIFS, MINIFS).

#include "functions/families.h"

#include "functions/criteria.h"
#include "functions/function_helpers.h"
#include "functions/gather.h"
#include "formula/range_cache.h"
#include "formula/recalc.h"
#include "model/workbook.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace functions {

namespace {

using model::CellRange;

formula::TextOptions textOptions(const EvalContext& ctx) {
  formula::TextOptions o;
  o.date1904 = ctx.book && ctx.book->date1904 != 0;
  return o;
}

CellValue valueError() { return CellValue::error(ErrorCode::Value); }

// The sheet index a reference's sheet field stands for.
int resolvedSheet(const model::SheetRange& r, const EvalContext& ctx) {
  return r.sheet < 0 ? ctx.sheet : r.sheet;
}

// The single area of a reference argument; false for several areas.
bool singleArea(const CellValue& v, const EvalContext& ctx, int& sheet, CellRange& range) {
  model::SheetRange r;
  if (v.isReference())
    r = v.referenceValue();
  else if (v.isMultiArea() && v.areasValue().size() == 1)
    r = v.areasValue().front();
  else
    return false;
  sheet = resolvedSheet(r, ctx);
  range = r.range();
  return true;
}

// Calls fn(sheet, range) for each area of a single or multi-area reference.
template <class Fn> void forEachArea(const CellValue& v, const EvalContext& ctx, Fn&& fn) {
  if (v.isReference()) {
    fn(resolvedSheet(v.referenceValue(), ctx), v.referenceValue().range());
  } else if (v.isMultiArea()) {
    for (const model::SheetRange& r : v.areasValue())
      fn(resolvedSheet(r, ctx), r.range());
  }
}

std::int64_t cellCount(const CellRange& r) {
  return static_cast<std::int64_t>(r.rowCount()) * r.columnCount();
}

model::Sheet* gridSheet(const EvalContext& ctx, int sheet) {
  if (!ctx.book || sheet < 0 || sheet >= ctx.book->sheetCount())
    return nullptr;
  model::Sheet& s = ctx.book->sheet(sheet);
  return s.hasGrid() ? &s : nullptr;
}

// Calls fn(row, column, const CellValue&) for every stored cell of the range
// in row-major order, after bringing stale formulas up to date. Values are
// read in place, so the counting functions copy no strings; fn must not
// change the sheet.
template <class Fn>
void visitStoredCells(EvalContext& ctx, int sheet, const CellRange& r, Fn&& fn) {
  model::Sheet* s = gridSheet(ctx, sheet);
  if (!s)
    return;
  // Computing a cell may compute others, so the stale ones are listed first
  // and the walk that reads values starts afresh afterwards.
  std::vector<std::uint32_t> stale;
  s->cells.forEachIn(r, [&](model::CellRecord& c) {
    if (c.calcState == model::CalcState::NotValid || c.calcState == model::CalcState::OnPath)
      stale.push_back(model::packCell(c.row, c.column));
  });
  for (std::uint32_t p : stale)
    (void)formula::fetchCell(ctx, sheet, model::packedRow(p), model::packedColumn(p));
  s->cells.forEachIn(r, [&](const model::CellRecord& c) { fn(c.row, c.column, c.value); });
}

bool isStored(const EvalContext& ctx, int sheet, int row, int column) {
  model::Sheet* s = gridSheet(ctx, sheet);
  return s && model::isValidCell(row, column) &&
         s->cells.at(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
}

// ---- COUNTIF, SUMIF, COUNTBLANK ----

// Offsets (row << 8 | column) from an area's top-left corner.
std::uint32_t offsetOf(int dr, int dc) {
  return static_cast<std::uint32_t>(dr) << 8 | static_cast<std::uint32_t>(dc);
}

class CachedCriteriaIndex : public formula::RangeCache {
public:
  CriteriaIndex index;
  size_t cost() const override { return index.size() + index.groupCount(); }
};

// The index of an area's stored cells when the area has been tested before
// unchanged (see formula/range_cache.h), else null: the caller walks it.
const CriteriaIndex* criteriaIndexOf(EvalContext& ctx, int sheet, const CellRange& r) {
  if (!gridSheet(ctx, sheet))
    return nullptr;
  const formula::TextOptions options = textOptions(ctx);
  const formula::RangeCacheKey key{sheet, r, options.date1904 ? 4 : 3};
  if (auto* found = formula::findRangeCache<CachedCriteriaIndex>(*ctx.book, key))
    return &found->index;
  if (!formula::wantRangeCache(*ctx.book, key))
    return nullptr;
  const std::uint64_t stamp = formula::rangeStamp(*ctx.book, sheet, r);
  auto cached = std::make_unique<CachedCriteriaIndex>();
  visitStoredCells(ctx, sheet, r, [&](int row, int column, const CellValue& v) {
    cached->index.add(offsetOf(row - r.firstRow, column - r.firstColumn), v);
  });
  // A formula being abandoned gave old values for the cells it met.
  if (formula::evaluationAbandoned())
    return nullptr;
  cached->index.finish(options);
  const CriteriaIndex* built = &cached->index;
  formula::storeRangeCache(*ctx.book, key, std::move(cached), stamp);
  return built;
}

void countIf(Arguments& args, CellValue& result, EvalContext& ctx) {
  const Criterion criterion = parseCriterion(args[1], textOptions(ctx));
  // Cells that are not stored are empty: they are counted, not visited.
  const bool emptyMatches = criterion.matches(CellValue());
  std::int64_t count = 0;
  forEachArea(args[0], ctx, [&](int sheet, const CellRange& r) {
    std::int64_t stored = 0;
    if (const CriteriaIndex* index = criteriaIndexOf(ctx, sheet, r)) {
      stored = static_cast<std::int64_t>(index->size());
      count += static_cast<std::int64_t>(index->count(criterion));
    } else {
      visitStoredCells(ctx, sheet, r, [&](int, int, const CellValue& v) {
        ++stored;
        count += criterion.matches(v) ? 1 : 0;
      });
    }
    if (emptyMatches)
      count += cellCount(r) - stored;
  });
  result = CellValue::number(static_cast<double>(count));
}

// The sum area of SUMIF: as large as the tested area, from the top-left cell
// of the given one, cut at the sheet's edge.
CellRange sumAreaFor(const CellRange& tested, const CellRange& given) {
  CellRange r = given;
  r.lastRow = static_cast<std::uint16_t>(
      std::min<int>(model::kMaxRow, given.firstRow + tested.rowCount() - 1));
  r.lastColumn = static_cast<std::uint8_t>(
      std::min<int>(model::kMaxColumn, given.firstColumn + tested.columnCount() - 1));
  return r;
}

void sumIf(Arguments& args, CellValue& result, EvalContext& ctx) {
  const Criterion criterion = parseCriterion(args[1], textOptions(ctx));
  double sum = 0;
  CellValue firstError;
  auto add = [&](const CellValue& v) {
    if (v.isNumber())
      sum += v.numberValue();
    else if (v.isError() && !firstError.isError())
      firstError = v;
  };
  if (isMissing(args, 2)) {
    // Empty cells add nothing, so only stored cells need visiting.
    forEachArea(args[0], ctx, [&](int sheet, const CellRange& r) {
      visitStoredCells(ctx, sheet, r, [&](int, int, const CellValue& v) {
        if (criterion.matches(v))
          add(v);
      });
    });
  } else {
    int sheet = 0, sumSheet = 0;
    CellRange tested, given;
    // Pairing cells of two areas needs one area on each side.
    if (!singleArea(args[0], ctx, sheet, tested) || !singleArea(args[2], ctx, sumSheet, given)) {
      result = valueError();
      return;
    }
    const CellRange summed = sumAreaFor(tested, given);
    // Offsets from the top-left corners of the selected cells.
    std::vector<std::uint32_t> selected;
    auto offset = offsetOf;
    if (const CriteriaIndex* index = criteriaIndexOf(ctx, sheet, tested)) {
      selected = index->offsets(criterion);
    } else {
      visitStoredCells(ctx, sheet, tested, [&](int row, int column, const CellValue& v) {
        if (criterion.matches(v))
          selected.push_back(offset(row - tested.firstRow, column - tested.firstColumn));
      });
    }
    if (criterion.matches(CellValue())) {
      // Tested cells that are not stored are empty and selected; only those
      // facing a stored cell of the sum area can add anything.
      std::vector<std::uint32_t> extra;
      visitStoredCells(ctx, sumSheet, summed, [&](int row, int column, const CellValue&) {
        const int dr = row - summed.firstRow, dc = column - summed.firstColumn;
        if (!isStored(ctx, sheet, tested.firstRow + dr, tested.firstColumn + dc))
          extra.push_back(offset(dr, dc));
      });
      selected.insert(selected.end(), extra.begin(), extra.end());
      std::sort(selected.begin(), selected.end());
    }
    for (std::uint32_t o : selected) {
      const int row = summed.firstRow + static_cast<int>(o >> 8);
      const int column = summed.firstColumn + static_cast<int>(o & 0xFF);
      if (row <= summed.lastRow && column <= summed.lastColumn)
        add(formula::fetchCell(ctx, sumSheet, row, column));
    }
  }
  result = firstError.isError() ? firstError : numberResult(sum);
}

// ---- COUNTIFS, SUMIFS, AVERAGEIF(S), MAXIFS, MINIFS ----

struct CriteriaPair {
  int sheet = 0;
  CellRange range;
  Criterion criterion;
};

// The criteria pairs from argument `first` on, each area shaped as `shape`
// (the first pair's when null): false, with #VALUE!, for a pair without its
// criterion, an area of several parts or another shape.
bool criteriaPairs(const Arguments& args, int first, EvalContext& ctx, const CellRange* shape,
                   std::vector<CriteriaPair>& pairs) {
  if (args.count <= first || (args.count - first) % 2 != 0)
    return false;
  for (int i = first; i + 1 < args.count; i += 2) {
    CriteriaPair pair;
    if (!singleArea(args[i], ctx, pair.sheet, pair.range))
      return false;
    const CellRange& like = shape ? *shape : pairs.empty() ? pair.range : pairs.front().range;
    if (pair.range.rowCount() != like.rowCount() || pair.range.columnCount() != like.columnCount())
      return false;
    pair.criterion = parseCriterion(args[i + 1], textOptions(ctx));
    pairs.push_back(std::move(pair));
  }
  return true;
}

// Whether the cells at offset (dr, dc) of every pair's area but `skip` meet
// their criteria.
bool pairsMatch(EvalContext& ctx, const std::vector<CriteriaPair>& pairs, int dr, int dc,
                const CriteriaPair* skip = nullptr) {
  for (const CriteriaPair& p : pairs) {
    if (&p == skip)
      continue;
    if (!p.criterion.matches(
            formula::fetchCell(ctx, p.sheet, p.range.firstRow + dr, p.range.firstColumn + dc)))
      return false;
  }
  return true;
}

void countIfs(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::vector<CriteriaPair> pairs;
  if (!criteriaPairs(args, 0, ctx, nullptr, pairs)) {
    result = valueError();
    return;
  }
  // A criterion that no empty cell meets selects among stored cells only.
  const CriteriaPair* driver = nullptr;
  for (const CriteriaPair& p : pairs)
    if (!driver && !p.criterion.matches(CellValue()))
      driver = &p;
  std::int64_t count = 0;
  if (driver) {
    std::vector<std::uint32_t> offsets;
    visitStoredCells(ctx, driver->sheet, driver->range, [&](int row, int column, const CellValue& v) {
      if (driver->criterion.matches(v))
        offsets.push_back(offsetOf(row - driver->range.firstRow, column - driver->range.firstColumn));
    });
    for (std::uint32_t o : offsets)
      count += pairsMatch(ctx, pairs, static_cast<int>(o >> 8), static_cast<int>(o & 0xFF), driver);
  } else {
    const CellRange& r = pairs.front().range;
    for (int dr = 0; dr < r.rowCount(); ++dr)
      for (int dc = 0; dc < r.columnCount(); ++dc)
        count += pairsMatch(ctx, pairs, dr, dc);
  }
  result = CellValue::number(static_cast<double>(count));
}

enum class Aggregate : std::uint8_t { Sum, Average, Max, Min };

// Aggregates the numbers of `target` whose cells at the same offsets meet
// every pair's criterion; a selected error is the result.
CellValue aggregateWhere(EvalContext& ctx, int sheet, const CellRange& target,
                         const std::vector<CriteriaPair>& pairs, Aggregate how) {
  std::vector<std::pair<std::uint32_t, double>> numbers;
  std::vector<std::uint32_t> errors;
  std::vector<CellValue> errorValues;
  visitStoredCells(ctx, sheet, target, [&](int row, int column, const CellValue& v) {
    const std::uint32_t o = offsetOf(row - target.firstRow, column - target.firstColumn);
    if (v.isNumber())
      numbers.emplace_back(o, v.numberValue());
    else if (v.isError()) {
      errors.push_back(o);
      errorValues.push_back(v);
    }
  });
  for (size_t i = 0; i < errors.size(); ++i)
    if (pairsMatch(ctx, pairs, static_cast<int>(errors[i] >> 8), static_cast<int>(errors[i] & 0xFF)))
      return errorValues[i];
  double sum = 0, best = 0;
  std::int64_t count = 0;
  for (const auto& [o, x] : numbers) {
    if (!pairsMatch(ctx, pairs, static_cast<int>(o >> 8), static_cast<int>(o & 0xFF)))
      continue;
    sum += x;
    if (count == 0 || (how == Aggregate::Max ? x > best : x < best))
      best = x;
    ++count;
  }
  switch (how) {
  case Aggregate::Sum: return numberResult(sum);
  case Aggregate::Average:
    return count == 0 ? CellValue::error(ErrorCode::Div0) : numberResult(sum / static_cast<double>(count));
  case Aggregate::Max:
  case Aggregate::Min: return CellValue::number(count == 0 ? 0 : best);
  }
  return CellValue();
}

// SUMIFS and its kin: the value area first, then the criteria pairs, every
// area of one shape.
template <Aggregate How> void aggregateIfs(Arguments& args, CellValue& result, EvalContext& ctx) {
  int sheet = 0;
  CellRange target;
  std::vector<CriteriaPair> pairs;
  if (!singleArea(args[0], ctx, sheet, target) || !criteriaPairs(args, 1, ctx, &target, pairs)) {
    result = valueError();
    return;
  }
  result = aggregateWhere(ctx, sheet, target, pairs, How);
}

// AVERAGEIF: the average area, like SUMIF's sum area, takes the tested
// area's shape from its own top-left cell.
void averageIf(Arguments& args, CellValue& result, EvalContext& ctx) {
  std::vector<CriteriaPair> pairs(1);
  CriteriaPair& tested = pairs.front();
  if (!singleArea(args[0], ctx, tested.sheet, tested.range)) {
    result = valueError();
    return;
  }
  tested.criterion = parseCriterion(args[1], textOptions(ctx));
  int sheet = tested.sheet;
  CellRange target = tested.range;
  if (!isMissing(args, 2)) {
    CellRange given;
    if (!singleArea(args[2], ctx, sheet, given)) {
      result = valueError();
      return;
    }
    target = sumAreaFor(tested.range, given);
    // Cut at the sheet's edge: the tested area shrinks with it.
    tested.range.lastRow = static_cast<std::uint16_t>(tested.range.firstRow + target.rowCount() - 1);
    tested.range.lastColumn =
        static_cast<std::uint8_t>(tested.range.firstColumn + target.columnCount() - 1);
  }
  result = aggregateWhere(ctx, sheet, target, pairs, Aggregate::Average);
}

void countBlank(Arguments& args, CellValue& result, EvalContext& ctx) {
  // Formulas that give empty text count as blank, as they look blank.
  std::int64_t blank = 0;
  forEachArea(args[0], ctx, [&](int sheet, const CellRange& r) {
    std::int64_t filled = 0;
    visitStoredCells(ctx, sheet, r, [&](int, int, const CellValue& v) {
      if (!v.isEmpty() && !(v.isString() && v.stringValue().empty()))
        ++filled;
    });
    blank += cellCount(r) - filled;
  });
  result = CellValue::number(static_cast<double>(blank));
}

// ---- database queries ----

struct DatabaseQuery {
  int sheet = 0;
  CellRange database;
  int field = -1;                  // 0-based database column; -1 when left out
  std::vector<std::uint16_t> rows; // sheet rows of the selected records, ascending
};

// The database column a field argument names, or -1.
int fieldColumn(const CellValue& f, const std::vector<std::u16string>& headers) {
  const double columns = static_cast<double>(headers.size());
  switch (f.kind()) {
  case ValueKind::Number: {
    const double t = std::trunc(f.numberValue());
    return t >= 1 && t <= columns ? static_cast<int>(t) - 1 : -1;
  }
  case ValueKind::Boolean: return f.booleanValue() && columns >= 1 ? 0 : -1;
  case ValueKind::String:
    for (size_t k = 0; k < headers.size(); ++k)
      if (compareFolded(f.stringValue(), headers[k]) == 0)
        return static_cast<int>(k);
    return -1;
  default: return -1;
  }
}

// Reads the database, field and criteria arguments and selects the records.
// Returns false with `error` set when an argument is unusable.
bool runQuery(const Arguments& args, EvalContext& ctx, bool fieldOptional, DatabaseQuery& q,
              CellValue& error) {
  int criteriaSheet = 0;
  CellRange criteria;
  if (!singleArea(args[0], ctx, q.sheet, q.database) ||
      !singleArea(args[2], ctx, criteriaSheet, criteria) || q.database.rowCount() < 2 ||
      criteria.rowCount() < 2) {
    error = valueError();
    return false;
  }
  const CellRange& db = q.database;
  std::vector<std::u16string> headers;
  for (int c = db.firstColumn; c <= db.lastColumn; ++c)
    headers.push_back(headerText(formula::fetchCell(ctx, q.sheet, db.firstRow, c)));

  if (fieldOptional && isMissing(args, 1)) {
    q.field = -1;
  } else if ((q.field = fieldColumn(args[1], headers)) < 0) {
    error = valueError();
    return false;
  }

  CriteriaTable table;
  std::vector<CellValue> row(static_cast<size_t>(criteria.columnCount()));
  for (int c = criteria.firstColumn; c <= criteria.lastColumn; ++c)
    row[static_cast<size_t>(c - criteria.firstColumn)] =
        formula::fetchCell(ctx, criteriaSheet, criteria.firstRow, c);
  table.setHeaders(headers, row);

  // Criteria rows are read from the stored cells, so that a criteria range
  // of whole columns costs what it holds; its rows without any stored cell
  // are all alike (empty) and stand for one row that selects everything.
  const formula::TextOptions options = textOptions(ctx);
  CellRange below = criteria;
  below.firstRow = static_cast<std::uint16_t>(criteria.firstRow + 1);
  int currentRow = -1;
  size_t rowsSeen = 0;
  auto flush = [&] {
    if (currentRow >= 0) {
      table.addRow(row, options);
      ++rowsSeen;
    }
  };
  visitStoredCells(ctx, criteriaSheet, below, [&](int r, int c, const CellValue& v) {
    if (r != currentRow) {
      flush();
      std::fill(row.begin(), row.end(), CellValue());
      currentRow = r;
    }
    row[static_cast<size_t>(c - criteria.firstColumn)] = v;
  });
  flush();
  if (rowsSeen < static_cast<size_t>(criteria.rowCount() - 1))
    table.addRow({}, options);

  std::vector<CellValue> record(headers.size());
  for (int r = db.firstRow + 1; r <= db.lastRow; ++r) {
    if (!table.selectsAll()) {
      for (int k : table.usedColumns())
        record[static_cast<size_t>(k)] = formula::fetchCell(ctx, q.sheet, r, db.firstColumn + k);
      if (!table.matches(record))
        continue;
    }
    q.rows.push_back(static_cast<std::uint16_t>(r));
  }
  return true;
}

// The field cells of the selected records as one reference of row runs.
CellValue fieldCells(const DatabaseQuery& q) {
  std::vector<model::SheetRange> areas;
  const auto column = static_cast<std::uint8_t>(q.database.firstColumn + q.field);
  const auto sheet = static_cast<std::int16_t>(q.sheet);
  for (size_t i = 0; i < q.rows.size();) {
    size_t j = i + 1;
    while (j < q.rows.size() && q.rows[j] == q.rows[j - 1] + 1)
      ++j;
    areas.push_back(model::SheetRange::of(sheet, {q.rows[i], column, q.rows[j - 1], column}));
    i = j;
  }
  return CellValue::areas(std::move(areas));
}

// Runs the query and gathers the numbers of the selected field cells (text
// and empty cells skipped). False with `result` set on failure.
bool queryNumbers(const Arguments& args, EvalContext& ctx, bool stopAtErrors, NumberList& list,
                  CellValue& result) {
  DatabaseQuery q;
  if (!runQuery(args, ctx, false, q, result))
    return false;
  if (q.rows.empty())
    return true;
  GatherOptions options;
  options.stopAtErrors = stopAtErrors;
  if (!gatherArgument(fieldCells(q), ctx, options, list)) {
    result = list.error;
    return false;
  }
  return true;
}

void dsum(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!queryNumbers(args, ctx, true, list, result))
    return;
  double sum = 0;
  for (double x : list.numbers)
    sum += x;
  result = numberResult(sum);
}

void daverage(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!queryNumbers(args, ctx, true, list, result))
    return;
  if (list.empty()) {
    result = CellValue::error(ErrorCode::Div0);
    return;
  }
  double sum = 0;
  for (double x : list.numbers)
    sum += x;
  result = numberResult(sum / static_cast<double>(list.size()));
}

void dmax(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!queryNumbers(args, ctx, true, list, result))
    return;
  const auto& xs = list.numbers;
  result = CellValue::number(xs.empty() ? 0 : *std::max_element(xs.begin(), xs.end()));
}

void dmin(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!queryNumbers(args, ctx, true, list, result))
    return;
  const auto& xs = list.numbers;
  result = CellValue::number(xs.empty() ? 0 : *std::min_element(xs.begin(), xs.end()));
}

void dproduct(Arguments& args, CellValue& result, EvalContext& ctx) {
  NumberList list;
  if (!queryNumbers(args, ctx, true, list, result))
    return;
  // Nothing selected gives 0, as a product of no numbers does in PRODUCT.
  double product = list.empty() ? 0 : 1;
  for (double x : list.numbers)
    product *= x;
  result = numberResult(product);
}

// Variance of the selected numbers with `lost` degrees of freedom (1 for a
// sample, 0 for a population). The mean is taken first: the one-pass form
// loses every digit when the values are large and close together.
void variance(Arguments& args, CellValue& result, EvalContext& ctx, int lost, bool root) {
  NumberList list;
  if (!queryNumbers(args, ctx, true, list, result))
    return;
  const size_t n = list.size();
  if (n <= static_cast<size_t>(lost)) {
    result = CellValue::error(ErrorCode::Div0);
    return;
  }
  double mean = 0;
  for (double x : list.numbers)
    mean += x;
  mean /= static_cast<double>(n);
  double squares = 0;
  for (double x : list.numbers)
    squares += (x - mean) * (x - mean);
  const double v = squares / static_cast<double>(n - static_cast<size_t>(lost));
  result = numberResult(root ? std::sqrt(v) : v);
}

void dvar(Arguments& args, CellValue& result, EvalContext& ctx) {
  variance(args, result, ctx, 1, false);
}
void dvarp(Arguments& args, CellValue& result, EvalContext& ctx) {
  variance(args, result, ctx, 0, false);
}
void dstdev(Arguments& args, CellValue& result, EvalContext& ctx) {
  variance(args, result, ctx, 1, true);
}
void dstdevp(Arguments& args, CellValue& result, EvalContext& ctx) {
  variance(args, result, ctx, 0, true);
}

void dcount(Arguments& args, CellValue& result, EvalContext& ctx) {
  DatabaseQuery q;
  if (!runQuery(args, ctx, true, q, result))
    return;
  if (q.field < 0 || q.rows.empty()) {
    result = CellValue::number(static_cast<double>(q.rows.size()));
    return;
  }
  NumberList list;
  GatherOptions options;
  options.stopAtErrors = false;
  (void)gatherArgument(fieldCells(q), ctx, options, list);
  result = CellValue::number(static_cast<double>(list.size()));
}

void dcounta(Arguments& args, CellValue& result, EvalContext& ctx) {
  DatabaseQuery q;
  if (!runQuery(args, ctx, true, q, result))
    return;
  size_t count = q.rows.size();
  if (q.field >= 0) {
    count = 0;
    for (std::uint16_t r : q.rows)
      if (!formula::fetchCell(ctx, q.sheet, r, q.database.firstColumn + q.field).isEmpty())
        ++count;
  }
  result = CellValue::number(static_cast<double>(count));
}

void dget(Arguments& args, CellValue& result, EvalContext& ctx) {
  DatabaseQuery q;
  if (!runQuery(args, ctx, false, q, result))
    return;
  // No record: nothing to return; several: no single answer.
  if (q.rows.size() != 1) {
    result = CellValue::error(q.rows.empty() ? ErrorCode::Value : ErrorCode::Num);
    return;
  }
  result = formula::fetchCell(ctx, q.sheet, q.rows.front(), q.database.firstColumn + q.field);
  // A blank field cell reads as 0, as a reference to a blank cell does.
  if (result.isEmpty())
    result = CellValue::number(0);
}

// clang-format off
constexpr HandlerRow kDatabaseRows[] = {
    {u"AVERAGEIF",  averageIf},
    {u"AVERAGEIFS", aggregateIfs<Aggregate::Average>},
    {u"COUNTBLANK", countBlank},
    {u"COUNTIF",    countIf},
    {u"COUNTIFS",   countIfs},
    {u"DAVERAGE",   daverage},
    {u"DCOUNT",     dcount},
    {u"DCOUNTA",    dcounta},
    {u"DGET",       dget},
    {u"DMAX",       dmax},
    {u"DMIN",       dmin},
    {u"DPRODUCT",   dproduct},
    {u"DSTDEV",     dstdev},
    {u"DSTDEVP",    dstdevp},
    {u"DSUM",       dsum},
    {u"DVAR",       dvar},
    {u"DVARP",      dvarp},
    {u"MAXIFS",     aggregateIfs<Aggregate::Max>},
    {u"MINIFS",     aggregateIfs<Aggregate::Min>},
    {u"SUMIF",      sumIf},
    {u"SUMIFS",     aggregateIfs<Aggregate::Sum>},
};
// clang-format on

} // namespace

void registerDatabaseFunctions() { registerRows(kDatabaseRows); }

} // namespace functions

// Workloads of the math family and the number gatherer: SUM over 100,000
// cells through a formula (the target: 100 million cells per
// second), the gatherer alone over the same cells, SUBTOTAL and SUMPRODUCT
// over them, and the decimal rounding functions.

#include "formula/reader.h"
#include "formula/recalc.h"
#include "functions/families.h"
#include "functions/gather.h"
#include "model/set_cell.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace model;

constexpr int kRows = 50000; // two columns of 50,000: a sheet has 65,536 rows
constexpr double kCells = 2.0 * kRows;

struct Book {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  WorkbookList books;
  Workbook *book = nullptr;
  Book() {
    formula::installFormulaEngine();
    functions::registerMathFunctions();
    if (books.new_workbook(nullptr))
      book = books.active();
  }
  /// A1:B50000 hold 1..100000 (A by rows first, then B).
  void fill() {
    for (int r = 0; r < kRows; ++r)
      for (int c = 0; c < 2; ++c)
        (void)set_cell(*book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c),
                       platform::fromUtf8(std::to_string(c * kRows + r + 1)), 15, false, false);
  }
  double eval(std::u16string_view f) {
    formula::EvalContext ctx{book, 0, 60000, 10};
    const CellValue v = formula::evaluateFormula(f, ctx);
    return v.isNumber() ? v.numberValue() : -1;
  }
};

constexpr double kSum = kCells * (kCells + 1) / 2;

void reportCells(benchmark::State &state) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kCells));
  state.counters["cells/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kCells,
                                                 benchmark::Counter::kIsRate);
}

// The figure: =SUM(A1:B50000), 100,000 numbers, through the formula
// reader and the engine's SUM (src/formula/core_functions.cpp).
void BM_Sum_Formula100k(benchmark::State &state) {
  Book b;
  b.fill();
  double r = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(r = b.eval(u"=SUM(A1:B50000)"));
  if (r != kSum)
    state.SkipWithError("wrong sum");
  reportCells(state);
}
BENCHMARK(BM_Sum_Formula100k)->Unit(benchmark::kMicrosecond);

// The shared gatherer alone over the same reference (what SUM would cost
// if it gathered through it).
void BM_Gather_Reference100k(benchmark::State &state) {
  Book b;
  b.fill();
  const CellValue ref = CellValue::reference(
      SheetRange::of(-1, CellRange{0, 0, static_cast<std::uint16_t>(kRows - 1), 1}));
  functions::NumberList list;
  list.numbers.reserve(static_cast<size_t>(kCells));
  double sum = 0;
  for (auto _ : state) {
    formula::EvalContext ctx{b.book, 0, 60000, 10};
    list.clear();
    functions::gatherArgument(ref, ctx, functions::GatherOptions{}, list);
    sum = 0;
    for (double x : list.numbers)
      sum += x;
    benchmark::DoNotOptimize(sum);
  }
  if (sum != kSum)
    state.SkipWithError("wrong sum");
  reportCells(state);
}
BENCHMARK(BM_Gather_Reference100k)->Unit(benchmark::kMicrosecond);

// SUBTOTAL(9, ...): the gatherer with skip-subtotals and hidden-row mode 2.
void BM_Subtotal9_Formula100k(benchmark::State &state) {
  Book b;
  b.fill();
  double r = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(r = b.eval(u"=SUBTOTAL(9,A1:B50000)"));
  if (r != kSum)
    state.SkipWithError("wrong subtotal");
  reportCells(state);
}
BENCHMARK(BM_Subtotal9_Formula100k)->Unit(benchmark::kMicrosecond);

// SUBTOTAL over one column of two: the walk passes B's cells in every row.
void BM_Subtotal9_OneColumnOfTwo50k(benchmark::State &state) {
  Book b;
  b.fill();
  double r = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(r = b.eval(u"=SUBTOTAL(9,A1:A50000)"));
  if (r != kRows * (kRows + 1.0) / 2)
    state.SkipWithError("wrong subtotal");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRows));
}
BENCHMARK(BM_Subtotal9_OneColumnOfTwo50k)->Unit(benchmark::kMicrosecond);

// SUMPRODUCT of two 50,000-cell columns (arrays of every cell's value).
void BM_Sumproduct_Formula2x50k(benchmark::State &state) {
  Book b;
  b.fill();
  double r = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(r = b.eval(u"=SUMPRODUCT(A1:A50000,B1:B50000)"));
  if (r <= 0)
    state.SkipWithError("wrong sumproduct");
  reportCells(state);
}
BENCHMARK(BM_Sumproduct_Formula2x50k)->Unit(benchmark::kMicrosecond);

// One decimal-correct ROUND, formula reading included.
void BM_Round_Formula(benchmark::State &state) {
  Book b;
  double r = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(r = b.eval(u"=ROUND(2.675,2)"));
  if (r != 2.68)
    state.SkipWithError("wrong round");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Round_Formula)->Unit(benchmark::kNanosecond);

// The reading alone, for comparison with the line above.
void BM_Abs_Formula(benchmark::State &state) {
  Book b;
  double r = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(r = b.eval(u"=ABS(2.675)"));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Abs_Formula)->Unit(benchmark::kNanosecond);

} // namespace

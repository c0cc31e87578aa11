// AVERAGE and STDEV over 100,000 numbers (two columns of 50,000 rows), and
// a column of NORMSINV and CHIINV formulas recomputed.

#include "functions/families.h"

#include "formula/reader.h"
#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 50000;

struct Book {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  model::WorkbookList books;
  model::Workbook* book = nullptr;
  Book() {
    formula::installFormulaEngine();
    functions::registerStatisticalFunctions();
    if (books.new_workbook(nullptr))
      book = books.active();
  }
  void set(int row, int column, const std::string& t) {
    (void)model::set_cell(*book, 0, static_cast<std::uint16_t>(row),
                          static_cast<std::uint8_t>(column), platform::fromUtf8(t), 15, false,
                          false);
  }
  double evaluate(std::u16string_view text) {
    formula::EvalContext ctx{book, 0, 0, 10};
    const model::CellValue v = formula::evaluateFormula(text, ctx);
    return v.isNumber() ? v.numberValue() : std::nan("");
  }
};

// Values 1..100,000: mean 50,000.5, sample variance n (n + 1) / 12.
Book& numbersBook() {
  static Book b;
  static bool filled = false;
  if (!filled) {
    for (int r = 0; r < kRows; ++r) {
      b.set(r, 0, std::to_string(r + 1));
      b.set(r, 1, std::to_string(kRows + r + 1));
    }
    filled = true;
  }
  return b;
}

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "wrong result: %s\n", what);
    std::abort();
  }
}

// One AVERAGE over 100,000 referenced numbers.
void BM_Average_100kCells(benchmark::State& state) {
  Book& b = numbersBook();
  double v = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(v = b.evaluate(u"=AVERAGE(A1:B50000)"));
  check(v == 50000.5, "AVERAGE");
  state.SetItemsProcessed(state.iterations() * 2 * kRows);
}
BENCHMARK(BM_Average_100kCells)->Unit(benchmark::kMillisecond);

// One STDEV over 100,000 referenced numbers.
void BM_Stdev_100kCells(benchmark::State& state) {
  Book& b = numbersBook();
  double v = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(v = b.evaluate(u"=STDEV(A1:B50000)"));
  const double n = 2.0 * kRows;
  check(std::fabs(v - std::sqrt(n * (n + 1) / 12)) < 1e-9 * v, "STDEV");
  state.SetItemsProcessed(state.iterations() * 2 * kRows);
}
BENCHMARK(BM_Stdev_100kCells)->Unit(benchmark::kMillisecond);

// A column of inverse-distribution formulas over probabilities spread across (0, 1).
void recomputeInverses(benchmark::State& state, const char* name, const char* extra) {
  Book b;
  constexpr int kCount = 1000;
  for (int r = 0; r < kCount; ++r)
    b.set(r, 0, std::string("=") + name + "(" + std::to_string((r + 0.5) / kCount) + extra + ")");
  std::vector<model::CellRecord*> cells;
  for (int r = 0; r < kCount; ++r)
    cells.push_back(model::cell_at(b.book->sheet(0), static_cast<std::uint16_t>(r), 0));
  int numbers = 0;
  for (auto _ : state) {
    numbers = 0;
    for (model::CellRecord* c : cells) {
      c->calcState = model::CalcState::NotValid;
      formula::computeCell(*b.book, 0, *c);
      numbers += c->value.isNumber() ? 1 : 0;
    }
  }
  check(numbers == kCount, name);
  state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_Normsinv_1000Cells(benchmark::State& state) { recomputeInverses(state, "NORMSINV", ""); }
BENCHMARK(BM_Normsinv_1000Cells)->Unit(benchmark::kMillisecond);

void BM_Chiinv_1000Cells(benchmark::State& state) { recomputeInverses(state, "CHIINV", ",7"); }
BENCHMARK(BM_Chiinv_1000Cells)->Unit(benchmark::kMillisecond);

} // namespace

// Lookups in a 10,000-row table: 10,000 VLOOKUPs exact and approximate, and
// MATCH exact and sorted, each a pass of 10,000 formulas.

#include "functions/families.h"

#include "formula/reader.h"
#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr int kRows = 10000;
constexpr int kLookups = 10000;

struct Book {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  model::WorkbookList books;
  model::Workbook* book = nullptr;
  Book() {
    formula::installFormulaEngine();
    functions::registerLookupFunctions();
    if (books.new_workbook(nullptr))
      book = books.active();
    // Keys 1..10000 in A, twice the key in B.
    for (int r = 0; r < kRows; ++r) {
      set(r, 0, std::to_string(r + 1));
      set(r, 1, std::to_string(2 * (r + 1)));
    }
  }
  void set(int row, int column, const std::string& t) {
    (void)model::set_cell(*book, 0, static_cast<std::uint16_t>(row),
                          static_cast<std::uint8_t>(column), platform::fromUtf8(t), 15, false,
                          false);
  }
};

/// Keys spread over the whole table in a scattered order.
int keyOf(int i) { return static_cast<int>((static_cast<long long>(i) * 7919) % kRows) + 1; }

void run(benchmark::State& state, const std::string& before, const std::string& after,
         double offset, bool doubled) {
  Book b;
  std::vector<std::u16string> formulas;
  for (int i = 0; i < kLookups; ++i) {
    char key[32];
    std::snprintf(key, sizeof key, "%g", keyOf(i) + offset);
    formulas.push_back(platform::fromUtf8("=" + before + key + after));
  }
  double sum = 0;
  for (auto _ : state) {
    sum = 0;
    for (const std::u16string& f : formulas) {
      formula::EvalContext ctx{b.book, 0, 20000, 5};
      const model::CellValue v = formula::evaluateFormula(f, ctx);
      sum += v.isNumber() ? v.numberValue() : -1e12;
    }
  }
  double expected = 0;
  for (int i = 0; i < kLookups; ++i)
    expected += doubled ? 2.0 * keyOf(i) : keyOf(i);
  if (sum != expected)
    state.SkipWithError("wrong result");
  state.SetItemsProcessed(state.iterations() * kLookups);
}

void BM_Vlookup_Exact10000(benchmark::State& state) {
  run(state, "VLOOKUP(", ",A1:B10000,2,FALSE)", 0, true);
}
BENCHMARK(BM_Vlookup_Exact10000)->Unit(benchmark::kMillisecond);

void BM_Vlookup_Approximate10000(benchmark::State& state) {
  run(state, "VLOOKUP(", ",A1:B10000,2)", 0.5, true);
}
BENCHMARK(BM_Vlookup_Approximate10000)->Unit(benchmark::kMillisecond);

void BM_Match_Exact10000(benchmark::State& state) {
  run(state, "MATCH(", ",A1:A10000,0)", 0, false);
}
BENCHMARK(BM_Match_Exact10000)->Unit(benchmark::kMillisecond);

void BM_Match_Sorted10000(benchmark::State& state) {
  run(state, "MATCH(", ",A1:A10000,1)", 0.5, false);
}
BENCHMARK(BM_Match_Sorted10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

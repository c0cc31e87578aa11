// Criteria workloads: counting with a wildcard criterion over two long
// columns, a database sum with two criteria rows, and the wildcard matcher
// on a pattern that defeats naive backtracking.

#include "functions/criteria.h"
#include "functions/families.h"
#include "formula/reader.h"
#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::u16string text(const std::string& s) { return platform::fromUtf8(s); }

struct Book {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  model::WorkbookList books;
  model::Workbook* book = nullptr;
  Book() {
    formula::installFormulaEngine();
    functions::registerDatabaseFunctions();
    if (books.new_workbook(nullptr))
      book = books.active();
  }
  void set(int row, int column, const std::u16string& t) {
    (void)model::set_cell(*book, 0, static_cast<std::uint16_t>(row),
                          static_cast<std::uint8_t>(column), t, 15, false, false);
  }
  model::CellValue eval(std::u16string_view formula) {
    formula::EvalContext ctx{book, 0, 60000, 10};
    return formula::evaluateFormula(formula, ctx);
  }
};

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "wrong result: %s\n", what);
    std::abort();
  }
}

// =COUNTIF(A1:B50000,"row*7?") over 100,000 texts "row1" .. "row100000":
// those whose tens digit is 7.
void BM_CountIf_Wildcard100k(benchmark::State& state) {
  Book b;
  constexpr int kRows = 50000;
  int expected = 0;
  for (int c = 0; c < 2; ++c) {
    for (int r = 0; r < kRows; ++r) {
      const int n = c * kRows + r + 1;
      b.set(r, c, text("row" + std::to_string(n)));
      expected += (n >= 10 && (n / 10) % 10 == 7) ? 1 : 0;
    }
  }
  model::CellValue v;
  for (auto _ : state) {
    v = b.eval(u"=COUNTIF(A1:B50000,\"row*7?\")");
    benchmark::DoNotOptimize(v);
  }
  check(v.isNumber() && v.numberValue() == expected, "COUNTIF");
  state.SetItemsProcessed(state.iterations() * 2 * kRows);
}
BENCHMARK(BM_CountIf_Wildcard100k)->Unit(benchmark::kMillisecond);

// =DSUM over 10,000 records (Region, Units, Amount) with the criteria rows
// Region North and Units > 50, or Region South and Units < 10.
void BM_Dsum_TwoCriteriaRows10k(benchmark::State& state) {
  Book b;
  constexpr int kRecords = 10000;
  const char* regions[] = {"North", "South", "East", "West"};
  b.set(0, 0, u"Region");
  b.set(0, 1, u"Units");
  b.set(0, 2, u"Amount");
  double expected = 0;
  for (int r = 1; r <= kRecords; ++r) {
    const int region = r % 4, units = (r * 7) % 100;
    b.set(r, 0, text(regions[region]));
    b.set(r, 1, text(std::to_string(units)));
    b.set(r, 2, text(std::to_string(r)));
    if ((region == 0 && units > 50) || (region == 1 && units < 10))
      expected += r;
  }
  b.set(0, 4, u"Region");
  b.set(0, 5, u"Units");
  b.set(1, 4, u"North");
  b.set(1, 5, u">50");
  b.set(2, 4, u"South");
  b.set(2, 5, u"<10");
  model::CellValue v;
  for (auto _ : state) {
    v = b.eval(u"=DSUM(A1:C10001,\"Amount\",E1:F3)");
    benchmark::DoNotOptimize(v);
  }
  check(v.isNumber() && v.numberValue() == expected, "DSUM");
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_Dsum_TwoCriteriaRows10k)->Unit(benchmark::kMillisecond);

// "*a*a*a*a*a*a*a*b" against 2,000 letters a: no match, after every split.
void BM_WildcardMatch_Nasty2000(benchmark::State& state) {
  const std::u16string subject(2000, u'a');
  bool matched = true;
  for (auto _ : state) {
    matched = functions::wildcardMatch(u"*a*a*a*a*a*a*a*b", subject, false);
    benchmark::DoNotOptimize(matched);
  }
  check(!matched, "wildcardMatch");
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(subject.size() * 2));
}
BENCHMARK(BM_WildcardMatch_Nasty2000);

} // namespace

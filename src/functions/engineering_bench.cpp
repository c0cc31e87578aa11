// Engineering functions over a column of 20,000 formulas, each computed again
// per pass: CONVERT (a unit lookup through the table), DEC2BIN (text
// results), BESSELJ/BESSELK (the numerical work) and IMPRODUCT (complex text
// read and written).

#include "functions/families.h"

#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 20000;

struct Book {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope{ui};
  model::WorkbookList books;
  model::Workbook *book = nullptr;
  Book() {
    formula::installFormulaEngine();
    functions::registerEngineeringFunctions();
    if (books.new_workbook(nullptr))
      book = books.active();
  }
  void set(int row, int column, const std::string &t) {
    (void)model::set_cell(*book, 0, static_cast<std::uint16_t>(row),
                          static_cast<std::uint8_t>(column), platform::fromUtf8(t), 15, false,
                          false);
  }
  model::CellRecord *at(int row, int column) {
    return model::cell_at(book->sheet(0), static_cast<std::uint16_t>(row),
                          static_cast<std::uint8_t>(column));
  }
  // Column A holds 1..kRows, column C the row number modulo 7 and column D
  // modulo 1024; column B the formula made from the row's number.
  template <class MakeFormula> void fill(MakeFormula make) {
    for (int r = 0; r < kRows; ++r) {
      set(r, 0, std::to_string(r + 1));
      set(r, 2, std::to_string((r + 1) % 7));
      set(r, 3, std::to_string((r + 1) % 1024));
      set(r, 1, make(std::to_string(r + 1)));
    }
  }
  // Computes column B again per pass; returns the last pass's values.
  std::vector<model::CellValue> run(benchmark::State &state) {
    std::vector<model::CellRecord *> formulas;
    for (int r = 0; r < kRows; ++r)
      formulas.push_back(at(r, 1));
    for (auto _ : state) {
      for (model::CellRecord *f : formulas)
        f->calcState = model::CalcState::NotValid;
      for (model::CellRecord *f : formulas)
        formula::computeCell(*book, 0, *f);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
    std::vector<model::CellValue> values;
    for (model::CellRecord *f : formulas)
      values.push_back(f->value);
    return values;
  }
};

double numberSum(const std::vector<model::CellValue> &values) {
  double sum = 0;
  for (const model::CellValue &v : values)
    sum += v.isNumber() ? v.numberValue() : NAN;
  return sum;
}

// =CONVERT(An,"gal","ml"): both units in the last category, the table's far end.
void BM_Convert_Gallons20k(benchmark::State &state) {
  Book b;
  b.fill([](const std::string &n) { return "=CONVERT(A" + n + ",\"gal\",\"ml\")"; });
  const double sum = numberSum(b.run(state));
  const double expected = kRows * (kRows + 1) / 2.0 * 768 / 202.84e-3;
  if (!(std::fabs(sum - expected) <= 1e-9 * expected))
    state.SkipWithError("wrong result");
}
BENCHMARK(BM_Convert_Gallons20k)->Unit(benchmark::kMillisecond);

// =DEC2BIN(Dn-512,10), Dn = n mod 1024: every ten-bit pattern, negative ones included.
void BM_Dec2Bin20k(benchmark::State &state) {
  Book b;
  b.fill([](const std::string &n) { return "=DEC2BIN(D" + n + "-512,10)"; });
  const std::vector<model::CellValue> values = b.run(state);
  // Row 1: 1 - 512 = -511, whose ten-bit two's complement is 1000000001.
  if (!values[0].isString() || values[0].stringValue() != u"1000000001" ||
      !values[512].isString() || values[512].stringValue() != u"0000000001")
    state.SkipWithError("wrong result");
}
BENCHMARK(BM_Dec2Bin20k)->Unit(benchmark::kMillisecond);

// =BESSELJ(An/500,Cn), Cn = n mod 7: x from 0.002 to 40 across the series,
// recurrence and asymptotic ranges.
void BM_BesselJ20k(benchmark::State &state) {
  Book b;
  b.fill([](const std::string &n) { return "=BESSELJ(A" + n + "/500,C" + n + ")"; });
  const std::vector<model::CellValue> values = b.run(state);
  // Row 500 is J_3(1) = 0.0195633539826684 (Abramowitz and Stegun table 9.2).
  if (!std::isfinite(numberSum(values)) ||
      std::fabs(values[499].numberValue() - 0.0195633539826684) > 1e-15)
    state.SkipWithError("wrong result");
}
BENCHMARK(BM_BesselJ20k)->Unit(benchmark::kMillisecond);

// =BESSELK(An/500,Cn): the trapezoidal integral and the recurrence.
void BM_BesselK20k(benchmark::State &state) {
  Book b;
  b.fill([](const std::string &n) { return "=BESSELK(A" + n + "/500,C" + n + ")"; });
  const std::vector<model::CellValue> values = b.run(state);
  // Row 1000 is K_6(2) = 49.35116143039429 (A&S 9.8 gives K0, K1 at 2; the
  // recurrence K_(n+1) = K_(n-1) + (2n/x) K_n carries them up).
  if (!std::isfinite(numberSum(values)) ||
      std::fabs(values[999].numberValue() / 49.35116143039429 - 1) > 1e-12)
    state.SkipWithError("wrong result");
}
BENCHMARK(BM_BesselK20k)->Unit(benchmark::kMillisecond);

// =IMPRODUCT(COMPLEX(An,1),"1-i"): two complex texts read, one written.
void BM_ImProduct20k(benchmark::State &state) {
  Book b;
  b.fill([](const std::string &n) { return "=IMPRODUCT(COMPLEX(A" + n + ",1),\"1-i\")"; });
  const std::vector<model::CellValue> values = b.run(state);
  // (7 + i)(1 - i) = 8 - 6i
  if (!values[6].isString() || values[6].stringValue() != u"8-6i")
    state.SkipWithError("wrong result");
}
BENCHMARK(BM_ImProduct20k)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

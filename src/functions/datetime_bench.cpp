// DATE and YEAR over 100,000 cells (two columns of 50,000 rows, as a sheet
// has 65,536), every formula computed again per pass.

#include "functions/families.h"

#include "formula/recalc.h"
#include "formula/text_value.h"
#include "model/set_cell.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <benchmark/benchmark.h>

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
    functions::registerDatetimeFunctions();
    if (books.new_workbook(nullptr))
      book = books.active();
  }
  void set(int row, int column, const std::string& t) {
    (void)model::set_cell(*book, 0, static_cast<std::uint16_t>(row),
                          static_cast<std::uint8_t>(column), platform::fromUtf8(t), 15, false,
                          false);
  }
  model::CellRecord* at(int row, int column) {
    return model::cell_at(book->sheet(0), static_cast<std::uint16_t>(row),
                          static_cast<std::uint8_t>(column));
  }
};

void runFormulas(benchmark::State& state, Book& b, double expectedSum) {
  std::vector<model::CellRecord*> formulas;
  for (int r = 0; r < kRows; ++r) {
    formulas.push_back(b.at(r, 0));
    formulas.push_back(b.at(r, 1));
  }
  double sum = 0;
  for (auto _ : state) {
    for (model::CellRecord* f : formulas)
      f->calcState = model::CalcState::NotValid;
    sum = 0;
    for (model::CellRecord* f : formulas) {
      formula::computeCell(*b.book, 0, *f);
      sum += f->value.isNumber() ? f->value.numberValue() : -1e12;
    }
  }
  if (sum != expectedSum)
    state.SkipWithError("wrong result");
  state.SetItemsProcessed(state.iterations() * 2 * kRows);
}

// =DATE(y, m, d) with months running past 12 and days past month ends.
void BM_Date100k(benchmark::State& state) {
  Book b;
  for (int r = 0; r < kRows; ++r) {
    b.set(r, 0, "=DATE(2000," + std::to_string(r % 30) + "," + std::to_string(r % 40) + ")");
    b.set(r, 1, "=DATE(1950," + std::to_string(r % 30) + "," + std::to_string(r % 40) + ")");
  }
  // The expected serials from the engine's own day count, with the month
  // carried by hand (months 0 to 29).
  auto serial = [](int y, int m, int d) {
    const int carry = m == 0 ? -1 : (m - 1) / 12;
    return formula::dayCount(y + carry, m - 12 * carry, d);
  };
  double expected = 0;
  for (int r = 0; r < kRows; ++r)
    expected += serial(2000, r % 30, r % 40) + serial(1950, r % 30, r % 40);
  runFormulas(state, b, expected);
}
BENCHMARK(BM_Date100k)->Unit(benchmark::kMillisecond);

// =YEAR(serial) over serials from 1900 to 2036.
void BM_Year100k(benchmark::State& state) {
  Book b;
  for (int r = 0; r < kRows; ++r) {
    b.set(r, 0, "=YEAR(" + std::to_string(r + 1) + ")");
    b.set(r, 1, "=YEAR(" + std::to_string(r + 1) + ".75)");
  }
  double expected = 0;
  for (int r = 0; r < kRows; ++r) {
    int y = 0, m = 0, d = 0;
    formula::splitSerial(r + 1, y, m, d);
    expected += 2 * y;
  }
  runFormulas(state, b, expected);
}
BENCHMARK(BM_Year100k)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
